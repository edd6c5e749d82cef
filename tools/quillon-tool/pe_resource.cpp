// A PE resource directory, read just far enough to reach one resource.
#include "tools/quillon-tool/pe_resource.h"

#include <cstdint>

namespace {

struct Bytes {
    const BYTE* data;
    size_t size;
    bool Has(size_t at, size_t n) const { return at <= size && n <= size - at; }
    uint32_t U16(size_t at) const { return Has(at, 2) ? uint32_t(data[at] | data[at + 1] << 8) : 0; }
    uint32_t U32(size_t at) const {
        return Has(at, 4) ? uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                                uint32_t(data[at + 3]) << 24
                          : 0;
    }
};

struct Section {
    uint32_t rva, virtual_size, raw_offset, raw_size;
};

// The file offset of an RVA, or SIZE_MAX when no section holds it.
size_t FileOffset(const Bytes& b, size_t table, unsigned count, uint32_t rva) {
    for (unsigned i = 0; i < count; ++i) {
        const size_t s = table + 40 * size_t(i);
        if (!b.Has(s, 40)) return SIZE_MAX;
        Section sec{b.U32(s + 12), b.U32(s + 8), b.U32(s + 20), b.U32(s + 16)};
        const uint32_t span = sec.virtual_size > sec.raw_size ? sec.virtual_size : sec.raw_size;
        if (rva >= sec.rva && rva - sec.rva < span) {
            const uint32_t into = rva - sec.rva;
            if (into >= sec.raw_size) return SIZE_MAX;  // in the section's zero fill, not in the file
            return size_t(sec.raw_offset) + into;
        }
    }
    return SIZE_MAX;
}

bool NameMatches(const Bytes& b, size_t at, const WCH* name) {
    const uint32_t length = b.U16(at);
    if (!b.Has(at + 2, size_t(length) * 2)) return false;
    size_t k = 0;
    for (; k < length; ++k) {
        WCH c = WCH(b.U16(at + 2 + 2 * k));
        if (c >= u'a' && c <= u'z') c = WCH(c - 32);
        if (name[k] == 0 || c != name[k]) return false;
    }
    return name[k] == 0;
}

}  // namespace

bool LooksLikePe(const BYTE* data, size_t size) {
    const Bytes b{data, size};
    if (size < 0x40 || data[0] != 'M' || data[1] != 'Z') return false;
    const size_t pe = b.U32(0x3C);
    return b.Has(pe, 4) && data[pe] == 'P' && data[pe + 1] == 'E' && data[pe + 2] == 0 && data[pe + 3] == 0;
}

int FindPeResource(const BYTE* data, size_t size, const WCH* type_name, PeResourceSpot* out) {
    const Bytes b{data, size};
    if (!LooksLikePe(data, size)) return -1;
    const size_t pe = b.U32(0x3C);
    const unsigned sections = b.U16(pe + 6);
    const size_t optional = pe + 24;
    const size_t table = optional + b.U16(pe + 20);
    const uint32_t magic = b.U16(optional);
    size_t directories;
    uint32_t directory_count;
    if (magic == 0x10B) directories = optional + 96, directory_count = b.U32(optional + 92);
    else if (magic == 0x20B) directories = optional + 112, directory_count = b.U32(optional + 108);
    else return -1;
    if (directory_count < 3 || !b.Has(directories + 16, 8)) return 0;  // no resource directory
    const uint32_t root_rva = b.U32(directories + 16);
    if (root_rva == 0) return 0;
    const size_t root = FileOffset(b, table, sections, root_rva);
    if (root == SIZE_MAX || !b.Has(root, 16)) return -1;

    // Three levels: type, name, language. Offsets inside the tree are from
    // its root; the high bit marks a sub-directory (or, for names, a string).
    size_t directory = root;
    unsigned id = 0;
    for (int level = 0; level < 3; ++level) {
        const unsigned entries = b.U16(directory + 12) + b.U16(directory + 14);
        size_t chosen = SIZE_MAX;
        for (unsigned e = 0; e < entries && e < 4096; ++e) {
            const size_t entry = directory + 16 + 8 * size_t(e);
            if (!b.Has(entry, 8)) return -1;
            const uint32_t name = b.U32(entry);
            if (level == 0) {
                if (!(name & 0x80000000u) || !NameMatches(b, root + (name & 0x7FFFFFFFu), type_name)) continue;
            }
            if (level == 1) id = (name & 0x80000000u) ? 0 : name & 0xFFFF;
            chosen = entry;
            break;
        }
        if (chosen == SIZE_MAX) return level == 0 ? 0 : -1;
        const uint32_t target = b.U32(chosen + 4);
        const bool subdirectory = (target & 0x80000000u) != 0;
        const size_t next = root + (target & 0x7FFFFFFFu);
        if (level < 2) {
            if (!subdirectory || !b.Has(next, 16)) return -1;
            directory = next;
            continue;
        }
        if (subdirectory || !b.Has(next, 16)) return -1;
        const size_t at = FileOffset(b, table, sections, b.U32(next));
        const size_t length = b.U32(next + 4);
        if (at == SIZE_MAX || !b.Has(at, length)) return -1;
        *out = PeResourceSpot{at, length, id};
        return 1;
    }
    return -1;
}
