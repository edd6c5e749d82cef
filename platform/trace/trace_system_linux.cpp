// The Linux host runs the simulated machine: no Windows version to report.
#include <cstring>

#include "platform/trace/trace_recorder.h"

void TraceWindowsVersion(char* out, size_t capacity) {
    if (!capacity) return;
    std::strncpy(out, "simulated", capacity - 1);
    out[capacity - 1] = 0;
}
