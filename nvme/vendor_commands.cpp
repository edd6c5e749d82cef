// The controller family's vendor commands: unlock, the command-set test,
// the drive-information, MP-information and configuration blocks, and the
// version rewrite through the MP-information block.
#include <cstring>

#include "core/blank_block.h"
#include "core/log.h"
#include "core/write_gate.h"
#include "core/put_bytes.h"
#include "nvme/nvme_command.h"
#include "nvme/nvme_commands.h"
#include "platform/os.h"

// First set: own opcodes and the signature words. Second set: 0xFE (read),
// 0xFD (write) and 0xFC (no data) with a sub-operation in CDW12/CDW13.
enum : uint8_t {
    kOpSet0ConfigWrite = 0xE5,
    kOpSet0Read = 0xE6,
    kOpMpWrite = 0xF1,
    kOpMpRead = 0xF2,
    kOpNoData = 0xFC,
    kOpWrite = 0xFD,
    kOpRead = 0xFE,
};

int DISKLIB_NVME_UnlockVSC(const DiskAccess* access, HANDLE drive) {
    // Only the native and RST paths lock the vendor commands.
    if (access->iCmdType != kCmdNative && access->iCmdType != kCmdRst) return 1;
    LogMsg(u"DISKLIB_NVME_UnlockVSC");
    return NvmeVendorCommand(access, drive, kNvmeNoData, kOpNoData, 0x1F, kVendorKeyWord, 1, 0, nullptr, 0);
}

static bool Supported(const uint8_t* effects_log, uint8_t opcode) {
    // Commands Supported and Effects: one dword per admin opcode, bit 0 CSUPP.
    return (Get32(effects_log + 4u * opcode) & 1u) != 0;
}

int DISKLIB_NVME_VSC_GetVSCtype(const DiskAccess* access, HANDLE drive) {
    uint8_t buffer[kVendorBlockSize];
    std::memset(buffer, 0, sizeof buffer);
    LogMsg(u"DISKLIB_NVME_VSC_GetVSCtype IN ");

    // A second-set drive answers the vendor log page with its drive information.
    if (DISKLIB_NVME_GetLogPage(access, drive, 0xE1, buffer, sizeof buffer) == 1 && buffer[0] == 'Z') {
        LogMsg(u"DISKLIB_NVME_VSC_GetVSCtype Success OUT(log page) 1");
        return 1;
    }
    if (DISKLIB_NVME_GetLogPage(access, drive, 0x05, buffer, sizeof buffer) < 0) return 0;
    if (Supported(buffer, kOpNoData) && Supported(buffer, kOpWrite) && Supported(buffer, kOpRead)) {
        NvmeVendorCommand(access, drive, kNvmeRead, kOpRead, 0x82, 3, 0, 0, buffer, sizeof buffer);
        if (buffer[0] == 'Z') {
            LogMsg(u"DISKLIB_NVME_VSC_GetVSCtype Success OUT 1");
            return 1;
        }
        LogMsg(u"DISKLIB_NVME_VSC_GetVSCtype Success OUT 0");
        return 0;
    }
    LogMsg(u"DISKLIB_NVME_VSC_GetVSCtype Success OUT(no support new) 0");
    return 0;
}

int DISKLIB_NVME_VSC_GetDrvInfo(const DiskAccess* access, HANDLE drive, uint8_t out[kVendorBlockSize]) {
    uint8_t block[kVendorBlockSize];
    std::memset(block, 0, sizeof block);
    LogMsg(u"DISKLIB_NVME_VSC_GetDrvInfo IN");
    int result;
    if (access->iVSCType == 1)
        result = NvmeVendorCommand(access, drive, kNvmeRead, kOpRead, 0x82, 3, 0, 0, block, sizeof block);
    else
        result = NvmeVendorCommand(access, drive, kNvmeRead, kOpSet0Read, 3, 0, kSignatureOrax, kSignatureVelq,
                                   block, sizeof block);
    if (result < 0) return result;
    if (block[drvinfo::kSignature] != 'Z') return 0;
    std::memcpy(out, block, sizeof block);
    LogMsg(u"DISKLIB_NVME_VSC_GetDrvInfo Success OUT");
    return 1;
}

