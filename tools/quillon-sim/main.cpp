// quillon-sim: the tool on the Linux host and the simulated machine, headless.
//
// Starts the tool as Windows would (AppMain with the command line), waits
// for its dialog to settle, prints what the dialog shows, closes it with
// Escape and waits for the tool to end.
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_main.h"
#include "app/dialog_ids.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_read_file.h"
#ifdef QN_HAVE_DEFAULT_PACKAGE
#include "res/package/default_package.h"
#include "res/version.h"
#endif
#include "tools/quillon-sim/sim_options.h"
#include "tools/quillon-sim/sim_report.h"
#include "tools/quillon-sim/sim_script.h"

namespace {

int LoadPackage(const std::string& path) {
    std::string bytes;
    if (!sim::ReadWholeFile(path, &bytes)) {
        fprintf(stderr, "quillon-sim: cannot read %s\n", path.c_str());
        return -1;
    }
    HostRegisterResource(u"FWPACKAGEZIP", 1000, bytes.data(), bytes.size());
    return 0;
}

// Everything the tool says outside its dialog goes to stdout as it happens.
void WatchTheTool(bool debug) {
    if (debug) {
        HostDebugSetForward([](const WCH* text) {
            printf("debug: %s\n", Utf8(text).c_str());
            TranscriptEvent("log", ",\"text\": " + JsonString(Utf8(text)));
        });
    }
    HostObservers observers;
    observers.message_box = [](const HostMessageBox& box) {
        printf("%s\n", DescribeMessageBox(box).c_str());
        TranscriptEvent("msgbox", ",\"caption\": " + JsonString(Utf8(box.caption)) + ", \"text\": " +
                                      JsonString(Utf8(box.text)) + ", \"style\": " + std::to_string(box.style) +
                                      ", \"answer\": " + std::to_string(box.answer));
    };
    observers.progress = [](int, int position) {
        TranscriptEvent("progress", ",\"position\": " + std::to_string(position));
    };
    HostSetObservers(observers);
}

// The list and the five information lines, as transcript events.
void RecordDialog() {
    std::string entries = "[";
    for (const HostComboItem& item : HostComboItems(kIdDriveList)) {
        if (entries.size() > 1) entries += ", ";
        entries += JsonString(Utf8(item.text));
    }
    entries += "]";
    TranscriptEvent("list", ",\"entries\": " + entries +
                                ", \"selected\": " + std::to_string(HostComboSelection(kIdDriveList)) +
                                ", \"run_enabled\": " + (HostControlEnabled(kIdRun) ? "true" : "false") +
                                ", \"list_enabled\": " + (HostControlEnabled(kIdDriveList) ? "true" : "false"));
    std::string lines = "[";
    for (int id : {kIdModel, kIdSerial, kIdInterface, kIdFirmware, kIdCapacity}) {
        if (lines.size() > 1) lines += ", ";
        lines += JsonString(Utf8(HostControlText(id)));
    }
    TranscriptEvent("info", ",\"lines\": " + lines + "]");
}

size_t g_requests_seen = 0;
size_t g_calls_seen = 0;
int g_results_seen = 0;

// What happened during one step that the observers do not report.
void RecordAfterStep(bool requests) {
    if (UpdateResultCount() != g_results_seen) {
        g_results_seen = UpdateResultCount();
        TranscriptEvent("result", ",\"code\": " + std::to_string(LastUpdateResult()));
    }
    std::vector<HostSystemCall> calls = HostSystemCalls();
    for (; g_calls_seen < calls.size(); ++g_calls_seen)
        if (calls[g_calls_seen].name == "ExitWindowsEx")
            TranscriptEvent("shutdown", ",\"flags\": " + std::to_string(calls[g_calls_seen].value));
    const std::vector<sim::RequestRecord>& all = sim::Requests();
    if (!requests) {
        g_requests_seen = all.size();
        return;
    }
    for (; g_requests_seen < all.size(); ++g_requests_seen) {
        const sim::RequestRecord& r = all[g_requests_seen];
        char ioctl[16];
        snprintf(ioctl, sizeof ioctl, "0x%08X", static_cast<unsigned>(r.ioctl));
        TranscriptEvent("request", ",\"path\": " + JsonString(Utf8(r.path)) + ", \"ioctl\": \"" + ioctl +
                                       "\", \"input\": " + JsonHex(r.in) + ", \"data_out\": " +
                                       JsonHex(r.data_out) + ", \"data_in\": " + JsonHex(r.data_in) +
                                       ", \"return\": " + std::to_string(r.result) +
                                       ", \"last_error\": " + std::to_string(r.error));
    }
}

int AnswerOf(const std::string& word) {
    if (word == "yes") return IDYES;
    if (word == "no") return IDNO;
    if (word == "cancel") return IDCANCEL;
    return IDOK;
}

// One step of the script; false when it could not be carried out.
bool Play(const ScriptStep& step) {
    printf("> %s%s%s\n", step.verb.c_str(), step.arg.empty() ? "" : " ", step.arg.c_str());
    int rc = kHostDone;
    if (step.verb == "select") {
        rc = HostSelectListEntry(kIdDriveList, atoi(step.arg.c_str()));
    } else if (step.verb == "run") {
        rc = HostPressButton(kIdRun);
    } else if (step.verb == "answer") {
        HostScriptMessageBoxAnswer(AnswerOf(step.arg));
    } else if (step.verb == "wait") {
        rc = HostWaitIdle();
    } else if (step.verb == "close") {
        rc = HostCloseDialog();
    }
    if (rc != kHostDone) {
        fprintf(stderr, "quillon-sim: line %d: %s could not be done (%d)\n", step.line, step.verb.c_str(), rc);
        return false;
    }
    return true;
}

int Run(const SimOptions& options) {
#ifdef QN_HAVE_DEFAULT_PACKAGE
    // The package the build embeds, as Quillon.exe carries it; --package replaces it.
    if (options.package_path.empty()) RegisterDefaultPackage();
#endif
    if (!options.package_path.empty() && LoadPackage(options.package_path) != 0) return 1;
    std::string machine_error;
    if (!sim::StartMachine(options.machine_path, &machine_error)) {
        fprintf(stderr, "quillon-sim: %s\n", machine_error.c_str());
        return 1;
    }
    std::string script_text = DefaultScript();
    if (!options.script_path.empty()) {
        if (!sim::ReadWholeFile(options.script_path, &script_text)) {
            fprintf(stderr, "quillon-sim: cannot read %s\n", options.script_path.c_str());
            return 1;
        }
    }
    std::vector<ScriptStep> steps;
    std::string script_error;
    if (!ParseScript(script_text, &steps, &script_error)) {
        fprintf(stderr, "quillon-sim: %s:%s\n", options.script_path.c_str(), script_error.c_str());
        return 1;
    }
    FILE* transcript = nullptr;
    if (!options.transcript_path.empty()) {
        transcript = fopen(options.transcript_path.c_str(), "w");
        if (!transcript) {
            fprintf(stderr, "quillon-sim: cannot write %s\n", options.transcript_path.c_str());
            return 1;
        }
        TranscriptOpen(transcript);
    }
    WatchTheTool(options.debug);

    std::string command_line = SimCommandLine(options);
    HostSetCommandLine(command_line.c_str());
    HostStartDialogThread([command_line]() { return AppMain(command_line.c_str()); });
    if (!HostWaitForDialog()) {
        fprintf(stderr, "quillon-sim: the tool ended without showing its dialog\n");
        HostJoinDialogThread();
        return 1;
    }
    printf("%s", DescribeDialog().c_str());
    g_results_seen = UpdateResultCount();
    RecordAfterStep(options.requests);
    RecordDialog();

    bool played = true;
    for (const ScriptStep& step : steps) {
        if (!Play(step)) {
            played = false;
            break;
        }
        RecordAfterStep(options.requests);
        if (HostDialogUp()) {
            printf("%s", DescribeDialog().c_str());
            RecordDialog();
        }
    }
    if (HostDialogUp()) {
        // The script left the dialog open: close it so the tool can end.
        if (IsWorkerRunning()) HostWaitIdle();
        HostCloseDialog();
    }
    INT_PTR result = 0;
    if (!HostDialogEnded(&result)) {
        fprintf(stderr, "quillon-sim: the dialog did not close\n");
        TranscriptOpen(nullptr);
        if (transcript) fclose(transcript);
        return 1;
    }
    int exit_code = HostJoinDialogThread();
    printf("closed: dialog result %lld, tool exit code %d\n", static_cast<long long>(result), exit_code);
    TranscriptEvent("exit", ",\"code\": " + std::to_string(exit_code));
    TranscriptOpen(nullptr);
    if (transcript) fclose(transcript);
    return played ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (ParseSimOptions(argc, argv, &options, &error) != 0) {
        fprintf(stderr, "quillon-sim: %s\n%s", error.c_str(), kSimUsage);
        return 2;
    }
    if (options.help) {
        printf("%s", kSimUsage);
        return 0;
    }
    if (options.version) {
        printf("quillon-sim %s\n", QN_VERSION_TEXT);
        return 0;
    }
    return Run(options);
}
