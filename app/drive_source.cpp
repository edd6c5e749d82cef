// NVMe or SATA, by the configuration.
#include "app/drive_source.h"

#include "app/app_state.h"
#include "app/update_worker.h"
#include "nvme/identify.h"

// The SATA identification and worker are not part of this build yet: with
// bIsSATA set nothing is enumerated, so nothing is listed and no update can
// start.
uint32_t EnumDrives(DiskInfo* list, uint32_t capacity) {
    if (GetAppState()->bIsSATA) {
        for (uint32_t i = 0; i < capacity; ++i) list[i] = DiskInfo{};
        return 0;
    }
    return EnumNvmeDisks(list, capacity);
}

int ReidentifyDrive(DiskInfo* disk, int attempts) {
    if (GetAppState()->bIsSATA) return 0;
    return GetDiskInfoByPortID(disk, attempts);
}

os::ThreadProc UpdateWorkerProc() {
    if (GetAppState()->bIsSATA) return nullptr;
    return NvmeUpdateWorker;
}
