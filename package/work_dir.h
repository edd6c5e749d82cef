// The per-run work directory under the temporary folder.
#pragma once

#include "core/app_state.h"

// Forms szWorkDir ("%s\Quillon" under the temporary folder, then
// "%s\%I64d" with the tick count) and creates it as a new folder only
// SYSTEM and the Administrators may use; "Quillon" too when it is missing.
// A name already taken is never reused: the next numbers are tried. The
// folder is then held open without delete sharing (hWorkDir). Returns 1
// with bWorkDirCreated 1 when szWorkDir names that folder, 0 (szWorkDir
// empty) when the temporary folder is unusable, a path would not fit or no
// new folder could be made.
int CreateWorkDir(AppState* state);

// Deletes the files of the work directory (a link inside goes as a link,
// never followed) and removes it, leaving the "Quillon" folder above it.
// Does nothing unless this run created it, and deletes nothing unless the
// path still names the very folder held open and is not a link.
void RemoveWorkDir(AppState* state);
