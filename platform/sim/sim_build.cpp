// Building machines in C++: drives with the defaults of their attachment,
// host controllers, hubs, volumes and faults.
#include <cstdio>

#include "platform/sim/sim_machine.h"

namespace sim {

std::string LocationText(int port, int hub_number) {
    char text[48];
    std::snprintf(text, sizeof text, "Port_#%04d.Hub_#%04d", port, hub_number);
    return text;
}

HostControllerDesc& AddHostController(MachineDesc& machine, const std::string& id, int bus) {
    machine.host_controllers.push_back(HostControllerDesc{id, bus});
    return machine.host_controllers.back();
}

HubDesc& AddRootHub(MachineDesc& machine, const std::string& id, size_t host_controller) {
    HubDesc hub;
    hub.id = id;
    hub.parent_id = host_controller < machine.host_controllers.size() ? machine.host_controllers[host_controller].id : "";
    machine.hubs.push_back(hub);
    return machine.hubs.back();
}

HubDesc& AddHub(MachineDesc& machine, const std::string& id, const std::string& parent_id, int port, int hub_number) {
    HubDesc hub;
    hub.id = id;
    hub.parent_id = parent_id;
    hub.location = LocationText(port, hub_number);
    machine.hubs.push_back(hub);
    return machine.hubs.back();
}

void PlugUsb(DriveDesc& drive, const std::string& hub_id, int port, int hub_number) {
    drive.usb.hub_id = hub_id;
    drive.usb.location = LocationText(port, hub_number);
}

static bool UsbAttached(Attachment a) {
    return a == Attachment::kAsmedia || a == Attachment::kJmicron || a == Attachment::kRealtek ||
           a == Attachment::kUsbSata;
}

// USB drives built without a hub go on a root hub of the first host controller.
static void DefaultUsbPlace(MachineDesc& machine, DriveDesc& drive) {
    if (machine.host_controllers.empty())
        AddHostController(machine, "PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A0", 0);
    std::string root;
    for (const HubDesc& hub : machine.hubs)
        if (hub.parent_id == machine.host_controllers[0].id) root = hub.id;
    if (root.empty()) root = AddRootHub(machine, "USB\\ROOT_HUB30\\4&2F5B4E6&0&0", 0).id;
    PlugUsb(drive, root, drive.number + 1, 1);
}

static DriveDesc& AddDrive(MachineDesc& machine, int number, Attachment attachment, DriveKind kind) {
    machine.drives.emplace_back();
    DriveDesc& d = machine.drives.back();
    d.name = "disk" + std::to_string(number);
    d.number = number;
    d.kind = kind;
    d.attachment = attachment;
    d.serial = "SIM" + std::to_string(1000 + number);
    // Every drive gets its own controller on its own bus unless told otherwise.
    d.pci.controller_bus = number + 1;
    d.pci.bridge_bus = 0;
    if (UsbAttached(attachment)) DefaultUsbPlace(machine, d);
    return d;
}

DriveDesc& AddNvmeDrive(MachineDesc& machine, int number, Attachment attachment) {
    DriveDesc& d = AddDrive(machine, number, attachment, DriveKind::kNvme);
    d.model = "VELQORAX VX500 512GB";
    d.firmware = "VX5A0100";
    d.blocks = 1000215216;
    d.pci_vendor = 0x1E7C;
    d.pci_subsystem_vendor = 0x1E7C;
    VendorDesc& v = d.vendor;
    v.command_set = 1;
    v.drvinfo = DrvInfoSource::kLogPage;
    v.soc_id = 0x5236;
    const uint8_t nand[6] = {0x89, 0xC4, 0x08, 0x32, 0xA6, 0x00};
    for (int i = 0; i < 6; ++i) v.nand_id[i] = nand[i];
    v.internal_version = "1A2B3C4D";
    v.ftl_build = 0x00012345;
    v.pages_per_block = 1152;
    v.channels = 4;
    v.chip_enables = 2;
    v.luns = 1;
    v.planes = 4;
    v.config_version = d.firmware;
    if (attachment == Attachment::kAsmedia || attachment == Attachment::kJmicron) {
        d.on_power_cycle.leaves = true;
        d.on_power_cycle.gone_seconds = 4;
    } else if (attachment == Attachment::kNativeNvme || attachment == Attachment::kRst) {
        d.on_activate.leaves = true;
        d.on_activate.gone_seconds = 2;
    }
    return d;
}

DriveDesc& AddSataDrive(MachineDesc& machine, int number, Attachment attachment) {
    DriveDesc& d = AddDrive(machine, number, attachment, DriveKind::kSata);
    d.model = "VELQORAX VS300 256GB";
    d.firmware = "VS3A0100";
    d.blocks = 500118192;
    VendorDesc& v = d.vendor;
    v.drvinfo = DrvInfoSource::kVendorCommand;
    v.soc_id = 0x3233;
    const uint8_t nand[6] = {0x45, 0x3C, 0x98, 0xB3, 0x76, 0x72};
    for (int i = 0; i < 6; ++i) v.nand_id[i] = nand[i];
    v.internal_version = "5E6F7A8B";
    v.ftl_build = 0x00002233;
    v.pages_per_block = 768;
    v.channels = 2;
    v.chip_enables = 2;
    v.luns = 1;
    v.planes = 2;
    v.mp_marker = 4096;
    v.config_version = d.firmware;
    d.on_activate.leaves = true;
    d.on_activate.gone_seconds = 3;
    if (attachment == Attachment::kSataPort) d.scsi.path = number;
    return d;
}

void AddVolume(MachineDesc& machine, char letter, const std::string& drive) {
    VolumeDesc v;
    v.letter = letter;
    v.drive = drive;
    machine.volumes.push_back(v);
}

FaultDesc& AddFault(MachineDesc& machine, const std::string& drive, FaultMatch match, uint32_t code, int nth) {
    FaultDesc f;
    f.drive = drive;
    f.match = match;
    f.code = code;
    f.nth = nth;
    machine.faults.push_back(f);
    return machine.faults.back();
}

}  // namespace sim
