// The three-request tunnel the JMicron and Realtek bridges share: the
// command in a staging block, then the data, then the bridge's completion
// block. Each bridge supplies its own request builders.
#include <cstring>

#include "nvme/transport.h"

int RunBridgeTunnel(HANDLE drive, const BridgeTunnel* tunnel, int direction, const NvmeCommand* command,
                    void* buffer, uint32_t length, CompletionRule completion) {
    uint8_t staging[kTunnelStagingSize];
    ScsiBlock block;

    // CHECK CONDITION on the command or the data phase means the bridge did
    // not take the command or its data, for a download piece as much as for
    // any command: going on would commit an image with a hole in it.
    tunnel->build_staging(staging, command);
    tunnel->build_command(&block, staging);
    if (SendScsiBlock(drive, &block) != 1 || block.sptd.ScsiStatus == kScsiCheckCondition) return -4;

    // The bridge may send back less than asked for; what it does not send must
    // read as zero, not as the caller's old bytes.
    if (direction != kNvmeWrite && buffer && length) std::memset(buffer, 0, length);
    tunnel->build_data(&block, direction, buffer, length);
    if (SendScsiBlock(drive, &block) != 1 || block.sptd.ScsiStatus == kScsiCheckCondition) return -4;

    // The completion block is read and dropped: the NVMe status is not judged here.
    tunnel->build_completion(&block, staging);
    int sent = SendScsiBlock(drive, &block);
    if (completion == kCompletionJudged && sent != 1) return -4;
    if (completion != kCompletionIgnored && block.sptd.ScsiStatus == kScsiCheckCondition) return -4;
    return 1;
}
