// QuillonSim.exe: the tool's waits on a virtual clock, as on the Linux host.
//
// A Sleep returns at once and moves the clock to the sleeper's deadline
// (never backwards), so two threads sleeping at the same time share the
// time instead of adding it up. The tool's fixed waits (3 s after a
// download, 30 one-second attempts) then cost no wall time, and the
// simulated drives, which take their time away from GetTickCount64, come
// back after the same virtual seconds as under quillon-sim. What paces a run
// in real time is the window: record_win.cpp makes a worker wait until the
// dialog has shown each progress step.
#include <atomic>

#include "platform/os.h"
#include "platform/simwin/sim_bridge.h"
#include "platform/trace/trace_hook.h"
#include "platform/simwin/win32_real.h"

namespace {
std::atomic<ULONGLONG> g_now{kSimClockStart};
}

ULONGLONG SimClockNow() { return g_now.load(); }

namespace os {

void Sleep(DWORD milliseconds) {
    ULONGLONG deadline = g_now.load() + milliseconds;
    ULONGLONG seen = g_now.load();
    while (seen < deadline && !g_now.compare_exchange_weak(seen, deadline)) {
    }
    // Let the other threads run, as a real sleep would (the API's own Sleep:
    // the win32 layer's would be traced as one of the tool's).
    ::Sleep(0);
    const trace::DeviceHooks* hooks = trace::g_device_hooks;
    if (hooks && hooks->slept) hooks->slept(milliseconds);
}

ULONGLONG GetTickCount64() { return g_now.load(); }

}  // namespace os
