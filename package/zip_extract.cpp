// Extracting one entry to disk.
#include <cstdlib>

#include "package/zip_internal.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

bool IsAbsolute(const WCH* path) { return ZipIsSeparator(path[0]) || (path[0] != 0 && path[1] == u':'); }

bool IsSet(const FILETIME& t) { return t.dwLowDateTime != 0 || t.dwHighDateTime != 0; }

bool Exists(const WCH* path) { return os::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// A damaged or refused entry must not stay behind as a usable file.
void RemovePartialFile(const WCH* path) {
    os::SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    os::DeleteFileW(path);
}

// Streams the open entry into the file; the result of the whole copy.
ZRESULT CopyEntryData(ZipReaderState* s, HANDLE file) {
    for (;;) {
        DWORD produced = 0;
        bool ended = false;
        if (!ZipReadEntryData(s, s->out_buf, kZipBufferSize, &produced, &ended)) return ZR_FLATE;
        if (produced == 0 && !ended) return ZR_FLATE;  // the data ran out before the entry did
        if (produced > 0) {
            DWORD written = 0;
            if (!os::WriteFile(file, s->out_buf, produced, &written) || written != produced) return ZR_WRITE;
        }
        if (ended) break;
    }
    // A stream that ends short of the stored size, or would go on past it, is
    // as damaged as one that fails; a wrong CRC-32 means the bytes are not the
    // ones that were packed.
    if (s->unc_left != 0 || !ZipEntryDataEndsHere(s)) return ZR_FLATE;
    if (s->crc != s->expected_crc) return ZR_CORRUPT;
    return ZR_OK;
}

ZRESULT ExtractFile(ZipReaderState* s, const ZipEntryInfo& info, const WCH* target) {
    // Split at the last separator: folder part (with the separator) and file part.
    size_t split = 0;
    for (size_t i = 0; target[i] != 0; ++i) {
        if (ZipIsSeparator(target[i])) split = i + 1;
    }
    const WCH* file_part = target + split;
    if (file_part[0] == 0) return ZR_NOFILE;
    WCH folder[kZipPathChars];
    WCopy(folder, split + 1, target);
    const bool absolute = IsAbsolute(folder);
    if (!absolute && !s->base_ok) return ZR_NOFILE;
    const WCH* base = absolute ? nullptr : s->base_dir;

    WCH path[kZipPathChars];
    const int n = absolute ? FormatW(path, kZipPathChars, u"%s%s", folder, file_part)
                           : FormatW(path, kZipPathChars, u"%s%s%s", s->base_dir, folder, file_part);
    if (n < 0) return ZR_NOFILE;  // longer than a path may be

    EnsureDirectory(base, folder);
    HANDLE file = os::CreateFileW(path, GENERIC_WRITE, 0, CREATE_ALWAYS, info.attr);
    if (file == INVALID_HANDLE_VALUE) return ZR_NOFILE;

    ZRESULT r = ZipOpenEntryData(s);
    if (r == ZR_OK && s->out_buf == nullptr) {
        s->out_buf = static_cast<BYTE*>(std::malloc(kZipBufferSize));
        if (s->out_buf == nullptr) r = ZR_NOALLOC;
    }
    if (r == ZR_OK) r = CopyEntryData(s, file);
    if (r == ZR_OK) {
        os::SetFileTime(file, IsSet(info.ctime) ? &info.ctime : nullptr, IsSet(info.atime) ? &info.atime : nullptr,
                        IsSet(info.mtime) ? &info.mtime : nullptr);
    }
    os::CloseHandle(file);
    ZipCloseEntryData(s);
    if (r != ZR_OK) RemovePartialFile(path);
    return r;
}

}  // namespace

void EnsureDirectory(const WCH* base, const WCH* folder) {
    if (base != nullptr && base[0] != 0 && !Exists(base)) os::CreateDirectoryW(base);
    if (folder[0] == 0) return;
    // Ancestors first, top-down.
    size_t last = 0;
    for (size_t i = 1; folder[i] != 0; ++i) {
        if (ZipIsSeparator(folder[i])) last = i;
    }
    if (last > 0) {
        WCH parent[kZipPathChars];
        WCopy(parent, last + 1, folder);
        EnsureDirectory(base, parent);
    }
    WCH path[kZipPathChars];
    if (FormatW(path, kZipPathChars, u"%s%s", base != nullptr ? base : u"", folder) < 0) return;
    if (!Exists(path)) os::CreateDirectoryW(path);
}

ZRESULT ZipReaderExtract(ZipHandle* handle, int index, const WCH* target) {
    ZipReaderState* s = nullptr;
    ZRESULT r = ZipCheckHandle(handle, &s);
    if (r != ZR_OK) return ZipSetResult(r);
    if (index < 0 || index >= s->entry_count || target == nullptr) return ZipSetResult(ZR_ARGS);
    ZipCloseEntryData(s);

    ZipEntryInfo info;
    const ZRESULT described = ZipDescribe(s, index, &info);
    // An entry whose own name is refused, or that cannot be positioned on,
    // writes nothing. A local header that disagrees shows when the data is opened.
    if (described == ZR_NOFILE || described == ZR_NOALLOC) return ZipSetResult(described);
    if (!s->current_valid) return ZipSetResult(ZR_FLATE);
    if (s->current.flags & 0x0001) return ZipSetResult(ZR_PASSWORD);  // encrypted; no password is ever given
    // Two entries sharing bytes (one stream named many times, or one entry's
    // data running into another's header) is no archive any packer writes.
    if (!s->scanned) return ZipSetResult(ZR_NOALLOC);
    if (s->overlapping[index]) return ZipSetResult(ZR_CORRUPT);
    if (WLen(target) >= kZipPathChars || !ZipTargetIsSafe(target)) return ZipSetResult(ZR_NOFILE);

    if (info.attr & FILE_ATTRIBUTE_DIRECTORY) {
        const bool absolute = IsAbsolute(target);
        if (!absolute && !s->base_ok) return ZipSetResult(ZR_NOFILE);
        WCH path[kZipPathChars];
        if (FormatW(path, kZipPathChars, u"%s%s", absolute ? u"" : s->base_dir, target) < 0) {
            return ZipSetResult(ZR_NOFILE);
        }
        EnsureDirectory(absolute ? nullptr : s->base_dir, target);
        return ZipSetResult(ZR_OK);
    }
    return ZipSetResult(ExtractFile(s, info, target));
}
