// Creation and removal of the work directory.
//
// The tool runs elevated and the temporary folder belongs to the user, so
// every other process of the user may write there: the work folder is made
// new (never an existing one), only SYSTEM and the Administrators may use
// it, it is held open so that it cannot be renamed or replaced, and the
// exit deletes nothing unless the path still leads to that same folder.
#include "package/work_dir.h"

#include "package/files.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

// As many names as the lint's scratch folder tries: more taken names than
// this are no accident.
constexpr ULONGLONG kNamesTried = 1000;

bool HeldOpen(const AppState* state) {
    return state->hWorkDir != nullptr && state->hWorkDir != INVALID_HANDLE_VALUE;
}

void Release(AppState* state) {
    if (HeldOpen(state)) os::CloseHandle(state->hWorkDir);
    state->hWorkDir = nullptr;
}

// The folder itself, never what a link there points to; read and write
// sharing leave the files inside usable, the missing delete sharing keeps
// the folder where it is.
HANDLE OpenFolderItself(const WCH* path) {
    return os::CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
}

bool IsPlainFolder(const os::FileInformation& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool SameObject(const os::FileInformation& a, const os::FileInformation& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Whether szWorkDir still names the folder held open, and that folder is
// no link.
bool PathStillNamesHeldFolder(const AppState* state) {
    if (!HeldOpen(state)) return false;
    os::FileInformation held;
    if (!os::GetFileInformationByHandle(state->hWorkDir, &held) || !IsPlainFolder(held)) return false;
    HANDLE now = OpenFolderItself(state->szWorkDir);
    if (now == INVALID_HANDLE_VALUE) return false;
    os::FileInformation named;
    const bool ok = os::GetFileInformationByHandle(now, &named) && IsPlainFolder(named) && SameObject(held, named);
    os::CloseHandle(now);
    return ok;
}

// Makes the next free "<base>\<number>" from the tick on and holds it open.
bool MakeNewFolder(AppState* state, const WCH* base, ULONGLONG tick) {
    for (ULONGLONG n = tick; n < tick + kNamesTried; ++n) {
        if (FormatW(state->szWorkDir, 260, u"%s\\%I64d", base, static_cast<long long>(n)) < 0) return false;
        if (!os::CreateDirectoryAdminOnlyW(state->szWorkDir)) {
            // A name taken (by another run, or planted) is passed over; any
            // other failure will not go away with another name.
            if (os::GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return false;
        }
        state->hWorkDir = OpenFolderItself(state->szWorkDir);
        os::FileInformation info;
        if (HeldOpen(state) && os::GetFileInformationByHandle(state->hWorkDir, &info) && IsPlainFolder(info))
            return true;
        // Replaced between its creation and the open: not ours any more.
        Release(state);
        return false;
    }
    return false;
}

}  // namespace

int CreateWorkDir(AppState* state) {
    state->szWorkDir[0] = 0;
    state->bWorkDirCreated = 0;
    state->hWorkDir = nullptr;

    WCH temp[260];
    GetTempDir(temp, 260);
    if (!temp[0]) return 0;

    WCH base[260];
    if (FormatW(base, 260, u"%s\\Quillon", temp) < 0) return 0;
    if (!PathExists(base)) os::CreateDirectoryAdminOnlyW(base);

    if (!MakeNewFolder(state, base, os::GetTickCount64())) {
        state->szWorkDir[0] = 0;
        return 0;
    }
    state->bWorkDirCreated = 1;
    return 1;
}

void RemoveWorkDir(AppState* state) {
    // The deletion runs elevated: only ever on the complete path of a folder
    // this run made, never on an empty or cut one (that could name the root
    // of the drive or the temporary folder itself).
    if (!state->bWorkDirCreated || !state->szWorkDir[0]) {
        Release(state);
        return;
    }
    state->bWorkDirCreated = 0;

    // Step out of the work directory so that it is not in use.
    WCH parent[260];
    if (FormatW(parent, 260, u"%s\\..", state->szWorkDir) >= 0) os::SetCurrentDirectoryW(parent);

    // A folder swapped in under the name (a junction to some other folder,
    // say) is left as it is, and so is everything it leads to.
    if (!PathStillNamesHeldFolder(state)) {
        Release(state);
        return;
    }
    DeleteFilesInDir(state->szWorkDir, u"*.*");
    Release(state);
    // Should the name have been swapped since, RemoveDirectoryW removes a
    // junction as a link and an empty folder as itself, and nothing more.
    os::RemoveDirectoryW(state->szWorkDir);
}
