// Reading the device tree out of a trace's setup and configuration-manager records.
#include "tools/quillon-tool/trace_devices.h"

#include "platform/trace/trace_format.h"

namespace {

// The interface classes whose members the tool enumerates as host
// controllers and hubs (GUID_DEVINTERFACE_USB_HOST_CONTROLLER, _USB_HUB).
const char kHostControllerGuid[] = "{3ABF6F2D-71C4-462A-8A92-1E6861E6AF27}";
const char kHubGuid[] = "{F18A0E88-C30C-11D0-8815-00A0C906BED8}";
// The PCI device property set (link speed and width).
const char kPciPropertyFmtid[] = "{3AB22E31-8264-4B4E-9AF5-A8D2D8E33E62}";

std::string Upper(std::string s) {
    for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return s;
}
std::string Lower(std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return s;
}

void AddOnce(std::vector<int64_t>* list, int64_t devinst) {
    for (int64_t d : *list)
        if (d == devinst) return;
    list->push_back(devinst);
}

bool Ok(const TraceRecord& r) { return TraceNumber(r, tracefmt::kOk, 0) != 0; }

}  // namespace

void ReadTraceDevices(const std::vector<TraceRecord>& records, TraceDevices* d) {
    std::map<int64_t, std::string> set_guid;
    // The tool takes the nth device of a set and then its nth interface: an
    // interface's device node is the one enumerated at its index.
    std::map<std::pair<int64_t, int64_t>, int64_t> device_at;     // (set, index) → devinst
    std::map<std::pair<int64_t, int64_t>, int64_t> iface_devinst;  // (set, iface) → devinst
    for (const TraceRecord& r : records) {
        const std::string kind = TraceText(r, tracefmt::kKind);
        const int64_t devinst = TraceNumber(r, tracefmt::kDevInst, 0);
        if (kind == tracefmt::kClassDevs) {
            set_guid[TraceNumber(r, tracefmt::kSet, 0)] = Upper(TraceText(r, tracefmt::kGuid));
        } else if (kind == tracefmt::kEnumDevice && Ok(r) && devinst != 0) {
            device_at[{TraceNumber(r, tracefmt::kSet, 0), TraceNumber(r, tracefmt::kIndex, -1)}] = devinst;
            const std::string guid = set_guid[TraceNumber(r, tracefmt::kSet, 0)];
            if (guid == kHostControllerGuid) AddOnce(&d->host_controllers, devinst);
            if (guid == kHubGuid) AddOnce(&d->hubs, devinst);
        } else if (kind == tracefmt::kEnumInterface && Ok(r)) {
            const int64_t set = TraceNumber(r, tracefmt::kSet, 0);
            auto at = device_at.find({set, TraceNumber(r, tracefmt::kIndex, -1)});
            const int64_t node = devinst != 0 ? devinst : at != device_at.end() ? at->second : 0;
            if (node != 0) iface_devinst[{set, TraceNumber(r, tracefmt::kIface, 0)}] = node;
        } else if (kind == tracefmt::kInterfaceDetail && Ok(r)) {
            const std::string path = TraceText(r, tracefmt::kPath);
            auto at = iface_devinst.find({TraceNumber(r, tracefmt::kSet, 0), TraceNumber(r, tracefmt::kIface, 0)});
            const int64_t node = devinst != 0 ? devinst : at != iface_devinst.end() ? at->second : 0;
            if (!path.empty() && node != 0) d->interface_devinst[Lower(path)] = node;
        } else if (kind == tracefmt::kCmDeviceId && TraceNumber(r, tracefmt::kCr, -1) == 0 && devinst != 0) {
            d->id[devinst] = TraceText(r, tracefmt::kId);
        } else if (kind == tracefmt::kCmParent && TraceNumber(r, tracefmt::kCr, -1) == 0 && devinst != 0) {
            d->parent[devinst] = TraceNumber(r, tracefmt::kParent, 0);
        } else if (kind == tracefmt::kRegistryProperty && Ok(r) && devinst != 0) {
            const std::string bytes = TraceBytes(r, tracefmt::kBytes);
            if (!bytes.empty()) d->registry[devinst][TraceNumber(r, tracefmt::kProperty, -1)] = bytes;
        } else if (kind == tracefmt::kDeviceProperty && Ok(r) && devinst != 0) {
            const std::string bytes = TraceBytes(r, tracefmt::kBytes);
            if (!bytes.empty()) d->properties[devinst][Upper(TraceText(r, tracefmt::kKey))] = bytes;
        }
    }
}

std::string ParentId(const TraceDevices& d, int64_t devinst) {
    auto p = d.parent.find(devinst);
    if (p == d.parent.end()) return std::string();
    auto id = d.id.find(p->second);
    return id == d.id.end() ? std::string() : id->second;
}

namespace {
const std::string* Registry(const TraceDevices& d, int64_t devinst, int64_t property) {
    auto node = d.registry.find(devinst);
    if (node == d.registry.end()) return nullptr;
    auto value = node->second.find(property);
    return value == node->second.end() ? nullptr : &value->second;
}
int64_t Le32(const std::string& b) {
    return static_cast<int64_t>(static_cast<uint32_t>(static_cast<unsigned char>(b[0])) |
                                static_cast<uint32_t>(static_cast<unsigned char>(b[1])) << 8 |
                                static_cast<uint32_t>(static_cast<unsigned char>(b[2])) << 16 |
                                static_cast<uint32_t>(static_cast<unsigned char>(b[3])) << 24);
}
}  // namespace

bool BusNumber(const TraceDevices& d, int64_t devinst, int64_t* bus) {
    const std::string* b = Registry(d, devinst, 0x15);  // SPDRP_BUSNUMBER
    if (b == nullptr || b->size() < 4) return false;
    *bus = Le32(*b);
    return true;
}

std::string RegistryText(const TraceDevices& d, int64_t devinst, int64_t property) {
    const std::string* b = Registry(d, devinst, property);
    std::string text;
    for (size_t i = 0; b != nullptr && i + 1 < b->size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>((*b)[i]) | static_cast<unsigned char>((*b)[i + 1]) << 8;
        if (unit == 0) break;
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

bool PciDeviceProperty(const TraceDevices& d, int64_t devinst, int pid, int64_t* value) {
    auto node = d.properties.find(devinst);
    if (node == d.properties.end()) return false;
    auto it = node->second.find(std::string(kPciPropertyFmtid) + " " + std::to_string(pid));
    if (it == node->second.end() || it->second.size() < 4) return false;
    *value = Le32(it->second);
    return true;
}
