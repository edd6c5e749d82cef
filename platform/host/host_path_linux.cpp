#include "platform/host/host_path.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/os.h"

std::string HostUtf8(const std::u16string& text) {
    if (text.empty()) return std::string();
    int n = os::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::string out(static_cast<size_t>(n), '\0');
    os::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::u16string HostUtf16(const std::string& text) {
    if (text.empty()) return std::u16string();
    int n = os::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    os::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

bool HostLinuxPath(const WCH* path, std::string* out) {
    if (!path) {
        os::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::u16string text(path);
    if (text.empty()) {
        os::SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (text.size() >= MAX_PATH) {
        os::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (text.size() >= 2 && text[1] == u':' &&
        ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z'))) {
        text.erase(0, 2);
        if (text.empty() || (text[0] != u'\\' && text[0] != u'/')) text.insert(text.begin(), u'/');
    }
    for (char16_t& c : text)
        if (c == u'\\') c = u'/';
    *out = HostUtf8(text);
    return true;
}

DWORD HostErrorFromErrno(int error, const std::string& path) {
    switch (error) {
        case ENOENT: {
            // Windows tells a missing file from a missing folder on the way.
            std::string parent = path;
            while (!parent.empty() && parent.back() == '/') parent.pop_back();
            size_t slash = parent.rfind('/');
            if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
            parent = slash == 0 ? "/" : parent.substr(0, slash);
            struct stat st;
            return (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? ERROR_FILE_NOT_FOUND
                                                                            : ERROR_PATH_NOT_FOUND;
        }
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return ERROR_ACCESS_DENIED;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case ENOSPC: return ERROR_DISK_FULL;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EBUSY: return ERROR_SHARING_VIOLATION;
        default: return ERROR_GEN_FAILURE;
    }
}
