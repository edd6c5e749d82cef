// Entry point of the tool.
#include "app/app_main.h"

#include "app/dialog_ids.h"
#include "app/main_dialog.h"
#include "app/run_options.h"
#include "app/run_record.h"
#include "app/verdict.h"
#include "app/unattended.h"
#include "core/app_state.h"
#include "core/log.h"
#include "core/write_gate.h"
#include "core/text_search.h"
#include "platform/os.h"
#include "platform/trace/trace_recorder.h"

namespace {

constexpr int kCommandLineCapacity = 1024;

// The narrow command line in the system code page into at most 1023 units
// and a terminator. MultiByteToWideChar fails outright (leaving the buffer
// unterminated) when the whole line does not fit, so the input is cut to
// 1023 bytes first: no code page makes more units than bytes.
void WidenCommandLine(const char* line, WCH* out) {
    int n = 0;
    while (line && n < kCommandLineCapacity - 1 && line[n]) ++n;
    int units = n ? os::MultiByteToWideChar(CP_ACP, 0, line, n, out, kCommandLineCapacity - 1) : 0;
    out[(units > 0 && units < kCommandLineCapacity) ? units : 0] = 0;
}

}  // namespace

int AppMain(const char* command_line) {
    ULONG_PTR gdiplus_token = 0;
    os::GdiplusStartup(&gdiplus_token);
    os::InitCommonControls();

    AppState* state = GetAppState();
    *state = AppState{};

    WCH line[kCommandLineCapacity];
    WidenCommandLine(command_line, line);
    if (FindNoCase(line, u"/debug")) state->bDebug = 1;
    // The opt-in words; a run without them keeps nothing and exits 0.
    RunOptions* options = GetRunOptions();
    if (!ParseRunOptions(line, options)) {
        os::GdiplusShutdown(gdiplus_token);
        return kExitBadCommandLine;
    }
    // A field trace records from here to the end of the run, every way out.
    if (options->record_path[0]) TraceStart(options->record_path, options->record_full, line);
    SetRunCommandLine(line);
    ResetRunRecord();
    LogKeepLines(RunKeepsEvidence(options));
    WriteGateReset(options->dry_run);

    os::DialogBoxParamW(os::GetModuleHandleW(nullptr), kIdMainDialog, nullptr, MainDlgProc, 0);

    os::GdiplusShutdown(gdiplus_token);
    int code = RunExitCode();
    TraceExit(code);
    return code;
}
