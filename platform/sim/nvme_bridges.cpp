// The three NVMe-to-USB bridges as the drive sees them through SCSI
// pass-through: INQUIRY with their marks, and their vendor envelopes
// decoded into one NVMe admin command with its data and completion.
//   ASMedia:  E6 (one-phase Identify-like commands); EA/EB 5A 80 / 81 / 82
//             (command, data, completion); EA 5A <mode> power control.
//   JMicron:  A1 80 (512-byte "NVME" block), A1 81/82/83 (data), A1 8F (response).
//   Realtek:  E5 .. F7 (command), E4/E5 .. F8 (data), E4 .. F9 (completion).
#include <algorithm>
#include <cstring>

#include "platform/sim/nvme_drive.h"
#include "platform/storage_layouts.h"

namespace sim {

namespace {

Outcome InvalidOpcode() { return CheckCondition(0x05, 0x20, 0x00); }
Outcome InvalidField() { return CheckCondition(0x05, 0x24, 0x00); }

void PadCopy(uint8_t* to, size_t size, const std::string& text) {
    std::memset(to, ' ', size);
    std::memcpy(to, text.data(), std::min(size, text.size()));
}

Outcome Inquiry(const NvmeDrive& drive, ScsiCommand& c) {
    const DriveDesc& s = drive.desc();
    uint8_t d[38] = {};
    d[2] = 0x06;
    d[3] = 0x02;
    d[4] = sizeof d - 5;
    std::string vendor = s.inquiry_vendor, product = s.inquiry_product;
    int tag = s.inquiry_tag;
    switch (s.attachment) {
        case Attachment::kAsmedia:
            if (vendor.empty()) vendor = "ASMT";
            if (product.empty()) product = "ASM236x NVME";
            if (tag < 0) tag = 0x6023;
            break;
        case Attachment::kJmicron:
            if (vendor.empty()) vendor = "JMicron";
            if (product.empty()) product = "Tech";
            if (tag < 0) tag = 0x3035;
            break;
        default:
            if (vendor.empty()) vendor = "Realtek";
            if (product.empty()) product = "RTL9210B NVME";
            if (tag < 0) tag = 0;
            break;
    }
    PadCopy(d + 8, 8, vendor);
    PadCopy(d + 16, 16, product);
    PadCopy(d + 32, 4, "1.00");
    d[36] = uint8_t(tag >> 8);
    d[37] = uint8_t(tag);
    if (c.data) {
        std::memset(c.data, 0, c.length);
        std::memcpy(c.data, d, std::min<uint32_t>(c.length, sizeof d));
    }
    return Outcome();
}

// The 16-byte completion entry: DW0 result, status in bits 17-31 of DW3 with the phase bit.
void Completion(const NvmeAnswer& a, uint8_t* out, size_t size) {
    uint8_t cqe[16] = {};
    for (int i = 0; i < 4; ++i) cqe[i] = uint8_t(a.dw0 >> (8 * i));
    uint16_t sf = uint16_t((a.status << 1) | 1);
    cqe[14] = uint8_t(sf);
    cqe[15] = uint8_t(sf >> 8);
    std::memset(out, 0, size);
    std::memcpy(out, cqe, std::min<size_t>(size, sizeof cqe));
}

// Runs the command a bridge holds with the data of its data phase.
Outcome Execute(NvmeDrive& drive, uint8_t* data, uint32_t length) {
    BridgeState& b = drive.bridge();
    if (!b.has_command) return InvalidField();
    b.has_command = false;
    b.last = drive.controller().Admin(b.command, length ? data : nullptr, length, true);
    if (b.last.outcome.win32_error || b.last.outcome.scsi_status) return b.last.outcome;
    b.commit_answered = b.command[0] == 0x10;
    return Outcome();
}

// Once the completion of a commit is read back, the drive may drop off the
// bus to restart (the machine file decides); never in the middle of the envelope.
void CompletionRead(NvmeDrive& drive) {
    BridgeState& b = drive.bridge();
    if (!b.commit_answered) return;
    b.commit_answered = false;
    drive.AfterCommit(b.last.status);
}

uint32_t Be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
uint32_t Be24(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }

Outcome Asmedia(NvmeDrive& drive, ScsiCommand& c) {
    BridgeState& b = drive.bridge();
    const uint8_t* cdb = c.cdb;
    if (cdb[0] == 0xE6) {  // one phase: opcode, CDW10 low byte, NSID low byte
        uint8_t command[64] = {};
        command[0] = cdb[1];
        command[4] = cdb[7];
        command[40] = cdb[3];
        NvmeAnswer a = drive.controller().Admin(command, c.data, c.length, false);
        return a.outcome;
    }
    if ((cdb[0] != 0xEA && cdb[0] != 0xEB) || cdb[1] != 0x5A) return InvalidOpcode();
    uint32_t length = Be32(cdb + 10);
    switch (cdb[2]) {
        case 0x80:
            if (cdb[0] != 0xEA || length != 64 || c.data_in != kScsiIoctlDataOut || c.length < 64) return InvalidField();
            std::memcpy(b.command, c.data, 64);
            b.has_command = true;
            return Outcome();
        case 0x81:
            if (length != c.length) return InvalidField();
            return Execute(drive, c.data, c.length);
        case 0x82:
            if (c.data_in != kScsiIoctlDataIn || !c.data) return InvalidField();
            Completion(b.last, c.data, c.length);
            CompletionRead(drive);
            return Outcome();
        case 0x01:  // power control: the bridge cuts and restores the drive's power
            if (cdb[0] != 0xEA) return InvalidField();
            drive.PowerCycle();
            return Outcome();
        default:
            return InvalidField();
    }
}

Outcome Jmicron(NvmeDrive& drive, ScsiCommand& c) {
    BridgeState& b = drive.bridge();
    const uint8_t* cdb = c.cdb;
    if (cdb[0] != 0xA1) return InvalidOpcode();
    uint32_t length = Be24(cdb + 3);
    switch (cdb[1]) {
        case 0x80: {
            if (length != 512 || c.length != 512 || c.data_in != kScsiIoctlDataOut) return InvalidField();
            if (std::memcmp(c.data, "NVME", 4) != 0) return InvalidField();
            bool empty = true;
            for (int i = 4; i < 72; ++i) empty = empty && c.data[i] == 0;
            b.power_request = empty && c.data[72] != 0;
            b.power_mode = c.data[72];
            b.has_command = !b.power_request;
            std::memcpy(b.command, c.data + 8, 64);
            return Outcome();
        }
        case 0x81:
        case 0x82:
        case 0x83:
            if (length != c.length) return InvalidField();
            if (b.power_request) return Outcome();
            return Execute(drive, c.data, c.length);
        case 0x8F: {
            if (length != 512 || c.data_in != kScsiIoctlDataIn || !c.data) return InvalidField();
            std::memset(c.data, 0, c.length);
            std::memcpy(c.data, "NVME", 4);
            Completion(b.last, c.data + 8, 16);
            CompletionRead(drive);
            if (b.power_request) {
                b.power_request = false;
                if (b.power_mode == 5) drive.PowerCycle();
            }
            return Outcome();
        }
        default:
            return InvalidField();
    }
}

Outcome Realtek(NvmeDrive& drive, ScsiCommand& c) {
    BridgeState& b = drive.bridge();
    const uint8_t* cdb = c.cdb;
    if (cdb[0] != 0xE4 && cdb[0] != 0xE5) return InvalidOpcode();
    uint32_t length = cdb[1] | (uint32_t(cdb[2]) << 8);
    switch (cdb[3]) {
        case 0xF7:
            if (cdb[0] != 0xE5 || length != 64 || c.length < 64) return InvalidField();
            std::memcpy(b.command, c.data, 64);
            b.has_command = true;
            return Outcome();
        case 0xF8:
            if (length != c.length) return InvalidField();
            return Execute(drive, c.data, c.length);
        case 0xF9:
            if (cdb[0] != 0xE4 || !c.data) return InvalidField();
            Completion(b.last, c.data, c.length);
            CompletionRead(drive);
            return Outcome();
        default:
            return InvalidField();
    }
}

}  // namespace

Outcome BridgeScsi(NvmeDrive& drive, ScsiCommand& c) {
    if (c.cdb[0] == 0x12) return Inquiry(drive, c);
    switch (drive.desc().attachment) {
        case Attachment::kAsmedia: return Asmedia(drive, c);
        case Attachment::kJmicron: return Jmicron(drive, c);
        default: return Realtek(drive, c);
    }
}

}  // namespace sim
