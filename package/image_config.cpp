// The configuration block inside an image: its version text, and resealing
// the image after the drive's own block is put in.
#include <cstring>

#include "core/log.h"
#include "package/image.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {
int IsKeep(const WCH* text) { return WCompareNoCase(text, u"KEEP") == 0; }
}  // namespace

int VerifyImageCrc(const BYTE* data, size_t size) {
    ImageLayout layout;
    if (!GetImageLayout(data, size, &layout)) {
        LogMsg(u"Not Config FW");
        return 0;
    }
    uint32_t stored = GetLe32(data + layout.trailer + image::kTrailerCrc);
    return ComputeImageChecksum(data, &layout, 1) == stored ? 1 : 0;
}

int SetConfigVersion(BYTE* block, const WCH* new_version, int crc32c, uint32_t* out_crc) {
    if (IsKeep(new_version)) return 0;
    char narrow[128] = {};
    os::WideCharToMultiByte(CP_ACP, 0, new_version, -1, narrow, sizeof narrow - 1);
    narrow[sizeof narrow - 1] = 0;
    // The stored text has no terminator when it is 8 characters long.
    char current[9] = {};
    memcpy(current, block + image::kConfigVersion, 8);
    LogMsg(u"Now[%S],New[%S]", current, narrow);
    if (memcmp(block + image::kConfigVersion, narrow, 8) == 0) return 0;
    memcpy(block + image::kConfigVersion, narrow, 8);
    if (out_crc) *out_crc = ImageCrc(block, image::kConfigBlock, 0, crc32c);
    return 1;
}

void PatchImageConfig(BYTE* data, size_t size, const BYTE* drive_block, const WCH* new_version) {
    ImageLayout layout;
    if (!GetImageLayout(data, size, &layout)) {
        LogMsg(u"Not Config FW");
        return;
    }
    PatchImageConfigVerified(data, size, drive_block, new_version, VerifyImageCrc(data, size));
}

void PatchImageConfigVerified(BYTE* data, size_t size, const BYTE* drive_block, const WCH* new_version,
                              int crc32c_verified) {
    ImageLayout layout;
    if (!GetImageLayout(data, size, &layout)) {
        LogMsg(u"Not Config FW");
        return;
    }
    // An image whose checksum matches neither variant is resealed with CRC-32.
    int variant = crc32c_verified ? 1 : 0;
    BYTE* config = data + size_t(layout.first[2]) * image::kPage;
    if (drive_block) memcpy(config, drive_block, image::kConfigBlock);
    if (!IsKeep(new_version)) SetConfigVersion(config, new_version, variant, nullptr);
    // Summed after the edit: in an odd image region 2 shares pages with
    // region 0 or 1, and a sum of those taken before the edit would be stale.
    uint32_t crc = ComputeImageChecksum(data, &layout, variant);
    PutLe32(data + layout.trailer + image::kTrailerZero, 0);
    PutLe32(data + layout.trailer + image::kTrailerCrc, crc);
}
