// A machine file (docs/simulator.md) from a trace: the device tree and the
// drives' identities as the field machine answered them, so that a field
// machine becomes a rehearsal machine for quillon-sim --machine.
#pragma once

#include <string>
#include <vector>

#include "tools/quillon-tool/trace_lines.h"

// The machine description; notes says what could not be carried over
// (a drive seen again under another number, a hub whose parent is unknown, ...).
TraceRecord TraceToMachine(const std::vector<TraceRecord>& records, std::vector<std::string>* notes);
