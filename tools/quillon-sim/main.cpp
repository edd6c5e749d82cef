// quillon-sim: the tool on the Linux host and the simulated machine, headless.
//
// Starts the tool as Windows would (AppMain with the command line), waits
// for its dialog to settle, prints what the dialog shows, closes it with
// Escape and waits for the tool to end.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app_main.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_machine.h"
#ifdef QN_HAVE_DEFAULT_PACKAGE
#include "res/package/default_package.h"
#endif
#include "tools/quillon-sim/sim_options.h"
#include "tools/quillon-sim/sim_report.h"

namespace {

int LoadPackage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "quillon-sim: cannot read %s\n", path.c_str());
        return -1;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    HostRegisterResource(u"FWPACKAGEZIP", 1000, bytes.data(), bytes.size());
    return 0;
}

// Everything the tool says outside its dialog goes to stdout as it happens.
void WatchTheTool(bool debug) {
    if (debug) {
        HostDebugSetForward([](const WCH* text) { printf("debug: %s\n", Utf8(text).c_str()); });
    }
    HostObservers observers;
    observers.message_box = [](const HostMessageBox& box) { printf("%s\n", DescribeMessageBox(box).c_str()); };
    HostSetObservers(observers);
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

    HostCloseDialog();
    INT_PTR result = 0;
    if (!HostDialogEnded(&result)) {
        fprintf(stderr, "quillon-sim: the dialog did not close\n");
        return 1;
    }
    int exit_code = HostJoinDialogThread();
    printf("closed: dialog result %lld, tool exit code %d\n", static_cast<long long>(result), exit_code);
    return 0;
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
    return Run(options);
}
