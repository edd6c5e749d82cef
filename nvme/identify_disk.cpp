// Identification of one NVMe drive into its record.
#include "core/log.h"
#include "core/text_search.h"
#include "nvme/identify.h"
#include "nvme/nvme_commands.h"
#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"
#include "storage/drive_path.h"
#include "storage/topology.h"

namespace {

constexpr uint32_t kMinimumGB = 16;
constexpr size_t kIdentifySize = 4096;
constexpr size_t kLbaFormat0Lbads = 130;

// Identify Controller offsets.
constexpr size_t kVid = 0;
constexpr size_t kSsvid = 2;
constexpr size_t kSerial = 4;  // 20 bytes
constexpr size_t kModel = 24;  // 40 bytes
constexpr size_t kFwRev = 64;  // 8 bytes

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }


void CloseDrive(HANDLE drive, DiskAccess* access) {
    os::CloseHandle(drive);
    if (access->hScsiPort != INVALID_HANDLE_VALUE) os::CloseHandle(access->hScsiPort);
    access->hScsiPort = INVALID_HANDLE_VALUE;
}

}  // namespace

uint32_t CapacityToGB(uint32_t sector_size, uint64_t bytes) {
    if (bytes < 1000000000ull || sector_size == 0) return 0;
    uint64_t blocks = bytes / sector_size;
    if (sector_size == 512) return static_cast<uint32_t>((blocks - 21168ull) / 1953504ull);
    if (sector_size == 4096) return static_cast<uint32_t>((blocks - 2646ull) / 244188ull);
    return static_cast<uint32_t>((bytes - 10838016ull) / 1000194048ull);
}

uint32_t NamespaceCapacityGB(const uint8_t* ns, uint32_t* sector_size, uint64_t* blocks) {
    uint8_t lbads = ns[kLbaFormat0Lbads];
    uint64_t nsze = 0;
    for (int i = 7; i >= 0; --i) nsze = (nsze << 8) | ns[i];
    *blocks = nsze;
    // Sizes below 512 bytes are not NVMe formats, and 2^32 and above do not
    // fit the record: such data is unreadable, not a tiny or huge drive.
    if (lbads < 9 || lbads > 31) {
        *sector_size = 0;
        return 0;
    }
    *sector_size = 1u << lbads;
    if (nsze > UINT64_MAX / *sector_size) return 0;
    return CapacityToGB(*sector_size, nsze * *sector_size);
}

void ReadLinkProperties(const WCH* path, DiskInfo* disk) {
    DEVINST parent = GetDiskParentDevInst(path);
    HDEVINFO set = os::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE || !set) return;
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; os::SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        if (data.DevInst != parent) continue;
        disk->iLinkSpeed = disk->iLinkWidth = disk->iMaxLinkSpeed = disk->iMaxLinkWidth = 0;
        const DEVPROPKEY* keys[4] = {&kDevpkeyPciCurrentLinkSpeed, &kDevpkeyPciCurrentLinkWidth,
                                     &kDevpkeyPciMaxLinkSpeed, &kDevpkeyPciMaxLinkWidth};
        int32_t* fields[4] = {&disk->iLinkSpeed, &disk->iLinkWidth, &disk->iMaxLinkSpeed, &disk->iMaxLinkWidth};
        for (int k = 0; k < 4; ++k) {
            DEVPROPTYPE type = 0;
            DWORD required = 0;
            int32_t value = 0;
            if (os::SetupDiGetDevicePropertyW(set, &data, keys[k], &type, reinterpret_cast<BYTE*>(&value),
                                              sizeof value, &required, 0))
                *fields[k] = value;
        }
        break;
    }
    os::SetupDiDestroyDeviceInfoList(set);
}

int GetNvmeDiskInfo(const WCH* path, DiskInfo* disk) {
    *disk = DiskInfo{};
    uint32_t number = DriveNumberOf(path);

    DiskAccess access;
    HANDLE drive = OpenNvmeDisk(path, &access);
    if (drive == INVALID_HANDLE_VALUE) return -1;
    if (access.iCmdType == kCmdUnsupported) {
        CloseDrive(drive, &access);
        return -5;
    }

    uint8_t controller[kIdentifySize] = {};
    uint8_t ns[kIdentifySize] = {};
    int rc = NvmeIdentify(&access, drive, 1, 0, controller, kIdentifySize);
    if (rc != 1) {
        CloseDrive(drive, &access);
        return rc;
    }
    NvmeIdentify(&access, drive, 0, 1, ns, kIdentifySize);

    uint32_t sector_size = 0;
    uint64_t blocks = 0;
    uint32_t gb = NamespaceCapacityGB(ns, &sector_size, &blocks);
    if (gb < kMinimumGB) {
        CloseDrive(drive, &access);
        return -5;
    }

    WCopy(disk->szDevicePath, 64, path);
    disk->iCmdType = access.iCmdType;
    disk->iBusType = static_cast<uint32_t>(access.iBusType);
    disk->iCapacityGB = gb;
    disk->iSectorSize = sector_size;
    disk->iTotalSectors = blocks;
    disk->iPciVendorId = Le16(controller + kVid);
    disk->iPciSubVendorId = Le16(controller + kSsvid);
    WidenAnsi(disk->szModel, 64, reinterpret_cast<const char*>(controller + kModel), 40);
    TrimBlanks(disk->szModel);
    WidenAnsi(disk->szFWRevision, 64, reinterpret_cast<const char*>(controller + kFwRev), 8);
    TrimBlanks(disk->szFWRevision);
    WidenAnsi(disk->szSerial, 64, reinterpret_cast<const char*>(controller + kSerial), 20);
    disk->iDiskNumber = number;
    disk->bRaw = 1;

    DetailInfo(&access, drive, disk);
    disk->bVendorDisk = (disk->iPciVendorId == 0x1E7C || disk->iSocId != 0) ? 1 : 0;
    disk->iPort = GetDiskPortID(disk->iBusType, disk->iDiskNumber);
    LogMsg(u"---------- %s - iCmdType = %d, iVSCType=%d, iPort = %I64d", path, disk->iCmdType, access.iVSCType,
           disk->iPort);
    if (disk->iCmdType == kCmdNative) ReadLinkProperties(path, disk);

    CloseDrive(drive, &access);
    return 1;
}
