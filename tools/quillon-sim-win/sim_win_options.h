// QuillonSim.exe's command line: the tool's own words ("/debug") plus
//   /machine:FILE     the simulated machine (default: the built-in default machine)
//   /transcript:FILE  the JSON-lines transcript of the run
//   /package:FILE     this firmware package zip instead of the embedded one
//   /pace:MS          real milliseconds a worker pauses after each progress step
// A value may be quoted ("/machine:C:\my machines\a.json" or /machine:"C:\...").
#pragma once

#include <string>

struct SimWinOptions {
    std::string machine_path;
    std::string transcript_path;
    std::string package_path;
    unsigned pace_ms = 0;
    std::string tool_command_line;  // what is left, for the tool's WinMain
};

// false with *error on a word it cannot read (an option without its value,
// a pace that is not a number).
bool ParseSimWinCommandLine(const char* line, SimWinOptions* options, std::string* error);
