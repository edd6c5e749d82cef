// The worker's result in the dialog, and the optional power-off or restart.
#include <atomic>

#include "app/dialog_ids.h"
#include "app/unattended.h"
#include "app/update_worker.h"
#include "core/write_gate.h"
#include "core/app_state.h"
#include "platform/os.h"

namespace {
std::atomic<int> g_last_result{0};
std::atomic<int> g_result_count{0};
}  // namespace

int LastUpdateResult() { return g_last_result.load(); }
int UpdateResultCount() { return g_result_count.load(); }

void ShowResult(HWND dialog, int result) {
    const AppState* state = GetAppState();
    g_last_result.store(result);
    g_result_count.fetch_add(1);
    if (result == kDryRunStop && WriteGateDryRun()) {
        // A dry run stops before its first write on purpose: not a failure.
    } else if (result != 1) {
        AskUser(dialog, u"Update FW Fail !", state->szTitle, MB_OK);
    } else if (state->AfterMessage[0]) {
        switch (state->PowerCtrl) {
            case 0: AskUser(dialog, state->AfterMessage, state->szTitle, MB_OK); break;
            case 1:
                if (AskUser(dialog, state->AfterMessage, state->szTitle, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK)
                    ShutdownSystem(EWX_POWEROFF);
                break;
            case 2:
                if (AskUser(dialog, state->AfterMessage, state->szTitle, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK)
                    ShutdownSystem(EWX_REBOOT);
                break;
            default: break;
        }
    }
    os::EnableWindow(os::GetDlgItem(dialog, kIdRun), TRUE);
    os::EnableWindow(os::GetDlgItem(dialog, kIdDriveList), TRUE);
}

void ShutdownSystem(UINT flags) {
    HANDLE token = nullptr;
    os::OpenProcessTokenOfCurrentProcess(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
    LUID luid = {};
    os::LookupPrivilegeValueW(u"", u"SeShutdownPrivilege", &luid);
    os::AdjustTokenPrivilege(token, luid, SE_PRIVILEGE_ENABLED);
    if (token) os::CloseHandle(token);
    os::ExitWindowsEx(flags, 0);
}
