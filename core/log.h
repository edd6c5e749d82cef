// The diagnostic log: one line per call to the debugger output stream, only
// in debug mode, each line "[VX]          [middle] " + the text, at most 1023 units.
#pragma once

#include "platform/os_types.h"

void LogMsg(const WCH* format, ...);
// A text composed by the caller is logged unchanged: a '%' in it (from drive
// data or configuration values) is not interpreted.
void LogText(const WCH* text);
