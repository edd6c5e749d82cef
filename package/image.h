// Firmware images ("CMFG": 4096-byte pages, three page regions, a trailer
// page with checksum, version text and FTL build number) and the 4096-byte
// firmware configuration block with its 8-byte version text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os_types.h"

namespace image {
constexpr size_t kPage = 4096;
constexpr uint32_t kMagic = 0x47464D43;  // "CMFG" read little-endian
constexpr size_t kHeaderBytes = 0x50;    // magic, 12 bytes, eight region descriptors
constexpr size_t kRegionTable = 0x10;
constexpr size_t kTrailerZero = 0x008;
constexpr size_t kTrailerCrc = 0x00C;
constexpr size_t kTrailerVersion = 0x010;
constexpr size_t kTrailerFtlBuild = 0xFF8;
constexpr size_t kConfigVersion = 0x428;  // inside the configuration block
constexpr size_t kConfigBlock = 4096;
}  // namespace image

// Where the parts of a configuration image lie, in bytes from its start.
struct ImageLayout {
    uint32_t first[3];
    uint32_t last[3];
    size_t trailer;  // start of the trailer page
};

// 1 when data starts with the magic and its regions 0 to 2 and the trailer
// page lie inside size bytes (first page <= last page); 0 otherwise. Images
// that fail this are treated as not being configuration images at all.
int GetImageLayout(const BYTE* data, size_t size, ImageLayout* layout);

// Continues a CRC (previous 0 starts one); crc32c 1 = CRC-32C, 0 = CRC-32.
uint32_t ImageCrc(const void* data, size_t length, uint32_t previous, int crc32c);
// The image checksum with the given variant over header, 4016 zeros and the
// three regions. The layout must come from GetImageLayout.
uint32_t ComputeImageChecksum(const BYTE* data, const ImageLayout* layout, int crc32c);
// The checksum in two steps: header, zeros, regions 0 and 1; then a region.
uint32_t ChecksumHead(const BYTE* data, const ImageLayout* layout, int crc32c);
uint32_t ChecksumRegion(const BYTE* data, const ImageLayout* layout, int region, uint32_t crc, int crc32c);

// Firmware images are a few MiB; anything over this is not one.
constexpr uint64_t kMaxImageFile = 64ull << 20;

// An image file read whole, with one open, into committed pages of its own
// size. Only a regular file (not a folder, device, pipe or link) of 1 to
// kMaxImageFile bytes is read; otherwise 0 with a log line saying why.
struct ImageFile {
    BYTE* data;
    size_t size;
};
int LoadImageFile(const WCH* path, ImageFile* out);

// The reading under LoadImageFile, for callers with their own bound and their
// own words for a refusal: a regular file of 0 to max_size bytes, read whole
// with one open (out->data is null for an empty file). Nothing is logged.
enum PlainFileRead {
    kPlainFileRead = 1,
    kPlainFileMissing = 0,     // no such path
    kPlainFileNotPlain = -1,   // a folder, device, pipe or link: never opened
    kPlainFileTooLarge = -2,   // *size_out holds the size
    kPlainFileUnreadable = -3  // the open, the allocation or the read failed
};
int ReadPlainFile(const WCH* path, uint64_t max_size, ImageFile* out, uint64_t* size_out);
void FreeImageFile(ImageFile* file);

// What the checks before a run decide on: size, version text (as
// ReadImageVersionFromBytes gives it, without its log line) and FTL build
// number (0 when the layout does not hold).
struct ImageCheckFacts {
    uint64_t size;
    WCH version[32];
    uint32_t ftl_build;
};
void GetImageFacts(const BYTE* data, size_t size, ImageCheckFacts* out);

// The version text of an image file into out (at least 32 units).
int ReadImageVersion(const WCH* path, WCH* out);
// Same on bytes already in memory (no file read).
int ReadImageVersionFromBytes(const BYTE* data, size_t size, WCH* out);
int CompareVersionParts(const WCH* drive_version, int parts, const WCH* path, WCH* out_image_version);
// The same compare on an image version text already read.
int CompareVersionText(const WCH* drive_version, int parts, const WCH* image_version);
uint32_t ReadFtlBuildNum(const WCH* path);
// 1 when the stored checksum equals the CRC-32C checksum of the image.
int VerifyImageCrc(const BYTE* data, size_t size);
int SetConfigVersion(BYTE* block, const WCH* new_version, int crc32c, uint32_t* out_crc);
void PatchImageConfig(BYTE* data, size_t size, const BYTE* drive_block, const WCH* new_version);
// The same when the caller already knows VerifyImageCrc's answer for these
// unchanged bytes: the checksum is not summed a second time.
void PatchImageConfigVerified(BYTE* data, size_t size, const BYTE* drive_block, const WCH* new_version,
                              int crc32c_verified);

// Little-endian field access used by the image code and its tools.
inline uint32_t GetLe32(const BYTE* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void PutLe32(BYTE* p, uint32_t v) {
    p[0] = BYTE(v);
    p[1] = BYTE(v >> 8);
    p[2] = BYTE(v >> 16);
    p[3] = BYTE(v >> 24);
}

// ---- making images (quillon-tool image make, the default package, tests) ----
struct ImageDesc {
    const BYTE* firmware;  // split over regions 0 and 1, padded to whole pages
    size_t firmware_size;
    const BYTE* config;  // the configuration block; shorter is zero-padded, null is all zeros
    size_t config_size;
    BYTE version[8];  // trailer version parts, as stored
    uint32_t ftl_build;
    int crc32c;  // checksum variant to seal with
};
// The eight stored version bytes of "1A2B3C4D" (four two-character parts)
// or "1.2.3.4" (four dotted parts of one or two characters; a one-character
// part is stored as a zero byte and the character). 1 when the text has one
// of the two forms.
int ParseVersionParts(const WCH* text, BYTE out[8]);
// Size of the image MakeImage builds for firmware_size bytes of firmware.
size_t ImageSizeFor(size_t firmware_size);
// Builds a sealed image into out (capacity bytes). The image size, or 0.
size_t MakeImage(const ImageDesc* desc, BYTE* out, size_t capacity);
