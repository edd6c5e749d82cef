// The checks before an update starts.
#include "app/eligibility.h"

#include "app/admission.h"
#include "app/dialog_ids.h"
#include "app/drive_list.h"
#include "app/drive_source.h"
#include "app/run_record.h"
#include "app/unattended.h"
#include "core/app_state.h"
#include "core/log.h"
#include "core/text_search.h"
#include "package/config.h"
#include "package/image.h"
#include "platform/wtext.h"

namespace {

constexpr int kRefusalSize = 260;

// Shows the reason in debug mode and only "no update needed" otherwise. The
// text was composed with FormatW, so a long configuration list is cut at the
// buffer's end rather than written past it.
void Refuse(HWND dialog, WCH* text) {
    const AppState* state = GetAppState();
    LogText(text);
    NoteRefusal(text);
    if (state->bDebug == 0) WCopy(text, kRefusalSize, u"Do not need to update.");
    AskUser(dialog, text, state->szTitle, MB_OK);
}

}  // namespace

int StartWorker(HANDLE* worker_slot, os::ThreadProc procedure) {
    if (*worker_slot) {
        LogMsg(u"Thread is Running");
        return 0;
    }
    if (!procedure) return 0;
    // Created suspended so the handle is stored before the worker can run:
    // a worker that ends at once clears the slot, and must not find it
    // still empty and then have a stale handle stored over its clearing.
    HANDLE thread = os::CreateThread(procedure, worker_slot, CREATE_SUSPENDED, nullptr);
    *worker_slot = thread;
    if (!thread) return 0;
    os::ResumeThread(thread);
    return 1;
}

void OnRun(HWND dialog) {
    AppState* state = GetAppState();
    int index = SelectedDriveIndex(dialog);
    if (index < 0) {
        // No entry, or the "- Disconnect" entry of a drive that is gone:
        // there is no record to check, so nothing is sent to any drive.
        state->SelectedDisk = DiskInfo{};
        LogMsg(u"No drive selected");
        AskUser(dialog, u"No drive selected.", state->szTitle, MB_OK);
        return;
    }
    ReidentifyDrive(&state->DiskList[index], 30);
    state->SelectedDisk = state->DiskList[index];
    const DiskInfo* disk = &state->SelectedDisk;
    LogMsg(u"Press OK");
    NoteRunStart(disk);

    WCH text[kRefusalSize];
    if (state->FWVersion[0]) {
        WCH needle[kListNeedleSize];
        EncloseInBars(disk->szFWRevision, needle);
        if (!FindNoCase(state->FWVersion, needle)) {
            FormatW(text, kRefusalSize, u"Limit FW Versoin : %s (Disk Version : %s)", state->FWVersion, needle);
            Refuse(dialog, text);
            return;
        }
    }

    WCH image[260];
    if (!FindImageForNand(disk, image)) {
        const uint8_t* n = disk->NandId;
        FormatW(text, kRefusalSize, u"No this fw, Lun=%d, NAND=%02X %02X %02X %02X %02X %02X",
                static_cast<int>(disk->iLunCount), n[0], n[1], n[2], n[3], n[4], n[5]);
        Refuse(dialog, text);
        return;
    }

    // The image is read once; every check below and the worker's own
    // comparison work from what this read saw.
    ImageFile bytes;
    LoadImageFile(image, &bytes);
    ImageCheckFacts facts;
    GetImageFacts(bytes.data, bytes.size, &facts);
    state->iCheckedImageSize = facts.size;
    WCopy(state->szCheckedImageVersion, 32, facts.version);
    state->iCheckedFtlBuild = facts.ftl_build;

    if (disk->szDrvFWVersion[0] && state->iInternalFWVersionCheckPart != 0) {
        WCH image_version[32] = {};
        ReadImageVersionFromBytes(bytes.data, bytes.size, image_version);
        if (!CompareVersionText(disk->szDrvFWVersion, state->iInternalFWVersionCheckPart, image_version)) {
            FreeImageFile(&bytes);
            FormatW(text, kRefusalSize, u"Limit Drv FW Version : %s, BinFileVer : %s, Compare %d Part",
                    disk->szDrvFWVersion, image_version, state->iInternalFWVersionCheckPart);
            Refuse(dialog, text);
            return;
        }
    }
    FreeImageFile(&bytes);

    if (disk->bDrvInfoValid) {
        if (state->bRemoveFtlBuildNumCheck) {
            LogMsg(u"Remove FTL Build Num Check");
        } else {
            uint32_t image_build = facts.ftl_build;
            if (image_build != disk->iFtlBuildNum) {
                FormatW(text, kRefusalSize, u"Limit iFtlBuildNum : 0x%08X, 0x%08X", disk->iFtlBuildNum, image_build);
                Refuse(dialog, text);
                return;
            }
        }
    }

    if (state->BeforeMessage[0] &&
        AskUser(dialog, state->BeforeMessage, state->szTitle, MB_YESNO | MB_ICONWARNING) != IDYES)
        return;

    os::SetDlgItemTextW(dialog, kIdStatus, u"");
    os::EnableWindow(os::GetDlgItem(dialog, kIdRun), FALSE);
    os::EnableWindow(os::GetDlgItem(dialog, kIdDriveList), FALSE);
    LogMsg(u"----------------------------------------------------");
    if (StartWorker(&state->hWorkerThread, UpdateWorkerProc())) NoteWorkerStarted();
}
