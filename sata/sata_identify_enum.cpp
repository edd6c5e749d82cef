// Enumeration of the SATA drives and finding a drive again at its port.
#include "core/app_state.h"
#include "core/log.h"
#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"
#include "sata/sata_identify.h"
#include "storage/device_io.h"
#include "storage/topology.h"
#include "storage/volumes.h"

namespace {

constexpr int kPhysicalDrives = 20;

}  // namespace

uint32_t EnumSataDisks(DiskInfo* list, uint32_t capacity) {
    for (uint32_t i = 0; i < capacity; ++i) list[i] = DiskInfo{};
    uint32_t count = 0;
    for (int n = 0; n < kPhysicalDrives && count < capacity; ++n) {
        WCH path[64];
        FormatW(path, 64, u"\\\\.\\PhysicalDrive%d", n);
        if (GetSataDiskInfo(path, &list[count]) == 1) ++count;
    }
    AttachVolumes(list, count);
    return count;
}

int GetSataDiskInfoByPortID(DiskInfo* disk, int attempts) {
    const int32_t cmd_type = disk->iCmdType;
    const uint32_t bus_type = disk->iBusType;
    const int64_t port = disk->iPort;
    LogMsg(u"GetDiskInfoByPortID IN, iCmdType = %d, iPort=%I64d", cmd_type, port);
    for (int k = 1; k <= attempts; ++k) {
        // A disk at the port whose device number cannot be read counts as
        // not there yet: any number we made up could name another drive.
        int number = FindDiskNumberAtPort(cmd_type, bus_type, port);
        if (number >= 0) {
            WCH path[64];
            FormatW(path, 64, u"\\\\.\\PhysicalDrive%d", number);
            if (GetSataDiskInfo(path, disk) != 1) return 0;
            LogMsg(u"GetDiskInfoByPortID Success OUT");
            return 1;
        }
        os::Sleep(1000);
        os::PostMessageW(GetAppState()->hDlg, WM_UPDATE_PROGRESS, 0, static_cast<LPARAM>((100 * k) / attempts));
    }
    return 0;
}
