// Putting a machine file together from a trace's device tree and drives.
#include "tools/quillon-tool/trace_machine.h"

#include <cstdio>

#include "tools/quillon-tool/trace_devices.h"
#include "tools/quillon-tool/trace_drives.h"

namespace {

constexpr int64_t kSpdrpService = 0x04;
constexpr int64_t kSpdrpLocation = 0x0D;

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}
std::string HexBytes(const std::string& b) {
    std::string out;
    char two[3];
    for (unsigned char c : b) {
        std::snprintf(two, sizeof two, "%02X", c);
        out += two;
    }
    return out;
}
uint32_t Le16(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}
uint32_t Le32(const std::string& b, size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }
std::string Ascii(const std::string& b, size_t at, size_t n) {
    std::string s = b.substr(at, n);
    s = s.substr(0, s.find('\0'));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}
std::string Lower(std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return s;
}

// The attachment the simulator models for what the trace shows: the bus
// type of the device descriptor, the identity that answered, the tunnel used.
std::string AttachmentOf(const TraceDrive& d, const std::string& bridge_id) {
    switch (d.bus_type) {
        case 17: return "native";
        case 8: return "rst";
        case 11: return "sata_port";
        case 1: case 9: case 10: return "scsi_adapter";
        case 7:
            if (!d.bridge.empty()) return d.bridge;
            if (d.ata) return "usb_sata";
            {
                const std::string id = Lower(bridge_id);
                if (id.find("vid_174c") != std::string::npos) return "asmedia";
                if (id.find("vid_0bda") != std::string::npos) return "realtek";
            }
            return d.nvme ? "jmicron" : "usb_sata";
        default:
            if (d.nvme) return "native";
            if (d.ata) return "sata_port";
            return std::string();
    }
}
bool IsUsb(const std::string& a) { return a == "asmedia" || a == "jmicron" || a == "realtek" || a == "usb_sata"; }
uint32_t UsualBusType(const std::string& a) {
    if (a == "native") return 17;
    if (a == "rst") return 8;
    if (a == "sata_port") return 11;
    if (a == "scsi_adapter") return 1;
    return 7;
}

TraceRecord VendorOf(const TraceDrive& d) {
    TraceRecord v = TraceRecord::object();
    if (d.drvinfo.empty() && d.mp.empty()) {
        v["family"] = false;
        v["drive_info"] = "none";
        v["soc_id"] = 0;
        return v;
    }
    const bool second_set = d.drvinfo_from == DrvInfoFrom::kLogPage || d.drvinfo_from == DrvInfoFrom::kSecondSetCommand;
    if (d.nvme) v["command_set"] = second_set ? 1 : 0;
    v["drive_info"] = d.drvinfo_from == DrvInfoFrom::kLogPage ? "log_page"
                      : d.drvinfo_from == DrvInfoFrom::kNone  ? "none"
                                                              : "vendor_command";
    if (!d.drvinfo.empty()) {
        v["soc_id"] = Hex(Le16(d.drvinfo, 2), 4);
        v["nand_id"] = HexBytes(d.drvinfo.substr(16, 6));
        v["internal_version"] = Ascii(d.drvinfo, 32, 8);
        v["ftl_build"] = Hex(Le32(d.drvinfo, 72), 8);
    }
    if (!d.mp.empty()) {
        TraceRecord g = TraceRecord::object();
        g["pages_per_block"] = Le16(d.mp, 288);
        g["channels"] = static_cast<unsigned char>(d.mp[295]);
        g["chip_enables"] = static_cast<unsigned char>(d.mp[296]);
        g["luns"] = static_cast<unsigned char>(d.mp[297]);
        g["planes"] = static_cast<unsigned char>(d.mp[298]);
        v["geometry"] = g;
        const uint32_t marker = Le16(d.mp, 280);
        if (marker != 0) v["mp_marker"] = marker;
        if (marker == 1768) {
            v["mp_soc_id"] = Hex(Le16(d.mp, 1582), 4);
            v["mp_version"] = Ascii(d.mp, 1606, 10);
        }
    }
    if (!d.config.empty()) v["config_block"] = HexBytes(d.config);
    return v;
}

