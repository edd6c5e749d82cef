// The one application state of the process.
#include "core/app_state.h"

namespace {
AppState g_state;
}  // namespace

AppState* GetAppState() { return &g_state; }

int IsWorkerRunning() { return g_state.hWorkerThread != nullptr ? 1 : 0; }
