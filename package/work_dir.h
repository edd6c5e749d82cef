// The per-run work directory under the temporary folder.
#pragma once

#include "core/app_state.h"

// Forms szWorkDir ("%s\Quillon" under the temporary folder, then
// "%s\%I64d" with the tick count) and creates what is missing. Returns 1
// when szWorkDir holds a complete path, 0 (szWorkDir empty) when the
// temporary folder is unusable or a path would not fit. bWorkDirCreated is
// 1 only when this call created the directory itself.
int CreateWorkDir(AppState* state);

// Deletes the plain files of the work directory and removes it, leaving the
// "Quillon" folder above it; does nothing unless this run created it.
void RemoveWorkDir(AppState* state);
