// Firmware download in 4096-byte pieces with progress to the dialog, and
// the firmware commit.
#include "core/app_state.h"
#include "core/log.h"
#include "core/write_gate.h"
#include "nvme/nvme_command.h"
#include "nvme/nvme_commands.h"
#include "nvme/transport.h"
#include "platform/os.h"

static int SendChunk(const DiskAccess* access, HANDLE drive, uint32_t offset, const uint8_t* data, uint32_t length) {
    switch (access->iCmdType) {
    case kCmdAsmedia:
        return AsmFwDownload(drive, offset, data, length);
    case kCmdJmicron:
        return JmiFwDownload(drive, offset, data, length);
    case kCmdNative:
        return NativeFwDownload(drive, offset, data, length);
    case kCmdRst:
        return RstFwDownload(access->hScsiPort, access->iPathId, offset, data, length);
    case kCmdRealtek:
        return RtkFwDownload(drive, offset, data, length);
    default:
        return -5;
    }
}

int DISKLIB_NVME_DownloadFW(const DiskAccess* access, HANDLE drive, const uint8_t* image, uint32_t size) {
    LogMsg(u"DISKLIB_NVME_DownloadFW IN");
    // NVMe counts firmware in dwords: a ragged tail would be announced longer
    // than it is sent. Refuse before the drive sees any of it.
    if (size % 4 != 0) return 0;
    if (!WriteGatePass(u"firmware download")) {
        WriteGateNoteImage(image, size, kFwChunkSize);
        return kDryRunStop;
    }

    uint32_t sent = 0;
    uint32_t reported = 0;
    while (sent < size) {
        uint32_t percent = static_cast<uint32_t>((static_cast<uint64_t>(sent) * 10 / size) * 10);
        if (percent != reported) {
            LogMsg(u"DownloadFW %3d%%", static_cast<int>(percent));
            os::PostMessageW(GetAppState()->hDlg, WM_UPDATE_PROGRESS, 0, static_cast<LPARAM>(percent));
            reported = percent;
        }
        uint32_t length = size - sent < kFwChunkSize ? size - sent : kFwChunkSize;
        int result = SendChunk(access, drive, sent, image + sent, length);
        if (result == -5) return -5;
        if (result != 1) return -4;
        sent += length;
    }
    LogMsg(u"DISKLIB_NVME_DownloadFW Success OUT");
    return 1;
}

int DISKLIB_NVME_FWActive(const DiskAccess* access, HANDLE drive, uint32_t slot, uint32_t action) {
    LogMsg(u"DISKLIB_NVME_FWActive IN");
    if (!WriteGatePass(u"firmware commit")) return kDryRunStop;
    NvmeCommand command = BuildFwCommitCommand(slot, action);
    int result;
    switch (access->iCmdType) {
    case kCmdAsmedia:
        result = AsmCommand(drive, kNvmeNoData, &command, nullptr, 0);
        break;
    case kCmdJmicron:
        result = JmiCommand(drive, kNvmeNoData, &command, nullptr, 0);
        break;
    case kCmdRealtek:
        result = RtkCommand(drive, kNvmeNoData, &command, nullptr, 0);
        break;
    case kCmdNative:
        result = NativeFwActivate(drive, slot, action);
        break;
    case kCmdRst:
        result = RstFwActivate(access->hScsiPort, access->iPathId);
        break;
    default:
        return -5;
    }
    if (result == 1) LogMsg(u"DISKLIB_NVME_FWActive Success OUT ");
    return result;
}
