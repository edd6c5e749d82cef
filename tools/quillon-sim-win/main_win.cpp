// QuillonSim.exe: the tool's real window on Windows (or Wine) over the
// simulated storage machine, with a transcript of what the window did.
// The product Quillon.exe is built from app/winmain_win.cpp and has none of this.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app_main.h"
#include "platform/sim/sim_machine.h"
#include "platform/simwin/sim_bridge.h"
#include "platform/win32/entry_win.h"
#include "tools/quillon-sim-win/sim_win_options.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
    os::RestrictDllSearchToSystem32();
    SimWinOptions options;
    std::string error;
    if (!ParseSimWinCommandLine(command_line, &options, &error)) {
        fprintf(stderr, "QuillonSim: %s\n", error.c_str());
        return 2;
    }
    if (!options.package_path.empty()) {
        std::ifstream in(options.package_path, std::ios::binary);
        if (!in) {
            fprintf(stderr, "QuillonSim: cannot read %s\n", options.package_path.c_str());
            return 1;
        }
        SimUsePackage(std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    }
    if (!sim::StartMachine(options.machine_path, &error)) {
        fprintf(stderr, "QuillonSim: %s\n", error.c_str());
        return 1;
    }
    RecordOptions record;
    record.pace_ms = options.pace_ms;
    if (!RecordStart(options.transcript_path, record)) {
        fprintf(stderr, "QuillonSim: cannot write %s\n", options.transcript_path.c_str());
        return 1;
    }
    os::StoreCommandLineNarrow(options.tool_command_line.c_str());
    int code = AppMain(options.tool_command_line.c_str());
    RecordExit(code);
    return code;
}
