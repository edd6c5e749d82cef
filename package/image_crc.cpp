// Image checksums and the layout check every image reader goes through.
#include <cstring>

#include "package/image.h"

namespace {

struct CrcTable {
    uint32_t v[256];
};

constexpr CrcTable MakeTable(uint32_t poly) {
    CrcTable t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
        t.v[i] = c;
    }
    return t;
}

constexpr CrcTable kCrc32c = MakeTable(0x82F63B78u);
constexpr CrcTable kCrc32 = MakeTable(0xEDB88320u);

// The stand-in for the rest of page 0, which the checksum covers as zeros.
const BYTE kZeros[image::kPage - image::kHeaderBytes] = {};

}  // namespace

uint32_t ImageCrc(const void* data, size_t length, uint32_t previous, int crc32c) {
    if (length == 0) return previous;
    const uint32_t* table = crc32c ? kCrc32c.v : kCrc32.v;
    const BYTE* p = static_cast<const BYTE*>(data);
    // Inverting on entry and exit makes 0 start a new CRC and lets a result
    // be fed back as the previous value of the next piece.
    uint32_t c = previous ^ 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

int GetImageLayout(const BYTE* data, size_t size, ImageLayout* layout) {
    if (!data || size < image::kPage || GetLe32(data) != image::kMagic) return 0;
    ImageLayout l{};
    for (int r = 0; r < 3; ++r) {
        l.first[r] = GetLe32(data + image::kRegionTable + 8 * r);
        l.last[r] = GetLe32(data + image::kRegionTable + 8 * r + 4);
        // 64-bit arithmetic: (last + 1) * 4096 wraps in 32 bits.
        if (l.first[r] > l.last[r] || (uint64_t(l.last[r]) + 1) * image::kPage > size) return 0;
    }
    uint64_t trailer = (uint64_t(l.last[2]) + 1) * image::kPage;
    if (trailer + image::kPage > size) return 0;
    // The trailer holds the checksum, so a checksummed region over it could
    // never be sealed; and the configuration block may not be page 0, the
    // header that says where everything lies (a drive's block copied there
    // would replace it).
    const uint64_t trailer_page = uint64_t(l.last[2]) + 1;
    for (int r = 0; r < 2; ++r)
        if (l.first[r] <= trailer_page && trailer_page <= l.last[r]) return 0;
    if (l.first[2] == 0) return 0;
    l.trailer = size_t(trailer);
    if (layout) *layout = l;
    return 1;
}

uint32_t ChecksumHead(const BYTE* data, const ImageLayout* layout, int crc32c) {
    uint32_t crc = ImageCrc(data, image::kHeaderBytes, 0, crc32c);
    crc = ImageCrc(kZeros, sizeof kZeros, crc, crc32c);
    crc = ChecksumRegion(data, layout, 0, crc, crc32c);
    return ChecksumRegion(data, layout, 1, crc, crc32c);
}

uint32_t ChecksumRegion(const BYTE* data, const ImageLayout* layout, int region, uint32_t crc, int crc32c) {
    size_t from = size_t(layout->first[region]) * image::kPage;
    size_t bytes = (size_t(layout->last[region]) - layout->first[region] + 1) * image::kPage;
    return ImageCrc(data + from, bytes, crc, crc32c);
}

uint32_t ComputeImageChecksum(const BYTE* data, const ImageLayout* layout, int crc32c) {
    return ChecksumRegion(data, layout, 2, ChecksumHead(data, layout, crc32c), crc32c);
}
