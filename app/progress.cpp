// Progress of a stage mapped onto the whole bar.
#include "app/progress.h"

#include "core/app_state.h"

int MapProgress(int percent) {
    AppState* state = GetAppState();
    if (percent == 0) return state->sProgressStart;
    if (state->sProgressEnd == 0) state->sProgressEnd = 100;
    int start = state->sProgressStart;
    int end = state->sProgressEnd;
    return start + (end - start) * percent / 100;
}
