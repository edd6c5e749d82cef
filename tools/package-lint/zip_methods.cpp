// Central directory walk: end record, then one fixed-size header per entry
// followed by its name, extra field and comment.
#include "tools/package-lint/zip_methods.h"

#include "platform/wtext.h"

namespace {

uint32_t Le16(const BYTE* p) { return uint32_t(p[0] | p[1] << 8); }
uint32_t Le32(const BYTE* p) { return Le16(p) | Le16(p + 2) << 16; }

const WCH* MethodName(unsigned method) {
    switch (method) {
        case 1: return u"shrink";
        case 6: return u"implode";
        case 9: return u"deflate64";
        case 12: return u"bzip2";
        case 14: return u"LZMA";
        case 93: return u"Zstandard";
        case 95: return u"xz";
        case 98: return u"PPMd";
        default: return u"compression";
    }
}

}  // namespace

std::vector<unsigned> ZipEntryMethods(const BYTE* data, size_t size) {
    std::vector<unsigned> methods;
    if (size < 22) return methods;
    // The end record is the last 22 bytes plus a comment of up to 65535.
    size_t end = SIZE_MAX;
    const size_t lowest = size > 22 + 65535 ? size - 22 - 65535 : 0;
    for (size_t at = size - 22 + 1; at-- > lowest;) {
        if (Le32(data + at) == 0x06054B50u) {
            end = at;
            break;
        }
    }
    if (end == SIZE_MAX) return methods;
    const unsigned count = Le16(data + end + 10);
    size_t at = Le32(data + end + 16);
    for (unsigned i = 0; i < count; ++i) {
        if (at > size || size - at < 46 || Le32(data + at) != 0x02014B50u) return {};
        methods.push_back(Le16(data + at + 10));
        at += 46 + size_t(Le16(data + at + 28)) + Le16(data + at + 30) + Le16(data + at + 32);
    }
    return methods;
}

const WCH* UnsupportedMethodText(unsigned method, WCH* out, size_t capacity) {
    // 99 marks an encrypted entry: the reader says so itself.
    if (method == 0 || method == 8 || method == 99) return nullptr;
    FormatW(out, capacity, u"%s (method %u) is not supported; use deflate or store", MethodName(method), method);
    return out;
}
