// The NVMe update worker: image, configuration block or version write,
// download, activation, bridge power cycle, finding the drive again, version
// check, and the list refresh.
#include <cstring>

#include "app/update_worker.h"
#include "core/app_state.h"
#include "core/blank_block.h"
#include "core/log.h"
#include "nvme/identify.h"
#include "nvme/nvme_commands.h"
#include "nvme/power_ctrl.h"
#include "package/config.h"
#include "package/files.h"
#include "package/image.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

constexpr uint32_t kSettleMs = 3000;
constexpr int kReturnAttempts = 30;

// A configuration block read that "succeeds" with nothing in it (the bridges
// never look at the NVMe status; all zeros, or all 0xFF from erased flash)
// is a failed read: writing it back or splicing it into the image would
// wipe the drive's configuration.
int ReadConfigBlock(const DiskAccess* access, HANDLE drive, BYTE* block) {
    memset(block, 0, image::kConfigBlock);
    int rc = DISKLIB_NVME_GetFWConfig(access, drive, block);
    if (rc != 1) return rc;
    if (IsBlankBlock(block, image::kConfigBlock)) {
        LogMsg(u"DISKLIB_NVME_GetFWConfig empty block");
        return 0;
    }
    return 1;
}

void CloseDrive(DiskAccess* access, HANDLE* drive) {
    if (*drive != INVALID_HANDLE_VALUE) os::CloseHandle(*drive);
    *drive = INVALID_HANDLE_VALUE;
    if (access->hScsiPort != INVALID_HANDLE_VALUE) os::CloseHandle(access->hScsiPort);
    access->hScsiPort = INVALID_HANDLE_VALUE;
}

// Download, activation, bridge power cycle, the drive found again and
// verified, and the drive opened again. Shared by both paths.
int Replace(DiskAccess* access, HANDLE* drive, WorkerImage* image) {
    AppState* state = GetAppState();

    SetProgressStage(0, 30, 0);
    int rc = DISKLIB_NVME_DownloadFW(access, *drive, image->data, image->size);
    ReleaseWorkerImage(image);
    if (rc != 1) return rc;

    SetProgressStage(30, 40, 0);
    WaitWithProgress(kSettleMs);
    SetProgressStage(40, 60, 0);
    rc = DISKLIB_NVME_FWActive(access, *drive, 1, 1);
    if (rc != 1) return rc;
    WaitWithProgress(kSettleMs);
    SetProgressStage(60, 70, 0);

    if (access->iCmdType == kCmdAsmedia) {
        IO_USB_ASM_PowerCtrl(*drive, 1);
        WaitWithProgress(kSettleMs);
    } else if (access->iCmdType == kCmdJmicron) {
        IO_USB_JMI_PowerCtrl(*drive, 5);
        WaitWithProgress(kSettleMs);
    }
    CloseDrive(access, drive);

    SetProgressStage(70, 80, 0);
    rc = GetDiskInfoByPortID(&state->SelectedDisk, kReturnAttempts);
    if (rc != 1) return rc;
    if (WCompare(state->SelectedDisk.szDrvFWVersion, image->version) != 0) {
        LogMsg(u"Quillon Fail, DrvVer=%s, BinVer=%s", state->SelectedDisk.szDrvFWVersion, image->version);
        return -4;
    }
    *drive = OpenNvmeDisk(state->SelectedDisk.szDevicePath, access);
    if (*drive == INVALID_HANDLE_VALUE) return -1;
    return 1;
}

// Drives without vendor information: the version goes through the
// MP-information block, before or after the new firmware.
int PlainPath(DiskAccess* access, HANDLE* drive, WorkerImage* image) {
    const AppState* state = GetAppState();
    int rc;
    if (state->bSetVersionBeforeQuillon) {
        rc = DISKLIB_NVME_SetFWVersionByMpInfo(access, *drive, state->NEWVERSION);
        if (rc != 1) return rc;
    }
    rc = Replace(access, drive, image);
    if (rc != 1) return rc;
    if (!state->bSetVersionBeforeQuillon) {
        rc = DISKLIB_NVME_SetFWVersionByMpInfo(access, *drive, state->NEWVERSION);
        if (rc != 1) return rc;
    }
    return SuccessTail();
}

// Drives with vendor information: the drive's configuration block travels
// into the image, and the version is set in the drive's block before or after.
int ConfigPath(DiskAccess* access, HANDLE* drive, WorkerImage* image) {
    const AppState* state = GetAppState();
    ImageLayout layout;
    if (image->size >= 4 && GetLe32(image->data) == image::kMagic &&
        !GetImageLayout(image->data, image->size, &layout)) {
        // The magic promises regions the file does not hold; patching it
        // would write outside the image.
        return 0;
    }
    int crc32c = VerifyImageCrc(image->data, image->size);

    BYTE block[image::kConfigBlock];
    int rc = ReadConfigBlock(access, *drive, block);
    if (rc != 1) return rc;
    uint32_t check = 0;
    if (state->bSetVersionBeforeQuillon && SetConfigVersion(block, state->NEWVERSION, crc32c, &check)) {
        rc = DISKLIB_NVME_SetFWConfig(access, *drive, block, check);
        if (rc != 1) return rc;
    }
    // The checksum of these unchanged bytes was verified above.
    PatchImageConfigVerified(image->data, image->size, block, state->NEWVERSION, crc32c);

    rc = Replace(access, drive, image);
    if (rc != 1) return rc;

    if (!state->bSetVersionBeforeQuillon) {
        rc = ReadConfigBlock(access, *drive, block);
        if (rc != 1) return rc;
        if (SetConfigVersion(block, state->NEWVERSION, crc32c, &check)) {
            rc = DISKLIB_NVME_SetFWConfig(access, *drive, block, check);
            if (rc != 1) return rc;
        }
    }
    return SuccessTail();
}

}  // namespace

DWORD NvmeUpdateWorker(void* parameter) {
    HANDLE* worker_slot = static_cast<HANDLE*>(parameter);
    AppState* state = GetAppState();
    DiskAccess access = {};
    access.hScsiPort = INVALID_HANDLE_VALUE;
    HANDLE drive = INVALID_HANDLE_VALUE;

    // The image first: nothing goes to the drive unless the whole image is
    // in memory.
    WorkerImage image;
    if (LoadWorkerImage(&state->SelectedDisk, &image, 1) != 1)
        return static_cast<DWORD>(FinishWorker(worker_slot, &access, &drive, 0));

    int rc;
    drive = OpenNvmeDisk(state->SelectedDisk.szDevicePath, &access);
    if (drive == INVALID_HANDLE_VALUE)
        rc = -1;
    else if (state->SelectedDisk.bDrvInfoValid == 0)
        rc = PlainPath(&access, &drive, &image);
    else
        rc = ConfigPath(&access, &drive, &image);
    ReleaseWorkerImage(&image);
    return static_cast<DWORD>(FinishWorker(worker_slot, &access, &drive, rc));
}
