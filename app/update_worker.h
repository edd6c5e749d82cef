// The update worker and what every worker shares: progress stages, timed
// waits, the end step and the success tail; and the dialog's handling of the
// worker's result.
#pragma once

#include "core/disk_info.h"

// Thread procedure; parameter: &hWorkerThread. Exit code: the result (1 success).
DWORD NvmeUpdateWorker(void* parameter);

// The image a worker sends, read whole into committed memory.
struct WorkerImage {
    WCH path[260];
    WCH version[32];  // the trailer's version text, when asked for
    BYTE* data;
    DWORD size;
};
// The image for the drive's NAND type, read once, or 0 with nothing held: a
// missing file, an empty one, no memory or a short read would otherwise send
// the drive an empty or partial image, and an image whose size, version or
// FTL build is not what the run button's checks saw is not the one they
// passed. with_version: the version text too.
int LoadWorkerImage(const DiskInfo* disk, WorkerImage* image, int with_version);
void ReleaseWorkerImage(WorkerImage* image);

// Announces the stage [start, end] of the bar and moves the bar to
// percentage of it; waits until the dialog has moved it.
void SetProgressStage(int start, int end, int percentage);
// Sleeps milliseconds, posting progress of the current stage each second
// and sending 100 at the end.
void WaitWithProgress(uint32_t milliseconds);
// Ends a worker run: closes the drive (each handle once, marking it closed),
// posts WM_UPDATE_RESULT with result, clears *worker_slot and closes the
// thread's handle. Returns result.
int FinishWorker(HANDLE* worker_slot, DiskAccess* access, HANDLE* drive, int result);
// The end of a successful update: the bar at 100 and the drive list refreshed
// from the worker's thread. Returns 1.
int SuccessTail();

// The dialog's WM_UPDATE_RESULT: the result message, power-off or restart
// by PowerCtrl, and both controls enabled again.
void ShowResult(HWND dialog, int result);
// The result ShowResult last handled, and how many it handled (for the
// simulator's transcript and the tests; the user never sees the code).
int LastUpdateResult();
int UpdateResultCount();
// Enables the shutdown privilege and asks Windows to power off / restart.
void ShutdownSystem(UINT flags);
