// The diagnostic log: one line per call on the debugger output stream.
#include "core/log.h"

#include <cstdarg>

#include "core/app_state.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

// "[VX]", ten blanks, "[middle]", one blank: 23 units in front of every line.
constexpr WCH kPrefix[] = u"[VX]          [middle] ";
constexpr size_t kPrefixLen = sizeof(kPrefix) / sizeof(kPrefix[0]) - 1;
static_assert(kPrefixLen == 23, "log readers expect the text at column 23");
// 1023 units of line and the terminator.
constexpr size_t kLineCapacity = 1024;

}  // namespace

void LogMsg(const WCH* format, ...) {
    // Off: one comparison, nothing formatted (the drive code logs every command).
    if (GetAppState()->bDebug != 1) return;
    WCH line[kLineCapacity];
    WCopy(line, kLineCapacity, kPrefix);
    va_list args;
    va_start(args, format);
    // A cut or failed format still leaves a terminated line.
    VFormatW(line + kPrefixLen, kLineCapacity - kPrefixLen, format, args);
    va_end(args);
    os::OutputDebugStringW(line);
}

void LogText(const WCH* text) {
    if (GetAppState()->bDebug != 1) return;
    WCH line[kLineCapacity];
    WCopy(line, kLineCapacity, kPrefix);
    WCopy(line + kPrefixLen, kLineCapacity - kPrefixLen, text);
    os::OutputDebugStringW(line);
}
