// Files and folders on the Linux host (path mapping in host_path.h).
//
// Windows semantics kept because the tool's code depends on them: the
// create dispositions and their last-error values, sharing between open
// handles (a file cannot be deleted or opened against the share mode of an
// open handle), the read-only attribute (enforced here even for root), and
// that a directory that is the current directory cannot be removed.
#include "platform/host/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/host/host_objects.h"
#include "platform/host/host_path.h"
#include "platform/host/sim_hooks.h"
#include "platform/os.h"

namespace {

constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;

struct FileObject;

std::mutex g_files_mutex;
std::vector<FileObject*> g_open_files;
std::map<std::pair<dev_t, ino_t>, FILETIME> g_creation_times;

struct FileObject : HostObject {
    FileObject() : HostObject(kHostFile) {}
    BOOL Close() override {
        {
            std::lock_guard<std::mutex> lock(g_files_mutex);
            for (size_t i = 0; i < g_open_files.size(); i++) {
                if (g_open_files[i] == this) {
                    g_open_files.erase(g_open_files.begin() + static_cast<long>(i));
                    break;
                }
            }
        }
        ::close(fd);
        return TRUE;
    }
    int fd = -1;
    DWORD access = 0;
    DWORD share = 0;
    dev_t device = 0;
    ino_t inode = 0;
    bool link_to_folder = false;  // a link opened itself, whose target is a folder
};

FileObject* LookupFile(HANDLE handle) {
    return static_cast<FileObject*>(HostLookup(handle, kHostFile));
}

// With g_files_mutex held: whether an open with access and share may join
// the handles already open on the file.
bool SharingAllows(dev_t device, ino_t inode, DWORD access, DWORD share) {
    for (const FileObject* f : g_open_files) {
        if (f->device != device || f->inode != inode) continue;
        if ((access & GENERIC_READ) && !(f->share & FILE_SHARE_READ)) return false;
        if ((access & GENERIC_WRITE) && !(f->share & FILE_SHARE_WRITE)) return false;
        if ((f->access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
        if ((f->access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
    }
    return true;
}

bool DeleteAllowed(dev_t device, ino_t inode) {
    for (const FileObject* f : g_open_files)
        if (f->device == device && f->inode == inode && !(f->share & FILE_SHARE_DELETE)) return false;
    return true;
}

bool ReadOnlyMode(unsigned mode) { return (mode & 0222) == 0; }

HANDLE Fail(DWORD error) {
    os::SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

bool IsDevicePath(const WCH* path) {
    // "\\.\" devices and "\\?\" device interface paths belong to the simulated machine.
    return path && path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'.' || path[2] == u'?') && path[3] == u'\\';
}

BOOL FailBool(DWORD error) {
    os::SetLastError(error);
    return FALSE;
}

DWORD CopyOut(const std::u16string& text, DWORD capacity, WCH* buffer) {
    DWORD length = static_cast<DWORD>(text.size());
    if (!buffer || capacity < length + 1) return length + 1;  // the size needed, terminator included
    for (DWORD i = 0; i < length; i++) buffer[i] = text[i];
    buffer[length] = 0;
    return length;
}

}  // namespace

FILETIME HostFileTimeFromUnix(int64_t seconds, long nanoseconds) {
    int64_t value = seconds * 10000000LL + nanoseconds / 100 + kUnixEpochIn100ns;
    if (value < 0) value = 0;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(value));
    time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(value) >> 32);
    return time;
}

void HostUnixFromFileTime(const FILETIME& time, int64_t* seconds, long* nanoseconds) {
    int64_t value = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    value -= kUnixEpochIn100ns;
    int64_t s = value / 10000000LL;
    int64_t rest = value % 10000000LL;
    if (rest < 0) {
        rest += 10000000LL;
        s -= 1;
    }
    *seconds = s;
    *nanoseconds = static_cast<long>(rest * 100);
}

bool HostCreationTime(dev_t device, ino_t inode, FILETIME* time) {
    std::lock_guard<std::mutex> lock(g_files_mutex);
    auto it = g_creation_times.find(std::make_pair(device, inode));
    if (it == g_creation_times.end()) return false;
    *time = it->second;
    return true;
}

DWORD HostAttributes(unsigned mode) {
    // FIFOs, sockets and device nodes are what Windows calls devices: opening
    // one for reading may block for ever.
    DWORD attributes = S_ISDIR(mode)   ? FILE_ATTRIBUTE_DIRECTORY
                       : S_ISREG(mode) ? FILE_ATTRIBUTE_ARCHIVE
                                       : FILE_ATTRIBUTE_DEVICE;
    if (ReadOnlyMode(mode)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

namespace {

// A handle on a directory (FILE_FLAG_BACKUP_SEMANTICS) or, with
// FILE_FLAG_OPEN_REPARSE_POINT, on a link itself: it reads nothing and
// writes nothing, but it names the object and holds it against deletion
// as its share mode says.
HANDLE OpenObjectItself(const std::string& linux_path, const struct stat& st, DWORD access, DWORD share,
                        DWORD disposition) {
    if (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS) return Fail(ERROR_ACCESS_DENIED);
    if (!SharingAllows(st.st_dev, st.st_ino, access, share)) return Fail(ERROR_SHARING_VIOLATION);
    const bool link = S_ISLNK(st.st_mode);
    int fd = ::open(linux_path.c_str(), O_PATH | O_CLOEXEC | (link ? O_NOFOLLOW : 0));
    if (fd < 0) return Fail(HostErrorFromErrno(errno, linux_path));
    struct stat now;
    // The object opened must be the one looked at.
    if (fstat(fd, &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        ::close(fd);
        return Fail(ERROR_ACCESS_DENIED);
    }
    FileObject* file = new FileObject;
    file->fd = fd;
    file->access = access & ~(GENERIC_READ | GENERIC_WRITE);
    file->share = share;
    file->device = st.st_dev;
    file->inode = st.st_ino;
    struct stat target;
    file->link_to_folder = link && stat(linux_path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    g_open_files.push_back(file);
    os::SetLastError(ERROR_SUCCESS);
    return HostRegister(file);
}

HANDLE CreateFileWithMode(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                          mode_t permissions) {
    std::string linux_path;
    if (!HostLinuxPath(path, &linux_path)) return INVALID_HANDLE_VALUE;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return Fail(ERROR_INVALID_PARAMETER);

    std::lock_guard<std::mutex> lock(g_files_mutex);
    struct stat st;
    const bool own_link = (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
    bool exists = (own_link ? lstat(linux_path.c_str(), &st) : stat(linux_path.c_str(), &st)) == 0;
    if (exists && (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode))) {
        // Directories open only for their own sake (backup semantics); a
        // link only when asked not to follow it.
        if (S_ISDIR(st.st_mode) && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) return Fail(ERROR_ACCESS_DENIED);
        if (access & GENERIC_WRITE) return Fail(ERROR_ACCESS_DENIED);
        return OpenObjectItself(linux_path, st, access, share, disposition);
    }
    if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
        return Fail(HostErrorFromErrno(errno, linux_path));
    if (exists && disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS);
    bool truncate = exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (exists) {
        if (ReadOnlyMode(st.st_mode) && ((access & GENERIC_WRITE) || truncate)) return Fail(ERROR_ACCESS_DENIED);
        if (!SharingAllows(st.st_dev, st.st_ino, access, share)) return Fail(ERROR_SHARING_VIOLATION);
    }

    int mode = (access & GENERIC_READ) && (access & GENERIC_WRITE) ? O_RDWR
               : (access & GENERIC_WRITE)                          ? O_WRONLY
                                                                   : O_RDONLY;
    if (truncate) mode = (mode == O_RDONLY ? O_RDWR : mode) | O_TRUNC;
    if (!exists) mode |= O_CREAT | O_EXCL;
    if (flags & FILE_ATTRIBUTE_READONLY) permissions &= 0444;
    int fd = ::open(linux_path.c_str(), mode | O_CLOEXEC, permissions);
    if (fd < 0) return Fail(HostErrorFromErrno(errno, linux_path));
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        return Fail(ERROR_GEN_FAILURE);
    }
    if (!exists) g_creation_times.erase(std::make_pair(st.st_dev, st.st_ino));

    FileObject* file = new FileObject;
    file->fd = fd;
    file->access = access;
    file->share = share;
    file->device = st.st_dev;
    file->inode = st.st_ino;
    g_open_files.push_back(file);
    // Windows reports whether an existing file was opened or replaced.
    os::SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                            : ERROR_SUCCESS);
    return HostRegister(file);
}

}  // namespace

namespace os {

HANDLE CreateFileW(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    if (IsDevicePath(path)) return SimCreateFile(path, access, share, disposition, flags);
    return CreateFileWithMode(path, access, share, disposition, flags, 0666);
}

// Only the owner (the process's user) may use it; an existing file keeps the
// mode it has, as Windows keeps an existing file's descriptor.
HANDLE CreateFileAdminOnlyW(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    if (IsDevicePath(path)) return Fail(ERROR_ACCESS_DENIED);
    return CreateFileWithMode(path, access, share, disposition, flags, 0600);
}

BOOL GetFileInformationByHandle(HANDLE handle, FileInformation* info) {
    FileObject* file = LookupFile(handle);
    struct stat st;
    if (!file || !info || fstat(file->fd, &st) != 0) return FailBool(ERROR_INVALID_HANDLE);
    DWORD attributes = HostAttributes(st.st_mode);
    if (S_ISLNK(st.st_mode)) {
        // A link is what Windows calls a reparse point; a link to a folder is
        // a directory junction.
        attributes = FILE_ATTRIBUTE_REPARSE_POINT | (file->link_to_folder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    }
    const uint64_t device = static_cast<uint64_t>(st.st_dev);
    const uint64_t inode = static_cast<uint64_t>(st.st_ino);
    info->dwFileAttributes = attributes;
    info->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    info->nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    info->nFileIndexLow = static_cast<DWORD>(inode);
    info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    return TRUE;
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD size, DWORD* read) {
    FileObject* file = LookupFile(handle);
    if (read) *read = 0;
    if (!file) return FailBool(ERROR_INVALID_HANDLE);
    if (!(file->access & GENERIC_READ)) return FailBool(ERROR_ACCESS_DENIED);
    if (size && !buffer) return FailBool(ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    while (done < size) {
        ssize_t n = ::read(file->fd, static_cast<char*>(buffer) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FailBool(ERROR_GEN_FAILURE);
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read) *read = done;
    return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD size, DWORD* written) {
    FileObject* file = LookupFile(handle);
    if (written) *written = 0;
    if (!file) return FailBool(ERROR_INVALID_HANDLE);
    if (!(file->access & GENERIC_WRITE)) return FailBool(ERROR_ACCESS_DENIED);
    if (size && !buffer) return FailBool(ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    while (done < size) {
        ssize_t n = ::write(file->fd, static_cast<const char*>(buffer) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (written) *written = done;
            return FailBool(n < 0 && errno == ENOSPC ? ERROR_DISK_FULL : ERROR_GEN_FAILURE);
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, DWORD* high) {
    FileObject* file = LookupFile(handle);
    struct stat st;
    if (!file || fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (high) *high = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);  // a size whose low part is 0xFFFFFFFF is not an error
    return static_cast<DWORD>(size);
}

BOOL SetFilePointerEx(HANDLE handle, LONGLONG distance, LONGLONG* new_position, DWORD method) {
    FileObject* file = LookupFile(handle);
    if (!file) return FailBool(ERROR_INVALID_HANDLE);
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence < 0) return FailBool(ERROR_INVALID_PARAMETER);
    off_t position = lseek(file->fd, static_cast<off_t>(distance), whence);
    if (position < 0) return FailBool(ERROR_INVALID_PARAMETER);
    if (new_position) *new_position = position;
    return TRUE;
}

BOOL GetFileTime(HANDLE handle, FILETIME* creation, FILETIME* access, FILETIME* write) {
    FileObject* file = LookupFile(handle);
    struct stat st;
    if (!file || fstat(file->fd, &st) != 0) return FailBool(ERROR_INVALID_HANDLE);
    if (access) *access = HostFileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    if (write) *write = HostFileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    if (creation && !HostCreationTime(st.st_dev, st.st_ino, creation))
        *creation = HostFileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return TRUE;
}

BOOL SetFileTime(HANDLE handle, const FILETIME* creation, const FILETIME* access, const FILETIME* write) {
    FileObject* file = LookupFile(handle);
    if (!file) return FailBool(ERROR_INVALID_HANDLE);
    if (!(file->access & GENERIC_WRITE)) return FailBool(ERROR_ACCESS_DENIED);
    // A missing time, or one of all zero or all one bits, leaves that time as it is.
    auto given = [](const FILETIME* t) {
        return t && !(t->dwLowDateTime == 0 && t->dwHighDateTime == 0) &&
               !(t->dwLowDateTime == 0xFFFFFFFFu && t->dwHighDateTime == 0xFFFFFFFFu);
    };
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    const FILETIME* sources[2] = {access, write};
    for (int i = 0; i < 2; i++) {
        if (!given(sources[i])) continue;
        int64_t seconds;
        long nanoseconds;
        HostUnixFromFileTime(*sources[i], &seconds, &nanoseconds);
        times[i].tv_sec = static_cast<time_t>(seconds);
        times[i].tv_nsec = nanoseconds;
    }
    if (futimens(file->fd, times) != 0) return FailBool(ERROR_INVALID_PARAMETER);
    if (given(creation)) {
        std::lock_guard<std::mutex> lock(g_files_mutex);
        g_creation_times[std::make_pair(file->device, file->inode)] = *creation;
    }
    return TRUE;
}

namespace {

BOOL MakeDirectory(const WCH* path, mode_t mode) {
    std::string linux_path;
    if (!HostLinuxPath(path, &linux_path)) return FALSE;
    // Windows keeps room for an 8.3 file name inside a new directory.
    if (std::u16string(path).size() > MAX_PATH - 12) return FailBool(ERROR_FILENAME_EXCED_RANGE);
    if (mkdir(linux_path.c_str(), mode) != 0) {
        DWORD error = HostErrorFromErrno(errno, linux_path);
        return FailBool(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
    }
    return TRUE;
}

}  // namespace

BOOL CreateDirectoryW(const WCH* path) { return MakeDirectory(path, 0777); }

// Owner only: the umask can only take bits away from 0700, never add any;
// the chmod gives back owner bits a strict umask took (it never widens).
BOOL CreateDirectoryAdminOnlyW(const WCH* path) {
    if (!MakeDirectory(path, 0700)) return FALSE;
    std::string linux_path;
    HostLinuxPath(path, &linux_path);
    chmod(linux_path.c_str(), 0700);
    return TRUE;
}

BOOL RemoveDirectoryW(const WCH* path) {
    std::string linux_path;
    if (!HostLinuxPath(path, &linux_path)) return FALSE;
    std::lock_guard<std::mutex> lock(g_files_mutex);
    struct stat st;
    if (lstat(linux_path.c_str(), &st) != 0) return FailBool(HostErrorFromErrno(errno, linux_path));
    if (S_ISLNK(st.st_mode)) {
        // A link to a folder (a junction on Windows) goes as a link: the
        // folder it points to and what is in it stay untouched.
        struct stat target;
        if (stat(linux_path.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return FailBool(ERROR_DIRECTORY);
        if (unlink(linux_path.c_str()) != 0) return FailBool(HostErrorFromErrno(errno, linux_path));
        return TRUE;
    }
    if (!S_ISDIR(st.st_mode)) return FailBool(ERROR_DIRECTORY);
    // The process's current directory is in use, and so is one held open
    // without delete sharing.
    struct stat cwd;
    if (stat(".", &cwd) == 0 && cwd.st_dev == st.st_dev && cwd.st_ino == st.st_ino)
        return FailBool(ERROR_SHARING_VIOLATION);
    if (!DeleteAllowed(st.st_dev, st.st_ino)) return FailBool(ERROR_SHARING_VIOLATION);
    if (rmdir(linux_path.c_str()) != 0) {
        int error = errno == EEXIST ? ENOTEMPTY : errno;
        return FailBool(HostErrorFromErrno(error, linux_path));
    }
    return TRUE;
}

BOOL DeleteFileW(const WCH* path) {
    std::string linux_path;
    if (!HostLinuxPath(path, &linux_path)) return FALSE;
    std::lock_guard<std::mutex> lock(g_files_mutex);
    struct stat st;
    if (lstat(linux_path.c_str(), &st) != 0) return FailBool(HostErrorFromErrno(errno, linux_path));
    if (S_ISDIR(st.st_mode) || ReadOnlyMode(st.st_mode)) return FailBool(ERROR_ACCESS_DENIED);
    if (!DeleteAllowed(st.st_dev, st.st_ino)) return FailBool(ERROR_SHARING_VIOLATION);
    if (unlink(linux_path.c_str()) != 0) return FailBool(HostErrorFromErrno(errno, linux_path));
    g_creation_times.erase(std::make_pair(st.st_dev, st.st_ino));
    return TRUE;
}

DWORD GetFileAttributesW(const WCH* path) {
    std::string linux_path;
    if (!HostLinuxPath(path, &linux_path)) return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (stat(linux_path.c_str(), &st) != 0) {
        SetLastError(HostErrorFromErrno(errno, linux_path));
        return INVALID_FILE_ATTRIBUTES;
    }
    return HostAttributes(st.st_mode);
}

BOOL SetFileAttributesW(const WCH* path, DWORD attributes) {
    std::string linux_path;
    if (!HostLinuxPath(path, &linux_path)) return FALSE;
    struct stat st;
    if (stat(linux_path.c_str(), &st) != 0) return FailBool(HostErrorFromErrno(errno, linux_path));
    // Only the read-only attribute has a Linux counterpart (the write bits);
    // the others are accepted and not kept.
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | 0200);
    if (chmod(linux_path.c_str(), mode) != 0) return FailBool(HostErrorFromErrno(errno, linux_path));
    return TRUE;
}

BOOL SetCurrentDirectoryW(const WCH* path) {
    std::string linux_path;
    if (!HostLinuxPath(path, &linux_path)) return FALSE;
    if (chdir(linux_path.c_str()) != 0) {
        DWORD error = HostErrorFromErrno(errno, linux_path);
        return FailBool(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
    }
    return TRUE;
}

DWORD GetCurrentDirectoryW(DWORD capacity, WCH* buffer) {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return CopyOut(HostUtf16(cwd), capacity, buffer);
}

// The temporary folder is TMPDIR (default /tmp), ended with a backslash as
// Windows ends it, so "%s\name" joins give single separators.
DWORD GetTempPathW(DWORD capacity, WCH* buffer) {
    const char* tmpdir = getenv("TMPDIR");
    std::string dir = (tmpdir && *tmpdir) ? tmpdir : "/tmp";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    std::u16string text = HostUtf16(dir);
    if (text.back() != u'/') text.push_back(u'\\');
    return CopyOut(text, capacity, buffer);
}

}  // namespace os
