#include "platform/sim/nvme_controller.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {
constexpr uint32_t kKeyWord = 0x776B7A71;
constexpr uint32_t kOrax = 0x5841524F;
constexpr uint32_t kVelq = 0x514C4556;
constexpr uint32_t kBlock = 4096;
constexpr size_t kConfigVersion = 0x428;

uint32_t Dw(const uint8_t* command, int index) {
    const uint8_t* p = command + 4 * index;
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// ASCII field of Identify: blank padded, not terminated.
void PutText(uint8_t* p, size_t size, const std::string& text) {
    std::memset(p, ' ', size);
    std::memcpy(p, text.data(), std::min(size, text.size()));
}
// Vendor block text: zero padded.
void PutAscii(uint8_t* p, size_t size, const std::string& text) {
    std::memset(p, 0, size);
    std::memcpy(p, text.data(), std::min(size, text.size()));
}

// A block out of a local 4096-byte image, cut to the caller's length.
void Give(uint8_t* data, uint32_t length, const uint8_t* block, size_t size) {
    if (!data) return;
    std::memset(data, 0, length);
    std::memcpy(data, block, std::min<size_t>(length, size));
}
}  // namespace

NvmeController::NvmeController(const DriveDesc& desc, DriveHost* host) : desc_(desc), host_(host) {
    running_.revision = desc.firmware;
    running_.internal_version = desc.vendor.internal_version;
    running_.mp_version = desc.vendor.mp_version;
    if (desc.vendor.mp_block.size() == kBlock) std::memcpy(mp_head_, desc.vendor.mp_block.data(), sizeof mp_head_);
    running_.ftl_build = desc.vendor.ftl_build;
    running_.config = desc.vendor.config_block;
    if (running_.config.size() != kBlock) {
        running_.config.assign(kBlock, 0);
        for (size_t i = 0; i < 0x400; ++i) running_.config[i] = uint8_t(0xC0 + (i % 31));
        PutAscii(running_.config.data() + kConfigVersion, 8, desc.vendor.config_version);
    }
    const FirmwareSlotsDesc& slots = desc.firmware_slots;
    slots_.assign(static_cast<size_t>(std::max(1, slots.count)), "");
    for (size_t i = 0; i < slots.revisions.size() && i < slots_.size(); ++i) slots_[i] = slots.revisions[i];
    active_slot_ = static_cast<uint32_t>(std::min(std::max(1, slots.active), static_cast<int>(slots_.size())));
    // The active slot holds what runs.
    if (slots_[active_slot_ - 1].empty()) slots_[active_slot_ - 1] = desc.firmware;
}

void NvmeController::IdentifyController(uint8_t* data, uint32_t length) const {
    uint8_t id[kBlock] = {};
    Put16(id + 0, desc_.pci_vendor);
    Put16(id + 2, desc_.pci_subsystem_vendor);
    PutText(id + 4, 20, desc_.serial);
    PutText(id + 24, 40, desc_.model);
    PutText(id + 64, 8, running_.revision);
    id[260] = uint8_t((slots_.size() & 7) << 1);  // FRMW: the slot count, slot 1 writable
    id[319] = 1;     // FWUG: 4 KiB pieces
    Put32(id + 516, 1);  // NN: one namespace
    Give(data, length, id, sizeof id);
}

void NvmeController::IdentifyNamespace(uint8_t* data, uint32_t length) const {
    uint8_t ns[kBlock] = {};
    uint64_t blocks = desc_.blocks;
    for (int at : {0, 8, 16})
        for (int i = 0; i < 8; ++i) ns[at + i] = uint8_t(blocks >> (8 * i));
    uint8_t lbads = 0;
    while ((1u << lbads) < desc_.sector_size && lbads < 31) ++lbads;
    ns[130] = lbads;  // LBAF0.LBADS, FLBAS 0
    Give(data, length, ns, sizeof ns);
}

void NvmeController::EffectsLog(uint8_t* data, uint32_t length) const {
    uint8_t log[kBlock] = {};
    auto support = [&log](uint8_t opcode) { log[4 * opcode] = 1; };
    for (uint8_t op : {0x02, 0x06, 0x10, 0x11}) support(op);
    if (desc_.vendor.family) {
        support(0xFC);
        support(0xFE);
        support(0xF1);
        support(0xF2);
        if (desc_.vendor.command_set == 1) {
            support(0xFD);
        } else {
            support(0xE5);
            support(0xE6);
        }
    }
    Give(data, length, log, sizeof log);
}

// Firmware slot information: AFI (active slot, next-reset slot), then one
// 8-byte revision per slot from byte 8.
void NvmeController::SlotLog(uint8_t* data, uint32_t length) const {
    uint8_t log[512] = {};
    log[0] = uint8_t((active_slot_ & 7) | ((pending_slot_ & 7) << 4));
    for (size_t i = 0; i < slots_.size(); ++i)
        if (!slots_[i].empty()) PutText(log + 8 + 8 * i, 8, slots_[i]);
    Give(data, length, log, sizeof log);
}

