// The diagnostic log: one line per call on the debugger output stream.
#include "core/log.h"

#include <atomic>
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

// The kept lines: one buffer, filled under a spin flag (the dialog's thread
// and the worker both log; a line is short).
constexpr size_t kKeptCapacity = 1u << 19;
WCH g_kept[kKeptCapacity + 1];
size_t g_kept_units = 0;
size_t g_dropped = 0;
std::atomic<int> g_keep{0};
std::atomic_flag g_kept_busy = ATOMIC_FLAG_INIT;

void Keep(const WCH* line) {
    size_t n = WLen(line);
    while (g_kept_busy.test_and_set(std::memory_order_acquire)) {
    }
    if (g_kept_units + n + 1 <= kKeptCapacity) {
        for (size_t i = 0; i < n; ++i) g_kept[g_kept_units + i] = line[i];
        g_kept_units += n;
        g_kept[g_kept_units++] = u'\n';
        g_kept[g_kept_units] = 0;
    } else {
        ++g_dropped;
    }
    g_kept_busy.clear(std::memory_order_release);
}

// Where a finished line goes: the debugger stream in debug mode, memory when kept.
void Emit(const WCH* line, int debug) {
    if (debug) os::OutputDebugStringW(line);
    if (g_keep.load(std::memory_order_relaxed)) Keep(line);
}

}  // namespace

void LogKeepLines(int on) {
    while (g_kept_busy.test_and_set(std::memory_order_acquire)) {
    }
    g_kept_units = 0;
    g_kept[0] = 0;
    g_dropped = 0;
    g_keep.store(on ? 1 : 0);
    g_kept_busy.clear(std::memory_order_release);
}

const WCH* LogKeptText(size_t* units) {
    if (units) *units = g_kept_units;
    return g_kept;
}

size_t LogDroppedLines() { return g_dropped; }

void LogMsg(const WCH* format, ...) {
    // Off: two comparisons, nothing formatted (the drive code logs every command).
    const int debug = GetAppState()->bDebug == 1;
    if (!debug && !g_keep.load(std::memory_order_relaxed)) return;
    WCH line[kLineCapacity];
    WCopy(line, kLineCapacity, kPrefix);
    va_list args;
    va_start(args, format);
    // A cut or failed format still leaves a terminated line.
    VFormatW(line + kPrefixLen, kLineCapacity - kPrefixLen, format, args);
    va_end(args);
    Emit(line, debug);
}

void LogText(const WCH* text) {
    const int debug = GetAppState()->bDebug == 1;
    if (!debug && !g_keep.load(std::memory_order_relaxed)) return;
    WCH line[kLineCapacity];
    WCopy(line, kLineCapacity, kPrefix);
    WCopy(line + kPrefixLen, kLineCapacity - kPrefixLen, text);
    Emit(line, debug);
}
