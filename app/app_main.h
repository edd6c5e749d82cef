#pragma once

// The tool's entry: starts GDI+ and the common controls, reads the debug
// switch from the narrow command line and runs the main dialog modally.
// Returns 0, or with /unattended the run's exit code (2: a bad command line). WinMain (Windows) and quillon-sim (Linux) call it.
int AppMain(const char* command_line);
