// The bridges' vendor power commands, sent as SCSI pass-through on the
// drive's handle. Only a failing request counts; status and sense are not
// looked at, the bridge drops the link while it cycles.
#include "nvme/power_ctrl.h"

#include <cstring>

#include "core/log.h"
#include "core/write_gate.h"
#include "storage/scsi_block.h"

static const uint8_t kSenseLength = 24;
static const uint32_t kTimeout = 10;

void BuildAsmPowerRequest(ScsiBlock* block, uint8_t mode) {
    uint8_t cdb[16] = {0xEA, 0x5A, mode};
    BuildScsiBlock(block, cdb, kScsiIoctlDataOut, nullptr, 0, kSenseLength, kTimeout);
}

int IO_USB_ASM_PowerCtrl(HANDLE drive, uint8_t mode) {
    LogMsg(u"IO_USB_ASM_PowerCtrl IN %d", static_cast<int>(mode));
    if (!WriteGatePass(u"bridge power control")) return kDryRunStop;
    ScsiBlock block;
    BuildAsmPowerRequest(&block, mode);
    if (SendScsiBlock(drive, &block) != 1) return -4;
    LogMsg(u"IO_USB_ASM_PowerCtrl Success OUT ");
    return 1;
}

// The JMicron envelope's command, data and response phases; the command
// block carries no NVMe command, the mode sits right after the 64-byte
// command area (byte 72).
void BuildJmiPowerStep(ScsiBlock* block, int step, uint8_t* data, uint8_t mode) {
    std::memset(data, 0, kJmiPowerBlockSize);
    if (step == 1) {
        std::memcpy(data, "NVME", 4);
        data[72] = mode;
        uint8_t cdb[16] = {0xA1, 0x80, 0x00, 0x00, 0x02, 0x00};
        BuildScsiBlock(block, cdb, kScsiIoctlDataOut, data, kJmiPowerBlockSize, kSenseLength, kTimeout);
    } else if (step == 2) {
        uint8_t cdb[16] = {0xA1, 0x81, 0x00, 0x00, 0x00, 0x00};
        BuildScsiBlock(block, cdb, kScsiIoctlDataIn, data, 0, kSenseLength, kTimeout);
    } else {
        uint8_t cdb[16] = {0xA1, 0x8F, 0x00, 0x00, 0x02, 0x00};
        BuildScsiBlock(block, cdb, kScsiIoctlDataIn, data, kJmiPowerBlockSize, kSenseLength, kTimeout);
    }
}

int IO_USB_JMI_PowerCtrl(HANDLE drive, uint8_t mode) {
    LogMsg(u"IO_USB_JMI_PowerCtrl IN %d", static_cast<int>(mode));
    if (!WriteGatePass(u"bridge power control")) return kDryRunStop;
    uint8_t data[kJmiPowerBlockSize];
    ScsiBlock block;
    BuildJmiPowerStep(&block, 1, data, mode);
    if (SendScsiBlock(drive, &block) != 1) return -4;
    BuildJmiPowerStep(&block, 2, data, mode);
    if (SendScsiBlock(drive, &block) != 1) return -4;
    // The completion block is read and dropped; the bridge may already be
    // cutting power and fail this request.
    BuildJmiPowerStep(&block, 3, data, mode);
    SendScsiBlock(drive, &block);
    LogMsg(u"IO_USB_JMI_PowerCtrl Success OUT");
    return 1;
}
