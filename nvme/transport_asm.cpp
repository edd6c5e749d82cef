// ASMedia bridge: Identify goes as one vendor CDB (E6h); every other command
// goes through the three-phase envelope EA/EB 5A 80 (command), 81 (data),
// 82 (completion).
#include <cstring>

#include "nvme/transport.h"

static const uint8_t kAsmSenseLength = 24;
static const uint32_t kAsmTimeout = 10;

// The bridge's own direction byte: 0 none, 1 read, 2 write.
static uint8_t AsmDirectionByte(int direction) {
    if (direction == kNvmeRead) return 1;
    if (direction == kNvmeWrite) return 2;
    return 0;
}

static uint8_t DataInFor(int direction) {
    if (direction == kNvmeRead) return kScsiIoctlDataIn;
    if (direction == kNvmeWrite) return kScsiIoctlDataOut;
    return kScsiIoctlDataUnspecified;
}

// Bytes 10-13 of the envelope CDBs: transfer length, most significant first.
static void PutLengthBE(uint8_t cdb[16], uint32_t length) {
    cdb[10] = static_cast<uint8_t>(length >> 24);
    cdb[11] = static_cast<uint8_t>(length >> 16);
    cdb[12] = static_cast<uint8_t>(length >> 8);
    cdb[13] = static_cast<uint8_t>(length);
}

void AsmBuildIdentify(ScsiBlock* block, int direction, const NvmeCommand* command, void* buffer, uint32_t length) {
    uint8_t cdb[16] = {0};
    cdb[0] = 0xE6;
    cdb[1] = static_cast<uint8_t>(command->CDW0);
    cdb[3] = static_cast<uint8_t>(command->CDW10);
    cdb[7] = static_cast<uint8_t>(command->NSID);
    BuildScsiBlock(block, cdb, DataInFor(direction), buffer, length, kAsmSenseLength, kAsmTimeout);
}

void AsmBuildCommandPhase(ScsiBlock* block, int direction, NvmeCommand* command) {
    uint8_t cdb[16] = {0xEA, 0x5A, 0x80, 0x00, AsmDirectionByte(direction)};
    PutLengthBE(cdb, sizeof *command);
    BuildScsiBlock(block, cdb, kScsiIoctlDataOut, command, sizeof *command, kAsmSenseLength, kAsmTimeout);
}

void AsmBuildDataPhase(ScsiBlock* block, int direction, void* buffer, uint32_t length) {
    uint8_t cdb[16] = {0xEB, 0x5A, 0x81, 0x00, AsmDirectionByte(direction)};
    if (direction == kNvmeWrite) cdb[0] = 0xEA;  // EA carries data out, EB data in or none
    PutLengthBE(cdb, length);
    BuildScsiBlock(block, cdb, DataInFor(direction), buffer, length, kAsmSenseLength, kAsmTimeout);
}

void AsmBuildCompletionPhase(ScsiBlock* block, int direction, NvmeCommand* command) {
    uint8_t cdb[16] = {0xEB, 0x5A, 0x82, 0x00, AsmDirectionByte(direction)};
    PutLengthBE(cdb, 16);
    // The 16-byte completion entry lands over the start of the caller's command.
    BuildScsiBlock(block, cdb, kScsiIoctlDataIn, command, 16, kAsmSenseLength, kAsmTimeout);
}

int AsmIdentify(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length) {
    ScsiBlock block;
    AsmBuildIdentify(&block, direction, command, buffer, length);
    if (SendScsiBlock(drive, &block) != 1) return -4;
    if (block.sptd.ScsiStatus == kScsiCheckCondition) return -4;
    return 1;
}

// The three phases. CHECK CONDITION on the command or the data phase means
// the bridge did not take the command or its data, for a download piece as
// much as for any command: going on would commit an image with a hole in
// it. check_completion says whether CHECK CONDITION on the completion read
// fails the command too; a download piece does not judge its completion.
// A failed completion request is not an error: some bridges refuse to read
// the completion after a command that carried no data.
static int AsmThreePhases(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length,
                          bool check_completion) {
    ScsiBlock block;
    AsmBuildCommandPhase(&block, direction, command);
    if (SendScsiBlock(drive, &block) != 1) return -4;
    if (block.sptd.ScsiStatus == kScsiCheckCondition) return -4;

    AsmBuildDataPhase(&block, direction, buffer, length);
    if (SendScsiBlock(drive, &block) != 1) return -4;
    if (block.sptd.ScsiStatus == kScsiCheckCondition) return -4;

    AsmBuildCompletionPhase(&block, direction, command);
    SendScsiBlock(drive, &block);
    if (check_completion && block.sptd.ScsiStatus == kScsiCheckCondition) return -4;
    return 1;
}

int AsmCommand(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length) {
    return AsmThreePhases(drive, direction, command, buffer, length, true);
}

int AsmFwDownload(HANDLE drive, uint32_t offset, const void* data, uint32_t length) {
    NvmeCommand command = BuildFwDownloadCommand(offset, length);
    // The bridge only reads a data-out buffer.
    return AsmThreePhases(drive, kNvmeWrite, &command, const_cast<void*>(data), length, false);
}
