// The update worker for SATA drives (bIsSATA): one download, the
// configuration block's version, the drive found again. It shares the
// stages, waits, end step and success tail of update_worker.h.
#pragma once

#include "platform/os_types.h"

// Thread procedure; parameter: &hWorkerThread. Exit code: the result (1 success).
DWORD SataUpdateWorker(void* parameter);
