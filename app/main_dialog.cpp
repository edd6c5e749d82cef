// Dispatch of the main dialog, its initialisation and its exit branch.
#include "app/main_dialog.h"

#include "app/dialog_ids.h"
#include "app/dialog_layout.h"
#include "app/drive_list.h"
#include "app/eligibility.h"
#include "app/progress.h"
#include "app/unattended.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "package/config.h"
#include "package/package_extract.h"
#include "package/work_dir.h"
#include "platform/os.h"
#include "platform/trace/trace_recorder.h"
#include "platform/wtext.h"

namespace {

void OnInitDialog(HWND dialog) {
    AppState* state = GetAppState();
    state->hDlg = dialog;
    LayoutMainDialog(dialog);

    // Without a complete work directory path there is nowhere to unpack to,
    // and szIniPath stays empty: the configuration then takes its defaults.
    if (CreateWorkDir(state)) {
        ExtractPackage(u"FWPACKAGEZIP", kIdPackageResource, state->szWorkDir);
        if (FormatW(state->szIniPath, 260, u"%s\\QuillonInfo.ini", state->szWorkDir) < 0) state->szIniPath[0] = 0;
    }

    ReadUpdateConfig(dialog);
    TracePackage(state->szTitle);
    RefreshDriveList(dialog, 1);
    OnSelectDrive(dialog);
    OnDialogReady(dialog);
}

// Close box or Escape. Never while a worker runs: it owns the drive and the
// files in the work directory.
INT_PTR OnExit(HWND dialog) {
    AppState* state = GetAppState();
    if (IsWorkerRunning()) {
        os::MessageBoxW(dialog, u"Update FW Now!\nCan't Exit Program.", state->szTitle, MB_OK);
        return 0;
    }
    RemoveWorkDir(state);
    os::EndDialog(dialog, 0);
    return TRUE;
}

unsigned LowWord(WPARAM value) { return static_cast<unsigned>(value & 0xFFFF); }
unsigned HighWord(WPARAM value) { return static_cast<unsigned>((value >> 16) & 0xFFFF); }

}  // namespace

INT_PTR MainDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog);
            return 0;
        case WM_COMMAND:
            if (LowWord(wparam) == IDOK) {
                OnRun(dialog);
                AfterRunButton(dialog);
                return 0;
            }
            if (LowWord(wparam) == IDCANCEL) return OnExit(dialog);
            if (LowWord(wparam) == kIdDriveList && HighWord(wparam) == CBN_SELENDOK) OnSelectDrive(dialog);
            return 0;
        case WM_UPDATE_RESULT:
            ShowResult(dialog, static_cast<int>(lparam));
            AfterResult(dialog, static_cast<int>(lparam));
            return 0;
        case kWmUnattendedRun:
            OnUnattendedRun(dialog);
            return 0;
        case WM_UPDATE_PROGRESS:
            os::SendDlgItemMessageW(dialog, kIdProgress, PBM_SETPOS,
                                    static_cast<WPARAM>(MapProgress(static_cast<int>(lparam))), 0);
            return 0;
        default:
            return 0;
    }
}
