// FindFirstFileW / FindNextFileW / FindClose.
//
// A pattern is a folder and a last part. Without '*' or '?' the last part
// names one file or folder (so "C:\dir" finds the folder itself). With them
// it matches without regard to case, '*' any run and '?' one character;
// "*.*" matches every name, with a dot or not, as on Windows. Like NTFS, a
// search lists "." and ".." first and then the names in upper-case order,
// so the order is the same on every run.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "platform/host/host_files.h"
#include "platform/host/host_objects.h"
#include "platform/host/host_path.h"
#include "platform/os.h"

namespace {

struct FindObject : HostObject {
    FindObject() : HostObject(kHostFind) {}
    std::vector<os::FindData> entries;
    size_t next = 0;
};

char16_t Fold(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
    return c;
}

bool Match(const char16_t* pattern, const char16_t* name) {
    // Iterative wildcard match with one back-tracking point.
    const char16_t* star = nullptr;
    const char16_t* resume = nullptr;
    while (*name) {
        if (*pattern == u'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == u'?' || (*pattern && Fold(*pattern) == Fold(*name))) {
            pattern++;
            name++;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == u'*') pattern++;
    return *pattern == 0;
}

bool FillEntry(const std::string& linux_path, const std::u16string& name, os::FindData* entry) {
    struct stat st;
    if (lstat(linux_path.c_str(), &st) != 0) return false;
    if (name.size() >= MAX_PATH) return false;
    // A link is listed as Windows lists a reparse point: the link's own
    // entry, a directory when it points to one.
    const bool link = S_ISLNK(st.st_mode);
    DWORD link_attributes = 0;
    if (link) {
        struct stat target;
        const bool to_folder = stat(linux_path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        link_attributes = FILE_ATTRIBUTE_REPARSE_POINT | (to_folder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    }
    *entry = os::FindData{};
    entry->dwFileAttributes = link ? link_attributes : HostAttributes(st.st_mode);
    entry->ftLastWriteTime = HostFileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    entry->ftLastAccessTime = HostFileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    if (!HostCreationTime(st.st_dev, st.st_ino, &entry->ftCreationTime)) entry->ftCreationTime = entry->ftLastWriteTime;
    uint64_t size = S_ISDIR(st.st_mode) || link ? 0 : static_cast<uint64_t>(st.st_size);
    entry->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    entry->nFileSizeLow = static_cast<DWORD>(size);
    std::copy(name.begin(), name.end(), entry->cFileName);
    entry->cFileName[name.size()] = 0;
    return true;
}

std::u16string Upper(const WCH* text) {
    std::u16string out;
    for (; *text; text++) out.push_back(Fold(*text));
    return out;
}

}  // namespace

namespace os {

HANDLE FindFirstFileW(const WCH* pattern, FindData* data) {
    std::string linux_pattern;
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!HostLinuxPath(pattern, &linux_pattern)) return INVALID_HANDLE_VALUE;
    size_t slash = linux_pattern.rfind('/');
    std::string dir = slash == std::string::npos ? "." : linux_pattern.substr(0, slash == 0 ? 1 : slash);
    std::string last = slash == std::string::npos ? linux_pattern : linux_pattern.substr(slash + 1);
    if (last.empty()) {
        // "dir\" names no file.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string last16 = HostUtf16(last);
    auto* find = new FindObject;
    if (last.find_first_of("*?") == std::string::npos) {
        FindData entry;
        if (FillEntry(linux_pattern, last16, &entry)) find->entries.push_back(entry);
        else {
            delete find;
            struct stat st;
            bool dir_exists = stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            SetLastError(dir_exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
    } else {
        DIR* listing = opendir(dir.c_str());
        if (!listing) {
            delete find;
            SetLastError(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        const char16_t* match = last16 == u"*.*" ? u"*" : last16.c_str();
        std::vector<FindData> dots;
        while (struct dirent* item = readdir(listing)) {
            std::string name = item->d_name;
            std::u16string name16 = HostUtf16(name);
            if (!Match(match, name16.c_str())) continue;
            FindData entry;
            if (!FillEntry(dir + "/" + name, name16, &entry)) continue;
            (name == "." || name == ".." ? dots : find->entries).push_back(entry);
        }
        closedir(listing);
        std::sort(find->entries.begin(), find->entries.end(), [](const FindData& a, const FindData& b) {
            return Upper(a.cFileName) < Upper(b.cFileName);
        });
        std::sort(dots.begin(), dots.end(),
                  [](const FindData& a, const FindData& b) { return Upper(a.cFileName) < Upper(b.cFileName); });
        find->entries.insert(find->entries.begin(), dots.begin(), dots.end());
        if (find->entries.empty()) {
            delete find;
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
    }
    *data = find->entries[0];
    find->next = 1;
    return HostRegister(find);
}

BOOL FindNextFileW(HANDLE handle, FindData* data) {
    auto* find = static_cast<FindObject*>(HostLookup(handle, kHostFind));
    if (!find || !data) {
        SetLastError(find ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = find->entries[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE handle) { return HostCloseHandle(handle, kHostFind); }

}  // namespace os
