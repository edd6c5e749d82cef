// Device topology: port identities from the device tree and the storage
// IOCTLs, and the disk at a port identity.
#include "storage/topology.h"

#include <cstdlib>
#include <cstring>

#include "core/disk_info.h"
#include "core/log.h"
#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"

namespace {

constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE;
constexpr size_t kIdChars = 260;

bool ValidSet(HDEVINFO set) { return set && set != reinterpret_cast<HDEVINFO>(INVALID_HANDLE_VALUE); }

SP_DEVINFO_DATA NewDevInfo() {
    SP_DEVINFO_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    return data;
}

bool DeviceId(DEVINST inst, WCH* id) {
    std::memset(id, 0, kIdChars * sizeof(WCH));
    return os::CM_Get_Device_IDW(inst, id, kIdChars, 0) == CR_SUCCESS;
}

// A registry property in two calls: the size first, then the value. A text
// longer than the buffer is treated as absent rather than cut.
bool RegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* element, DWORD property, void* buffer, DWORD capacity) {
    DWORD type = 0, required = 0;
    os::SetupDiGetDeviceRegistryPropertyW(set, element, property, &type, nullptr, 0, &required);
    if (required == 0 || required > capacity) return false;
    return os::SetupDiGetDeviceRegistryPropertyW(set, element, property, &type, static_cast<BYTE*>(buffer), required,
                                                 &required) != FALSE;
}

// %I64d as swscanf reads it: blanks, an optional sign, digits.
bool ScanNumber(const WCH*& p, int64_t* value) {
    while (*p == u' ' || *p == u'\t' || *p == u'\n' || *p == u'\r') ++p;
    bool negative = false;
    if (*p == u'+' || *p == u'-') negative = *p++ == u'-';
    if (*p < u'0' || *p > u'9') return false;
    uint64_t v = 0;
    while (*p >= u'0' && *p <= u'9') v = v * 10 + static_cast<uint64_t>(*p++ - u'0');
    *value = static_cast<int64_t>(negative ? 0 - v : v);
    return true;
}

// "Port_#%I64d.Hub_#%I64d": the port when at least the first number was read.
bool ParsePort(const WCH* text, int64_t* port) {
    const WCH* prefix = u"Port_#";
    const WCH* p = text;
    for (; *prefix; ++prefix, ++p)
        if (*p != *prefix) return false;
    return ScanNumber(p, port);
}

bool LocationPort(HDEVINFO set, SP_DEVINFO_DATA* element, int64_t* port) {
    WCH location[kIdChars];
    std::memset(location, 0, sizeof location);
    if (!RegistryProperty(set, element, SPDRP_LOCATION_INFORMATION, location, sizeof location - sizeof(WCH)))
        return false;
    return ParsePort(location, port);
}

// "%4s%8s" as swscanf reads it: the second token, at most 8 characters.
bool IsRootHubId(const WCH* id) {
    const WCH* p = id;
    auto blank = [](WCH c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
    while (blank(*p)) ++p;
    for (int n = 0; n < 4 && *p && !blank(*p); ++n) ++p;
    while (blank(*p)) ++p;
    WCH second[9] = {};
    for (int n = 0; n < 8 && *p && !blank(*p); ++n) second[n] = *p++;
    return WCompare(second, u"ROOT_HUB") == 0;
}

bool ElementWithId(HDEVINFO set, const WCH* id, SP_DEVINFO_DATA* found) {
    WCH element_id[kIdChars];
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA element = NewDevInfo();
        if (!os::SetupDiEnumDeviceInfo(set, i, &element)) return false;
        if (DeviceId(element.DevInst, element_id) && WCompare(element_id, id) == 0) {
            *found = element;
            return true;
        }
    }
}

int32_t BusNumberOf(DEVINST device) {
    HDEVINFO set = os::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (!ValidSet(set)) return 0;
    uint32_t bus = 0;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA element = NewDevInfo();
        if (!os::SetupDiEnumDeviceInfo(set, i, &element)) break;
        if (element.DevInst != device) continue;
        if (!RegistryProperty(set, &element, SPDRP_BUSNUMBER, &bus, sizeof bus)) bus = 0;
        break;
    }
    os::SetupDiDestroyDeviceInfoList(set);
    return static_cast<int32_t>(bus);
}

