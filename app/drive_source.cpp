// NVMe or SATA, by the configuration.
#include "app/drive_source.h"

#include "app/sata_worker.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "nvme/identify.h"
#include "sata/sata_identify.h"

uint32_t EnumDrives(DiskInfo* list, uint32_t capacity) {
    if (GetAppState()->bIsSATA) return EnumSataDisks(list, capacity);
    return EnumNvmeDisks(list, capacity);
}

int ReidentifyDrive(DiskInfo* disk, int attempts) {
    if (GetAppState()->bIsSATA) return GetSataDiskInfoByPortID(disk, attempts);
    return GetDiskInfoByPortID(disk, attempts);
}

os::ThreadProc UpdateWorkerProc() {
    if (GetAppState()->bIsSATA) return SataUpdateWorker;
    return NvmeUpdateWorker;
}
