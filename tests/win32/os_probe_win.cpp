// The Windows implementation of os:: (platform/win32) exercised against the
// real API under Wine: calling-convention trampolines, the FindData copy,
// pointer moves, conversions, the command line store and the token path.
// Prints one line per failed check and "os probe: N checks, M failed".
#include <cstdio>
#include <cstring>

#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/win32/entry_win.h"

namespace {

int g_checks = 0;
int g_failed = 0;

void Check(bool ok, const char* what) {
    ++g_checks;
    if (!ok) {
        ++g_failed;
        std::printf("FAILED: %s\n", what);
    }
}

bool SameText(const WCH* a, const WCH* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

DWORD ThreadBody(void* parameter) {
    int* value = static_cast<int*>(parameter);
    *value += 41;
    os::Sleep(10);
    return 0x1234;
}

void Threads() {
    int value = 1;
    DWORD id = 0;
    HANDLE thread = os::CreateThread(ThreadBody, &value, CREATE_SUSPENDED, &id);
    Check(thread != nullptr && id != 0, "CreateThread starts a suspended thread");
    if (!thread) return;
    Check(value == 1, "a suspended thread has not run");
    Check(os::ResumeThread(thread) == 1, "ResumeThread reports the previous suspend count");
    Check(os::WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0, "the thread ends");
    DWORD code = 0;
    Check(os::GetExitCodeThread(thread, &code) && code == 0x1234, "exit code comes through the trampoline");
    Check(value == 42, "the parameter reaches the thread procedure");
    os::CloseHandle(thread);
    ULONGLONG t0 = os::GetTickCount64();
    os::Sleep(200);
    // The tick has a coarse grain (about 16 ms); a generous margin keeps this steady.
    Check(os::GetTickCount64() >= t0 + 100, "GetTickCount64 advances over Sleep");
}

void Files() {
    WCH temp[MAX_PATH];
    DWORD n = os::GetTempPathW(MAX_PATH, temp);
    Check(n > 0 && n < MAX_PATH && temp[n - 1] == u'\\', "GetTempPathW ends with a backslash");
    WCH dir[MAX_PATH];
    std::memcpy(dir, temp, (n + 1) * sizeof(WCH));
    const char16_t* leaf = u"qn_os_probe";
    size_t len = n;
    for (size_t i = 0; leaf[i]; ++i) dir[len++] = leaf[i];
    dir[len] = 0;
    os::CreateDirectoryW(dir);
    Check((os::GetFileAttributesW(dir) & FILE_ATTRIBUTE_DIRECTORY) != 0, "CreateDirectoryW");

    WCH file[MAX_PATH];
    std::memcpy(file, dir, (len + 1) * sizeof(WCH));
    const char16_t* name = u"\\\u00e9t\u00e9.bin";  // a name outside ASCII
    size_t flen = len;
    for (size_t i = 0; name[i]; ++i) file[flen++] = name[i];
    file[flen] = 0;

    HANDLE h = os::CreateFileW(file, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    Check(h != INVALID_HANDLE_VALUE, "CreateFileW creates a file");
    if (h == INVALID_HANDLE_VALUE) return;
    const char data[] = "0123456789";
    DWORD written = 0;
    Check(os::WriteFile(h, data, 10, &written) && written == 10, "WriteFile");
    LONGLONG pos = -1;
    Check(os::SetFilePointerEx(h, 4, &pos, FILE_BEGIN) && pos == 4, "SetFilePointerEx from the start");
    Check(os::SetFilePointerEx(h, -2, &pos, FILE_END) && pos == 8, "SetFilePointerEx from the end");
    char back[4] = {};
    DWORD read = 0;
    Check(os::ReadFile(h, back, sizeof back, &read) && read == 2 && back[0] == '8' && back[1] == '9',
          "ReadFile at the moved pointer");
    DWORD high = 7;
    Check(os::GetFileSize(h, &high) == 10 && high == 0, "GetFileSize");
    SYSTEMTIME st = {2021, 3, 0, 14, 15, 9, 26, 0};
    FILETIME ft = {};
    Check(os::SystemTimeToFileTime(&st, &ft), "SystemTimeToFileTime");
    Check(os::SetFileTime(h, nullptr, nullptr, &ft), "SetFileTime");
    FILETIME got = {};
    Check(os::GetFileTime(h, nullptr, nullptr, &got) && got.dwLowDateTime == ft.dwLowDateTime &&
              got.dwHighDateTime == ft.dwHighDateTime,
          "GetFileTime returns the time set");
    os::CloseHandle(h);

    WCH pattern[MAX_PATH];
    std::memcpy(pattern, dir, len * sizeof(WCH));
    pattern[len] = u'\\';
    pattern[len + 1] = u'*';
    pattern[len + 2] = 0;
    os::FindData fd;
    std::memset(&fd, 0xAB, sizeof fd);
    HANDLE find = os::FindFirstFileW(pattern, &fd);
    Check(find != INVALID_HANDLE_VALUE, "FindFirstFileW");
    bool seen = false;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (SameText(fd.cFileName, u"\u00e9t\u00e9.bin")) {
                seen = fd.nFileSizeLow == 10 && fd.nFileSizeHigh == 0 &&
                       (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                       fd.ftLastWriteTime.dwLowDateTime == ft.dwLowDateTime;
            }
        } while (os::FindNextFileW(find, &fd));
        Check(os::GetLastError() == ERROR_NO_MORE_FILES, "FindNextFileW ends with ERROR_NO_MORE_FILES");
        os::FindClose(find);
    }
    Check(seen, "FindData carries the name, size, attributes and write time");

    Check(os::SetCurrentDirectoryW(dir), "SetCurrentDirectoryW");
    WCH cwd[MAX_PATH];
    DWORD cn = os::GetCurrentDirectoryW(MAX_PATH, cwd);
    Check(cn == len && SameText(cwd, dir), "GetCurrentDirectoryW returns it");
    Check(os::SetCurrentDirectoryW(temp), "leave the directory");
    Check(!os::RemoveDirectoryW(dir), "RemoveDirectoryW refuses a directory with files");
    Check(os::DeleteFileW(file), "DeleteFileW");
    Check(os::RemoveDirectoryW(dir), "RemoveDirectoryW");
    Check(os::GetFileAttributesW(dir) == INVALID_FILE_ATTRIBUTES, "the directory is gone");
}

void Text() {
    WCH out[8];
    int n = os::MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9x", -1, out, 8);
    Check(n == 3 && out[0] == 0x00E9 && out[1] == u'x' && out[2] == 0, "MultiByteToWideChar UTF-8");
    char narrow[8] = {};
    n = os::WideCharToMultiByte(CP_UTF8, 0, u"\u00e9", -1, narrow, 8);
    Check(n == 3 && narrow[0] == '\xC3' && narrow[1] == '\xA9', "WideCharToMultiByte UTF-8");
    WCH lower[] = u"/DEBUG Mixed";
    Check(os::CharLowerW(lower) == lower && SameText(lower, u"/debug mixed"), "CharLowerW lowers in place");

    os::StoreCommandLineNarrow("/Debug x");
    Check(std::strcmp(os::GetCommandLineNarrow(), "/Debug x") == 0, "the stored command line comes back");
    os::StoreCommandLineNarrow(nullptr);
    Check(os::GetCommandLineNarrow() && os::GetCommandLineNarrow()[0] == 0, "no command line reads as empty");
}

void Memory() {
    void* p = os::VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    Check(p != nullptr, "VirtualAlloc commits pages");
    if (!p) return;
    Check(static_cast<unsigned char*>(p)[4096] == 0, "committed pages are zero");
    Check(os::VirtualFree(p, 0, MEM_RELEASE), "VirtualFree");
}

void Resources() {
    HMODULE self = os::GetModuleHandleW(nullptr);
    Check(self != nullptr, "GetModuleHandleW(null)");
    Check(os::FindResourceW(self, os::MakeIntResource(1000), u"FWPACKAGEZIP") == nullptr,
          "no package resource in the probe");
    // 1812 no resource section at all, 1813 no such type, 1814 no such name.
    DWORD error = os::GetLastError();
    Check(error >= 1812 && error <= 1814, "FindResourceW sets a resource error");
}

void TokenAndDevices() {
    HANDLE token = nullptr;
    Check(os::OpenProcessTokenOfCurrentProcess(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token), "OpenProcessToken");
    LUID luid = {};
    Check(os::LookupPrivilegeValueW(nullptr, u"SeShutdownPrivilege", &luid) && (luid.LowPart || luid.HighPart),
          "LookupPrivilegeValueW");
    if (token) {
        Check(os::AdjustTokenPrivilege(token, luid, SE_PRIVILEGE_ENABLED), "AdjustTokenPrivilege");
        os::CloseHandle(token);
    }

    DWORD returned = 0xFFFFFFFF;
    char buffer[16];
    Check(!os::DeviceIoControl(INVALID_HANDLE_VALUE, kIoctlStorageGetDeviceNumber, nullptr, 0, buffer,
                               sizeof buffer, &returned),
          "DeviceIoControl fails on an invalid handle");
    Check(returned == 0, "DeviceIoControl reports 0 bytes on failure");

    HDEVINFO set = os::SetupDiGetClassDevsW(&kGuidDevInterfaceDisk, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    Check(set != INVALID_HANDLE_VALUE, "SetupDiGetClassDevsW for disk interfaces");
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof data;
        // However many disks Wine shows, enumeration must end with ERROR_NO_MORE_ITEMS.
        DWORD i = 0;
        while (i < 64 && os::SetupDiEnumDeviceInterfaces(set, nullptr, &kGuidDevInterfaceDisk, i, &data)) ++i;
        Check(i < 64 && os::GetLastError() == ERROR_NO_MORE_ITEMS, "interface enumeration ends");
        Check(os::SetupDiDestroyDeviceInfoList(set), "SetupDiDestroyDeviceInfoList");
    }
}

}  // namespace

int main() {
    Threads();
    Files();
    Text();
    Memory();
    Resources();
    TokenAndDevices();
    std::printf("os probe: %d checks, %d failed\n", g_checks, g_failed);
    return g_failed ? 1 : 0;
}
