// Errors, files, folders, directory listings and file times: straight to the API.
#include "platform/os.h"
#include "platform/trace/trace_hook.h"
#include "platform/win32/wide_win.h"

namespace os {

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

static HANDLE OpenFile(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return ::CreateFileW(Wide(path), access, share, nullptr, disposition, flags, nullptr);
}

HANDLE CreateFileW(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    // Only device opens are traced.
    if (trace::g_device_hooks && trace::IsDevicePath(path))
        return trace::g_device_hooks->open(OpenFile, path, access, share, disposition, flags);
    return OpenFile(path, access, share, disposition, flags);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) {
    return ::ReadFile(file, buffer, size, read, nullptr);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written) {
    return ::WriteFile(file, buffer, size, written, nullptr);
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }
DWORD GetFileSize(HANDLE file, DWORD* high) { return ::GetFileSize(file, high); }

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write) {
    return ::SetFileTime(file, creation, access, write);
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write) {
    return ::GetFileTime(file, creation, access, write);
}

BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* new_position, DWORD method) {
    LARGE_INTEGER move;
    move.QuadPart = distance;
    LARGE_INTEGER moved;
    moved.QuadPart = 0;
    BOOL ok = ::SetFilePointerEx(file, move, &moved, method);
    if (ok && new_position) *new_position = moved.QuadPart;
    return ok;
}

BOOL CreateDirectoryW(const WCH* path) { return ::CreateDirectoryW(Wide(path), nullptr); }
BOOL RemoveDirectoryW(const WCH* path) { return ::RemoveDirectoryW(Wide(path)); }
BOOL DeleteFileW(const WCH* path) { return ::DeleteFileW(Wide(path)); }
DWORD GetFileAttributesW(const WCH* path) { return ::GetFileAttributesW(Wide(path)); }
BOOL SetFileAttributesW(const WCH* path, DWORD attributes) { return ::SetFileAttributesW(Wide(path), attributes); }
BOOL SetCurrentDirectoryW(const WCH* path) { return ::SetCurrentDirectoryW(Wide(path)); }
DWORD GetCurrentDirectoryW(DWORD capacity, WCH* buffer) { return ::GetCurrentDirectoryW(capacity, Wide(buffer)); }
DWORD GetTempPathW(DWORD capacity, WCH* buffer) { return ::GetTempPathW(capacity, Wide(buffer)); }

static void CopyFindData(const WIN32_FIND_DATAW& from, FindData* to) {
    to->dwFileAttributes = from.dwFileAttributes;
    to->ftCreationTime = from.ftCreationTime;
    to->ftLastAccessTime = from.ftLastAccessTime;
    to->ftLastWriteTime = from.ftLastWriteTime;
    to->nFileSizeHigh = from.nFileSizeHigh;
    to->nFileSizeLow = from.nFileSizeLow;
    static_assert(sizeof(to->cFileName) == sizeof(from.cFileName), "both names are MAX_PATH units");
    for (size_t i = 0; i < sizeof(to->cFileName) / sizeof(to->cFileName[0]); ++i) {
        to->cFileName[i] = static_cast<WCH>(from.cFileName[i]);
    }
}

HANDLE FindFirstFileW(const WCH* pattern, FindData* data) {
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW(Wide(pattern), &found);
    if (find != INVALID_HANDLE_VALUE) CopyFindData(found, data);
    return find;
}

BOOL FindNextFileW(HANDLE find, FindData* data) {
    WIN32_FIND_DATAW found;
    BOOL ok = ::FindNextFileW(find, &found);
    if (ok) CopyFindData(found, data);
    return ok;
}

BOOL FindClose(HANDLE find) { return ::FindClose(find); }

BOOL SystemTimeToFileTime(const SYSTEMTIME* system, FILETIME* file) { return ::SystemTimeToFileTime(system, file); }
BOOL FileTimeToSystemTime(const FILETIME* file, SYSTEMTIME* system) { return ::FileTimeToSystemTime(file, system); }
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) { return ::LocalFileTimeToFileTime(local, utc); }
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) { return ::FileTimeToLocalFileTime(utc, local); }

}  // namespace os
