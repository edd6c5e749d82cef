// Which bridge a USB disk sits behind: the INQUIRY vendor bytes first, the
// Realtek product text next, and as a last resort an Identify Controller
// through each bridge's own protocol.
#include <cstring>

#include "nvme/nvme_commands.h"
#include "nvme/transport.h"

void BuildInquiry(ScsiBlock* block, void* buffer) {
    uint8_t cdb[16] = {0x12, 0x00, 0x00, 0x00, static_cast<uint8_t>(kInquiryLength)};
    BuildScsiBlock(block, cdb, kScsiIoctlDataIn, buffer, kInquiryLength, 64, 10);
}

int BridgeFromInquiry(const uint8_t* inquiry, uint32_t size) {
    // Bytes 36-37 follow the standard INQUIRY data: the bridges put their marks there.
    if (size >= 38) {
        if (inquiry[36] == 0x60 && inquiry[37] == 0x23) return kCmdAsmedia;
        if (inquiry[36] == 0x30 && inquiry[37] == 0x35) return kCmdJmicron;
    }
    // Product identification from byte 16, read as text up to its first zero
    // (and never past the buffer).
    static const char kRealtekMark[] = "9210B";
    const size_t mark = sizeof kRealtekMark - 1;
    size_t end = 16;
    while (end < size && inquiry[end]) ++end;
    for (size_t at = 16; at + mark <= end; ++at)
        if (std::memcmp(inquiry + at, kRealtekMark, mark) == 0) return kCmdRealtek;
    return kCmdUnsupported;
}

int DetectUsbBridge(HANDLE drive) {
    uint8_t buffer[4096];
    std::memset(buffer, 0, sizeof buffer);
    ScsiBlock block;
    BuildInquiry(&block, buffer);
    if (SendScsiBlock(drive, &block) != 1 || block.sptd.ScsiStatus == kScsiCheckCondition) return kCmdUnsupported;
    int kind = BridgeFromInquiry(buffer, sizeof buffer);
    if (kind != kCmdUnsupported) return kind;

    // The probe order is fixed: JMicron, ASMedia, Realtek.
    static const int kCandidates[] = {kCmdJmicron, kCmdAsmedia, kCmdRealtek};
    for (int candidate : kCandidates) {
        DiskAccess access;
        std::memset(&access, 0, sizeof access);
        access.iCmdType = candidate;
        access.hScsiPort = INVALID_HANDLE_VALUE;
        std::memset(buffer, 0, sizeof buffer);
        if (NvmeIdentify(&access, drive, 1, 0, buffer, sizeof buffer) != 1) continue;
        uint16_t vid = static_cast<uint16_t>(buffer[0] | (buffer[1] << 8));
        uint16_t ssvid = static_cast<uint16_t>(buffer[2] | (buffer[3] << 8));
        if (vid != 0 && ssvid != 0) return candidate;
    }
    return kCmdUnsupported;
}
