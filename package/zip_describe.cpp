// Describing an entry: cleaned name, attributes, times and sizes.
#include <cstdlib>
#include <cstring>

#include "package/zip_internal.h"
#include "platform/os.h"

namespace {

constexpr LONGLONG kUnixEpochAsFileTime = 116444736000000000LL;  // 1970-01-01 in 100 ns units since 1601

FILETIME UnixTimeToFileTime(int32_t seconds) {
    const uint64_t value = static_cast<uint64_t>(static_cast<LONGLONG>(seconds) * 10000000LL + kUnixEpochAsFileTime);
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ft;
}

// Hosts whose makers put DOS attribute bits in the low byte of the external
// attributes: FAT (0), Macintosh (7), NTFS in Info-ZIP's numbering (11) and
// VFAT (14). Every other host is read as Unix (PKWARE's NTFS host 10 too).
bool HostUsesDosAttributes(BYTE host) { return host == 0 || host == 7 || host == 11 || host == 14; }

}  // namespace

DWORD ZipAttributes(WORD version_made_by, DWORD external_attr) {
    const BYTE host = static_cast<BYTE>(version_made_by >> 8);
    bool directory, archive, hidden, readonly, system;
    if (HostUsesDosAttributes(host)) {
        readonly = (external_attr & 0x01) != 0;
        hidden = (external_attr & 0x02) != 0;
        system = (external_attr & 0x04) != 0;
        directory = (external_attr & 0x10) != 0;
        archive = (external_attr & 0x20) != 0;
    } else {
        // Unix mode in the high half: S_IFDIR is bit 30, owner write bit 23.
        directory = (external_attr & 0x40000000u) != 0;
        readonly = (external_attr & 0x00800000u) == 0;
        hidden = false;
        system = false;
        archive = true;
    }
    DWORD attr = directory ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (archive) attr |= FILE_ATTRIBUTE_ARCHIVE;
    if (hidden) attr |= FILE_ATTRIBUTE_HIDDEN;
    if (readonly) attr |= FILE_ATTRIBUTE_READONLY;
    if (system) attr |= FILE_ATTRIBUTE_SYSTEM;
    return attr;
}

bool ZipDosTimeToFileTime(DWORD dos_time, FILETIME* utc) {
    const WORD date = static_cast<WORD>(dos_time >> 16);
    const WORD time = static_cast<WORD>(dos_time);
    SYSTEMTIME st;
    std::memset(&st, 0, sizeof st);
    st.wYear = static_cast<WORD>(1980 + ((date >> 9) & 0x7F));
    st.wMonth = static_cast<WORD>((date >> 5) & 0x0F);
    st.wDay = static_cast<WORD>(date & 0x1F);
    st.wHour = static_cast<WORD>((time >> 11) & 0x1F);
    st.wMinute = static_cast<WORD>((time >> 5) & 0x3F);
    st.wSecond = static_cast<WORD>(2 * (time & 0x1F));
    FILETIME local;
    return os::SystemTimeToFileTime(&st, &local) && os::LocalFileTimeToFileTime(&local, utc);
}

void ZipApplyExtendedTime(const BYTE* extra, size_t length, ZipEntryInfo* info) {
    size_t pos = 0;
    while (length - pos > 4) {
        const size_t block_len = static_cast<size_t>(extra[pos + 2] | (extra[pos + 3] << 8));
        const size_t data = pos + 4;
        if (extra[pos] == 'U' && extra[pos + 1] == 'T') {
            // Read only what both the block and the field hold.
            const size_t end = data + block_len < length ? data + block_len : length;
            if (data + 1 > end) return;
            const BYTE flags = extra[data];
            size_t p = data + 1;
            FILETIME* const times[3] = {&info->mtime, &info->atime, &info->ctime};
            for (int bit = 0; bit < 3; ++bit) {
                if (!(flags & (1u << bit))) continue;
                if (p + 4 > end) return;
                const uint32_t raw = static_cast<uint32_t>(extra[p]) | (static_cast<uint32_t>(extra[p + 1]) << 8) |
                                     (static_cast<uint32_t>(extra[p + 2]) << 16) |
                                     (static_cast<uint32_t>(extra[p + 3]) << 24);
                *times[bit] = UnixTimeToFileTime(static_cast<int32_t>(raw));
                p += 4;
            }
            return;
        }
        if (block_len > length - data) return;
        pos = data + block_len;
    }
}

ZRESULT ZipDescribe(ZipReaderState* s, int index, ZipEntryInfo* info) {
    std::memset(info, 0, sizeof *info);
    info->index = index;
    // Positioned first even for a cached description: extraction reads the
    // data of the current entry.
    if (!ZipGotoEntry(s, index)) return ZR_CORRUPT;
    if (s->cache_index == index) {
        *info = s->cache;
        return ZR_OK;
    }
    const ZipCentralEntry& e = s->current;
    const size_t kept = e.name_len < kZipNameBytes ? e.name_len : kZipNameBytes;
    ZipDecodeUtf8(e.name, kept, info->name, kZipPathChars);
    ZipCleanName(info->name);
    info->attr = ZipAttributes(e.version_made_by, e.external_attr);
    FILETIME t;
    if (ZipDosTimeToFileTime(e.dos_time, &t)) info->atime = info->ctime = info->mtime = t;
    info->comp_size = e.comp_size;
    info->unc_size = e.unc_size;

    // Names that do not fit, hide bytes behind a zero, or could lead out of
    // the target folder are refused before anything is written.
    if (e.name_len >= kZipNameBytes || std::memchr(e.name, 0, kept) != nullptr ||
        !ZipEntryNameIsSafe(info->name, (info->attr & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
        return ZR_NOFILE;
    }

    uint64_t extra_pos = 0;
    WORD extra_len = 0;
    if (!ZipCheckLocalHeader(s, &extra_pos, &extra_len)) return ZR_CORRUPT;
    if (extra_len > 0) {
        BYTE* extra = static_cast<BYTE*>(std::malloc(extra_len));
        if (extra == nullptr) return ZR_NOALLOC;
        const bool read = ZipReadAt(s, extra_pos, extra, extra_len);
        if (read) ZipApplyExtendedTime(extra, extra_len, info);
        std::free(extra);
        if (!read) return ZR_READ;
    }
    s->cache = *info;
    s->cache_index = index;
    return ZR_OK;
}
