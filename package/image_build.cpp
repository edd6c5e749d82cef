// Building well-formed images: page 0 header, firmware over regions 0 and
// 1, the configuration block as region 2, then the trailer page.
#include <cstring>

#include "package/image.h"
#include "platform/wtext.h"

namespace {

bool IsAlnum(WCH c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

size_t FirmwarePages(size_t firmware_size) {
    size_t pages = (firmware_size + image::kPage - 1) / image::kPage;
    return pages < 2 ? 2 : pages;  // regions 0 and 1 hold a page each at least
}

}  // namespace

int ParseVersionParts(const WCH* text, BYTE out[8]) {
    memset(out, 0, 8);
    size_t len = WLen(text);
    bool dotted = false;
    for (size_t i = 0; i < len; ++i) dotted |= text[i] == u'.';
    if (!dotted) {
        if (len != 8) return 0;
        for (size_t i = 0; i < 8; ++i) {
            if (!IsAlnum(text[i])) return 0;
            out[i] = BYTE(text[i]);
        }
        return 1;
    }
    const WCH* p = text;
    for (int part = 0; part < 4; ++part) {
        size_t n = 0;
        while (IsAlnum(p[n])) ++n;
        if (n < 1 || n > 2) return 0;
        if (n == 1) {
            out[2 * part + 1] = BYTE(p[0]);
        } else {
            out[2 * part] = BYTE(p[0]);
            out[2 * part + 1] = BYTE(p[1]);
        }
        p += n;
        if (part < 3) {
            if (*p != u'.') return 0;
            ++p;
        }
    }
    return *p == 0;
}

size_t ImageSizeFor(size_t firmware_size) {
    // header page, firmware pages, configuration page, trailer page
    return (1 + FirmwarePages(firmware_size) + 1 + 1) * image::kPage;
}

size_t MakeImage(const ImageDesc* desc, BYTE* out, size_t capacity) {
    size_t size = ImageSizeFor(desc->firmware_size);
    if (capacity < size || desc->config_size > image::kConfigBlock) return 0;
    memset(out, 0, size);
    size_t pages = FirmwarePages(desc->firmware_size);
    uint32_t r0_last = uint32_t(1 + (pages + 1) / 2 - 1);
    uint32_t r1_last = uint32_t(pages);
    uint32_t r2 = uint32_t(pages + 1);
    PutLe32(out, image::kMagic);
    const uint32_t ranges[3][2] = {{1, r0_last}, {r0_last + 1, r1_last}, {r2, r2}};
    for (int r = 0; r < 3; ++r) {
        PutLe32(out + image::kRegionTable + 8 * r, ranges[r][0]);
        PutLe32(out + image::kRegionTable + 8 * r + 4, ranges[r][1]);
    }
    if (desc->firmware_size) memcpy(out + image::kPage, desc->firmware, desc->firmware_size);
    if (desc->config_size) memcpy(out + size_t(r2) * image::kPage, desc->config, desc->config_size);
    BYTE* trailer = out + size_t(r2 + 1) * image::kPage;
    memcpy(trailer + image::kTrailerVersion, desc->version, 8);
    PutLe32(trailer + image::kTrailerFtlBuild, desc->ftl_build);
    ImageLayout layout;
    if (!GetImageLayout(out, size, &layout)) return 0;
    PutLe32(trailer + image::kTrailerCrc, ComputeImageChecksum(out, &layout, desc->crc32c));
    return size;
}
