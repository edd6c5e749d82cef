// The zip container: end record, central directory and local headers.
//
// All positions are 64-bit and relative to the reader's starting offset, so
// that offsets and sizes from the archive can be added without wrapping.
#include <cstring>

#include "package/zip_internal.h"
#include "platform/os.h"

namespace {

constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr DWORD kEndRecordSize = 22;
constexpr DWORD kCentralFixedSize = 46;
constexpr DWORD kLocalFixedSize = 30;
// The end record lies within the last 65,535 bytes; it is searched in windows
// of 1,028 bytes whose starts step back by 1,024, so that a signature that
// straddles two steps is still seen.
constexpr uint64_t kEndSearchBound = 65535;
constexpr DWORD kEndSearchStep = 1024;
constexpr DWORD kEndSearchWindow = kEndSearchStep + 4;

WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD Le32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

bool FindEndRecord(ZipReaderState* s, uint64_t* record_pos) {
    const uint64_t size = s->archive_size;
    const uint64_t bound = size < kEndSearchBound ? size : kEndSearchBound;
    BYTE window[kEndSearchWindow];
    uint64_t back = 4;
    while (back < bound) {
        back = back + kEndSearchStep > bound ? bound : back + kEndSearchStep;
        const uint64_t read_pos = size - back;
        const DWORD read_size = static_cast<DWORD>(size - read_pos < kEndSearchWindow ? size - read_pos : kEndSearchWindow);
        if (!ZipReadAt(s, read_pos, window, read_size)) return false;
        for (DWORD i = read_size - 3; i-- > 0;) {
            if (Le32(window + i) == kEndSignature) {
                *record_pos = read_pos + i;
                return true;
            }
        }
    }
    return false;
}

bool ReadCentralEntry(ZipReaderState* s) {
    BYTE fixed[kCentralFixedSize];
    ZipCentralEntry& e = s->current;
    if (!ZipReadAt(s, s->current_pos, fixed, kCentralFixedSize)) return false;
    if (Le32(fixed) != kCentralSignature) return false;
    e.version_made_by = Le16(fixed + 4);
    e.version_needed = Le16(fixed + 6);
    e.flags = Le16(fixed + 8);
    e.method = Le16(fixed + 10);
    e.dos_time = (static_cast<DWORD>(Le16(fixed + 14)) << 16) | Le16(fixed + 12);
    e.crc = Le32(fixed + 16);
    e.comp_size = Le32(fixed + 20);
    e.unc_size = Le32(fixed + 24);
    e.name_len = Le16(fixed + 28);
    e.extra_len = Le16(fixed + 30);
    e.comment_len = Le16(fixed + 32);
    e.disk_start = Le16(fixed + 34);
    e.internal_attr = Le16(fixed + 36);
    e.external_attr = Le32(fixed + 38);
    e.local_offset = Le32(fixed + 42);
    std::memset(e.name, 0, sizeof e.name);
    const DWORD keep = e.name_len < kZipNameBytes ? e.name_len : kZipNameBytes;
    if (keep > 0 && !ZipReadAt(s, s->current_pos + kCentralFixedSize, e.name, keep)) return false;
    return true;
}

}  // namespace

DWORD ZipReadSome(ZipReaderState* s, uint64_t pos, void* buffer, DWORD size) {
    if (pos >= s->archive_size) return 0;
    if (size > s->archive_size - pos) size = static_cast<DWORD>(s->archive_size - pos);
    if (!os::SetFilePointerEx(s->file, static_cast<LONGLONG>(s->start_offset + pos), nullptr, FILE_BEGIN)) return 0;
    DWORD got = 0;
    BYTE* out = static_cast<BYTE*>(buffer);
    while (got < size) {
        DWORD n = 0;
        if (!os::ReadFile(s->file, out + got, size - got, &n) || n == 0) break;
        got += n;
    }
    return got;
}

bool ZipReadAt(ZipReaderState* s, uint64_t pos, void* buffer, DWORD size) {
    if (pos > s->archive_size || size > s->archive_size - pos) return false;
    return ZipReadSome(s, pos, buffer, size) == size;
}

bool ZipReadEndRecord(ZipReaderState* s) {
    uint64_t pos = 0;
    if (!s->seekable || !FindEndRecord(s, &pos)) return false;
    BYTE rec[kEndRecordSize];
    if (!ZipReadAt(s, pos, rec, kEndRecordSize)) return false;
    const WORD this_disk = Le16(rec + 4);
    const WORD cd_disk = Le16(rec + 6);
    const WORD entries_here = Le16(rec + 8);
    const WORD entries_total = Le16(rec + 10);
    s->cd_size = Le32(rec + 12);
    s->cd_offset = Le32(rec + 16);
    if (entries_here != entries_total || this_disk != 0 || cd_disk != 0) return false;
    const uint64_t cd_end = static_cast<uint64_t>(s->cd_offset) + s->cd_size;
    if (pos < cd_end) return false;
    s->entry_count = entries_total;
    s->prefix_bytes = pos - cd_end;
    return true;
}

bool ZipGotoFirstEntry(ZipReaderState* s) {
    s->current_index = 0;
    s->current_pos = s->prefix_bytes + s->cd_offset;
    s->current_valid = s->entry_count > 0 && ReadCentralEntry(s);
    return s->current_valid;
}

bool ZipGotoEntry(ZipReaderState* s, int index) {
    if (index < 0 || index >= s->entry_count) return false;
    if (!s->current_valid || index < s->current_index) {
        if (!ZipGotoFirstEntry(s)) return false;
    }
    while (s->current_index < index) {
        const ZipCentralEntry& e = s->current;
        s->current_pos += static_cast<uint64_t>(kCentralFixedSize) + e.name_len + e.extra_len + e.comment_len;
        s->current_index++;
        s->current_valid = ReadCentralEntry(s);
        if (!s->current_valid) return false;
    }
    return true;
}

bool ZipCheckLocalHeader(ZipReaderState* s, uint64_t* extra_pos, WORD* extra_len) {
    if (!s->current_valid) return false;
    const ZipCentralEntry& e = s->current;
    const uint64_t local = s->prefix_bytes + e.local_offset;
    BYTE h[kLocalFixedSize];
    if (!ZipReadAt(s, local, h, kLocalFixedSize)) return false;
    if (Le32(h) != kLocalSignature) return false;
    const WORD flags = Le16(h + 6);
    const WORD method = Le16(h + 8);
    if (method != e.method || (method != 0 && method != 8)) return false;
    if (Le16(h + 26) != e.name_len) return false;
    // Bit 3: the sizes and CRC follow the data in a descriptor, the local
    // header may carry zeros.
    if (!(flags & 0x0008)) {
        if (Le32(h + 14) != e.crc || Le32(h + 18) != e.comp_size || Le32(h + 22) != e.unc_size) return false;
    }
    *extra_len = Le16(h + 28);
    *extra_pos = local + kLocalFixedSize + e.name_len;
    return true;
}
