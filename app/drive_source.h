// The drive operations the dialog needs, on the NVMe or the SATA path as the
// configuration's bIsSATA says.
#pragma once

#include "core/disk_info.h"
#include "platform/os.h"

uint32_t EnumDrives(DiskInfo* list, uint32_t capacity);
int ReidentifyDrive(DiskInfo* disk, int attempts);
// The worker procedure for an update; null when the path has none.
os::ThreadProc UpdateWorkerProc();
