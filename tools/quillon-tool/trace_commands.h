// quillon-tool trace commands: for the people who read, clean and replay
// field traces (docs/traces.md).
#pragma once

#include "platform/os_types.h"

int ToolTraceRedact(int argc, const WCH* const* argv);
int ToolTraceMachine(int argc, const WCH* const* argv);