void NvmeController::DriveInfo(uint8_t* data, uint32_t length) const {
    uint8_t b[kBlock] = {};
    b[0] = 'Z';
    Put16(b + 2, desc_.vendor.soc_id);
    std::memcpy(b + 16, desc_.vendor.nand_id, 6);
    PutAscii(b + 32, 8, running_.internal_version);
    Put32(b + 72, running_.ftl_build);
    Give(data, length, b, sizeof b);
}

void NvmeController::MpInfo(uint8_t* data, uint32_t length) const {
    const VendorDesc& v = desc_.vendor;
    uint8_t b[kBlock] = {};
    if (v.mp_block.size() == kBlock) {
        // The block as the machine file gives it; the head is still what the
        // tool last wrote, and an update that ran still shows its version.
        std::memcpy(b, v.mp_block.data(), kBlock);
        std::memcpy(b, mp_head_, sizeof mp_head_);
        if (running_.mp_version != v.mp_version) PutAscii(b + 1606, 10, running_.mp_version);
        Give(data, length, b, sizeof b);
        return;
    }
    std::memcpy(b, mp_head_, sizeof mp_head_);
    Put16(b + 280, v.mp_marker);
    Put16(b + 288, v.pages_per_block);
    b[295] = v.channels;
    b[296] = v.chip_enables;
    b[297] = v.luns;
    b[298] = v.planes;
    int entries = std::min(32, v.channels * v.chip_enables);
    for (int i = 0; i < entries; ++i) std::memcpy(b + 1352 + 6 * i, v.nand_id, 6);
    if (v.mp_marker == 1768) {
        Put16(b + 1582, v.mp_soc_id);
        PutAscii(b + 1606, 10, running_.mp_version);
    }
    Give(data, length, b, sizeof b);
}

uint16_t NvmeController::ConfigWrite(const uint8_t* data, uint32_t length, uint32_t check) {
    if (!data || length != kBlock) return kNvmeInvalidField;
    // The drive takes a block only with one of the two checksums of its bytes.
    if (check != SimCrc(data, kBlock, true) && check != SimCrc(data, kBlock, false)) return kNvmeInvalidField;
    running_.config.assign(data, data + kBlock);
    return kNvmeOk;
}

uint16_t NvmeController::Vendor(const uint8_t* c, uint8_t* data, uint32_t length, bool key_in_cdw2) {
    const VendorDesc& v = desc_.vendor;
    if (!v.family) return kNvmeInvalidOpcode;
    const uint8_t opcode = c[0];
    const uint32_t cdw12 = Dw(c, 12), cdw13 = Dw(c, 13), cdw14 = Dw(c, 14), cdw15 = Dw(c, 15);
    if (opcode == 0xFC) {
        // The unlock carries the key word itself.
        if (cdw12 == 0x1F && cdw13 == kKeyWord && cdw14 == 1) {
            unlocked_ = true;
            return kNvmeOk;
        }
        return kNvmeInvalidField;
    }
    const bool keyed = key_in_cdw2 ? Dw(c, 2) == kKeyWord : unlocked_;
    if (!keyed) return kNvmeInvalidOpcode;
    const bool block = length == kBlock && Dw(c, 10) == kBlock / 4;
    const bool signed_words = cdw14 == kOrax && cdw15 == kVelq;
    switch (opcode) {
        case 0xF2:  // MP information, both sets
            if (!signed_words || !block) return kNvmeInvalidField;
            MpInfo(data, length);
            return kNvmeOk;
        case 0xF1:  // the MP block's first bytes written back (the recorded version)
            if (!signed_words || !block || !data) return kNvmeInvalidField;
            std::memcpy(mp_head_, data, sizeof mp_head_);
            return kNvmeOk;
        case 0xE6:
            if (v.command_set != 0 || !signed_words || !block) return kNvmeInvalidOpcode;
            if (cdw12 == 1) {
                Give(data, length, running_.config.data(), kBlock);
                return kNvmeOk;
            }
            if (cdw12 == 3 && v.drvinfo != DrvInfoSource::kNone) {
                DriveInfo(data, length);
                return kNvmeOk;
            }
            return kNvmeInvalidField;
        case 0xE5:
            if (v.command_set != 0 || cdw12 != 1 || cdw15 != 0) return kNvmeInvalidField;
            return ConfigWrite(data, length, cdw14);
        case 0xFE:
            if (v.command_set != 1 || !block) return kNvmeInvalidField;
            if (cdw12 == 0x82 && cdw13 == 1) {
                Give(data, length, running_.config.data(), kBlock);
                return kNvmeOk;
            }
            if (cdw12 == 0x82 && cdw13 == 3 && v.drvinfo != DrvInfoSource::kNone) {
                DriveInfo(data, length);
                return kNvmeOk;
            }
            if (cdw12 == 0x63) {
                MpInfo(data, length);
                return kNvmeOk;
            }
            return kNvmeInvalidField;
        case 0xFD:
            if (v.command_set != 1 || cdw12 != 0x81 || cdw13 != 1 || cdw14 != 0) return kNvmeInvalidField;
            return ConfigWrite(data, length, cdw15);
        default:
            return kNvmeInvalidOpcode;
    }
}

