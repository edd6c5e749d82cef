// QuillonSim.exe: the Windows build of the tool with the simulated machine
// in place of the storage devices. Everything else is the real win32 layer;
// platform/simwin puts these pieces in front of it:
//   device_route_win.cpp  "\\.\" and "\\?\" opens and their closes go to the machine;
//   virtual_time_win.cpp  Sleep and GetTickCount64 run on a virtual clock;
//   record_win.cpp        the transcript of what the real window did;
//   package_resource_win.cpp  a package file in place of the embedded one.
#pragma once

#include <string>
#include <vector>

#include "platform/os_types.h"

// True when the handle is one the simulated machine handed out.
bool IsSimHandle(HANDLE handle);

// The virtual clock (milliseconds; starts at one hour, as the Linux host's).
constexpr ULONGLONG kSimClockStart = 3600000;
ULONGLONG SimClockNow();

struct RecordOptions {
    DWORD pace_ms = 0;    // real time a worker waits after each progress step the dialog has shown
};
// Starts the transcript (JSON lines, one event each, written as they happen).
// An empty path records nothing. false when the file cannot be written.
bool RecordStart(const std::string& path, const RecordOptions& options);
// The tool's exit code, then closes the transcript.
void RecordExit(int code);

// The tool takes these bytes as its embedded firmware package.
void SimUsePackage(const std::vector<unsigned char>& bytes);