// The disk's instance ID: asked of the configuration manager, or read back
// from its interface path ("\\?\" + the ID with "#" for "\" + "#{class}").
std::string DiskIdOf(const TraceDevices& devices, int64_t disk, const std::string& interface_path) {
    if (devices.id.count(disk)) return devices.id.at(disk);
    if (interface_path.size() < 5 || interface_path.compare(0, 4, "\\\\?\\") != 0) return std::string();
    std::string id = interface_path.substr(4, interface_path.rfind('#') - 4);
    for (char& c : id) c = c == '#' ? '\\' : c;
    return id;
}

}  // namespace

TraceRecord TraceToMachine(const std::vector<TraceRecord>& records, std::vector<std::string>* notes) {
    TraceDevices devices;
    ReadTraceDevices(records, &devices);
    std::vector<TraceDrive> drives;
    std::vector<TraceVolume> volumes;
    ReadTraceDrives(records, &drives, &volumes);

    TraceRecord machine = TraceRecord::object();
    machine["comment"] = "Made by quillon-tool trace machine from a field trace.";
    TraceRecord controllers = TraceRecord::array();
    for (int64_t hc : devices.host_controllers) {
        TraceRecord c = TraceRecord::object();
        c["id"] = devices.id.count(hc) ? devices.id.at(hc) : std::string();
        int64_t bus = 0;
        BusNumber(devices, hc, &bus);
        c["bus"] = bus;
        controllers.push_back(c);
    }
    TraceRecord hubs = TraceRecord::array();
    std::vector<std::string> hub_ids;
    auto add_hub = [&](int64_t hub, bool listed) {
        const std::string id = devices.id.count(hub) ? devices.id.at(hub) : std::string();
        for (const std::string& known : hub_ids)
            if (known == id) return;
        hub_ids.push_back(id);
        TraceRecord h = TraceRecord::object();
        h["id"] = id;
        h["parent"] = ParentId(devices, hub);
        const std::string location = RegistryText(devices, hub, kSpdrpLocation);
        if (!location.empty()) h["location"] = location;
        if (!listed) h["listed"] = false;
        if (ParentId(devices, hub).empty()) notes->push_back("hub " + id + ": its parent is not in the trace");
        hubs.push_back(h);
    };
    for (int64_t hub : devices.hubs) add_hub(hub, true);

    TraceRecord list = TraceRecord::array();
    std::vector<std::pair<int, std::string>> names;
    std::vector<std::string> serials;
    for (const TraceDrive& d : drives) {
        const std::string name = "disk" + std::to_string(d.number);
        if (!d.serial.empty()) {
            bool again = false;
            for (size_t i = 0; i < serials.size(); ++i) again = again || serials[i] == d.serial;
            if (again) {
                notes->push_back("drive " + std::to_string(d.number) +
                                 ": the serial of a drive listed before (back under another number after a reset); left out");
                continue;
            }
            serials.push_back(d.serial);
        }
        int64_t disk = 0;
        auto it = devices.interface_devinst.find(Lower(d.interface_path));
        if (it != devices.interface_devinst.end()) disk = it->second;
        const int64_t parent = devices.parent.count(disk) ? devices.parent.at(disk) : 0;
        const std::string parent_id = devices.id.count(parent) ? devices.id.at(parent) : std::string();
        const std::string attachment = AttachmentOf(d, parent_id);
        if (attachment.empty()) {
            notes->push_back("drive " + std::to_string(d.number) + ": bus type " + std::to_string(d.bus_type) +
                             " and no identity; left out");
            continue;
        }
        const int64_t hub_of_bridge = devices.parent.count(parent) ? devices.parent.at(parent) : 0;
        if (IsUsb(attachment) && ParentId(devices, parent).empty()) {
            // The tool never walked the USB tree to this drive (a package
            // for other drives): there is no hub to plug it into.
            notes->push_back("drive " + std::to_string(d.number) +
                             ": a USB drive whose hub is not in the trace; left out");
            continue;
        }
        names.emplace_back(d.number, name);
        TraceRecord j = TraceRecord::object();
        j["name"] = name;
        j["number"] = d.number;
        j["attachment"] = attachment;
        if (d.bus_type != 0 && d.bus_type != UsualBusType(attachment)) j["bus_type"] = d.bus_type;
        if (!d.model.empty()) j["model"] = d.model;
        if (!d.serial.empty()) j["serial"] = d.serial;
        if (!d.firmware.empty()) j["firmware"] = d.firmware;
        if (d.blocks != 0) j["blocks"] = d.blocks;
        if (d.sector_size != 0) j["sector_size"] = d.sector_size;
        if (d.nvme) {
            j["pci_vendor"] = Hex(d.pci_vendor, 4);
            j["pci_subsystem_vendor"] = Hex(d.pci_subsystem_vendor, 4);
        }
        if (d.ata && d.sata_link_gen > 0) j["sata_link_gen"] = d.sata_link_gen;
        if (d.has_inquiry && IsUsb(attachment)) {
            TraceRecord q = TraceRecord::object();
            q["vendor"] = d.inquiry_vendor;
            q["product"] = d.inquiry_product;
            q["tag"] = Hex(static_cast<uint32_t>(d.inquiry_tag), 4);
            j["inquiry"] = q;
        }
        if (d.nvme || d.ata) j["vendor"] = VendorOf(d);
        if (d.nvme && d.slot_count > 0 && d.slots.size() >= 8 + 8u * d.slot_count) {
            TraceRecord slots = TraceRecord::object();
            slots["count"] = d.slot_count;
            slots["active"] = static_cast<unsigned char>(d.slots[0]) & 7;
            TraceRecord revisions = TraceRecord::array();
            for (int s = 0; s < d.slot_count; ++s) revisions.push_back(Ascii(d.slots, 8 + 8 * static_cast<size_t>(s), 8));
            slots["revisions"] = revisions;
            j["firmware_slots"] = slots;
        }
        const std::string disk_id = DiskIdOf(devices, disk, d.interface_path);
        if (!disk_id.empty()) j["disk_id"] = disk_id;
        const std::string service = RegistryText(devices, parent, kSpdrpService);
        if (IsUsb(attachment)) {
            TraceRecord u = TraceRecord::object();
            add_hub(hub_of_bridge, false);
            u["hub"] = ParentId(devices, parent);
            const std::string location = RegistryText(devices, parent, kSpdrpLocation);
            if (!location.empty()) u["location"] = location;
            if (!parent_id.empty()) u["device_id"] = parent_id;
            if (!service.empty()) u["service"] = service;
            j["usb"] = u;
        } else {
            if (!service.empty()) j["parent_service"] = service;
            TraceRecord p = TraceRecord::object();
            if (!parent_id.empty()) p["controller_id"] = parent_id;
            int64_t bus = 0;
            if (parent != 0 && BusNumber(devices, parent, &bus)) p["controller_bus"] = bus;
            const int64_t bridge = devices.parent.count(parent) ? devices.parent.at(parent) : 0;
            if (bridge != 0 && devices.id.count(bridge)) p["bridge_id"] = devices.id.at(bridge);
            if (bridge != 0 && BusNumber(devices, bridge, &bus)) p["bridge_bus"] = bus;
            int64_t link[4];
            bool has_link = parent != 0;
            for (int k = 0; k < 4 && has_link; ++k) has_link = PciDeviceProperty(devices, parent, 9 + k, &link[k]);
            if (has_link) p["link"] = {{"speed", link[0]}, {"width", link[1]}, {"max_speed", link[2]}, {"max_width", link[3]}};
            if (!p.empty()) j["pci"] = p;
        }
        if (d.has_scsi) j["scsi"] = {{"port", d.port}, {"path", d.path_id}, {"target", d.target}, {"lun", d.lun}};
        list.push_back(j);
    }
    machine["host_controllers"] = controllers;
    machine["hubs"] = hubs;
    machine["drives"] = list;
    TraceRecord vols = TraceRecord::array();
    for (const TraceVolume& v : volumes) {
        std::string drive;
        for (const auto& n : names)
            if (n.first == v.number) drive = n.second;
        if (drive.empty()) continue;
        TraceRecord j = TraceRecord::object();
        j["letter"] = std::string(1, v.letter);
        j["drive"] = drive;
        if (v.partition > 0) j["partition"] = v.partition;
        vols.push_back(j);
    }
    machine["volumes"] = vols;
    return machine;
}