NvmeAnswer NvmeController::Admin(const uint8_t command[64], uint8_t* data, uint32_t length, bool key_in_cdw2) {
    NvmeAnswer answer;
    const uint8_t opcode = command[0];
    host_->NoteSubOperation(Dw(command, 12));
    if (host_->TakeFault(FaultMatch::kNvme, opcode, &answer.outcome, nullptr)) {
        answer.status = kNvmeInternalError;
        return answer;
    }
    // A read that the drive answers only in part leaves zeros behind.
    if (data && (opcode & 3) == 2) std::memset(data, 0, length);
    const uint32_t nsid = Dw(command, 1), cdw10 = Dw(command, 10), cdw11 = Dw(command, 11);
    switch (opcode) {
        case 0x06:
            if ((cdw10 & 0xFF) == 1) {
                IdentifyController(data, length);
            } else if ((cdw10 & 0xFF) == 0 && nsid == 1) {
                IdentifyNamespace(data, length);
            } else {
                answer.status = kNvmeInvalidField;
            }
            return answer;
        case 0x02: {
            uint32_t lid = cdw10 & 0xFF;
            if (lid == 0x05) {
                EffectsLog(data, length);
            } else if (lid == 0x03) {
                SlotLog(data, length);
            } else if (lid == 0xE1 && desc_.vendor.family && desc_.vendor.drvinfo == DrvInfoSource::kLogPage) {
                DriveInfo(data, length);
            } else {
                answer.status = kNvmeInvalidLogPage;
            }
            return answer;
        }
        case 0x11: {
            uint64_t bytes = (uint64_t{cdw10} + 1) * 4;
            if (bytes > length) {
                answer.status = kNvmeInvalidField;
                return answer;
            }
            answer.status = Download(uint64_t{cdw11} * 4, data, bytes);
            return answer;
        }
        case 0x10:
            answer.status = Commit(cdw10 & 7, (cdw10 >> 3) & 7);
            return answer;
        default:
            answer.status = Vendor(command, data, length, key_in_cdw2);
            return answer;
    }
}

uint16_t NvmeController::Download(uint64_t offset, const uint8_t* data, uint64_t length) {
    if (!data || length == 0 || (offset | length) % 4 != 0) return kNvmeInvalidField;
    // Pieces come in order; offset 0 starts a new image.
    if (offset == 0) download_.Clear();
    if (offset != download_.size()) return kNvmeOverlappingRange;
    if (download_.size() + length > (64u << 20)) return kNvmeInvalidField;
    download_.Append(data, length);
    return kNvmeOk;
}

uint16_t NvmeController::Commit(uint32_t slot, uint32_t action) {
    if (slot > slots_.size()) return kNvmeInvalidSlot;
    // Slot 0: the drive chooses, and it chooses the one running.
    if (slot == 0) slot = active_slot_;
    if (action == 2) {  // activate what the slot holds: the running image stays
        pending_ = true;
        pending_keeps_running_ = true;
        pending_slot_ = slot;
        return kNvmeNeedsReset;
    }
    if (action != 0 && action != 1 && action != 3) return kNvmeInvalidField;
    NvmeFwImage image;
    if (!download_.Parse(&image)) return kNvmeInvalidImage;
    download_.Clear();  // the image is parsed: what was kept of it goes
    if (action == 0) {
        // Stored for later; over the running slot it is not kept.
        if (slot != active_slot_) slots_[slot - 1] = image.version.substr(0, 8);
        return kNvmeOk;
    }
    slots_[slot - 1] = image.version.substr(0, 8);
    pending_ = true;
    pending_keeps_running_ = false;
    pending_image_ = image;
    pending_slot_ = slot;
    if (action == 3) {
        Reset();
        return kNvmeOk;
    }
    return kNvmeNeedsReset;
}

void NvmeController::Reset() {
    unlocked_ = false;
    if (!pending_) return;
    pending_ = false;
    const uint32_t slot = pending_slot_;
    pending_slot_ = 0;
    if (pending_keeps_running_) {
        // Another slot's image runs from now on; the same slot's keeps running.
        if (slot != active_slot_ && !slots_[slot - 1].empty()) running_.revision = slots_[slot - 1];
        active_slot_ = slot;
        return;
    }
    // The machine may keep the drive on its old firmware whatever was
    // committed: the slot then holds what still runs.
    if (!desc_.activation_applies) {
        if (slot == active_slot_) slots_[slot - 1] = running_.revision;
        return;
    }
    active_slot_ = slot;
    running_.revision = pending_image_.version.substr(0, 8);
    running_.internal_version = pending_image_.version;
    running_.mp_version = pending_image_.version;
    running_.ftl_build = pending_image_.ftl_build;
    running_.config = pending_image_.config;
}

}  // namespace sim
