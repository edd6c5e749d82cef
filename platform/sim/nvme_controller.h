// The NVMe controller behind every attachment of a simulated NVMe drive:
// Identify, the log pages (firmware slots among them), the controller family's two vendor command
// sets, firmware download, commit and what runs after a reset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/nvme_fw_image.h"
#include "platform/sim/sim_drive.h"

namespace sim {

// NVMe status field values (type << 8 | code) the model answers with.
enum : uint16_t {
    kNvmeOk = 0x0000,
    kNvmeInvalidOpcode = 0x0001,
    kNvmeInvalidField = 0x0002,
    kNvmeInternalError = 0x0006,
    kNvmeInvalidSlot = 0x0106,
    kNvmeInvalidImage = 0x0107,
    kNvmeInvalidLogPage = 0x0109,
    kNvmeNeedsReset = 0x010B,  // committed; runs after the next conventional reset
    kNvmeOverlappingRange = 0x0114,
};

struct NvmeAnswer {
    Outcome outcome;  // a fault the machine file injects on this command
    uint16_t status = kNvmeOk;
    uint32_t dw0 = 0;
};

class NvmeController {
public:
    NvmeController(const DriveDesc& desc, DriveHost* host);

    // One admin command. data/length: the data moved with it (read: filled,
    // write: taken). key_in_cdw2: the path carries the whole command, so the
    // vendor key word must be in CDW2 (the native stack builds its own
    // command and leaves CDW2 at 0; there the unlock opens the vendor set).
    NvmeAnswer Admin(const uint8_t command[64], uint8_t* data, uint32_t length, bool key_in_cdw2);

    // Firmware Image Download by byte offset (the native stack's request).
    uint16_t Download(uint64_t offset, const uint8_t* data, uint64_t length);
    uint16_t Commit(uint32_t slot, uint32_t action);
    // Conventional reset (the drive powered off and on, or reset in place):
    // a committed image starts running unless the machine keeps the old one.
    void Reset();
    bool HasPending() const { return pending_; }

    const DriveDesc& desc() const { return desc_; }

private:
    struct Running {
        std::string revision;
        std::string internal_version;
        std::string mp_version;
        uint32_t ftl_build = 0;
        std::vector<uint8_t> config;
    };

    void IdentifyController(uint8_t* data, uint32_t length) const;
    void IdentifyNamespace(uint8_t* data, uint32_t length) const;
    void EffectsLog(uint8_t* data, uint32_t length) const;
    void SlotLog(uint8_t* data, uint32_t length) const;
    void DriveInfo(uint8_t* data, uint32_t length) const;
    void MpInfo(uint8_t* data, uint32_t length) const;
    uint16_t Vendor(const uint8_t* command, uint8_t* data, uint32_t length, bool key_in_cdw2);
    uint16_t ConfigWrite(const uint8_t* data, uint32_t length, uint32_t check);

    DriveDesc desc_;
    DriveHost* host_;
    Running running_;
    bool unlocked_ = false;
    uint8_t mp_head_[144] = {};  // bytes 0-143 of the MP block, as last written
    FwImageCollector download_;  // the image so far (pieces come in order)
    bool pending_ = false;
    NvmeFwImage pending_image_;
    bool pending_keeps_running_ = false;  // commit action 2: the slot's own image
    // Firmware slots: what each holds, the one running, and the one a
    // commit chose for the next reset (0: none).
    std::vector<std::string> slots_;
    uint32_t active_slot_ = 1;
    uint32_t pending_slot_ = 0;
};

}  // namespace sim
