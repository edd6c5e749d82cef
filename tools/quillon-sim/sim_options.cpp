// Command-line options of quillon-sim.
#include "tools/quillon-sim/sim_options.h"

#include <cstring>

const char kSimUsage[] =
    "usage: quillon-sim [--help] [--version] [--debug] [--package FILE] [--machine FILE]\n"
    "                   [--script FILE] [--transcript FILE] [--requests]\n"
    "                   [--command-line TEXT] [--keep-temp] [--report FILE]\n"
    "                   [--record FILE | --record-full FILE] [--replay FILE [--strict]]\n"
    "  Runs the tool headless on the simulated machine, plays a script of user\n"
    "  actions (default: choose the first drive, RUN, Yes, wait for the result,\n"
    "  accept it, close) and prints the dialog after each step.\n"
    "  --debug         run with /debug and print the diagnostic log lines\n"
    "  --package FILE  embed this firmware package zip instead of the built-in one\n"
    "  --machine FILE  run on the simulated machine this JSON file describes\n"
    "                  (docs/simulator.md) instead of the default machine\n"
    "  --script FILE   play these actions (docs/simulator.md, \"Scripts\")\n"
    "  --transcript FILE  write JSON lines {\"t\": virtual ms, \"event\": ...}\n"
    "  --requests      add every device request to the transcript\n"
    "  --command-line TEXT  the tool's command line, verbatim (default empty;\n"
    "                  --debug alone stands for \"/debug\")\n"
    "  --keep-temp     keep the run's private temporary folder (its path is printed)\n"
    "  --report FILE   run with /report:FILE: the run's report (docs/report.md)\n"
    "  --record FILE   run with /record:FILE: a field trace of the run (docs/traces.md)\n"
    "  --record-full FILE  the same with /record-full:FILE (image pieces kept whole)\n"
    "  --replay FILE   answer the tool's device calls from this trace instead of\n"
    "                  the simulated machine; a request the trace does not hold\n"
    "                  ends the run (exit status 1)\n"
    "  --strict        with --replay: the requests must come in the recorded order\n"
    "  --version       print the version and exit\n"
    "  An option's value may also be written --option=value.\n"
    "exit status: 0 every update ended with result 1, 1 a step could not be done\n"
    "  or an input could not be read, 2 usage, 3 an update ended with another result\n";

namespace {

// Options that take a file, and where it goes.
std::string* FileOption(const std::string& name, SimOptions* options) {
    if (name == "--package") return &options->package_path;
    if (name == "--machine") return &options->machine_path;
    if (name == "--script") return &options->script_path;
    if (name == "--transcript") return &options->transcript_path;
    if (name == "--report") return &options->report_path;
    if (name == "--record") return &options->record_path;
    if (name == "--record-full") return &options->record_full_path;
    if (name == "--replay") return &options->replay_path;
    return nullptr;
}

bool* FlagOption(const std::string& name, SimOptions* options) {
    if (name == "--debug") return &options->debug;
    if (name == "--requests") return &options->requests;
    if (name == "--help" || name == "-h") return &options->help;
    if (name == "--version") return &options->version;
    if (name == "--keep-temp") return &options->keep_temp;
    if (name == "--strict") return &options->strict;
    return nullptr;
}

}  // namespace

int ParseSimOptions(int argc, const char* const* argv, SimOptions* options, std::string* error) {
    *options = SimOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            // Nothing after it is an option, and quillon-sim takes no other words.
            if (i + 1 < argc) {
                *error = std::string("unexpected argument: ") + argv[i + 1];
                return -1;
            }
            break;
        }
        // --name=value is the same as --name value.
        const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        if (name == "--command-line") {
            // A text, not a file: empty is a command line too.
            if (equals != std::string::npos) {
                options->command_line = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                options->command_line = argv[++i];
            } else {
                *error = "--command-line needs a text (\"\" for none)";
                return -1;
            }
            options->has_command_line = true;
        } else if (std::string* file = FileOption(name, options)) {
            if (equals != std::string::npos) {
                *file = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                *file = argv[++i];
            } else {
                *error = name + " needs a file";
                return -1;
            }
            if (file->empty()) {
                *error = name + " needs a file";
                return -1;
            }
        } else if (bool* flag = FlagOption(name, options)) {
            if (equals != std::string::npos) {
                *error = name + " takes no value";
                return -1;
            }
            *flag = true;
        } else {
            *error = (arg[0] == '-' ? "unknown option: " : "unexpected argument: ") + arg;
            return -1;
        }
    }
    if (!options->record_path.empty() && !options->record_full_path.empty()) {
        *error = "--record and --record-full exclude each other";
        return -1;
    }
    if (!options->replay_path.empty() && (!options->record_path.empty() || !options->record_full_path.empty())) {
        *error = "--replay cannot be recorded (--record, --record-full)";
        return -1;
    }
    if (options->strict && options->replay_path.empty()) {
        *error = "--strict needs --replay";
        return -1;
    }
    return 0;
}

std::string SimCommandLine(const SimOptions& options) {
    // WinMain gets the arguments without the program name.
    std::string line = options.has_command_line ? options.command_line : options.debug ? "/debug" : "";
    if (!options.report_path.empty()) line += std::string(line.empty() ? "" : " ") + "\"/report:" + options.report_path + "\"";
    if (!options.record_path.empty()) line += std::string(line.empty() ? "" : " ") + "\"/record:" + options.record_path + "\"";
    if (!options.record_full_path.empty())
        line += std::string(line.empty() ? "" : " ") + "\"/record-full:" + options.record_full_path + "\"";
    return line;
}
