// The running Windows version, read from the page the kernel shares with
// every process (KUSER_SHARED_DATA at 0x7FFE0000, the same address in 32-
// and 64-bit processes since NT 3.1): no call into a system DLL, so
// recording adds nothing to the executable's imports.
#include <cstdint>

#include "platform/trace/trace_recorder.h"

namespace {

constexpr uintptr_t kSharedUserData = 0x7FFE0000;
constexpr uintptr_t kBuildNumberAt = 0x260;  // NtBuildNumber (Windows 10 and later)
constexpr uintptr_t kMajorAt = 0x26C;        // NtMajorVersion
constexpr uintptr_t kMinorAt = 0x270;        // NtMinorVersion

uint32_t SharedWord(uintptr_t offset) { return *reinterpret_cast<const volatile uint32_t*>(kSharedUserData + offset); }

size_t PutNumber(char* at, size_t room, uint32_t value) {
    char digits[12];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    size_t put = 0;
    while (n && put < room) at[put++] = digits[--n];
    return put;
}

}  // namespace

void TraceWindowsVersion(char* out, size_t capacity) {
    if (capacity < 2) return;
    size_t used = 0, room = capacity - 1;
    used += PutNumber(out + used, room - used, SharedWord(kMajorAt));
    if (used < room) out[used++] = '.';
    used += PutNumber(out + used, room - used, SharedWord(kMinorAt));
    if (used < room) out[used++] = '.';
    used += PutNumber(out + used, room - used, SharedWord(kBuildNumberAt) & 0xFFFF);
    out[used] = 0;
}
