// SetupDi* and CM_* on the simulated device tree, with the two-call size
// protocol and the errors Windows gives. A device information set is a
// snapshot of the tree when it was built, as on Windows: a drive that
// leaves afterwards is still listed, but opening it fails.
#include <algorithm>
#include <cstring>
#include <set>

#include "platform/os.h"
#include "platform/sim/sim_state.h"
#include "platform/storage_layouts.h"
#include "platform/trace/trace_hook.h"

namespace sim {

namespace {

struct DevInfoSet {
    uint32_t epoch = 0;
    uint32_t interface = 0;  // kIf* of an interface set, 0 for a device set
    std::vector<DEVINST> nodes;
};

std::set<DevInfoSet*>& LiveSets() {
    static std::set<DevInfoSet*>* sets = new std::set<DevInfoSet*>;
    return *sets;
}

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

uint32_t InterfaceOf(const GUID* guid) {
    if (!guid) return 0;
    if (SameGuid(*guid, kGuidDevInterfaceDisk)) return kIfDisk;
    if (SameGuid(*guid, kGuidDevInterfaceUsbDevice)) return kIfUsbDevice;
    if (SameGuid(*guid, kGuidDevInterfaceUsbHub)) return kIfUsbHub;
    if (SameGuid(*guid, kGuidDevInterfaceUsbHostController)) return kIfHostController;
    return 1u << 31;  // a class this machine has no device of
}

const GUID& GuidOf(uint32_t interface) {
    if (interface == kIfUsbDevice) return kGuidDevInterfaceUsbDevice;
    if (interface == kIfUsbHub) return kGuidDevInterfaceUsbHub;
    if (interface == kIfHostController) return kGuidDevInterfaceUsbHostController;
    return kGuidDevInterfaceDisk;
}

BOOL Fail(DWORD error) {
    os::SetLastError(error);
    return FALSE;
}

DevInfoSet* FindSet(MachineState& m, HDEVINFO handle) {
    DevInfoSet* set = static_cast<DevInfoSet*>(handle);
    if (!LiveSets().count(set) || set->epoch != m.epoch) {
        os::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return set;
}

bool InSet(const DevInfoSet& set, DEVINST inst) {
    return std::find(set.nodes.begin(), set.nodes.end(), inst) != set.nodes.end();
}

// The element a caller's SP_DEVINFO_DATA names, checked.
Node* Element(MachineState& m, const DevInfoSet& set, const SP_DEVINFO_DATA* data) {
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA) || !InSet(set, data->DevInst)) {
        os::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return FindNode(m, data->DevInst);
}

// Two-call protocol: the size always goes to *required; data only when it fits.
BOOL GiveBytes(const void* bytes, DWORD size, BYTE* buffer, DWORD capacity, DWORD* required) {
    if (!buffer && capacity) return Fail(kErrorInvalidUserBuffer);
    if (required) *required = size;
    if (capacity < size) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, bytes, size);
    return TRUE;
}

}  // namespace

}  // namespace sim

using namespace sim;

static HDEVINFO MachineClassDevs(const GUID* class_guid, const WCH* enumerator, HWND parent, DWORD flags) {
    (void)parent;
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    CatchUp(m);
    const bool all = flags & DIGCF_ALLCLASSES, interfaces = flags & DIGCF_DEVICEINTERFACE;
    if (!all && !class_guid) {
        os::SetLastError(ERROR_INVALID_PARAMETER);
        return reinterpret_cast<HDEVINFO>(INVALID_HANDLE_VALUE);
    }
    DevInfoSet* set = new DevInfoSet;
    set->epoch = m.epoch;
    set->interface = interfaces && !all ? InterfaceOf(class_guid) : 0;
    std::u16string prefix = enumerator ? std::u16string(enumerator) + u"\\" : u"";
    for (size_t i = 0; i < m.nodes.size(); ++i) {
        const Node& node = m.nodes[i];
        if (node.root) continue;
        if ((flags & DIGCF_PRESENT) && !NodePresent(m, node)) continue;
        if (!prefix.empty() && !(node.id.size() > prefix.size() && SameNoCase(node.id.substr(0, prefix.size()), prefix)))
            continue;
        if (!all && !(interfaces && (node.interfaces & set->interface))) continue;  // setup classes: none modelled
        set->nodes.push_back(static_cast<DEVINST>(i + 1));
    }
    LiveSets().insert(set);
    ++m.open_sets;
    return set;
}

