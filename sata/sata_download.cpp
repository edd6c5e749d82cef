// The firmware download to a SATA drive: DOWNLOAD MICROCODE with offsets,
// 4096 bytes per piece, three tries per piece.
#include "core/app_state.h"
#include "core/log.h"
#include "core/write_gate.h"
#include "platform/os.h"
#include "sata/ata_command.h"

namespace {

constexpr uint32_t kSector = 512;
constexpr DWORD kRetryDelayMs = 100;
constexpr DWORD kPieceDelayMs = 10;

int SendPiece(const DiskAccess* access, HANDLE drive, uint64_t block_offset, const BYTE* piece, uint32_t length) {
    // LBA 7:0 holds the high byte of the block count (always 0 for at most
    // eight blocks), LBA 23:8 the block offset.
    return SataAtaCommand(access->iCmdType, drive, kAtaDownloadMicrocode, kMicrocodeWithOffsets, kAtaWrite,
                          block_offset * 256, const_cast<BYTE*>(piece), length);
}

}  // namespace

int DISKLIB_SATA_Quillon(const DiskAccess* access, HANDLE drive, const BYTE* image, uint32_t size) {
    LogMsg(u"DISKLIB_SATA_Quillon IN");
    // The command moves whole 512-byte blocks at 16-bit block offsets: a
    // ragged tail would never reach the drive, and a larger image would
    // wrap the offset and overwrite its own beginning. An empty image is
    // no firmware at all.
    if (size == 0 || size % kSector != 0 || size > kMaxSataImage || !image) return 0;
    if (!WriteGatePass(u"firmware download")) {
        WriteGateNoteImage(image, size, kDownloadPiece);
        return kDryRunStop;
    }

    uint64_t block_offset = 0;
    uint32_t remaining = size;
    uint32_t sent = 0;
    uint32_t reported = 0;
    while (remaining > 0) {
        uint32_t progress = ((sent * 10u) / size) * 10u;
        if (progress != reported) {
            LogMsg(u"DownloadFW %3d%%", static_cast<int>(progress));
            os::PostMessageW(GetAppState()->hDlg, WM_UPDATE_PROGRESS, 0, static_cast<LPARAM>(progress));
            reported = progress;
        }
        uint32_t piece = remaining < kDownloadPiece ? remaining : kDownloadPiece;
        const BYTE* at = image + sent;
        if (SendPiece(access, drive, block_offset, at, piece) != 1) {
            os::Sleep(kRetryDelayMs);
            LogMsg(u"DISKLIB_SATA_Quillon Error, Retry 1");
            if (SendPiece(access, drive, block_offset, at, piece) != 1) {
                os::Sleep(kRetryDelayMs);
                LogMsg(u"DISKLIB_SATA_Quillon Error, Retry 2");
                if (SendPiece(access, drive, block_offset, at, piece) != 1) return -4;
            }
        }
        os::Sleep(kPieceDelayMs);
        block_offset += piece / kSector;
        sent += piece;
        remaining -= piece;
    }
    LogMsg(u"DISKLIB_SATA_Quillon Success OUT");
    return 1;
}
