// quillon-sim: the tool on the Linux host and the simulated machine, headless.
//
// Starts the tool as Windows would (AppMain with the command line), waits
// for its dialog to settle, prints what the dialog shows, closes it with
// Escape and waits for the tool to end.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/app_main.h"
#include "app/dialog_ids.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_machine.h"
#ifdef QN_HAVE_DEFAULT_PACKAGE
#include "res/package/default_package.h"
#include "res/version.h"
#endif
#include "tools/quillon-sim/replay_trace.h"
#include "tools/quillon-sim/sim_files.h"
#include "tools/quillon-sim/sim_lint.h"
#include "tools/quillon-sim/sim_options.h"
#include "tools/quillon-sim/sim_report.h"
#include "tools/quillon-sim/sim_script.h"
#include "tools/quillon-sim/sim_timeline.h"

namespace {

// "/unattended" as a word of the tool's command line, in any case.
bool HoldsUnattended(const std::string& line) {
    std::string lower;
    for (char c : line) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    size_t at = lower.find("/unattended");
    return at != std::string::npos;
}

// Exit codes (docs/simulator.md).
constexpr int kExitOk = 0;
constexpr int kExitNotDone = 1;  // a step could not be done, an input could not be read
constexpr int kExitUsage = 2;
constexpr int kExitUpdateFailed = 3;

void Complain(const std::string& text) { fprintf(stderr, "quillon-sim: %s\n", text.c_str()); }

// The package that replaces the embedded one, read whole. A file that is not
// a whole zip archive stops the run before the tool starts.
bool ReadPackage(const std::string& path, std::string* bytes) {
    std::string error;
    if (!ReadInputFile(path, bytes, &error)) {
        Complain(error);
        return false;
    }
    std::string problem = ZipProblem(*bytes);
    if (!problem.empty()) {
        Complain(path + ": " + problem);
        return false;
    }
    return true;
}

// What the package lint finds only warns (a broken package is worth
// rehearsing); then the package becomes the executable's resource, as the
// embedded one is. Done once every input has been accepted, so a bad input
// still gets its one line.
void InstallPackage(const SimOptions& options, std::string* bytes) {
    if (!options.package_path.empty()) {
        WarnAboutPackage(options.package_path, options.package_path, bytes->data(), bytes->size());
        HostRegisterResource(u"FWPACKAGEZIP", 1000, bytes->data(), bytes->size());
        std::string().swap(*bytes);  // the resource holds its own copy
        return;
    }
#ifdef QN_HAVE_DEFAULT_PACKAGE
    // The package the build embeds, as Quillon.exe carries it.
    size_t size = 0;
    const unsigned char* embedded = DefaultPackageBytes(&size);
    WarnAboutPackage("", "default package", embedded, size);
    RegisterDefaultPackage();
#endif
}

bool LoadMachine(const std::string& path) {
    std::string error;
    if (path.empty()) {
        if (!sim::StartMachine("", &error)) {
            Complain(error);
            return false;
        }
        return true;
    }
    std::string bytes;
    sim::MachineDesc machine;
    if (!ReadInputFile(path, &bytes, &error) || !sim::ParseMachineJson(bytes, path, &machine, &error)) {
        Complain(error);
        return false;
    }
    std::string problem;
    if (!sim::InstallMachine(machine, &problem)) {
        Complain(path + ": " + problem);
        return false;
    }
    return true;
}

bool LoadScript(const std::string& path, std::vector<ScriptStep>* steps) {
    std::string text = DefaultScript();
    std::string error;
    if (!path.empty()) {
        if (!ReadInputFile(path, &text, &error)) {
            Complain(error);
            return false;
        }
    }
    if (!ParseScript(text, steps, &error)) {
        Complain((path.empty() ? std::string("default script") : path) + ":" + error);
        return false;
    }
    return true;
}

int AnswerOf(const std::string& word) {
    if (word == "yes") return IDYES;
    if (word == "no") return IDNO;
    if (word == "cancel") return IDCANCEL;
    return IDOK;
}

// One step of the script; false when it could not be carried out.
bool Play(const ScriptStep& step, const std::string& script_name) {
    printf("> %s%s%s\n", step.verb.c_str(), step.arg.empty() ? "" : " ", step.arg.c_str());
    fflush(stdout);
    int rc = kHostDone;
    std::string why;
    if (step.verb == "select") {
        rc = HostSelectListEntry(kIdDriveList, atoi(step.arg.c_str()));
        if (rc == kHostRefused) why = "no entry " + step.arg + " or the list is disabled";
    } else if (step.verb == "run") {
        sim::BeginOperation();  // faults counted from the operation's start count from here
        rc = HostPressButton(kIdRun);
        if (rc == kHostRefused) why = "RUN is disabled";
    } else if (step.verb == "answer") {
        HostScriptMessageBoxAnswer(AnswerOf(step.arg));
    } else if (step.verb == "wait") {
        rc = HostWaitIdle();
    } else if (step.verb == "close") {
        rc = HostCloseDialog();
    } else if (step.verb == "sleep") {
        HostClockAdvance(static_cast<ULONGLONG>(strtod(step.arg.c_str(), nullptr) * 1000.0 + 0.5));
        rc = HostWaitIdle();
    } else if (step.verb == "unplug" || step.verb == "plug") {
        bool known = step.verb == "unplug" ? sim::UnplugDrive(step.arg) : sim::PlugDrive(step.arg);
        if (!known) {
            rc = kHostRefused;
            why = "no drive named " + step.arg;
        }
    }
    if (rc == kHostNoDialog) why = "the dialog is not up";
    if (rc == kHostTimeout) why = "the tool did not settle (timeout)";
    if (rc == kHostStalled) why = "the tool is stuck with messages queued";
    if (rc != kHostDone) {
        Complain(script_name + ":" + std::to_string(step.line) + ": " + step.verb + ": could not be done (" +
                 (why.empty() ? std::to_string(rc) : why) + ")");
        return false;
    }
    return true;
}

// The transcript file and what became of writing it.
struct Transcript {
    std::string path;
    FILE* file = nullptr;
};

bool OpenTranscript(const std::string& path, Transcript* t) {
    t->path = path;
    if (path.empty()) return true;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        Complain(path + ": is a directory");
        return false;
    }
    t->file = fopen(path.c_str(), "w");
    if (!t->file) {
        Complain(path + ": cannot write (" + strerror(errno) + ")");
        return false;
    }
    TranscriptOpen(t->file);
    return true;
}

