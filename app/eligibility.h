// The two gates of an update: whether a drive is listed at all, and the
// checks behind the run button that start the worker.
#pragma once

#include "core/disk_info.h"
#include "platform/os.h"

// 1 when the drive's model is on model_list (entries enclosed in "|"; an
// empty list admits every model) and its controller passes soc_filter ("*",
// "VELQORAX" or "0x%04X" of the SoC id); else 0.
int AdmitDrive(const DiskInfo* disk, const WCH* model_list, const WCH* soc_filter);

// The run button: re-identifies the chosen drive, checks it against the
// package, asks BeforeMessage and starts the worker.
void OnRun(HWND dialog);

// Starts procedure on a new thread with worker_slot as its parameter; the
// handle is in *worker_slot before the thread runs. 1 started, 0 not.
int StartWorker(HANDLE* worker_slot, os::ThreadProc procedure);
