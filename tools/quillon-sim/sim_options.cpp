// Command-line options of quillon-sim.
#include "tools/quillon-sim/sim_options.h"

#include <cstring>

const char kSimUsage[] =
    "usage: quillon-sim [--debug] [--package FILE] [--machine FILE] [--script FILE]\n"
    "                   [--transcript FILE] [--requests]\n"
    "  Runs the tool headless on the simulated machine, plays a script of user\n"
    "  actions (default: choose the first drive, RUN, Yes, wait for the result,\n"
    "  accept it, close) and prints the dialog after each step.\n"
    "  --debug         run with /debug and print the diagnostic log lines\n"
    "  --package FILE  embed this firmware package zip instead of the built-in one\n"
    "  --machine FILE  run on the simulated machine this JSON file describes\n"
    "                  (docs/simulator.md) instead of the default machine\n"
    "  --script FILE   play these actions (docs/simulator.md, \"Scripts\")\n"
    "  --transcript FILE  write JSON lines {\"t\": virtual ms, \"event\": ...}\n"
    "  --requests      add every device request to the transcript\n";

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
        } else if (strcmp(arg, "--script") == 0 || strcmp(arg, "--transcript") == 0) {
            if (i + 1 >= argc) {
                *error = std::string(arg) + " needs a file";
                return -1;
            }
            (arg[2] == 's' ? options->script_path : options->transcript_path) = argv[++i];
        } else if (strcmp(arg, "--requests") == 0) {
            options->requests = true;
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
