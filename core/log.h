// The diagnostic log: one line per call to the debugger output stream, only
// in debug mode, each line "[VX]          [middle] " + the text, at most 1023 units.
// When a run keeps its evidence, every line is also kept in memory, debug
// mode or not; the debugger stream still follows debug mode alone.
#pragma once

#include "platform/os_types.h"

void LogMsg(const WCH* format, ...);
// A text composed by the caller is logged unchanged: a '%' in it (from drive
// data or configuration values) is not interpreted.
void LogText(const WCH* text);

// Keeping lines in memory: on (1) or off (0, the default); turning it on
// starts an empty record.
void LogKeepLines(int on);
// The kept lines, each ended by '\n' (at most capacity units are kept; later
// lines are dropped and counted), and how many were dropped.
const WCH* LogKeptText(size_t* units);
size_t LogDroppedLines();