static BOOL MachineDestroySet(HDEVINFO handle) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    DevInfoSet* set = static_cast<DevInfoSet*>(handle);
    if (!LiveSets().count(set)) return Fail(ERROR_INVALID_HANDLE);
    LiveSets().erase(set);
    bool current = set->epoch == m.epoch;
    delete set;
    if (!current) return Fail(ERROR_INVALID_HANDLE);
    --m.open_sets;
    return TRUE;
}

static BOOL MachineEnumDevice(HDEVINFO handle, DWORD index, SP_DEVINFO_DATA* data) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    DevInfoSet* set = FindSet(m, handle);
    if (!set) return FALSE;
    if (!data) return Fail(ERROR_INVALID_PARAMETER);
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(kErrorInvalidUserBuffer);
    if (index >= set->nodes.size()) return Fail(ERROR_NO_MORE_ITEMS);
    data->ClassGuid = GuidOf(set->interface);
    data->DevInst = set->nodes[index];
    data->Reserved = index + 1;
    return TRUE;
}

static BOOL MachineEnumInterface(HDEVINFO handle, SP_DEVINFO_DATA* device, const GUID* interface_guid, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* data) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    DevInfoSet* set = FindSet(m, handle);
    if (!set) return FALSE;
    if (!interface_guid || !data) return Fail(ERROR_INVALID_PARAMETER);
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(kErrorInvalidUserBuffer);
    if (device && !Element(m, *set, device)) return FALSE;
    uint32_t wanted = InterfaceOf(interface_guid);
    DWORD seen = 0;
    for (DEVINST inst : set->nodes) {
        if (device && inst != device->DevInst) continue;
        if (!(FindNode(m, inst)->interfaces & wanted)) continue;
        if (seen++ != index) continue;
        data->InterfaceClassGuid = *interface_guid;
        data->Flags = 1;  // SPINT_ACTIVE
        data->Reserved = inst;
        return TRUE;
    }
    return Fail(ERROR_NO_MORE_ITEMS);
}

static BOOL MachineInterfaceDetail(HDEVINFO handle, SP_DEVICE_INTERFACE_DATA* data, void* detail,
                                          DWORD detail_size, DWORD* required, SP_DEVINFO_DATA* device) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    DevInfoSet* set = FindSet(m, handle);
    if (!set) return FALSE;
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_PARAMETER);
    DEVINST inst = static_cast<DEVINST>(data->Reserved);
    if (!InSet(*set, inst)) return Fail(ERROR_INVALID_PARAMETER);
    const Node& node = *FindNode(m, inst);
    const DWORD need = kInterfaceDetailPathOffset + static_cast<DWORD>((node.interface_path.size() + 1) * sizeof(WCH));
    if (!detail) {
        if (detail_size) return Fail(kErrorInvalidUserBuffer);
        if (required) *required = need;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (detail_size < kInterfaceDetailFixedSize) return Fail(kErrorInvalidUserBuffer);
    DWORD cb_size;
    std::memcpy(&cb_size, detail, sizeof cb_size);
    if (cb_size != kInterfaceDetailFixedSize) return Fail(kErrorInvalidUserBuffer);
    if (required) *required = need;
    if (detail_size < need) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (device) {
        if (device->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(kErrorInvalidUserBuffer);
        device->ClassGuid = GuidOf(set->interface);
        device->DevInst = inst;
        device->Reserved = 0;
    }
    std::memcpy(static_cast<uint8_t*>(detail) + kInterfaceDetailPathOffset, node.interface_path.c_str(),
                (node.interface_path.size() + 1) * sizeof(WCH));
    return TRUE;
}

static BOOL MachineRegistryProperty(HDEVINFO handle, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                           BYTE* buffer, DWORD size, DWORD* required) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    DevInfoSet* set = FindSet(m, handle);
    if (!set) return FALSE;
    Node* node = Element(m, *set, device);
    if (!node) return FALSE;
    const std::u16string* text = nullptr;
    if (property == SPDRP_LOCATION_INFORMATION) text = &node->location;
    else if (property == SPDRP_SERVICE) text = &node->service;
    else if (property == SPDRP_BUSNUMBER) {
        if (!node->has_bus) return Fail(ERROR_INVALID_DATA);
        if (type) *type = kRegDword;
        return GiveBytes(&node->bus, sizeof node->bus, buffer, size, required);
    } else {
        return Fail(ERROR_INVALID_DATA);  // a property this machine never sets
    }
    if (text->empty()) return Fail(ERROR_INVALID_DATA);
    if (type) *type = kRegSz;
    return GiveBytes(text->c_str(), static_cast<DWORD>((text->size() + 1) * sizeof(WCH)), buffer, size, required);
}

