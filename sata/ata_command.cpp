// The two ways an ATA command reaches a SATA drive.
#include "sata/ata_command.h"

#include <cstring>

#include "core/write_gate.h"
#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "storage/device_io.h"
#include "storage/scsi_block.h"

namespace {

constexpr uint32_t kTimeoutSeconds = 60;
constexpr uint32_t kSector = 512;
constexpr uint8_t kStatusErr = 0x01;
constexpr uint8_t kStatusDrq = 0x08;
// The port driver wants the data of an ATA pass-through aligned; the area
// starts this far into a fresh page.
constexpr uint32_t kAlignment = 16;

// LBA mode, and LBA bits 24-27 in the low nibble. The upper nibble holds
// LBA mode and the device select bit, so higher LBA bits must never go there.
uint8_t DeviceRegister(uint64_t lba) { return static_cast<uint8_t>(0x40 | ((lba >> 24) & 0x0F)); }

int AtaPassThrough(HANDLE drive, uint8_t command, uint8_t features, uint16_t flags, uint64_t lba, void* buffer,
                   uint32_t length) {
    BYTE* transfer = static_cast<BYTE*>(
        os::VirtualAlloc(nullptr, static_cast<size_t>(length) + kAlignment, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!transfer) return 0;
    std::memset(transfer, 0, static_cast<size_t>(length) + kAlignment);
    BYTE* data = transfer + kAlignment;
    if ((flags & kAtaFlagsDataOut) && length) std::memcpy(data, buffer, length);

    AtaPassThroughDirect aptd;
    std::memset(&aptd, 0, sizeof aptd);
    aptd.Length = sizeof aptd;
    aptd.AtaFlags = flags;
    aptd.DataTransferLength = length;
    aptd.TimeOutValue = kTimeoutSeconds;
    aptd.DataBuffer = data;
    aptd.CurrentTaskFile[0] = features;
    aptd.CurrentTaskFile[1] = static_cast<uint8_t>(length / kSector);
    aptd.CurrentTaskFile[2] = static_cast<uint8_t>(lba);
    aptd.CurrentTaskFile[3] = static_cast<uint8_t>(lba >> 8);
    aptd.CurrentTaskFile[4] = static_cast<uint8_t>(lba >> 16);
    aptd.CurrentTaskFile[5] = DeviceRegister(lba);
    aptd.CurrentTaskFile[6] = command;

    DWORD returned = 0;
    BOOL ok = DeviceIo(drive, kIoctlAtaPassThroughDirect, &aptd, sizeof aptd, &aptd, sizeof aptd, &returned);
    // The drive ends a failed command with ERR, or still asking for data (DRQ).
    int rc = ok && !(aptd.CurrentTaskFile[6] & (kStatusErr | kStatusDrq)) ? 1 : 0;
    if (rc == 1 && (flags & kAtaFlagsDataIn) && length) std::memcpy(buffer, data, length);
    os::VirtualFree(transfer, 0, MEM_RELEASE);
    return rc;
}

// The sense key of a CHECK CONDITION, from fixed (70h/71h) or descriptor
// (72h/73h) sense data; -1 when the area holds no sense data we know.
int SenseKey(const ScsiBlock& block) {
    const uint8_t* sense = block.SenseBuffer;
    const uint8_t response = sense[0] & 0x7F;
    if (response == 0x70 || response == 0x71) return sense[2] & 0x0F;
    if (response == 0x72 || response == 0x73) return sense[1] & 0x0F;
    return -1;
}

constexpr int kSenseNoSense = 0;
constexpr int kSenseRecoveredError = 1;

// ATA PASS-THROUGH (12): PIO in or out, the transfer length in 512-byte
// blocks in the count field. CK_COND is never set, so a drive that
// completes the command answers GOOD; CHECK CONDITION means the drive or
// the bridge refused it, unless the sense only reports NO SENSE or a
// RECOVERED ERROR.
int SatPassThrough(HANDLE drive, uint8_t command, uint8_t features, uint16_t flags, uint64_t lba, void* buffer,
                   uint32_t length) {
    const bool in = (flags & kAtaFlagsDataIn) != 0;
    uint8_t cdb[16] = {};
    cdb[0] = 0xA1;
    cdb[1] = in ? 0x08 : 0x0A;  // protocol 4 PIO data-in / 5 PIO data-out
    cdb[2] = in ? 0x0E : 0x06;  // T_DIR, BYT_BLOK, T_LENGTH in the count field
    cdb[3] = features;
    cdb[4] = static_cast<uint8_t>(length / kSector);
    cdb[5] = static_cast<uint8_t>(lba);
    cdb[6] = static_cast<uint8_t>(lba >> 8);
    cdb[7] = static_cast<uint8_t>(lba >> 16);
    cdb[8] = DeviceRegister(lba);
    cdb[9] = command;
    ScsiBlock block;
    BuildScsiBlock(&block, cdb, in ? kScsiIoctlDataIn : kScsiIoctlDataOut, buffer, length, 64, kTimeoutSeconds);
    block.sptd.CdbLength = 12;
    DWORD returned = 0;
    if (!DeviceIo(drive, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block, &returned)) return 0;
    if (block.sptd.ScsiStatus != kScsiCheckCondition) return 1;
    const int key = SenseKey(block);
    // No log line here: identification sends IDENTIFY this way to drives
    // that are not SATA at all, and their refusal is the expected answer.
    return key == kSenseNoSense || key == kSenseRecoveredError ? 1 : 0;
}

}  // namespace

int SataAtaCommand(int32_t cmd_type, HANDLE drive, uint8_t command, uint8_t features, uint16_t flags, uint64_t lba,
                   void* buffer, uint32_t length) {
    if (cmd_type == kCmdSataUsb || cmd_type == kCmdSataScsi)
        return SatPassThrough(drive, command, features, flags, lba, buffer, length);
    if (AtaPassThrough(drive, command, features, flags, lba, buffer, length) == 1) return 1;
    return SatPassThrough(drive, command, features, flags, lba, buffer, length);
}

int SataGetFWConfig(const DiskAccess* access, HANDLE drive, BYTE* block) {
    return SataAtaCommand(access->iCmdType, drive, kAtaVendorRead, kVendorConfigRead, kAtaRead, 0, block,
                          kVendorBlock);
}

int SataSetFWConfig(const DiskAccess* access, HANDLE drive, BYTE* block) {
    if (!WriteGatePass(u"configuration write")) return kDryRunStop;
    return SataAtaCommand(access->iCmdType, drive, kAtaVendorWrite, kVendorConfigWrite, kAtaWrite, 0, block,
                          kVendorBlock);
}
