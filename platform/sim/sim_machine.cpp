// The machine's state: building the device tree from a description,
// drives leaving and coming back on the virtual clock, faults, and the
// record and counters tests read.
#include "platform/sim/sim_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "platform/host/host_objects.h"
#include "platform/os.h"
#include "platform/sim/sim_countdown.h"
#include "platform/sim/sim_objects.h"

namespace sim {

MachineState& Machine() {
    static MachineState* machine = new MachineState;  // lives as long as the process, threads included
    return *machine;
}

uint64_t VirtualNow() { return os::GetTickCount64(); }

std::u16string Widen(const std::string& text) {
    std::u16string out;
    for (unsigned char c : text) out.push_back(static_cast<char16_t>(c));
    return out;
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

static char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool SameNoCase(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

Node* FindNode(MachineState& machine, DEVINST inst) {
    if (inst == 0 || inst > machine.nodes.size()) return nullptr;
    return &machine.nodes[inst - 1];
}

bool NodePresent(const MachineState& machine, const Node& node) {
    return node.drive < 0 || machine.drives[node.drive].present;
}

int FindDriveByName(const MachineState& machine, const std::string& name) {
    for (size_t i = 0; i < machine.drives.size(); ++i)
        if (machine.drives[i].desc.name == name) return static_cast<int>(i);
    return -1;
}

int FindDriveByNumber(const MachineState& machine, int number) {
    for (size_t i = 0; i < machine.drives.size(); ++i)
        if (machine.drives[i].present && machine.drives[i].number == number) return static_cast<int>(i);
    return -1;
}

uint32_t BusTypeOf(const DriveDesc& desc) {
    if (desc.bus_type != 0) return desc.bus_type;
    switch (desc.attachment) {
        case Attachment::kNativeNvme: return 17;
        case Attachment::kRst: return 8;
        case Attachment::kAsmedia:
        case Attachment::kJmicron:
        case Attachment::kRealtek:
        case Attachment::kUsbSata: return 7;
        case Attachment::kSataPort: return 11;
        case Attachment::kScsiAdapter: return 1;
    }
    return 0;
}

static bool IsUsb(Attachment a) {
    return a == Attachment::kAsmedia || a == Attachment::kJmicron || a == Attachment::kRealtek ||
           a == Attachment::kUsbSata;
}

std::string ServiceOf(const DriveDesc& desc) {
    if (!desc.parent_service.empty()) return desc.parent_service;
    switch (desc.attachment) {
        case Attachment::kNativeNvme: return "stornvme";
        case Attachment::kRst: return "iaStorAC";
        case Attachment::kSataPort: return "storahci";
        case Attachment::kScsiAdapter: return "megasas";
        default: return desc.usb.service;
    }
}

// ---- building ---------------------------------------------------------------------

namespace {

struct Builder {
    MachineState& m;
    std::string error;

    DEVINST Add(Node node) {
        m.nodes.push_back(std::move(node));
        return static_cast<DEVINST>(m.nodes.size());
    }
    DEVINST Find(const std::u16string& id) {
        for (size_t i = 0; i < m.nodes.size(); ++i)
            if (m.nodes[i].id == id) return static_cast<DEVINST>(i + 1);
        return 0;
    }
    void Fail(const std::string& text) {
        if (error.empty()) error = text;
    }
};

std::u16string InterfacePath(const std::u16string& id, const char* guid) {
    std::u16string path = u"\\\\?\\";
    for (char16_t c : id) path.push_back(c == u'\\' ? u'#' : c);
    path += u"#";
    path += Widen(guid);
    return path;
}

const char* kDiskGuid = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const char* kUsbDeviceGuid = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const char* kHubGuid = "{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
const char* kHostControllerGuid = "{3abf6f2d-71c4-462a-8a92-1e6861e6af27}";

std::string IdPart(const std::string& text, size_t max) {
    std::string out;
    for (char c : text) {
        if (out.size() == max) break;
        char u = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        out.push_back((u == ' ' || u == '\\' || u == '#') ? '_' : u);
    }
    return out;
}

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", v);
    return text;
}

// Made-up but well-formed IDs, unique per drive index.
std::string DiskIdFor(const DriveDesc& s, size_t index) {
    std::string tag = Hex(0x2A1B3C00u + static_cast<uint32_t>(index));
    if (IsUsb(s.attachment)) {
        std::string vendor = s.inquiry_vendor.empty() ? "NVME" : s.inquiry_vendor;
        std::string product = s.inquiry_product.empty() ? s.model : s.inquiry_product;
        return "USBSTOR\\DISK&VEN_" + IdPart(vendor, 8) + "&PROD_" + IdPart(product, 16) + "&REV_0\\" + tag + "&0";
    }
    if (s.kind == DriveKind::kNvme)
        return "SCSI\\DISK&VEN_NVME&PROD_" + IdPart(s.model, 16) + "\\5&" + tag + "&0&000000";
    return "SCSI\\DISK&VEN_&PROD_" + IdPart(s.model, 16) + "\\4&" + tag + "&0&0" + std::to_string(s.scsi.path) + "0000";
}

std::string BridgeIdFor(const DriveDesc& s, size_t index) {
    const char* vidpid = "VID_174C&PID_2362";
    if (s.attachment == Attachment::kJmicron) vidpid = "VID_152D&PID_0583";
    if (s.attachment == Attachment::kRealtek) vidpid = "VID_0BDA&PID_9210";
    if (s.attachment == Attachment::kUsbSata) vidpid = "VID_152D&PID_0578";
    return std::string("USB\\") + vidpid + "\\" + Hex(0x31415900u + static_cast<uint32_t>(index));
}

std::string ControllerIdFor(const DriveDesc& s) {
    std::string ven = s.kind == DriveKind::kNvme && s.attachment == Attachment::kNativeNvme
                          ? Hex(s.pci_vendor ? s.pci_vendor : 0x1E7C)
                          : std::string("8086");
    while (ven.size() < 4) ven = "0" + ven;
    std::string dev = s.attachment == Attachment::kRst         ? "282A"
                      : s.attachment == Attachment::kSataPort  ? "A352"
                      : s.attachment == Attachment::kScsiAdapter ? "0017"
                                                                 : "5236";
    return "PCI\\VEN_" + ven + "&DEV_" + dev + "&SUBSYS_00000000&REV_01\\4&" +
           Hex(0x1C2D0000u + static_cast<uint32_t>(s.pci.controller_bus & 0xFF) * 16 + static_cast<uint32_t>(s.pci.bridge_bus & 0xF)) +
           "&0&00E8";
}

std::string BridgeOfControllerIdFor(const DriveDesc& s) {
    return "PCI\\VEN_8086&DEV_A340&SUBSYS_00000000&REV_F0\\3&11583659&0&" + Hex(0xE0u + static_cast<uint32_t>(s.pci.bridge_bus & 0xF));
}

// A PCI node shared by all drives that name it; a second description must agree.
DEVINST PciNode(Builder& b, const std::string& id, DEVINST parent, int bus, const std::string& service) {
    std::u16string wid = Widen(id);
    DEVINST found = b.Find(wid);
    if (found) {
        Node& n = b.m.nodes[found - 1];
        bool has_bus = bus >= 0;
        if (n.has_bus != has_bus || (has_bus && n.bus != static_cast<uint32_t>(bus)) || n.parent != parent ||
            Narrow(n.service) != service)
            b.Fail("the PCI device \"" + id + "\" is described twice with different bus numbers, parents or services");
        return found;
    }
    Node n;
    n.id = wid;
    n.parent = parent;
    n.has_bus = bus >= 0;
    n.bus = bus >= 0 ? static_cast<uint32_t>(bus) : 0;
    n.service = Widen(service);
    return b.Add(n);
}

}  // namespace

static ModelFactory g_model_factory = nullptr;

void SetModelFactory(ModelFactory factory) { g_model_factory = factory; }

static std::string BuildInto(MachineState& m, const MachineDesc& desc) {
    Builder b{m, ""};
    m.desc = desc;
    m.nodes.clear();
    m.drives.clear();

    Node root;
    root.id = u"HTREE\\ROOT\\0";
    root.root = true;
    DEVINST root_inst = b.Add(root);

    std::set<std::string> ids;
    for (const HostControllerDesc& hc : desc.host_controllers) {
        if (!ids.insert(hc.id).second) b.Fail("the device ID \"" + hc.id + "\" is used twice");
        Node n;
        n.id = Widen(hc.id);
        n.parent = root_inst;
        n.interfaces = kIfHostController;
        n.interface_path = InterfacePath(n.id, kHostControllerGuid);
        n.has_bus = true;
        n.bus = static_cast<uint32_t>(hc.bus);
        n.service = u"USBXHCI";
        b.Add(n);
    }
    std::vector<DEVINST> hub_nodes;
    for (const HubDesc& hub : desc.hubs) {
        if (!ids.insert(hub.id).second) b.Fail("the device ID \"" + hub.id + "\" is used twice");
        Node n;
        n.id = Widen(hub.id);
        n.interfaces = hub.listed ? uint32_t{kIfUsbHub} : 0u;
        n.interface_path = InterfacePath(n.id, kHubGuid);
        n.location = Widen(hub.location);
        n.service = u"USBHUB3";
        hub_nodes.push_back(b.Add(n));
    }
    for (size_t i = 0; i < desc.hubs.size(); ++i) {
        DEVINST parent = b.Find(Widen(desc.hubs[i].parent_id));
        if (!parent || parent == hub_nodes[i])
            b.Fail("the hub \"" + desc.hubs[i].id + "\" names a parent \"" + desc.hubs[i].parent_id +
                   "\" that is neither a host controller nor a hub");
        m.nodes[hub_nodes[i] - 1].parent = parent;
    }

    std::set<int> numbers;
    std::set<std::string> names;
    std::set<int> used_ports;
    for (const DriveDesc& d : desc.drives)
        if (d.scsi.port >= 0) used_ports.insert(d.scsi.port);
    std::map<DEVINST, int> port_of_parent;
    int next_port = 0;

    for (size_t i = 0; i < desc.drives.size(); ++i) {
        const DriveDesc& s = desc.drives[i];
        m.drives.emplace_back();
        DriveState& d = m.drives.back();
        d.desc = s;
        if (d.desc.name.empty()) d.desc.name = "disk" + std::to_string(s.number);
        d.present = s.present;
        d.number = s.number;
        if (!names.insert(d.desc.name).second) b.Fail("two drives are called \"" + d.desc.name + "\"");
        if (s.number < 0) b.Fail("drive \"" + d.desc.name + "\": the physical drive number must not be negative");
        if (!numbers.insert(s.number).second)
            b.Fail("two drives have the physical drive number " + std::to_string(s.number));
        const bool usb = IsUsb(s.attachment);
        if ((s.kind == DriveKind::kNvme) !=
            (s.attachment == Attachment::kNativeNvme || s.attachment == Attachment::kRst ||
             s.attachment == Attachment::kAsmedia || s.attachment == Attachment::kJmicron ||
             s.attachment == Attachment::kRealtek))
            b.Fail("drive \"" + d.desc.name + "\": this attachment does not carry a drive of this kind");
        if (s.sector_size == 0 || (s.sector_size & (s.sector_size - 1)) != 0)
            b.Fail("drive \"" + d.desc.name + "\": the sector size must be a power of two");

        DEVINST parent = 0;
        if (usb) {
            DEVINST hub = b.Find(Widen(s.usb.hub_id));
            bool is_hub = false;
            for (DEVINST h : hub_nodes) is_hub = is_hub || h == hub;
            if (!is_hub) b.Fail("drive \"" + d.desc.name + "\" is plugged into \"" + s.usb.hub_id + "\", which is not a hub");
            Node n;
            n.id = Widen(s.usb.device_id.empty() ? BridgeIdFor(s, i) : s.usb.device_id);
            if (!ids.insert(Narrow(n.id)).second) b.Fail("the device ID \"" + Narrow(n.id) + "\" is used twice");
            n.parent = hub;
            n.interfaces = kIfUsbDevice;
            n.interface_path = InterfacePath(n.id, kUsbDeviceGuid);
            n.location = Widen(s.usb.location);
            n.service = Widen(ServiceOf(s));
            n.drive = static_cast<int>(i);
            parent = d.bridge = b.Add(n);
        } else {
            DEVINST bridge = PciNode(b, s.pci.bridge_id.empty() ? BridgeOfControllerIdFor(s) : s.pci.bridge_id,
                                     root_inst, s.pci.bridge_bus, "pci");
            parent = d.controller = PciNode(b, s.pci.controller_id.empty() ? ControllerIdFor(s) : s.pci.controller_id,
                                            bridge, s.pci.controller_bus, ServiceOf(s));
            Node& c = m.nodes[parent - 1];
            if (s.attachment == Attachment::kNativeNvme && s.pci.has_link) {
                c.has_link = true;
                c.link[0] = s.pci.link_speed;
                c.link[1] = s.pci.link_width;
                c.link[2] = s.pci.max_link_speed;
                c.link[3] = s.pci.max_link_width;
            }
        }
        if (s.scsi.port < 0) {
            auto it = port_of_parent.find(parent);
            if (it == port_of_parent.end()) {
                while (used_ports.count(next_port)) ++next_port;
                used_ports.insert(next_port);
                it = port_of_parent.emplace(parent, next_port).first;
            }
            d.desc.scsi.port = it->second;
        }
        Node disk;
        disk.id = Widen(s.disk_id.empty() ? DiskIdFor(s, i) : s.disk_id);
        if (!ids.insert(Narrow(disk.id)).second) b.Fail("the device ID \"" + Narrow(disk.id) + "\" is used twice");
        disk.parent = parent;
        disk.interfaces = kIfDisk;
        disk.interface_path = InterfacePath(disk.id, kDiskGuid);
        disk.service = u"disk";
        disk.drive = static_cast<int>(i);
        d.disk = b.Add(disk);
    }
    for (size_t i = 0; i < m.drives.size(); ++i) {
        const ReturnDesc* descs[2] = {&m.drives[i].desc.on_activate, &m.drives[i].desc.on_power_cycle};
        for (const ReturnDesc* r : descs) {
            if (r->gone_seconds < 0) b.Fail("drive \"" + m.drives[i].desc.name + "\": a time away must not be negative");
            if (r->return_number < 0 || r->return_number == m.drives[i].number) continue;
            if (numbers.count(r->return_number))
                b.Fail("drive \"" + m.drives[i].desc.name + "\" comes back as number " + std::to_string(r->return_number) +
                       ", which another drive has");
        }
    }
    for (const VolumeDesc& v : desc.volumes) {
        if (v.letter < 'A' || v.letter > 'Z') b.Fail(std::string("the volume letter '") + v.letter + "' is not A to Z");
        if (FindDriveByName(m, v.drive) < 0) b.Fail("the volume " + std::string(1, v.letter) + ": names no drive \"" + v.drive + "\"");
    }
    for (const FaultDesc& f : desc.faults) {
        if (FindDriveByName(m, f.drive) < 0) b.Fail("a fault names no drive \"" + f.drive + "\"");
        if (f.nth < 1) b.Fail("a fault's nth request counts from 1");
    }
    // The models come last: they may look at the finished machine.
    for (size_t i = 0; i < m.drives.size(); ++i) {
        DriveState& d = m.drives[i];
        d.host.reset(new HostOfDrive(&m, static_cast<int>(i)));
        if (g_model_factory)
            d.model.reset(g_model_factory(d.desc, d.host.get()));
        else
            d.model.reset(d.desc.kind == DriveKind::kNvme ? NewNvmeDrive(d.desc, d.host.get())
                                                          : NewSataDrive(d.desc, d.host.get()));
    }
    return b.error;
}

std::string CheckMachine(const MachineDesc& desc) {
    MachineState scratch;
    return BuildInto(scratch, desc);
}

bool InstallMachine(const MachineDesc& desc, std::string* error) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    ++m.epoch;
    DisarmCountdown();
    DropAllObjects();
    m.requests.clear();
    m.open_sets = 0;
    m.installed_at = VirtualNow();
    std::string problem = BuildInto(m, desc);
    if (!problem.empty()) {
        m.drives.clear();
        m.nodes.clear();
        m.desc = MachineDesc();
        if (error) *error = problem;
        return false;
    }
    return true;
}

void ResetMachine() { InstallMachine(MachineDesc()); }

void CatchUp(MachineState& m) {
    uint64_t now = VirtualNow();
    for (size_t i = 0; i < m.drives.size(); ++i) {
        const LeaveAfterDesc& after = m.drives[i].desc.leave_after;
        if (after.seconds > 0 && !m.drives[i].left_by_itself &&
            now >= m.installed_at + static_cast<uint64_t>(after.seconds * 1000.0 + 0.5)) {
            m.drives[i].left_by_itself = true;
            DriveLeavesAs(m, static_cast<int>(i), after.how);
        }
    }
    for (DriveState& d : m.drives) {
        if (!d.returning || now < d.return_at) continue;
        d.returning = false;
        d.present = true;
        if (d.return_number >= 0) d.number = d.return_number;
        if (d.model) d.model->PowerOn();
    }
}

void DriveLeaves(MachineState& m, int index, bool power_cycle) {
    DriveState& d = m.drives[index];
    DriveLeavesAs(m, index, power_cycle ? d.desc.on_power_cycle : d.desc.on_activate);
}

void CountDriveRequest(MachineState& m, int index) {
    DriveState& d = m.drives[index];
    ++d.requests_seen;
    const LeaveAfterDesc& after = d.desc.leave_after;
    if (after.requests > 0 && !d.left_by_itself && d.requests_seen >= after.requests) {
        d.left_by_itself = true;
        DriveLeavesAs(m, index, after.how);
    }
}

void DriveLeavesAs(MachineState& m, int index, const ReturnDesc& r) {
    DriveState& d = m.drives[index];
    if (!r.leaves || !d.present) return;
    d.present = false;
    ++d.generation;
    d.returning = r.returns;
    d.return_at = VirtualNow() + static_cast<uint64_t>(r.gone_seconds * 1000.0 + 0.5);
    d.return_number = r.return_number;
    if (r.moves) {
        if (!r.moved_usb_location.empty() && d.bridge) m.nodes[d.bridge - 1].location = Widen(r.moved_usb_location);
        if (r.moved_controller_bus >= 0 && d.controller) {
            m.nodes[d.controller - 1].has_bus = true;
            m.nodes[d.controller - 1].bus = static_cast<uint32_t>(r.moved_controller_bus);
        }
        if (r.moved_path_id >= 0) d.desc.scsi.path = r.moved_path_id;
    }
}

namespace {

bool NarrowMatch(const MachineState& m, const FaultDesc& f) {
    if (!f.cdb_prefix.empty()) {
        if (!m.current_cdb) return false;
        for (size_t i = 0; i < f.cdb_prefix.size() && i < 16; ++i)
            if (m.current_cdb[i] != f.cdb_prefix[i]) return false;
    }
    if (f.phase && f.phase != m.current_phase) return false;
    if (f.sub >= 0 && f.sub != m.current_sub) return false;
    return true;
}

// A fault that counts only the requests it matches (its own counter), as
// opposed to one that counts every request of its kind and code.
bool CountsItsOwn(const FaultDesc& f) { return !f.cdb_prefix.empty() || f.phase || f.sub >= 0 || f.from_operation; }

// The drive leaves on the spot and stays away (a pulled cable).
void VanishNow(MachineState& m, int index) {
    DriveState& d = m.drives[index];
    if (d.present) ++d.generation;
    d.present = false;
    d.returning = false;
}

}  // namespace

bool TakeFaultFor(MachineState& m, int index, FaultMatch match, uint32_t code, Outcome* outcome, uint8_t* ata_error) {
    DriveState& d = m.drives[index];
    int seen = ++d.counts[(static_cast<uint64_t>(match) << 32) | code];
    // A sweep's countdown picks its request whatever the machine file says.
    bool vanish = false;
    if (CountdownTake(match, outcome, ata_error, &vanish)) {
        if (vanish) VanishNow(m, index);
        return true;
    }
    for (size_t i = 0; i < m.desc.faults.size(); ++i) {
        const FaultDesc& f = m.desc.faults[i];
        if (f.match != match || f.drive != d.desc.name) continue;
        // A prefix or a phase alone names the CDBs without an opcode.
        bool any_code = !f.cdb_prefix.empty() || (f.phase && f.code == 0 && match == FaultMatch::kCdb);
        if (!any_code && f.code != code) continue;
        if (!NarrowMatch(m, f)) continue;
        int n = CountsItsOwn(f) ? ++d.fault_counts[i] : seen;
        if (n != f.nth && !(f.every && n > f.nth)) continue;
        *outcome = Outcome();
        switch (f.action) {
            case FaultAction::kWin32Error: outcome->win32_error = f.win32_error; break;
            case FaultAction::kCheckCondition: *outcome = CheckCondition(f.sense_key, f.asc, f.ascq); break;
            case FaultAction::kAtaError:
                if (ata_error) *ata_error = f.ata_error;
                break;
            case FaultAction::kGarble:
                // Answered as usual; the machine spoils the data on its way back.
                m.garble_pending = true;
                m.garble_mode = f.garble;
                m.garble_seed = f.seed * 2654435761u + static_cast<uint32_t>(n);
                return false;
            case FaultAction::kVanish:
                VanishNow(m, index);
                outcome->win32_error = kErrorDevNotExist;
                break;
        }
        return true;
    }
    return false;
}

void BeginOperation() {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    for (DriveState& d : m.drives)
        for (size_t i = 0; i < m.desc.faults.size(); ++i)
            if (m.desc.faults[i].from_operation) d.fault_counts[i] = 0;
}

int TunnelPhase(Attachment attachment, const uint8_t* cdb) {
    switch (attachment) {
        case Attachment::kAsmedia:
            if ((cdb[0] == 0xEA || cdb[0] == 0xEB) && cdb[1] == 0x5A && cdb[2] >= 0x80 && cdb[2] <= 0x82)
                return cdb[2] - 0x80 + 1;
            return 0;
        case Attachment::kJmicron:
            if (cdb[0] != 0xA1) return 0;
            if (cdb[1] == 0x80) return 1;
            if (cdb[1] >= 0x81 && cdb[1] <= 0x83) return 2;
            return cdb[1] == 0x8F ? 3 : 0;
        case Attachment::kRealtek:
            if ((cdb[0] == 0xE4 || cdb[0] == 0xE5) && cdb[3] >= 0xF7 && cdb[3] <= 0xF9) return cdb[3] - 0xF7 + 1;
            return 0;
        default: return 0;
    }
}

void Garble(uint8_t* data, size_t size, GarbleMode mode, uint32_t seed) {
    if (!data || !size) return;
    uint32_t x = seed ? seed : 1;
    auto next = [&x]() {  // xorshift: small, and the same everywhere
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    switch (mode) {
        case GarbleMode::kFlipBits:
            for (int i = 0; i < 8; ++i) data[next() % size] ^= static_cast<uint8_t>(1u << (next() % 8));
            break;
        case GarbleMode::kZeroBlock: {
            size_t blocks = (size + 511) / 512;
            size_t at = (next() % blocks) * 512;
            std::memset(data + at, 0, std::min<size_t>(512, size - at));
            break;
        }
        case GarbleMode::kWrongSignature:
            for (size_t i = 0; i < 4 && i < size; ++i) data[i] = static_cast<uint8_t>(~data[i]);
            break;
    }
}

bool HostOfDrive::TakeFault(FaultMatch match, uint32_t code, Outcome* outcome, uint8_t* ata_error) {
    sim::MachineLock lock(machine_->mutex);
    return TakeFaultFor(*machine_, drive_, match, code, outcome, ata_error);
}

void HostOfDrive::NoteSubOperation(uint32_t sub) {
    sim::MachineLock lock(machine_->mutex);
    machine_->current_sub = sub;
}

void HostOfDrive::Leave(bool power_cycle) {
    sim::MachineLock lock(machine_->mutex);
    DriveLeaves(*machine_, drive_, power_cycle);
}

uint64_t HostOfDrive::Now() { return VirtualNow(); }

// ---- what tests read ------------------------------------------------------------------

const std::vector<RequestRecord>& Requests() { return Machine().requests; }

void ClearRequests() {
    sim::MachineLock lock(Machine().mutex);
    Machine().requests.clear();
}

void KeepRequestPayloads(bool keep) {
    sim::MachineLock lock(Machine().mutex);
    Machine().keep_payloads = keep;
}

void SetRequestObserver(RequestObserver observer) {
    sim::MachineLock lock(Machine().mutex);
    Machine().request_observer = observer;
}

int OpenHandleCount() { return OpenObjectCount(); }

int OpenDeviceInfoSetCount() { return Machine().open_sets; }

bool DrivePresent(const std::string& name) { return DriveNumber(name) >= 0; }

int DriveNumber(const std::string& name) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    CatchUp(m);
    int i = FindDriveByName(m, name);
    return (i >= 0 && m.drives[i].present) ? m.drives[i].number : -1;
}

void TriggerActivation(const std::string& name) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    int i = FindDriveByName(m, name);
    if (i >= 0) DriveLeaves(m, i, false);
}

void TriggerPowerCycle(const std::string& name) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    int i = FindDriveByName(m, name);
    if (i >= 0) DriveLeaves(m, i, true);
}

bool UnplugDrive(const std::string& name) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    CatchUp(m);
    int i = FindDriveByName(m, name);
    if (i < 0) return false;
    DriveState& d = m.drives[i];
    if (d.present) ++d.generation;
    d.present = false;
    d.returning = false;  // a pulled drive does not come back on its own
    return true;
}

bool PlugDrive(const std::string& name) {
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    CatchUp(m);
    int i = FindDriveByName(m, name);
    if (i < 0) return false;
    DriveState& d = m.drives[i];
    if (d.present) return true;
    d.present = true;
    d.returning = false;
    if (d.model) d.model->PowerOn();
    return true;
}

}  // namespace sim
