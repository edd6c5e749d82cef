// JMicron bridge: the command travels in a 512-byte staging block that
// starts with "NVME"; the data follows in a second request and the bridge's
// response block is read in a third. CDB bytes 3-5 hold the transfer length,
// most significant byte first.
#include <cstring>

#include "nvme/transport.h"

static const uint8_t kJmiSenseLength = 24;
static const uint32_t kJmiTimeout = 10;

static void PutLength24(uint8_t cdb[16], uint32_t length) {
    cdb[3] = static_cast<uint8_t>(length >> 16);
    cdb[4] = static_cast<uint8_t>(length >> 8);
    cdb[5] = static_cast<uint8_t>(length);
}

void JmiBuildStaging(uint8_t staging[kJmiStagingSize], const NvmeCommand* command) {
    std::memset(staging, 0, kJmiStagingSize);
    std::memcpy(staging, "NVME", 4);
    std::memcpy(staging + 8, command, sizeof *command);
}

void JmiBuildCommandPhase(ScsiBlock* block, uint8_t staging[kJmiStagingSize]) {
    uint8_t cdb[16] = {0xA1, 0x80};
    PutLength24(cdb, kJmiStagingSize);
    BuildScsiBlock(block, cdb, kScsiIoctlDataOut, staging, kJmiStagingSize, kJmiSenseLength, kJmiTimeout);
}

void JmiBuildDataPhase(ScsiBlock* block, int direction, void* buffer, uint32_t length) {
    uint8_t cdb[16] = {0xA1, 0x81};
    uint8_t data_in = kScsiIoctlDataUnspecified;
    if (direction == kNvmeRead) {
        cdb[1] = 0x82;
        data_in = kScsiIoctlDataIn;
    } else if (direction == kNvmeWrite) {
        cdb[1] = 0x83;
        data_in = kScsiIoctlDataOut;
    }
    PutLength24(cdb, length);
    BuildScsiBlock(block, cdb, data_in, buffer, length, kJmiSenseLength, kJmiTimeout);
}

void JmiBuildResponsePhase(ScsiBlock* block, uint8_t staging[kJmiStagingSize]) {
    std::memset(staging, 0, kJmiStagingSize);
    uint8_t cdb[16] = {0xA1, 0x8F};
    PutLength24(cdb, kJmiStagingSize);
    BuildScsiBlock(block, cdb, kScsiIoctlDataIn, staging, kJmiStagingSize, kJmiSenseLength, kJmiTimeout);
}

// CHECK CONDITION on the command or the data phase means the bridge did not
// take the command or its data, for a download piece as much as for any
// command: going on would commit an image with a hole in it.
// check_completion says whether CHECK CONDITION on the response read fails
// the command too; a download piece does not judge its response.
static int JmiThreePhases(HANDLE drive, int direction, const NvmeCommand* command, void* buffer, uint32_t length,
                          bool check_completion) {
    uint8_t staging[kJmiStagingSize];
    ScsiBlock block;

    JmiBuildStaging(staging, command);
    JmiBuildCommandPhase(&block, staging);
    if (SendScsiBlock(drive, &block) != 1) return -4;
    if (block.sptd.ScsiStatus == kScsiCheckCondition) return -4;

    // The bridge may send back less than asked for; what it does not send must
    // read as zero, not as the caller's old bytes.
    if (direction != kNvmeWrite && buffer && length) std::memset(buffer, 0, length);
    JmiBuildDataPhase(&block, direction, buffer, length);
    if (SendScsiBlock(drive, &block) != 1) return -4;
    if (block.sptd.ScsiStatus == kScsiCheckCondition) return -4;

    // The response block is read and dropped: completion status is not judged here.
    JmiBuildResponsePhase(&block, staging);
    SendScsiBlock(drive, &block);
    if (check_completion && block.sptd.ScsiStatus == kScsiCheckCondition) return -4;
    return 1;
}

int JmiCommand(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length) {
    return JmiThreePhases(drive, direction, command, buffer, length, true);
}

int JmiFwDownload(HANDLE drive, uint32_t offset, const void* data, uint32_t length) {
    NvmeCommand command = BuildFwDownloadCommand(offset, length);
    return JmiThreePhases(drive, kNvmeWrite, &command, const_cast<void*>(data), length, false);
}
