// Image checksums and the layout check every image reader goes through.
#include <zlib.h>

#include <cstring>

#include "package/crc32c.h"
#include "package/image.h"

namespace {

// The stand-in for the rest of page 0, which the checksum covers as zeros.
const BYTE kZeros[image::kPage - image::kHeaderBytes] = {};

}  // namespace

uint32_t ImageCrc(const void* data, size_t length, uint32_t previous, int crc32c) {
    if (crc32c) return Crc32c(data, length, previous);
    // zlib continues a CRC the same way (0 starts one, a result continues);
    // its length is an unsigned int, so a larger piece goes in parts.
    const BYTE* p = static_cast<const BYTE*>(data);
    uLong c = previous;
    while (length > 0) {
        uInt part = length > 0x40000000u ? 0x40000000u : uInt(length);
        c = crc32(c, p, part);
        p += part;
        length -= part;
    }
    return uint32_t(c);
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
