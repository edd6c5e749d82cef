// The simulated SATA drive's ATA side: IDENTIFY DEVICE, the controller
// family's vendor reads (0xC3) and configuration write (0xC2), and
// DOWNLOAD MICROCODE with offsets. Both ways in (ATA pass-through on a
// native port, SCSI/ATA translation behind a bridge or adapter) hand it the
// same registers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim_drive.h"

namespace sim {

struct AtaRegisters {
    uint8_t features = 0;
    uint8_t count = 0;
    uint32_t lba = 0;  // bits 0-23 from LBA low / mid / high
    uint8_t device = 0;
    uint8_t command = 0;
};

enum class AtaDirection : uint8_t { kNone, kIn, kOut };

struct AtaResult {
    bool error = false;  // status ERR with ABRT in the error register
    uint8_t count = 0;   // the count register the drive returns
};

class SataDevice {
public:
    explicit SataDevice(const DriveDesc& desc);

    // One command. direction and length are what the host moves; the
    // device aborts a command whose data phase does not match.
    AtaResult Execute(const AtaRegisters& r, AtaDirection direction, uint8_t* data, uint32_t length);

    const std::string& revision() const { return running_.revision; }
    const std::vector<uint8_t>& config() const { return running_.config; }
    size_t received() const { return download_.size(); }

private:
    struct Running {
        std::string revision;
        std::string internal_version;
        uint32_t ftl_build = 0;
        std::vector<uint8_t> config;
    };

    void Identify(uint8_t* data) const;
    void Detail(uint8_t* data) const;
    void Geometry(uint8_t* data) const;
    AtaResult Microcode(const AtaRegisters& r, const uint8_t* data, uint32_t length);

    DriveDesc desc_;
    Running running_;
    std::vector<uint8_t> download_;  // microcode pieces so far, in order
};

}  // namespace sim
