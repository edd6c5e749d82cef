// Progress stages, timed waits, the end step, the success tail and the
// image a worker sends.
#include <cstring>

#include "app/drive_list.h"
#include "app/run_record.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "core/log.h"
#include "package/config.h"
#include "package/files.h"
#include "package/image.h"
#include "platform/os.h"
#include "platform/wtext.h"

void SetProgressStage(int start, int end, int percentage) {
    AppState* state = GetAppState();
    state->sProgressStart = static_cast<int16_t>(start);
    state->sProgressEnd = static_cast<int16_t>(end);
    NoteStage(start, end);
    os::SendMessageW(state->hDlg, WM_UPDATE_PROGRESS, 0, static_cast<LPARAM>(percentage));
}

void WaitWithProgress(uint32_t total) {
    HWND dialog = GetAppState()->hDlg;
    uint32_t remaining = total;
    while (remaining > 1000) {
        os::Sleep(1000);
        remaining -= 1000;
        uint64_t percent = (static_cast<uint64_t>(total - remaining) * 100) / total;
        os::PostMessageW(dialog, WM_UPDATE_PROGRESS, 0, static_cast<LPARAM>(percent));
    }
    if (remaining != 0) {
        os::Sleep(remaining);
        os::SendMessageW(dialog, WM_UPDATE_PROGRESS, 0, 100);
    }
}

int FinishWorker(HANDLE* worker_slot, DiskAccess* access, HANDLE* drive, int result) {
    if (*drive != INVALID_HANDLE_VALUE && *drive != nullptr) os::CloseHandle(*drive);
    *drive = INVALID_HANDLE_VALUE;
    if (access->hScsiPort != INVALID_HANDLE_VALUE && access->hScsiPort != nullptr) os::CloseHandle(access->hScsiPort);
    access->hScsiPort = INVALID_HANDLE_VALUE;

    HANDLE self = *worker_slot;
    // The result is queued before the running marker goes, so the dialog
    // never sees "no worker" without the result behind it.
    os::PostMessageW(GetAppState()->hDlg, WM_UPDATE_RESULT, 0, static_cast<LPARAM>(result));
    *worker_slot = nullptr;
    LogMsg(u"----------------------------------------------------");
    // Nobody waits on the worker, so its own handle is released here;
    // closing it does not end the thread.
    if (self) os::CloseHandle(self);
    return result;
}

int SuccessTail() {
    SetProgressStage(100, 100, 0);
    RefreshDriveList(GetAppState()->hDlg, 0);
    return 1;
}

int LoadWorkerImage(const DiskInfo* disk, WorkerImage* image, int with_version) {
    memset(image, 0, sizeof *image);
    if (!FindImageForNand(disk, image->path)) return 0;
    ImageFile file;
    if (!LoadImageFile(image->path, &file)) return 0;
    if (with_version) ReadImageVersionFromBytes(file.data, file.size, image->version);
    // The bytes sent are the bytes checked: an image that is not the one the
    // run button's checks passed (replaced while the question was open) is
    // not sent.
    const AppState* state = GetAppState();
    ImageCheckFacts facts;
    GetImageFacts(file.data, file.size, &facts);
    if (facts.size != state->iCheckedImageSize || WCompare(facts.version, state->szCheckedImageVersion) != 0 ||
        facts.ftl_build != state->iCheckedFtlBuild) {
        LogMsg(u"Image changed after the checks: %s, %I64u bytes, version %s (checked %I64u bytes, version %s)",
               image->path, facts.size, facts.version, state->iCheckedImageSize, state->szCheckedImageVersion);
        FreeImageFile(&file);
        return 0;
    }
    image->data = file.data;
    image->size = static_cast<DWORD>(file.size);
    return 1;
}

void ReleaseWorkerImage(WorkerImage* image) {
    if (image->data) os::VirtualFree(image->data, 0, MEM_RELEASE);
    image->data = nullptr;
}