int64_t PciPair(DEVINST disk) {
    uint64_t grand = static_cast<uint64_t>(static_cast<int64_t>(GetGrandParentBusNumber(disk)));
    uint64_t parent = static_cast<uint64_t>(static_cast<int64_t>(GetParentBusNumber(disk)));
    return static_cast<int64_t>(kPciPairBase + 99 * grand + parent);
}

int64_t UsbIdentity(DEVINST disk) {
    DEVINST parent = 0;
    WCH id[kIdChars];
    if (os::CM_Get_Parent(&parent, disk, 0) != CR_SUCCESS || !DeviceId(parent, id)) id[0] = 0;
    return static_cast<int64_t>(ReversePortPath(GetUsbPortPath(id)));
}

bool ScsiPathId(HANDLE disk, int64_t* identity) {
    ScsiAddress address;
    std::memset(&address, 0, sizeof address);
    address.Length = sizeof address;
    DWORD returned = 0;
    if (!os::DeviceIoControl(disk, kIoctlScsiGetAddress, &address, sizeof address, &address, sizeof address, &returned))
        return false;
    *identity = address.PathId;
    return true;
}

bool DeviceNumber(HANDLE disk, uint32_t* number) {
    StorageDeviceNumber result;
    std::memset(&result, 0, sizeof result);
    DWORD returned = 0;
    if (!os::DeviceIoControl(disk, kIoctlStorageGetDeviceNumber, nullptr, 0, &result, sizeof result, &returned))
        return false;
    *number = result.DeviceNumber;
    return true;
}

HDEVINFO DiskSet() {
    return os::SetupDiGetClassDevsW(&kGuidDevInterfaceDisk, nullptr, nullptr, kPresentInterfaces);
}

}  // namespace

uint32_t GetStorageBusType(HANDLE disk) {
    uint8_t query[sizeof(StoragePropertyQuery)];
    std::memset(query, 0, sizeof query);
    StoragePropertyQuery* q = reinterpret_cast<StoragePropertyQuery*>(query);
    q->PropertyId = kStorageDeviceProperty;
    q->QueryType = kPropertyStandardQuery;
    uint8_t descriptor[offsetof(StorageDeviceDescriptor, RawDeviceProperties)];
    std::memset(descriptor, 0, sizeof descriptor);
    DWORD returned = 0;
    if (!os::DeviceIoControl(disk, kIoctlStorageQueryProperty, query, sizeof query, descriptor, sizeof descriptor,
                             &returned))
        return kBusUnknown;
    uint32_t bus_type;
    std::memcpy(&bus_type, descriptor + offsetof(StorageDeviceDescriptor, BusType), sizeof bus_type);
    return bus_type;
}

HANDLE OpenDeviceInterface(const GUID* interface_class, HDEVINFO set, DWORD index) {
    SP_DEVICE_INTERFACE_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    if (!os::SetupDiEnumDeviceInterfaces(set, nullptr, interface_class, index, &data)) return INVALID_HANDLE_VALUE;
    DWORD required = 0;
    os::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
    if (required < kInterfaceDetailFixedSize) return INVALID_HANDLE_VALUE;
    uint8_t* detail = static_cast<uint8_t*>(std::calloc(required + sizeof(WCH), 1));
    if (!detail) return INVALID_HANDLE_VALUE;
    DWORD cb_size = kInterfaceDetailFixedSize;
    std::memcpy(detail, &cb_size, sizeof cb_size);
    if (!os::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, &required, nullptr)) {
        std::free(detail);
        return INVALID_HANDLE_VALUE;
    }
    const WCH* path = reinterpret_cast<const WCH*>(detail + kInterfaceDetailPathOffset);
    HANDLE handle = os::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL);
    std::free(detail);
    return handle;
}

