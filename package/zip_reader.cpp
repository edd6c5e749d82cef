// The reader handle: open, base directory, descriptions and close.
#include <cstdlib>
#include <cstring>

#include "package/zip_internal.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

void FreeState(ZipReaderState* s) {
    ZipCloseEntryData(s);
    if (s->file != INVALID_HANDLE_VALUE) os::CloseHandle(s->file);
    std::free(s->out_buf);
    std::free(s->overlapping);
    std::free(s);
}

// Copies directory into base with a trailing separator. False when it does not fit.
bool SetBase(ZipReaderState* s, const WCH* directory) {
    WCH base[kZipPathChars];
    if (!WCopy(base, kZipPathChars, directory)) return false;
    const size_t len = WLen(base);
    if ((len == 0 || !ZipIsSeparator(base[len - 1])) && !WAppend(base, kZipPathChars, u"\\")) return false;
    WCopy(s->base_dir, kZipPathChars, base);
    s->base_ok = true;
    return true;
}

}  // namespace

ZRESULT ZipCheckHandle(ZipHandle* handle, ZipReaderState** state) {
    if (handle == nullptr) return ZR_ARGS;
    if (handle->kind != kZipReaderKind) return ZR_ZMODE;
    if (handle->state == nullptr) return ZR_ARGS;
    *state = handle->state;
    return ZR_OK;
}

ZipHandle* ZipReaderOpen(const WCH* path, const char* password) {
    (void)password;  // the package is never encrypted; encrypted entries are refused
    if (path == nullptr) {
        ZipSetResult(ZR_NOFILE);
        return nullptr;
    }
    HANDLE file = os::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (file == INVALID_HANDLE_VALUE) {
        ZipSetResult(ZR_NOFILE);
        return nullptr;
    }
    ZipReaderState* s = static_cast<ZipReaderState*>(std::calloc(1, sizeof(ZipReaderState)));
    ZipHandle* handle = static_cast<ZipHandle*>(std::calloc(1, sizeof(ZipHandle)));
    if (s == nullptr || handle == nullptr) {
        std::free(s);
        std::free(handle);
        os::CloseHandle(file);
        ZipSetResult(ZR_NOALLOC);
        return nullptr;
    }
    s->file = file;
    s->cache_index = -1;
    LONGLONG here = 0;
    s->seekable = os::SetFilePointerEx(file, 0, &here, FILE_CURRENT) != 0 && here >= 0;
    s->start_offset = s->seekable ? static_cast<uint64_t>(here) : 0;
    DWORD high = 0;
    const DWORD low = os::GetFileSize(file, &high);
    const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
    s->archive_size = size > s->start_offset ? size - s->start_offset : 0;

    WCH current[kZipPathChars];
    const DWORD n = os::GetCurrentDirectoryW(kZipPathChars, current);
    if (n > 0 && n < kZipPathChars) SetBase(s, current);

    if (!ZipReadEndRecord(s)) {
        FreeState(s);
        std::free(handle);
        ZipSetResult(ZR_NOFILE);
        return nullptr;
    }
    // A first entry that cannot be read does not fail the open; the reader
    // then simply has no current entry.
    ZipScanEntries(s);
    handle->kind = kZipReaderKind;
    handle->state = s;
    ZipSetResult(ZR_OK);
    return handle;
}

ZRESULT ZipReaderSetBaseDir(ZipHandle* handle, const WCH* directory) {
    ZipReaderState* s = nullptr;
    const ZRESULT r = ZipCheckHandle(handle, &s);
    if (r != ZR_OK) return ZipSetResult(r);
    if (directory == nullptr) return ZipSetResult(ZR_ARGS);
    // A folder that does not fit is never cut short (that would name another
    // folder): relative extraction is refused until a usable one is set.
    if (!SetBase(s, directory)) {
        s->base_dir[0] = 0;
        s->base_ok = false;
        return ZipSetResult(ZR_ARGS);
    }
    return ZipSetResult(ZR_OK);
}

ZRESULT ZipReaderGetEntry(ZipHandle* handle, int index, ZipEntryInfo* info) {
    ZipReaderState* s = nullptr;
    const ZRESULT r = ZipCheckHandle(handle, &s);
    if (r != ZR_OK) return ZipSetResult(r);
    if (info == nullptr || index < -1 || index >= s->entry_count) return ZipSetResult(ZR_ARGS);
    ZipCloseEntryData(s);
    if (index == -1) {
        std::memset(info, 0, sizeof *info);
        info->index = s->entry_count;
        return ZipSetResult(ZR_OK);
    }
    return ZipSetResult(ZipDescribe(s, index, info));
}

ZRESULT ZipReaderDeclaredTotal(ZipHandle* handle, uint64_t* total) {
    ZipReaderState* s = nullptr;
    const ZRESULT r = ZipCheckHandle(handle, &s);
    if (r != ZR_OK) return ZipSetResult(r);
    if (total == nullptr) return ZipSetResult(ZR_ARGS);
    *total = s->declared_total;
    return ZipSetResult(ZR_OK);
}

ZRESULT ZipReaderClose(ZipHandle* handle) {
    ZipReaderState* s = nullptr;
    const ZRESULT r = ZipCheckHandle(handle, &s);
    if (r != ZR_OK) return ZipSetResult(r);
    FreeState(s);
    handle->kind = 0;
    handle->state = nullptr;
    std::free(handle);
    return ZipSetResult(ZR_OK);
}
