// Command-line options of quillon-sim.
#pragma once

#include <string>

struct SimOptions {
    bool debug = false;        // --debug: "/debug" on the tool's command line, log lines printed
    std::string package_path;  // --package FILE: zip registered as resource FWPACKAGEZIP 1000
    std::string machine_path;  // --machine FILE: simulated machine description (JSON); default machine when empty
    std::string script_path;      // --script FILE: user actions (default: select 0, answer yes, run, wait, close)
    std::string transcript_path;  // --transcript FILE: JSON lines of what happened
    bool requests = false;        // --requests: request events in the transcript
    std::string report_path;      // --report FILE: "/report:FILE" on the tool's command line
    std::string record_path;      // --record FILE: "/record:FILE" on the tool's command line
    std::string record_full_path; // --record-full FILE: "/record-full:FILE"
    std::string replay_path;      // --replay FILE: device calls answered from this trace
    bool strict = false;          // --strict: the trace's order, exactly
    bool help = false;            // --help, -h
    bool version = false;         // --version
    bool keep_temp = false;       // --keep-temp: leave the run's temporary folder behind
    bool has_command_line = false;
    std::string command_line;     // --command-line TEXT: the tool's command line, verbatim (may be empty)
};

// 0 on success; -1 with a message in *error for an unknown or incomplete option.
int ParseSimOptions(int argc, const char* const* argv, SimOptions* options, std::string* error);

// The narrow command line the tool gets, as Windows would hand it to WinMain.
std::string SimCommandLine(const SimOptions& options);

extern const char kSimUsage[];
