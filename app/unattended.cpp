// The end of a run that keeps evidence, and the unattended run.
#include "app/unattended.h"

#include "app/dialog_ids.h"
#include "app/drive_list.h"
#include "app/eligibility.h"
#include "app/report_writer.h"
#include "app/run_options.h"
#include "app/run_record.h"
#include "core/app_state.h"
#include "core/log.h"
#include "package/work_dir.h"
#include "platform/wtext.h"

namespace {

int g_exit_code = 0;
WCH g_command_line[1024];

// The report (when asked for), and in an unattended run the end of the dialog.
void FinishRun(HWND dialog) {
    const RunOptions* options = GetRunOptions();
    RunRecord* record = GetRunRecord();
    DecideRun(record);
    if (!record->selector_failed)
        LogMsg(u"Verdict %s, exit code %d", VerdictName(record->verdict), record->exit_code);
    if (options->report_path[0] && !WriteRunReport(options->report_path, record, g_command_line))
        LogMsg(u"Report not written: %s", options->report_path);
    if (!options->unattended) return;
    g_exit_code = record->exit_code;
    RemoveWorkDir(GetAppState());
    os::EndDialog(dialog, g_exit_code);
}

// Puts the list's entry of DiskList[index] in the selection.
bool SelectListEntry(HWND dialog, uint32_t index) {
    LRESULT count = os::SendDlgItemMessageW(dialog, kIdDriveList, CB_GETCOUNT, 0, 0);
    for (LRESULT entry = 0; entry < count; ++entry) {
        LRESULT data = os::SendDlgItemMessageW(dialog, kIdDriveList, CB_GETITEMDATA, static_cast<WPARAM>(entry), 0);
        if (data == static_cast<LRESULT>(index)) {
            os::SendDlgItemMessageW(dialog, kIdDriveList, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
            return true;
        }
    }
    return false;
}

}  // namespace

void SetRunCommandLine(const WCH* line) {
    WCopy(g_command_line, 1024, line);
    g_exit_code = 0;
}

int AskUser(HWND dialog, const WCH* text, const WCH* title, UINT flags) {
    if (!GetRunOptions()->unattended) return os::MessageBoxW(dialog, text, title, flags);
    int answer = (flags & 0xF) == MB_YESNO ? IDYES : (flags & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK;
    LogMsg(u"Unattended: \"%s\" answered %d", text, answer);
    return answer;
}

void OnDialogReady(HWND dialog) {
    if (GetRunOptions()->unattended) os::PostMessageW(dialog, kWmUnattendedRun, 0, 0);
}

void OnUnattendedRun(HWND dialog) {
    AppState* state = GetAppState();
    // Only what the list shows can be chosen: the drives the package admits.
    DiskInfo listed[26];
    uint32_t at[26];
    uint32_t count = 0;
    LRESULT entries = os::SendDlgItemMessageW(dialog, kIdDriveList, CB_GETCOUNT, 0, 0);
    for (LRESULT entry = 0; entry < entries && count < 26; ++entry) {
        LRESULT data = os::SendDlgItemMessageW(dialog, kIdDriveList, CB_GETITEMDATA, static_cast<WPARAM>(entry), 0);
        if (data < 0 || data >= static_cast<LRESULT>(state->iDiskCount)) continue;
        at[count] = static_cast<uint32_t>(data);
        listed[count++] = state->DiskList[data];
    }
    uint32_t chosen = 0;
    int match = SelectDrive(GetRunOptions()->drive, listed, count, &chosen);
    if (match != kSelectOne || !SelectListEntry(dialog, at[chosen])) {
        LogMsg(u"Unattended: /drive:%s names %s", GetRunOptions()->drive, match == kSelectMany ? u"more than one drive" : u"no listed drive");
        GetRunRecord()->selector_failed = 1;
        FinishRun(dialog);
        return;
    }
    OnSelectDrive(dialog);
    OnRun(dialog);
    AfterRunButton(dialog);
}

void AfterRunButton(HWND dialog) {
    // A started worker ends with its result, which may already be queued.
    if (!RunKeepsEvidence(GetRunOptions()) || GetRunRecord()->started) return;
    FinishRun(dialog);
}

void AfterResult(HWND dialog, int result) {
    if (!RunKeepsEvidence(GetRunOptions())) return;
    NoteRunEnded(result);
    FinishRun(dialog);
}

int RunExitCode() { return g_exit_code; }