DEVINST GetDiskParentDevInst(const WCH* physical_drive_path) {
    HDEVINFO set = DiskSet();
    if (!ValidSet(set)) return 0;
    DEVINST result = 0;
    for (DWORD i = 0; result == 0; ++i) {
        SP_DEVINFO_DATA element = NewDevInfo();
        if (!os::SetupDiEnumDeviceInfo(set, i, &element)) break;
        WCH name[64];
        std::memset(name, 0, sizeof name);
        HANDLE disk = OpenDeviceInterface(&kGuidDevInterfaceDisk, set, i);
        if (disk != INVALID_HANDLE_VALUE) {
            uint32_t number = 0;
            if (DeviceNumber(disk, &number)) FormatW(name, 64, u"\\\\.\\PHYSICALDRIVE%d", static_cast<int>(number));
            os::CloseHandle(disk);
        }
        if (name[0] && WCompareNoCase(name, physical_drive_path) == 0) {
            DEVINST parent = 0;
            if (os::CM_Get_Parent(&parent, element.DevInst, 0) == CR_SUCCESS) result = parent;
            break;
        }
    }
    os::SetupDiDestroyDeviceInfoList(set);
    return result;
}

int32_t GetParentBusNumber(DEVINST device) {
    DEVINST parent = 0;
    if (os::CM_Get_Parent(&parent, device, 0) != CR_SUCCESS) return 0;
    return BusNumberOf(parent);
}

int32_t GetGrandParentBusNumber(DEVINST device) {
    DEVINST parent = 0, grand = 0;
    if (os::CM_Get_Parent(&parent, device, 0) != CR_SUCCESS) return 0;
    if (os::CM_Get_Parent(&grand, parent, 0) != CR_SUCCESS) return 0;
    return BusNumberOf(grand);
}

int64_t GetHostControllerIndex(const WCH* host_controller_id) {
    HDEVINFO set = os::SetupDiGetClassDevsW(&kGuidDevInterfaceUsbHostController, nullptr, nullptr, kPresentInterfaces);
    if (!ValidSet(set)) return 1;
    WCH id[kIdChars];
    DWORD i = 0;
    for (;; ++i) {
        SP_DEVINFO_DATA element = NewDevInfo();
        if (!os::SetupDiEnumDeviceInfo(set, i, &element)) break;
        if (DeviceId(element.DevInst, id) && WCompare(id, host_controller_id) == 0) break;
    }
    os::SetupDiDestroyDeviceInfoList(set);
    return static_cast<int64_t>(i) + 1;
}

uint64_t GetHubChainPortPath(const WCH* hub_id, uint64_t value) {
    HDEVINFO set = os::SetupDiGetClassDevsW(&kGuidDevInterfaceUsbHub, nullptr, nullptr, kPresentInterfaces);
    if (!ValidSet(set)) return value;
    WCH current[kIdChars];
    WCopy(current, kIdChars, hub_id);
    int64_t port = 0;  // carries over: an unreadable location keeps the previous hub's port
    // Each pass climbs one hub; a chain can be no deeper than the tree, so
    // the bound only guards against a tree that loops.
    for (int pass = 0; pass < 64; ++pass) {
        SP_DEVINFO_DATA hub = NewDevInfo();
        if (!ElementWithId(set, current, &hub)) break;
        DEVINST parent = 0;
        WCH parent_id[kIdChars];
        if (os::CM_Get_Parent(&parent, hub.DevInst, 0) != CR_SUCCESS || !DeviceId(parent, parent_id)) parent_id[0] = 0;
        if (IsRootHubId(current)) {
            value = value * 100 + static_cast<uint64_t>(GetHostControllerIndex(parent_id));
            break;
        }
        LocationPort(set, &hub, &port);
        value = value * 100 + static_cast<uint64_t>(port);
        WCopy(current, kIdChars, parent_id);
    }
    os::SetupDiDestroyDeviceInfoList(set);
    return value;
}