int DISKLIB_NVME_VSC_GetMPInfo(const DiskAccess* access, HANDLE drive, uint8_t out[kVendorBlockSize]) {
    LogMsg(u"DISKLIB_NVME_VSC_GetMPInfo IN");
    int result;
    if (access->iVSCType == 1)
        result = NvmeVendorCommand(access, drive, kNvmeRead, kOpRead, 0x63, 0, 0, 0, out, kVendorBlockSize);
    else
        result = NvmeVendorCommand(access, drive, kNvmeRead, kOpMpRead, 0, 0, kSignatureOrax, kSignatureVelq, out,
                                   kVendorBlockSize);
    if (result == 1) LogMsg(u"DISKLIB_NVME_VSC_GetMPInfo Success OUT");
    return result;
}

int DISKLIB_NVME_GetFWConfig(const DiskAccess* access, HANDLE drive, uint8_t out[kVendorBlockSize]) {
    LogMsg(u"DISKLIB_NVME_GetFWConfig IN");
    int result;
    if (access->iVSCType == 1)
        result = NvmeVendorCommand(access, drive, kNvmeRead, kOpRead, 0x82, 1, 0, 0, out, kVendorBlockSize);
    else
        result = NvmeVendorCommand(access, drive, kNvmeRead, kOpSet0Read, 1, 0, kSignatureOrax, kSignatureVelq, out,
                                   kVendorBlockSize);
    if (result == 1) LogMsg(u"DISKLIB_NVME_GetFWConfig Success OUT");
    return result;
}

int DISKLIB_NVME_SetFWConfig(const DiskAccess* access, HANDLE drive, const uint8_t block[kVendorBlockSize],
                             uint32_t check_value) {
    LogMsg(u"DISKLIB_NVME_SetFWConfig IN");
    // A dry run goes on to the download with the block as it would be.
    if (!WriteGatePass(u"configuration write")) {
        WriteGateNoteConfigWrite();
        return 1;
    }
    // The RST path copies its output back over the data in every direction;
    // the caller's block stays untouched by sending a copy.
    uint8_t copy[kVendorBlockSize];
    std::memcpy(copy, block, sizeof copy);
    void* data = copy;
    int result;
    if (access->iVSCType == 1)
        result = NvmeVendorCommand(access, drive, kNvmeWrite, kOpWrite, 0x81, 1, 0, check_value, data,
                                   kVendorBlockSize);
    else
        result = NvmeVendorCommand(access, drive, kNvmeWrite, kOpSet0ConfigWrite, 1, 0, check_value, 0, data,
                                   kVendorBlockSize);
    if (result == 1) LogMsg(u"DISKLIB_NVME_SetFWConfig Success OUT");
    return result;
}

int DISKLIB_NVME_SetFWVersionByMpInfo(const DiskAccess* access, HANDLE drive, const WCH* version) {
    uint8_t mp[kVendorBlockSize];
    uint8_t block[kVendorBlockSize];
    std::memset(mp, 0, sizeof mp);
    std::memset(block, 0, sizeof block);
    LogMsg(u"DISKLIB_NVME_SetFWVersionByMpInfo IN");

    // Both sets take the version rewrite through the first set's opcodes.
    int result = NvmeVendorCommand(access, drive, kNvmeRead, kOpMpRead, 0, 0, kSignatureOrax, kSignatureVelq, mp,
                                   sizeof mp);
    if (result != 1) return result;
    // A bridge reports success even when the drive sent nothing (zeros) or
    // read erased flash (0xFF); writing back a block made from either would
    // wipe the drive's MP information.
    if (IsBlankBlock(mp, sizeof mp)) return 0;
    LogMsg(u"DISKLIB_NVME_SetFWVersionByMpInfo GetMpOK");

    std::memcpy(block, mp, 144);
    char ansi[128];
    std::memset(ansi, 0, sizeof ansi);
    os::WideCharToMultiByte(CP_ACP, 0, version, -1, ansi, sizeof ansi - 1);
    std::memset(block + mpinfo::kNewVersion, 0, 8);
    std::memcpy(block + mpinfo::kNewVersion, ansi, std::strlen(ansi));

    if (!WriteGatePass(u"version write")) {
        WriteGateNoteVersionWrite();
        return 1;
    }
    result = NvmeVendorCommand(access, drive, kNvmeWrite, kOpMpWrite, 0, 0, kSignatureOrax, kSignatureVelq, block,
                               sizeof block);
    if (result == 1) LogMsg(u"DISKLIB_NVME_SetFWVersionByMpInfo Success OUT");
    return result;
}
