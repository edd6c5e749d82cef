// Reading an image file whole, once, with its size in 64 bits.
#include "core/log.h"
#include "package/image.h"
#include "platform/os.h"

int ReadPlainFile(const WCH* path, uint64_t max_size, ImageFile* out, uint64_t* size_out) {
    out->data = nullptr;
    out->size = 0;
    if (size_out) *size_out = 0;
    // A folder, a device or pipe (whose open may never return) or a link to
    // somewhere else is not read.
    DWORD attributes = os::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return kPlainFileMissing;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) {
        return kPlainFileNotPlain;
    }
    // No write sharing: nobody changes the bytes while they are read.
    HANDLE file = os::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return kPlainFileUnreadable;
    DWORD high = 0;
    DWORD low = os::GetFileSize(file, &high);
    uint64_t size = (uint64_t{high} << 32) | low;
    if (low == INVALID_FILE_SIZE && os::GetLastError() != ERROR_SUCCESS) size = 0;
    if (size_out) *size_out = size;
    if (size > max_size) {
        os::CloseHandle(file);
        return kPlainFileTooLarge;
    }
    BYTE* data = nullptr;
    if (size) data = static_cast<BYTE*>(os::VirtualAlloc(nullptr, size_t(size), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD read = 0;
    bool whole = size == 0 || (data && os::ReadFile(file, data, DWORD(size), &read) && read == size);
    os::CloseHandle(file);
    if (!whole) {
        if (data) os::VirtualFree(data, 0, MEM_RELEASE);
        return kPlainFileUnreadable;
    }
    out->data = data;
    out->size = size_t(size);
    return kPlainFileRead;
}

int LoadImageFile(const WCH* path, ImageFile* out) {
    uint64_t size = 0;
    const int read = ReadPlainFile(path, kMaxImageFile, out, &size);
    if (read == kPlainFileNotPlain) LogMsg(u"Image is not a plain file: %s", path);
    if (read == kPlainFileTooLarge) LogMsg(u"Image too large: %I64u bytes (at most %I64u)", size, kMaxImageFile);
    // An empty file is no image either.
    if (read == kPlainFileRead && out->size == 0) return 0;
    return read == kPlainFileRead ? 1 : 0;
}

void FreeImageFile(ImageFile* file) {
    if (file->data) os::VirtualFree(file->data, 0, MEM_RELEASE);
    file->data = nullptr;
    file->size = 0;
}
