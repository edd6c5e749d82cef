// Command-line options of quillon-sim.
#include "tools/quillon-sim/sim_options.h"

#include <cstring>

const char kSimUsage[] =
    "usage: quillon-sim [--debug] [--package FILE] [--machine FILE]\n"
    "  Runs the tool headless on the simulated machine: starts it, prints the\n"
    "  dialog, closes it (Escape) and exits.\n"
    "  --debug         run with /debug and print the diagnostic log lines\n"
    "  --package FILE  embed this firmware package zip instead of the built-in one\n"
    "  --machine FILE  run on the simulated machine this JSON file describes\n"
    "                  (docs/simulator.md) instead of the default machine\n";

int ParseSimOptions(int argc, const char* const* argv, SimOptions* options, std::string* error) {
    *options = SimOptions{};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (strcmp(arg, "--debug") == 0) {
            options->debug = true;
        } else if (strcmp(arg, "--package") == 0) {
            if (i + 1 >= argc) {
                *error = "--package needs a file";
                return -1;
            }
            options->package_path = argv[++i];
        } else if (strcmp(arg, "--machine") == 0) {
            if (i + 1 >= argc) {
                *error = "--machine needs a file";
                return -1;
            }
            options->machine_path = argv[++i];
        } else if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
            options->help = true;
        } else {
            *error = std::string("unknown option: ") + arg;
            return -1;
        }
    }
    return 0;
}

std::string SimCommandLine(const SimOptions& options) {
    // WinMain gets the arguments without the program name.
    return options.debug ? "/debug" : "";
}