static BOOL MachineDeviceProperty(HDEVINFO handle, SP_DEVINFO_DATA* device, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                   BYTE* buffer, DWORD size, DWORD* required, DWORD flags) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    DevInfoSet* set = FindSet(m, handle);
    if (!set) return FALSE;
    if (flags) return Fail(kErrorInvalidFlags);
    if (!key || !type) return Fail(kErrorInvalidUserBuffer);
    Node* node = Element(m, *set, device);
    if (!node) return FALSE;
    int which = -1;
    if (SameGuid(key->fmtid, kPciDevicePropertyFmtid) && key->pid >= 9 && key->pid <= 12)
        which = static_cast<int>(key->pid) - 9;
    if (which < 0 || !node->has_link) return Fail(ERROR_NOT_FOUND);
    *type = DEVPROP_TYPE_UINT32;
    return GiveBytes(&node->link[which], sizeof(uint32_t), buffer, size, required);
}

static CONFIGRET MachineCmParent(DEVINST* parent, DEVINST device, ULONG flags) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    if (!parent) return kCrInvalidPointer;
    *parent = 0;
    if (flags) return kCrInvalidFlag;
    Node* node = FindNode(m, device);
    if (!node) return kCrInvalidDevnode;
    if (!NodePresent(m, *node) || node->root || !node->parent) return CR_NO_SUCH_DEVNODE;
    *parent = node->parent;
    return CR_SUCCESS;
}

static CONFIGRET MachineCmDeviceId(DEVINST device, WCH* buffer, ULONG capacity, ULONG flags) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    if (!buffer) return kCrInvalidPointer;
    if (flags) return kCrInvalidFlag;
    Node* node = FindNode(m, device);
    if (!node) return kCrInvalidDevnode;
    size_t fits = std::min<size_t>(node->id.size(), capacity);
    std::memcpy(buffer, node->id.c_str(), fits * sizeof(WCH));
    if (capacity <= node->id.size()) return CR_BUFFER_SMALL;
    buffer[node->id.size()] = 0;
    return CR_SUCCESS;
}

// The machine's answers, through the trace hooks when a trace is recorded or replayed.
using trace::DeviceHooks;
using trace::Traced;

HDEVINFO os::SetupDiGetClassDevsW(const GUID* class_guid, const WCH* enumerator, HWND parent, DWORD flags) {
    return Traced(&DeviceHooks::class_devs, MachineClassDevs, class_guid, enumerator, parent, flags);
}

BOOL os::SetupDiDestroyDeviceInfoList(HDEVINFO set) { return Traced(&DeviceHooks::destroy_set, MachineDestroySet, set); }

BOOL os::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    return Traced(&DeviceHooks::enum_device, MachineEnumDevice, set, index, data);
}

BOOL os::SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* interface_guid, DWORD index,
                                     SP_DEVICE_INTERFACE_DATA* data) {
    return Traced(&DeviceHooks::enum_interface, MachineEnumInterface, set, device, interface_guid, index, data);
}

BOOL os::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, void* detail,
                                          DWORD detail_size, DWORD* required, SP_DEVINFO_DATA* device) {
    return Traced(&DeviceHooks::interface_detail, MachineInterfaceDetail, set, data, detail, detail_size, required,
                  device);
}

BOOL os::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                           BYTE* buffer, DWORD size, DWORD* required) {
    return Traced(&DeviceHooks::registry_property, MachineRegistryProperty, set, device, property, type, buffer, size,
                  required);
}

BOOL os::SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                   BYTE* buffer, DWORD size, DWORD* required, DWORD flags) {
    return Traced(&DeviceHooks::device_property, MachineDeviceProperty, set, device, key, type, buffer, size, required,
                  flags);
}

CONFIGRET os::CM_Get_Parent(DEVINST* parent, DEVINST device, ULONG flags) {
    return Traced(&DeviceHooks::cm_parent, MachineCmParent, parent, device, flags);
}

CONFIGRET os::CM_Get_Device_IDW(DEVINST device, WCH* buffer, ULONG capacity, ULONG flags) {
    return Traced(&DeviceHooks::cm_device_id, MachineCmDeviceId, device, buffer, capacity, flags);
}
