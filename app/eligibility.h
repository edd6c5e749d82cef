// The checks behind the run button that start the worker.
#pragma once

#include "core/disk_info.h"
#include "platform/os.h"

// The run button: re-identifies the chosen drive, checks it against the
// package, asks BeforeMessage and starts the worker.
void OnRun(HWND dialog);

// Starts procedure on a new thread with worker_slot as its parameter; the
// handle is in *worker_slot before the thread runs. 1 started, 0 not.
int StartWorker(HANDLE* worker_slot, os::ThreadProc procedure);
