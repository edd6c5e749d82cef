// The SATA update worker: the image in one download, the configuration
// block brought in line with NEWVERSION, and the drive found again.
#include <cstring>

#include "app/sata_worker.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "core/blank_block.h"
#include "core/log.h"
#include "package/config.h"
#include "package/files.h"
#include "package/image.h"
#include "platform/os.h"
#include "platform/wtext.h"
#include "sata/ata_command.h"
#include "sata/sata_identify.h"

namespace {

constexpr uint32_t kSettleMs = 3000;
constexpr int kReturnAttempts = 10;

// Reads the drive's configuration block and writes it back with NEWVERSION
// when that changes it. Behind a bridge a command succeeds whenever the
// request does, so a block of nothing but zeros (or nothing but 0xFF, erased
// flash) is a read that did not happen: writing it back would wipe the
// drive's configuration.
int UpdateConfigBlock(const DiskAccess* access, HANDLE drive, const WCH* new_version) {
    BYTE block[image::kConfigBlock];
    std::memset(block, 0, sizeof block);
    int rc = SataGetFWConfig(access, drive, block);
    if (rc != 1) return rc;
    if (IsBlankBlock(block, sizeof block)) {
        LogMsg(u"SataGetFWConfig empty block");
        return 0;
    }
    uint32_t unused_check = 0;
    if (SetConfigVersion(block, new_version, 0, &unused_check)) {
        rc = SataSetFWConfig(access, drive, block);
        if (rc != 1) return rc;
    }
    return 1;
}

int Update(DiskAccess* access, HANDLE drive, WorkerImage* image) {
    AppState* state = GetAppState();
    SetProgressStage(0, 40, 0);
    int rc = DISKLIB_SATA_Quillon(access, drive, image->data, image->size);
    ReleaseWorkerImage(image);
    if (rc != 1) return rc;

    SetProgressStage(40, 60, 0);
    WaitWithProgress(kSettleMs);

    if (WCompareNoCase(state->NEWVERSION, u"KEEP") != 0) {
        rc = UpdateConfigBlock(access, drive, state->NEWVERSION);
        if (rc != 1) return rc;
    }

    SetProgressStage(80, 100, 0);
    // A SATA drive keeps running on the new microcode whether or not it
    // shows up at its port again in time; the list refresh tells the user.
    GetSataDiskInfoByPortID(&state->SelectedDisk, kReturnAttempts);
    return SuccessTail();
}

}  // namespace

DWORD SataUpdateWorker(void* parameter) {
    HANDLE* worker_slot = static_cast<HANDLE*>(parameter);
    AppState* state = GetAppState();
    DiskAccess access;
    std::memset(&access, 0, sizeof access);
    access.hScsiPort = INVALID_HANDLE_VALUE;

    // The image first: nothing goes to the drive unless the image checked
    // is whole in memory.
    HANDLE drive = INVALID_HANDLE_VALUE;
    WorkerImage image;
    if (LoadWorkerImage(&state->SelectedDisk, &image, 0) != 1)
        return static_cast<DWORD>(FinishWorker(worker_slot, &access, &drive, 0));
    drive = OpenSataDisk(state->SelectedDisk.szDevicePath, &access);
    if (drive == INVALID_HANDLE_VALUE) {
        ReleaseWorkerImage(&image);
        return static_cast<DWORD>(FinishWorker(worker_slot, &access, &drive, -1));
    }
    int rc = Update(&access, drive, &image);
    ReleaseWorkerImage(&image);
    return static_cast<DWORD>(FinishWorker(worker_slot, &access, &drive, rc));
}