uint64_t GetUsbPortPath(const WCH* usb_device_id) {
    HDEVINFO set = os::SetupDiGetClassDevsW(&kGuidDevInterfaceUsbDevice, nullptr, nullptr, kPresentInterfaces);
    if (!ValidSet(set)) return 0;
    uint64_t result = 0;
    WCH id[kIdChars];
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA element = NewDevInfo();
        if (!os::SetupDiEnumDeviceInfo(set, i, &element)) break;
        if (!DeviceId(element.DevInst, id) || WCompare(id, usb_device_id) != 0) continue;
        int64_t port = 0;
        if (!LocationPort(set, &element, &port)) port = 0;
        DEVINST parent = 0;
        WCH parent_id[kIdChars];
        if (os::CM_Get_Parent(&parent, element.DevInst, 0) != CR_SUCCESS || !DeviceId(parent, parent_id)) parent_id[0] = 0;
        result = GetHubChainPortPath(parent_id, static_cast<uint64_t>(port));
    }
    os::SetupDiDestroyDeviceInfoList(set);
    return result;
}

uint64_t ReversePortPath(uint64_t value) {
    uint64_t reversed = 0;
    while (value >= 100) {
        reversed = reversed * 100 + value % 100;
        value /= 100;
    }
    return reversed * 100 + value;
}

int64_t GetDiskPortID(uint32_t bus_type, uint32_t device_number) {
    HDEVINFO set = DiskSet();
    if (!ValidSet(set)) return kNoPortId;
    int64_t identity = kNoPortId;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA element = NewDevInfo();
        if (!os::SetupDiEnumDeviceInfo(set, i, &element)) break;
        HANDLE disk = OpenDeviceInterface(&kGuidDevInterfaceDisk, set, i);
        if (disk == INVALID_HANDLE_VALUE) continue;
        uint32_t number = 0;
        if (!DeviceNumber(disk, &number) || number != device_number) {
            os::CloseHandle(disk);
            continue;
        }
        if (bus_type == kBusUsb) {
            identity = UsbIdentity(element.DevInst);
        } else if (bus_type == kBusRaid || bus_type == kBusNvme) {
            identity = PciPair(element.DevInst);
        } else if (!ScsiPathId(disk, &identity)) {
            identity = kNoPortId;
        }
        os::CloseHandle(disk);
        break;
    }
    os::SetupDiDestroyDeviceInfoList(set);
    return identity;
}

HANDLE GetPortDeviceHandle(int32_t cmd_type, uint32_t bus_type, int64_t port) {
    HDEVINFO set = DiskSet();
    if (!ValidSet(set)) return INVALID_HANDLE_VALUE;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA element = NewDevInfo();
        if (!os::SetupDiEnumDeviceInfo(set, i, &element)) break;
        // A disk that cannot be opened, or whose bus type cannot be read, is
        // no match whatever the wanted bus type: a zeroed record must not find it.
        HANDLE disk = OpenDeviceInterface(&kGuidDevInterfaceDisk, set, i);
        if (disk == INVALID_HANDLE_VALUE) continue;
        uint32_t disk_bus = GetStorageBusType(disk);
        bool found = false;
        int64_t identity = kNoPortId;
        if (disk_bus != kBusUnknown && disk_bus == bus_type) {
            switch (cmd_type) {
                case kCmdAsmedia:
                case kCmdJmicron:
                case kCmdRealtek:
                case kCmdSataUsb:
                    identity = UsbIdentity(element.DevInst);
                    found = identity == port;
                    break;
                case kCmdNative:
                case kCmdRst:
                    identity = PciPair(element.DevInst);
                    found = identity == port;
                    break;
                case kCmdSataNative:
                case kCmdSataScsi:
                    found = ScsiPathId(disk, &identity) && identity == port;
                    break;
                default:
                    break;
            }
        }
        if (found) {
            LogMsg(u"[%d] GetPortDeviceHandle %I64d, %I64d Target", 0, port, identity);
            os::SetupDiDestroyDeviceInfoList(set);
            return disk;
        }
        os::CloseHandle(disk);
    }
    os::SetupDiDestroyDeviceInfoList(set);
    return INVALID_HANDLE_VALUE;
}

int FindDiskNumberAtPort(int32_t cmd_type, uint32_t bus_type, int64_t port) {
    HANDLE disk = GetPortDeviceHandle(cmd_type, bus_type, port);
    if (disk == INVALID_HANDLE_VALUE) return -1;
    uint32_t number = 0;
    bool known = DeviceNumber(disk, &number);
    os::CloseHandle(disk);
    return known ? static_cast<int>(number) : -1;
}
