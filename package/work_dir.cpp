// Creation and removal of the work directory.
#include "package/work_dir.h"

#include "package/files.h"
#include "platform/os.h"
#include "platform/wtext.h"

int CreateWorkDir(AppState* state) {
    state->szWorkDir[0] = 0;
    state->bWorkDirCreated = 0;

    WCH temp[260];
    GetTempDir(temp, 260);
    if (!temp[0]) return 0;

    WCH base[260];
    if (FormatW(base, 260, u"%s\\Quillon", temp) < 0) return 0;
    if (!PathExists(base)) os::CreateDirectoryW(base);

    if (FormatW(state->szWorkDir, 260, u"%s\\%I64d", base, static_cast<long long>(os::GetTickCount64())) < 0) {
        state->szWorkDir[0] = 0;
        return 0;
    }
    // A folder of that name already there (another run at the same tick)
    // is used but is not ours to delete.
    if (!PathExists(state->szWorkDir) && os::CreateDirectoryW(state->szWorkDir)) state->bWorkDirCreated = 1;
    return 1;
}

void RemoveWorkDir(AppState* state) {
    // The deletion runs elevated: only ever on the complete path of a folder
    // this run made, never on an empty or cut one (that could name the root
    // of the drive or the temporary folder itself).
    if (!state->bWorkDirCreated || !state->szWorkDir[0]) return;

    // Step out of the work directory so that it is not in use.
    WCH parent[260];
    if (FormatW(parent, 260, u"%s\\..", state->szWorkDir) >= 0) os::SetCurrentDirectoryW(parent);
    DeleteFilesInDir(state->szWorkDir, u"*.*");
    os::RemoveDirectoryW(state->szWorkDir);
    state->bWorkDirCreated = 0;
}
