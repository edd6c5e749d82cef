// Identify, log pages and vendor commands: one command, the transport of
// the drive's command type.
#include "nvme/nvme_commands.h"

#include "core/log.h"
#include "nvme/nvme_command.h"
#include "nvme/transport.h"

int NvmeIdentify(const DiskAccess* access, HANDLE drive, uint32_t cns, uint32_t nsid, void* buffer, uint32_t length) {
    NvmeCommand command = BuildIdentifyCommand(cns, nsid);
    switch (access->iCmdType) {
    case kCmdAsmedia:
        return AsmIdentify(drive, kNvmeRead, &command, buffer, length);
    case kCmdJmicron:
        return JmiCommand(drive, kNvmeRead, &command, buffer, length);
    case kCmdNative:
        return NativeIdentify(drive, cns, nsid, buffer, length);
    case kCmdRst:
        return RstNvmePassThrough(access->hScsiPort, access->iPathId, &command, buffer, length);
    case kCmdRealtek:
        return RtkCommand(drive, kNvmeRead, &command, buffer, length);
    default:
        return -5;
    }
}

static int SendLogPage(const DiskAccess* access, HANDLE drive, uint32_t log_page_id, void* buffer, uint32_t length) {
    NvmeCommand command = BuildGetLogPageCommand(log_page_id, length);
    switch (access->iCmdType) {
    case kCmdAsmedia:
        return AsmCommand(drive, kNvmeRead, &command, buffer, length);
    case kCmdJmicron:
        return JmiCommand(drive, kNvmeRead, &command, buffer, length);
    case kCmdNative:
        return NativeGetLogPage(drive, log_page_id, buffer, length);
    case kCmdRst:
        return RstNvmePassThrough(access->hScsiPort, access->iPathId, &command, buffer, length);
    case kCmdRealtek:
        return RtkCommand(drive, kNvmeRead, &command, buffer, length);
    default:
        return -5;
    }
}

int DISKLIB_NVME_GetLogPage(const DiskAccess* access, HANDLE drive, uint32_t log_page_id, void* buffer,
                            uint32_t length) {
    LogMsg(u"DISKLIB_NVME_GetLogPage IN iLogPageId=%d", static_cast<int>(log_page_id));
    int result = SendLogPage(access, drive, log_page_id, buffer, length);
    if (result == 1) LogMsg(u"DISKLIB_NVME_GetLogPage Success OUT ");
    return result;
}

int NvmeVendorCommand(const DiskAccess* access, HANDLE drive, int direction, uint8_t opcode, uint32_t cdw12,
                      uint32_t cdw13, uint32_t cdw14, uint32_t cdw15, void* buffer, uint32_t length) {
    NvmeCommand command = BuildVendorCommand(opcode, cdw12, cdw13, cdw14, cdw15, length);
    switch (access->iCmdType) {
    case kCmdAsmedia:
        return AsmCommand(drive, direction, &command, buffer, length);
    case kCmdJmicron:
        return JmiCommand(drive, direction, &command, buffer, length);
    case kCmdNative:
        return NativeVendorCommand(drive, direction, opcode, cdw12, cdw13, cdw14, cdw15, buffer, length);
    case kCmdRst:
        return RstNvmePassThrough(access->hScsiPort, access->iPathId, &command, buffer, length);
    case kCmdRealtek:
        return RtkCommand(drive, direction, &command, buffer, length);
    default:
        return -5;
    }
}
