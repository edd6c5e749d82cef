// The simulated SATA drive behind its three attachments: ATA pass-through
// on a native SATA port, and SCSI/ATA translation (ATA PASS-THROUGH (12)
// and (16)) behind a USB-to-SATA bridge or a SCSI-class adapter.
#include <algorithm>
#include <cstring>

#include "platform/sim/sata_device.h"
#include "platform/sim/sim_drive.h"
#include "platform/storage_layouts.h"

namespace sim {

namespace {

constexpr uint32_t kSector = 512;

class SataDrive : public SimDrive {
public:
    SataDrive(const DriveDesc& desc, DriveHost* host) : desc_(desc), host_(host), device_(desc) {}
    Outcome Ata(AtaCommand& command) override;
    Outcome Scsi(ScsiCommand& command) override;

private:
    Outcome Translate(ScsiCommand& command);
    // The last piece of an image came in and the image runs: a drive whose
    // machine file says so leaves now, as its on_activate describes.
    void LeaveIfCommitted(const AtaRegisters& r, const AtaResult& result) {
        if (r.command == 0x92 && result.count == 2 && desc_.sata_leaves_on_commit) host_->Leave(false);
    }
    Outcome Inquiry(ScsiCommand& command);

    DriveDesc desc_;
    DriveHost* host_;
    SataDevice device_;
};

// The machine has already applied the ATA faults of this path and set the
// status to DRDY.
Outcome SataDrive::Ata(AtaCommand& c) {
    AtaRegisters r;
    r.features = c.request[0];
    r.count = c.request[1];
    r.lba = c.request[2] | (uint32_t{c.request[3]} << 8) | (uint32_t{c.request[4]} << 16);
    r.device = c.request[5];
    r.command = c.request[6];
    AtaDirection direction = (c.flags & kAtaFlagsDataIn)    ? AtaDirection::kIn
                             : (c.flags & kAtaFlagsDataOut) ? AtaDirection::kOut
                                                            : AtaDirection::kNone;
    AtaResult result = device_.Execute(r, direction, c.data, c.length);
    if (result.error) {
        c.task_file[0] = 0x04;  // ABRT
        c.task_file[6] = 0x51;  // DRDY | ERR
    } else {
        c.task_file[1] = result.count;
        LeaveIfCommitted(r, result);
    }
    return Outcome();
}

Outcome SataDrive::Inquiry(ScsiCommand& c) {
    if (c.data_in != kScsiIoctlDataIn || !c.data) return CheckCondition(0x05, 0x24, 0x00);
    uint8_t inquiry[96] = {};
    inquiry[2] = 0x06;  // SPC-4
    inquiry[3] = 0x02;
    inquiry[4] = 91;
    std::string vendor = desc_.inquiry_vendor.empty() ? "ATA" : desc_.inquiry_vendor;
    std::string product = desc_.inquiry_product.empty() ? desc_.model : desc_.inquiry_product;
    std::memset(inquiry + 8, ' ', 28);
    std::memcpy(inquiry + 8, vendor.data(), std::min<size_t>(8, vendor.size()));
    std::memcpy(inquiry + 16, product.data(), std::min<size_t>(16, product.size()));
    std::memcpy(inquiry + 32, desc_.firmware.data(), std::min<size_t>(4, desc_.firmware.size()));
    if (desc_.inquiry_tag >= 0) {
        inquiry[36] = static_cast<uint8_t>(desc_.inquiry_tag >> 8);
        inquiry[37] = static_cast<uint8_t>(desc_.inquiry_tag);
    }
    uint32_t n = std::min<uint32_t>(c.length, sizeof inquiry);
    std::memset(c.data, 0, c.length);
    std::memcpy(c.data, inquiry, n);
    Outcome o;
    o.residue = c.length - n;
    return o;
}

// ATA PASS-THROUGH: the protocol and transfer fields must agree with the
// request's direction and length, as a translating layer checks them.
Outcome SataDrive::Translate(ScsiCommand& c) {
    const bool sixteen = c.cdb[0] == 0x85;
    if (c.cdb_length < (sixteen ? 16 : 12)) return CheckCondition(0x05, 0x24, 0x00);
    const uint8_t* f = c.cdb + 1;  // the same two bytes lead both sizes
    const uint8_t protocol = (f[0] >> 1) & 0x0F;
    const bool t_dir_in = (f[1] & 0x08) != 0, byte_block = (f[1] & 0x04) != 0;
    const uint8_t t_length = f[1] & 0x03;
    AtaRegisters r;
    if (sixteen) {
        r.features = c.cdb[4];
        r.count = c.cdb[6];
        r.lba = c.cdb[8] | (uint32_t{c.cdb[10]} << 8) | (uint32_t{c.cdb[12]} << 16);
        r.device = c.cdb[13];
        r.command = c.cdb[14];
    } else {
        r.features = c.cdb[3];
        r.count = c.cdb[4];
        r.lba = c.cdb[5] | (uint32_t{c.cdb[6]} << 8) | (uint32_t{c.cdb[7]} << 16);
        r.device = c.cdb[8];
        r.command = c.cdb[9];
    }
    // Hardware reset and software reset: nothing to move, nothing to report.
    if (protocol == 0 || protocol == 1) return Outcome();
    AtaDirection direction;
    if (protocol == 3) {
        if (c.length) return CheckCondition(0x05, 0x24, 0x00);
        direction = AtaDirection::kNone;
    } else if (protocol == 4 || protocol == 5) {
        const bool in = protocol == 4;
        if (in != t_dir_in || (in ? c.data_in != kScsiIoctlDataIn : c.data_in != kScsiIoctlDataOut))
            return CheckCondition(0x05, 0x24, 0x00);
        // Only lengths in 512-byte blocks counted in the count field are carried.
        if (!byte_block || t_length != 2 || uint64_t{r.count} * kSector != c.length)
            return CheckCondition(0x05, 0x24, 0x00);
        direction = in ? AtaDirection::kIn : AtaDirection::kOut;
    } else {
        return CheckCondition(0x05, 0x24, 0x00);
    }
    Outcome fault;
    uint8_t ata_error = 0;
    if (host_->TakeFault(FaultMatch::kAta, r.command, &fault, &ata_error)) {
        if (fault.win32_error || fault.scsi_status) return fault;
        // An ATA error comes back as CHECK CONDITION, ABORTED COMMAND,
        // "ATA pass through information available".
        return CheckCondition(0x0B, 0x00, 0x1D);
    }
    AtaResult result = device_.Execute(r, direction, c.data, c.length);
    if (result.error) return CheckCondition(0x0B, 0x00, 0x1D);
    LeaveIfCommitted(r, result);
    return Outcome();
}

Outcome SataDrive::Scsi(ScsiCommand& c) {
    switch (c.cdb[0]) {
        case 0xA1:
        case 0x85: return Translate(c);
        case 0x12: return Inquiry(c);
        case 0x00: return Outcome();  // TEST UNIT READY
        default: return CheckCondition(0x05, 0x20, 0x00);
    }
}

}  // namespace

SimDrive* NewSataDrive(const DriveDesc& desc, DriveHost* host) { return new SataDrive(desc, host); }

}  // namespace sim