// false when some of it could not be written.
bool CloseTranscript(Transcript* t) {
    if (!t->file) return true;
    int error = TranscriptWriteError();
    TranscriptOpen(nullptr);
    if (fclose(t->file) != 0 && !error) error = errno ? errno : EIO;
    t->file = nullptr;
    if (error) {
        Complain(t->path + ": write failed (" + strerror(error) + ")");
        return false;
    }
    return true;
}

int RunTool(const SimOptions& options, Transcript* transcript) {
    std::vector<ScriptStep> steps;
    if (!LoadScript(options.script_path, &steps)) return kExitNotDone;
    std::string package;
    if (!options.package_path.empty() && !ReadPackage(options.package_path, &package)) return kExitNotDone;
    if (!LoadMachine(options.machine_path)) return kExitNotDone;
    if (!options.replay_path.empty()) {
        std::string error;
        if (!StartReplay(options.replay_path, options.strict, &error)) {
            Complain(error);
            return kExitNotDone;
        }
    }
    if (!OpenTranscript(options.transcript_path, transcript)) return kExitNotDone;
    InstallPackage(options, &package);
    // A command line of its own may switch the log on: show it then too.
    WatchTheTool(options.debug || options.has_command_line, options.requests);

    std::string command_line = SimCommandLine(options);
    HostSetCommandLine(command_line.c_str());
    HostStartDialogThread([command_line]() { return AppMain(command_line.c_str()); });
    if (HoldsUnattended(command_line)) {
        // The tool drives its own dialog and ends it: no script, its exit code is ours.
        HostWaitForDialog();
        HostWaitIdle();
        int tool_code = HostJoinDialogThread();
        printf("closed: tool exit code %d\n", tool_code);
        TranscriptEvent("exit", ",\"code\": " + std::to_string(tool_code));
        if (!ReplayFailure().empty()) return kExitNotDone;
        return tool_code;
    }
    if (!HostWaitForDialog()) {
        Complain("the tool ended without showing its dialog");
        HostJoinDialogThread();
        return kExitNotDone;
    }
    printf("%s", DescribeDialog().c_str());
    RecordAfterStep();
    RecordDialog();

    const std::string script_name = options.script_path.empty() ? "default script" : options.script_path;
    bool played = true;
    for (const ScriptStep& step : steps) {
        if (!Play(step, script_name)) {
            played = false;
            break;
        }
        RecordAfterStep();
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
    RecordAfterStep();
    INT_PTR result = 0;
    if (!HostDialogEnded(&result)) {
        Complain("the dialog did not close");
        return kExitNotDone;
    }
    int exit_code = HostJoinDialogThread();
    printf("closed: dialog result %lld, tool exit code %d\n", static_cast<long long>(result), exit_code);
    TranscriptEvent("exit", ",\"code\": " + std::to_string(exit_code));
    printf("updates: %d ended, %d failed\n", UpdatesEnded(), UpdatesFailed());
    if (!played) return kExitNotDone;
    // The trace could not answer a call: what happened after it is not the recorded run.
    if (!ReplayFailure().empty()) return kExitNotDone;
    return UpdatesFailed() ? kExitUpdateFailed : kExitOk;
}

int Run(const SimOptions& options) {
    // The tool's temporary folder is this run's own, so runs side by side
    // never unpack into or delete each other's work.
    std::string temp, error;
    if (!MakePrivateTemp(&temp, &error)) {
        Complain(error);
        return kExitNotDone;
    }
    setenv("TMPDIR", temp.c_str(), 1);
    Transcript transcript;
    int code = RunTool(options, &transcript);
    if (!CloseTranscript(&transcript) && code == kExitOk) code = kExitNotDone;
    if (options.keep_temp) {
        printf("temporary folder kept: %s\n", temp.c_str());
    } else {
        RemoveTree(temp);
    }
    fflush(stdout);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (ParseSimOptions(argc, argv, &options, &error) != 0) {
        fprintf(stderr, "quillon-sim: %s\n%s", error.c_str(), kSimUsage);
        return kExitUsage;
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
