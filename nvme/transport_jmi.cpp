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

static const BridgeTunnel kJmiTunnel = {JmiBuildStaging, JmiBuildCommandPhase, JmiBuildDataPhase,
                                       JmiBuildResponsePhase};

// A command's response read fails it on CHECK CONDITION; a download piece
// does not judge its response.
int JmiCommand(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length) {
    return RunBridgeTunnel(drive, &kJmiTunnel, direction, command, buffer, length, kCompletionStatusJudged);
}

int JmiFwDownload(HANDLE drive, uint32_t offset, const void* data, uint32_t length) {
    NvmeCommand command = BuildFwDownloadCommand(offset, length);
    return RunBridgeTunnel(drive, &kJmiTunnel, kNvmeWrite, &command, const_cast<void*>(data), length,
                           kCompletionIgnored);
}
