// GDI+, common controls, the process token and ExitWindowsEx on the host:
// each call is recorded with the virtual time, nothing else happens (the
// machine is not shut down). Also the command line the host driver set.
#include <mutex>
#include <string>

#include "platform/host/host_control.h"
#include "platform/host/host_objects.h"
#include "platform/os.h"

namespace {

std::mutex g_system_mutex;
std::vector<HostSystemCall> g_calls;
std::string g_command_line = "Quillon.exe";
ULONG_PTR g_next_gdiplus_token = 0x6D1;

struct TokenObject : HostObject {
    TokenObject() : HostObject(kHostToken) {}
};

void Record(const char* name, const std::u16string& text, const std::u16string& text2, uint64_t value,
            uint64_t value2) {
    ULONGLONG tick = os::GetTickCount64();
    std::lock_guard<std::mutex> lock(g_system_mutex);
    g_calls.push_back(HostSystemCall{name, text, text2, value, value2, tick});
}

std::u16string Text(const WCH* text) { return text ? std::u16string(text) : std::u16string(); }

}  // namespace

std::vector<HostSystemCall> HostSystemCalls() {
    std::lock_guard<std::mutex> lock(g_system_mutex);
    return g_calls;
}

void HostClearSystemCalls() {
    std::lock_guard<std::mutex> lock(g_system_mutex);
    g_calls.clear();
}

void HostSetCommandLine(const char* command_line) {
    std::lock_guard<std::mutex> lock(g_system_mutex);
    g_command_line = command_line ? command_line : "";
}

namespace os {

const char* GetCommandLineNarrow() {
    std::lock_guard<std::mutex> lock(g_system_mutex);
    return g_command_line.c_str();
}

void InitCommonControls() { Record("InitCommonControls", u"", u"", 0, 0); }

BOOL GdiplusStartup(ULONG_PTR* token) {
    ULONG_PTR value;
    {
        std::lock_guard<std::mutex> lock(g_system_mutex);
        value = g_next_gdiplus_token++;
    }
    if (token) *token = value;
    Record("GdiplusStartup", u"", u"", value, 0);
    return TRUE;
}

void GdiplusShutdown(ULONG_PTR token) { Record("GdiplusShutdown", u"", u"", token, 0); }

BOOL OpenProcessTokenOfCurrentProcess(DWORD access, HANDLE* token) {
    Record("OpenProcessToken", u"", u"", access, 0);
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *token = HostRegister(new TokenObject);
    return TRUE;
}

BOOL LookupPrivilegeValueW(const WCH* system, const WCH* name, LUID* luid) {
    Record("LookupPrivilegeValueW", Text(name), Text(system), 0, 0);
    // SeShutdownPrivilege is LUID 19 on every Windows.
    if (!name || std::u16string(name) != u"SeShutdownPrivilege" || !luid) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    luid->LowPart = 19;
    luid->HighPart = 0;
    return TRUE;
}

BOOL AdjustTokenPrivilege(HANDLE token, LUID luid, DWORD attributes) {
    Record("AdjustTokenPrivileges", u"", u"", attributes, luid.LowPart);
    if (!HostLookup(token, kHostToken)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
    Record("ExitWindowsEx", u"", u"", flags, reason);
    return TRUE;
}

}  // namespace os
