// Enumeration of the NVMe drives and finding a drive again at its port.
#include "core/app_state.h"
#include "core/log.h"
#include "nvme/identify.h"
#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"
#include "storage/topology.h"
#include "storage/volumes.h"

namespace {

constexpr int kPhysicalDrives = 20;

bool QueryDeviceNumber(HANDLE device, StorageDeviceNumber* number) {
    *number = StorageDeviceNumber{};
    DWORD returned = 0;
    return os::DeviceIoControl(device, kIoctlStorageGetDeviceNumber, nullptr, 0, number, sizeof *number,
                               &returned) != 0;
}


}  // namespace

uint32_t EnumNvmeDisks(DiskInfo* list, uint32_t capacity) {
    for (uint32_t i = 0; i < capacity; ++i) list[i] = DiskInfo{};
    uint32_t count = 0;
    for (int n = 0; n < kPhysicalDrives && count < capacity; ++n) {
        WCH path[64];
        FormatW(path, 64, u"\\\\.\\PhysicalDrive%d", n);
        if (GetNvmeDiskInfo(path, &list[count]) == 1) ++count;
    }
    AttachVolumes(list, count);
    return count;
}

int GetDiskInfoByPortID(DiskInfo* disk, int attempts) {
    int32_t cmd_type = disk->iCmdType;
    uint32_t bus_type = disk->iBusType;
    int64_t port = disk->iPort;
    LogMsg(u"GetDiskInfoByPortID IN, iCmdType = %d, iBusType=%d, iPort=%I64d", cmd_type, bus_type, port);
    for (int i = 0; i < attempts; ++i) {
        HANDLE found = GetPortDeviceHandle(cmd_type, bus_type, port);
        if (found != INVALID_HANDLE_VALUE) {
            StorageDeviceNumber number;
            bool known = QueryDeviceNumber(found, &number);
            os::CloseHandle(found);
            // Without its device number the disk cannot be named; guessing
            // one could identify (and later write to) another drive, so this
            // attempt counts as not found.
            if (known) {
                WCH path[64];
                FormatW(path, 64, u"\\\\.\\PhysicalDrive%d", static_cast<int>(number.DeviceNumber));
                if (GetNvmeDiskInfo(path, disk) != 1) return 0;
                LogMsg(u"GetDiskInfoByPortID Success OUT");
                return 1;
            }
        }
        os::Sleep(1000);
        os::PostMessageW(GetAppState()->hDlg, WM_UPDATE_PROGRESS, 0, static_cast<LPARAM>(100 * (i + 1) / attempts));
    }
    return 0;
}
