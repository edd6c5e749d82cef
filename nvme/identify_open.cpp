// Opening an NVMe drive and choosing the transport that reaches it.
#include "core/log.h"
#include "core/text_search.h"
#include "nvme/identify.h"
#include "nvme/nvme_commands.h"
#include "nvme/transport.h"
#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"
#include "storage/topology.h"

namespace {

constexpr DWORD kServiceCapacity = 128;

HANDLE OpenDevice(const WCH* path) {
    return os::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
}

// BusType of the disk's STORAGE_DEVICE_DESCRIPTOR; false when the query fails.
bool QueryBusType(HANDLE drive, uint32_t* bus_type) {
    uint8_t query[12] = {};
    StoragePropertyQuery* q = reinterpret_cast<StoragePropertyQuery*>(query);
    q->PropertyId = kStorageDeviceProperty;
    q->QueryType = kPropertyStandardQuery;
    alignas(8) uint8_t out[40] = {};
    DWORD returned = 0;
    if (!os::DeviceIoControl(drive, kIoctlStorageQueryProperty, query, sizeof query, out, sizeof out, &returned))
        return false;
    *bus_type = reinterpret_cast<const StorageDeviceDescriptor*>(out)->BusType;
    return true;
}

bool ServiceIsRst(const WCH* path) {
    WCH service[kServiceCapacity];
    ReadParentServiceName(path, service);
    return FindNoCase(service, u"iaStor") != nullptr;
}

}  // namespace

void ReadParentServiceName(const WCH* path, WCH* out) {
    out[0] = 0;
    DEVINST parent = GetDiskParentDevInst(path);
    if (!parent) return;
    HDEVINFO set = os::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE || !set) return;
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; os::SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        if (data.DevInst != parent) continue;
        DWORD type = 0;
        DWORD required = 0;
        os::SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_SERVICE, &type, nullptr, 0, &required);
        // One unit is kept for the terminator. A longer name does not fit:
        // it is treated as no name rather than cut into a different one.
        WCH buffer[kServiceCapacity] = {};
        if (required && required <= (kServiceCapacity - 1) * sizeof(WCH) &&
            os::SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_SERVICE, &type, reinterpret_cast<BYTE*>(buffer),
                                                  (kServiceCapacity - 1) * sizeof(WCH), &required)) {
            buffer[kServiceCapacity - 1] = 0;
            WCopy(out, kServiceCapacity, buffer);
        }
        break;
    }
    os::SetupDiDestroyDeviceInfoList(set);
}

HANDLE OpenNvmeDisk(const WCH* path, DiskAccess* access) {
    *access = DiskAccess{};
    access->hScsiPort = INVALID_HANDLE_VALUE;
    HANDLE drive = OpenDevice(path);
    if (drive == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;

    ScsiAddress address = {};
    address.Length = sizeof address;
    DWORD returned = 0;
    if (os::DeviceIoControl(drive, kIoctlScsiGetAddress, &address, sizeof address, &address, sizeof address,
                            &returned)) {
        access->iPathId = address.PathId;
        WCH port[32];
        FormatW(port, 32, u"\\\\.\\scsi%d:", static_cast<int>(address.PortNumber));
        access->hScsiPort = OpenDevice(port);
    }

    uint32_t bus_type = 0;
    if (!QueryBusType(drive, &bus_type)) {
        access->iCmdType = kCmdUnsupported;
    } else {
        access->iBusType = static_cast<int32_t>(bus_type);
        if (bus_type == kBusNvme) {
            access->iCmdType = ServiceIsRst(path) ? kCmdRst : kCmdNative;
            DISKLIB_NVME_UnlockVSC(access, drive);
        } else if (bus_type == kBusUsb) {
            access->iCmdType = DetectUsbBridge(drive);
        } else if (bus_type == kBusRaid && ServiceIsRst(path)) {
            access->iCmdType = kCmdRst;
            DISKLIB_NVME_UnlockVSC(access, drive);
        } else {
            access->iCmdType = kCmdUnsupported;
        }
    }

    access->iVSCType = DISKLIB_NVME_VSC_GetVSCtype(access, drive);
    LogMsg(u"%s iVSCType = %d, CmdType = %d", path, access->iVSCType, access->iCmdType);
    return drive;
}
