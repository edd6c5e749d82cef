// Realtek bridge: three requests, E5 ... F7 sends the command, E4/E5 ... F8
// moves the data and E4 ... F9 reads the completion. Bytes 1-2 of every CDB
// hold the transfer length, low byte first. The bridge is slow to answer a
// firmware piece, hence the long timeout.
#include <cstring>

#include "nvme/transport.h"

static const uint8_t kRtkSenseLength = 64;
static const uint32_t kRtkTimeout = 60;

static void PutLengthLE16(uint8_t cdb[16], uint32_t length) {
    cdb[1] = static_cast<uint8_t>(length);
    cdb[2] = static_cast<uint8_t>(length >> 8);
}

void RtkBuildStaging(uint8_t staging[kRtkStagingSize], const NvmeCommand* command) {
    std::memset(staging, 0, kRtkStagingSize);
    std::memcpy(staging, command, sizeof *command);
}

void RtkBuildCommandPhase(ScsiBlock* block, uint8_t staging[kRtkStagingSize]) {
    uint8_t cdb[16] = {0xE5, 0, 0, 0xF7};
    PutLengthLE16(cdb, sizeof(NvmeCommand));
    BuildScsiBlock(block, cdb, kScsiIoctlDataOut, staging, sizeof(NvmeCommand), kRtkSenseLength, kRtkTimeout);
}

void RtkBuildDataPhase(ScsiBlock* block, int direction, void* buffer, uint32_t length) {
    uint8_t cdb[16] = {0xE5, 0, 0, 0xF8, 0, 0, 0};
    uint8_t data_in = kScsiIoctlDataUnspecified;
    if (direction == kNvmeRead) {
        cdb[0] = 0xE4;
        cdb[6] = 0x01;
        data_in = kScsiIoctlDataIn;
    } else if (direction == kNvmeWrite) {
        cdb[6] = 0x02;
        data_in = kScsiIoctlDataOut;
    }
    PutLengthLE16(cdb, length);
    BuildScsiBlock(block, cdb, data_in, buffer, length, kRtkSenseLength, kRtkTimeout);
}

void RtkBuildCompletionPhase(ScsiBlock* block, uint8_t staging[kRtkStagingSize]) {
    std::memset(staging, 0, kRtkStagingSize);
    uint8_t cdb[16] = {0xE4, 0, 0, 0xF9};
    PutLengthLE16(cdb, 16);
    BuildScsiBlock(block, cdb, kScsiIoctlDataIn, staging, 16, kRtkSenseLength, kRtkTimeout);
}

static const BridgeTunnel kRtkTunnel = {RtkBuildStaging, RtkBuildCommandPhase, RtkBuildDataPhase,
                                       RtkBuildCompletionPhase};

int RtkCommand(HANDLE drive, int direction, NvmeCommand* command, void* buffer, uint32_t length) {
    return RunBridgeTunnel(drive, &kRtkTunnel, direction, command, buffer, length, kCompletionJudged);
}

int RtkFwDownload(HANDLE drive, uint32_t offset, const void* data, uint32_t length) {
    NvmeCommand command = BuildFwDownloadCommand(offset, length);
    return RunBridgeTunnel(drive, &kRtkTunnel, kNvmeWrite, &command, const_cast<void*>(data), length,
                           kCompletionJudged);
}
