// Small file routines over the platform seam.
#include "package/files.h"

#include "platform/os.h"
#include "platform/wtext.h"

void GetTempDir(WCH* buffer, DWORD capacity) {
    if (!buffer || capacity == 0) return;
    DWORD n = os::GetTempPathW(capacity, buffer);
    // 0 is a failure; a value of capacity or more is the size the path would
    // need, and the buffer then holds nothing usable. Either way: no folder.
    if (n == 0 || n >= capacity) {
        buffer[0] = 0;
        return;
    }
    buffer[n] = 0;
    if (buffer[n - 1] == u'\\') buffer[n - 1] = 0;
}

int PathExists(const WCH* path) {
    if (!path || !path[0]) return 0;
    os::FindData data;
    HANDLE find = os::FindFirstFileW(path, &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    os::FindClose(find);
    return 1;
}

int WriteWholeFile(const WCH* path, const void* data, DWORD size) {
    HANDLE file = os::CreateFileW(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD written = 0;
    BOOL ok = os::WriteFile(file, data, size, &written);
    os::CloseHandle(file);
    // A short write is a failed write, not a success.
    return (ok && written == size) ? 1 : 0;
}

DWORD ReadWholeFile(const WCH* path, DWORD capacity, void* buffer) {
    HANDLE file = os::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD result = 0;
    if (!buffer) {
        result = os::GetFileSize(file, nullptr);
        // GetFileSize reports failure as 0xFFFFFFFF; no image is that large.
        if (result == 0xFFFFFFFFu) result = 0;
    } else {
        DWORD read = 0;
        if (os::ReadFile(file, buffer, capacity, &read)) result = read;
    }
    os::CloseHandle(file);
    return result;
}

void DeleteFilesInDir(const WCH* directory, const WCH* pattern) {
    // An empty directory would make the search "\*.*", the root of the
    // current drive; a cut path could name some other folder. Neither is ours.
    if (!directory || !directory[0] || !pattern || !pattern[0]) return;
    WCH search[260];
    if (FormatW(search, 260, u"%s\\%s", directory, pattern) < 0) return;

    os::FindData data;
    HANDLE find = os::FindFirstFileW(search, &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const DWORD attributes = data.dwFileAttributes;
        // Sub-folders stay; a link to a folder (a junction) is never
        // followed, only removed as the link it is.
        const bool folder_link = (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !folder_link) continue;
        WCH path[260];
        if (FormatW(path, 260, u"%s\\%s", directory, data.cFileName) < 0) continue;
        if (folder_link) {
            os::RemoveDirectoryW(path);
            continue;
        }
        os::DeleteFileW(path);
    } while (os::FindNextFileW(find, &data));
    os::FindClose(find);
}
