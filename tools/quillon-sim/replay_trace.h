// quillon-sim --replay: the tool's device calls answered from a field trace
// (docs/traces.md) instead of the simulated machine.
//
// The trace's SetupDi and CM answers are the machine's device tree, its
// opens and requests are its drives. A call is matched on what it asks:
// the kind of call and its arguments, for a DeviceIoControl the path, the
// code, the decoded request, the data sent and (for blocks without a data
// pointer) the input bytes. By default the match is searched forward from
// the last one, wrapping once to the start, so retry and polling loops
// whose counts differ still find their answers; strict replay demands the
// recorded order exactly.
#pragma once

#include <string>

// Reads the trace and puts its answers behind the device calls. false with
// a message ("FILE:LINE: …") when it cannot be read.
bool StartReplay(const std::string& path, bool strict, std::string* error);
// The first call the trace could not answer, "" when there was none.
std::string ReplayFailure();
