#include "platform/sim/sata_device.h"

#include <algorithm>
#include <cstring>

#include "platform/sim/nvme_fw_image.h"

namespace sim {

namespace {
constexpr uint32_t kSector = 512;
constexpr uint32_t kBlock = 4096;
constexpr size_t kConfigVersion = 0x428;
constexpr uint8_t kDeviceSelect = 0x10;  // DEV: the second device, which is not there

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
// ATA text: blank padded, two characters a word with the first in the high byte.
void PutAtaText(uint8_t* identify, int first_word, int characters, const std::string& text) {
    for (int i = 0; i < characters; ++i) {
        char c = i < static_cast<int>(text.size()) ? text[i] : ' ';
        identify[2 * first_word + (i ^ 1)] = static_cast<uint8_t>(c);
    }
}
void PutAscii(uint8_t* p, size_t size, const std::string& text) {
    std::memset(p, 0, size);
    std::memcpy(p, text.data(), std::min(size, text.size()));
}
AtaResult Abort() {
    AtaResult r;
    r.error = true;
    return r;
}
}  // namespace

SataDevice::SataDevice(const DriveDesc& desc) : desc_(desc) {
    running_.revision = desc.firmware;
    running_.internal_version = desc.vendor.internal_version;
    running_.ftl_build = desc.vendor.ftl_build;
    running_.config = desc.vendor.config_block;
    if (running_.config.size() != kBlock) {
        running_.config.assign(kBlock, 0);
        for (size_t i = 0; i < 0x400; ++i) running_.config[i] = uint8_t(0xC0 + (i % 31));
        PutAscii(running_.config.data() + kConfigVersion, 8, desc.vendor.config_version);
    }
}

void SataDevice::Identify(uint8_t* id) const {
    std::memset(id, 0, kSector);
    Put16(id + 2 * 0, 0x0040);  // fixed device
    PutAtaText(id, 10, 20, desc_.serial);
    PutAtaText(id, 23, 8, running_.revision);
    PutAtaText(id, 27, 40, desc_.model);
    Put16(id + 2 * 49, 0x0200);  // LBA supported
    uint64_t blocks = desc_.blocks;
    Put32(id + 2 * 60, static_cast<uint32_t>(std::min<uint64_t>(blocks, 0x0FFFFFFF)));
    Put16(id + 2 * 76, 0x000E);  // Gen1 to Gen3 supported
    Put16(id + 2 * 77, static_cast<uint16_t>((desc_.sata_link_gen & 7) << 1));
    Put16(id + 2 * 83, 0x4400);  // 48-bit addressing
    Put16(id + 2 * 86, 0x0400);
    for (int i = 0; i < 4; ++i) Put16(id + 2 * (100 + i), static_cast<uint16_t>(blocks >> (16 * i)));
    Put16(id + 2 * 234, 1);  // DOWNLOAD MICROCODE: at least 1 block
    Put16(id + 2 * 235, 8);  // and at most 8 per command
}

void SataDevice::Detail(uint8_t* b) const {
    std::memset(b, 0, kBlock);
    b[0] = 'Z';
    Put16(b + 2, desc_.vendor.soc_id);
    std::memcpy(b + 16, desc_.vendor.nand_id, 6);
    PutAscii(b + 32, 8, running_.internal_version);
    Put32(b + 72, running_.ftl_build);
}

void SataDevice::Geometry(uint8_t* b) const {
    const VendorDesc& v = desc_.vendor;
    if (v.mp_block.size() == kBlock) {
        std::memcpy(b, v.mp_block.data(), kBlock);
        return;
    }
    std::memset(b, 0, kBlock);
    Put16(b + 280, v.mp_marker);
    Put16(b + 288, v.pages_per_block);
    b[295] = v.channels;
    b[296] = v.chip_enables;
    b[297] = v.luns;
    b[298] = v.planes;
}

// Subcommand 3: the block count in the count register (high byte in LBA
// 7:0), the block offset in LBA 23:8. Pieces come in order; offset 0 starts
// a new image. Once the image the header describes is complete the drive
// saves it and runs it: the count register says 2 (all segments received)
// instead of 1 (more expected).
AtaResult SataDevice::Microcode(const AtaRegisters& r, const uint8_t* data, uint32_t length) {
    if (r.features != 3) return Abort();
    uint32_t blocks = r.count | ((r.lba & 0xFF) << 8);
    uint32_t offset = (r.lba >> 8) & 0xFFFF;
    if (blocks == 0 || uint64_t{blocks} * kSector != length || !data) return Abort();
    if (offset == 0) {
        std::vector<uint8_t>().swap(download_);
        // One buffer the size the header announces (within reason).
        uint64_t announced = length >= 0x14 + 20 ? (uint64_t{Le32(data + 0x14 + 16)} + 2) * kBlock : 0;
        if (announced <= (64u << 20)) download_.reserve(announced);
    }
    if (uint64_t{offset} * kSector != download_.size()) {
        download_.clear();  // a gap or a piece out of order spoils the whole image
        return Abort();
    }
    if (offset == 0 && (length < 4 || Le32(data) != 0x47464D43u)) return Abort();
    download_.insert(download_.end(), data, data + length);

    AtaResult result;
    result.count = 1;
    if (download_.size() < kBlock) return result;
    uint64_t trailer = (uint64_t{Le32(download_.data() + 0x14 + 16)} + 1) * kBlock;
    uint64_t total = trailer + kBlock;
    if (download_.size() < total) return result;
    NvmeFwImage image;
    bool ok = download_.size() == total && ParseNvmeFwImage(download_.data(), download_.size(), &image);
    std::vector<uint8_t>().swap(download_);
    if (!ok) return Abort();
    if (desc_.activation_applies) {
        running_.revision = image.version.substr(0, 8);
        running_.internal_version = image.version;
        running_.ftl_build = image.ftl_build;
        running_.config = image.config;
    }
    result.count = 2;
    return result;
}

AtaResult SataDevice::Execute(const AtaRegisters& r, AtaDirection direction, uint8_t* data, uint32_t length) {
    if (r.device & kDeviceSelect) return Abort();
    const bool vendor = desc_.vendor.family;
    switch (r.command) {
        case 0xEC:
            if (direction != AtaDirection::kIn || r.count != 1 || length != kSector) return Abort();
            Identify(data);
            return AtaResult();
        case 0xC3:
            if (!vendor || direction != AtaDirection::kIn || r.count != 8 || length != kBlock) return Abort();
            if (r.features == 2) {
                std::memcpy(data, running_.config.data(), kBlock);
            } else if (r.features == 3 && desc_.vendor.drvinfo != DrvInfoSource::kNone) {
                Detail(data);
            } else if (r.features == 4) {
                Geometry(data);
            } else {
                return Abort();
            }
            return AtaResult();
        case 0xC2:
            if (!vendor || r.features != 1 || direction != AtaDirection::kOut || r.count != 8 || length != kBlock)
                return Abort();
            running_.config.assign(data, data + kBlock);
            return AtaResult();
        case 0x92:
            if (direction != AtaDirection::kOut) return Abort();
            return Microcode(r, data, length);
        default:
            return Abort();
    }
}

}  // namespace sim
