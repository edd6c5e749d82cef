// Process token, the shutdown privilege and ExitWindowsEx.
#include "platform/os.h"
#include "platform/win32/wide_win.h"

namespace os {

BOOL OpenProcessTokenOfCurrentProcess(DWORD access, HANDLE* token) {
    return ::OpenProcessToken(::GetCurrentProcess(), access, token);
}

BOOL LookupPrivilegeValueW(const WCH* system, const WCH* name, LUID* luid) {
    return ::LookupPrivilegeValueW(Wide(system), Wide(name), luid);
}

BOOL AdjustTokenPrivilege(HANDLE token, LUID luid, DWORD attributes) {
    TOKEN_PRIVILEGES wanted = {};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = luid;
    wanted.Privileges[0].Attributes = attributes;
    // One entry fits the 16-byte previous state; the caller does not use it.
    static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege entry");
    TOKEN_PRIVILEGES previous = {};
    DWORD previous_size = 0;
    return ::AdjustTokenPrivileges(token, FALSE, &wanted, sizeof(previous), &previous, &previous_size);
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); }

}  // namespace os
