// The machine quillon-sim and the demo start with. The same text is
// platform/sim/machines/default.json (a test keeps the two equal); it fits
// the default firmware package (res/package/README.md).
#include "platform/sim/sim_machine.h"

namespace sim {

const char* DefaultMachineJson() {
    return R"JSON({
  "comment": "The machine quillon-sim and the demo start with. It fits the default package (res/package/README.md).",
  "host_controllers": [
    { "id": "PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A0", "bus": 0 }
  ],
  "hubs": [
    { "id": "USB\\ROOT_HUB30\\4&2F5B4E6&0&0", "parent": "PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A0" },
    { "id": "USB\\VID_05E3&PID_0626\\5&1C3A9E2&0&2", "parent": "USB\\ROOT_HUB30\\4&2F5B4E6&0&0", "location": "Port_#0002.Hub_#0001" }
  ],
  "drives": [
    {
      "name": "vx500-512", "number": 0, "attachment": "native",
      "model": "VELQORAX VX500 512GB", "serial": "VQ5120000A1B2C3D", "firmware": "VX5A0100",
      "blocks": 1000215216, "sector_size": 512, "pci_vendor": "0x1E7C", "pci_subsystem_vendor": "0x1E7C",
      "vendor": {
        "command_set": 1, "drive_info": "log_page", "soc_id": "0x5236", "nand_id": "89C40832A600",
        "internal_version": "1A2B3C4D", "ftl_build": "0x00012345",
        "geometry": { "pages_per_block": 1152, "channels": 4, "chip_enables": 2, "luns": 1, "planes": 4 },
        "config_version": "VX5A0100"
      },
      "pci": { "controller_bus": 3, "bridge_bus": 0, "link": { "speed": 3, "width": 4, "max_speed": 4, "max_width": 4 } },
      "on_activate": { "gone_seconds": 2 }
    },
    {
      "name": "vx500-1t", "number": 1, "attachment": "asmedia",
      "model": "VELQORAX VX500 1TB", "serial": "VQ1T00009F8E7D6C", "firmware": "VX5A0100",
      "blocks": 2000409264, "sector_size": 512, "pci_vendor": "0x1E7C", "pci_subsystem_vendor": "0x1E7C",
      "inquiry": { "vendor": "ASMT", "product": "2362" },
      "vendor": {
        "command_set": 0, "drive_info": "vendor_command", "soc_id": "0x5236", "nand_id": "2CC30832EA30",
        "internal_version": "1A2B3C4D", "ftl_build": "0x00012345",
        "geometry": { "pages_per_block": 2304, "channels": 4, "chip_enables": 4, "luns": 2, "planes": 4 },
        "config_version": "VX5A0100"
      },
      "usb": { "hub": "USB\\VID_05E3&PID_0626\\5&1C3A9E2&0&2", "location": "Port_#0003.Hub_#0002" },
      "on_power_cycle": { "gone_seconds": 4, "returns_as": 5 }
    },
    {
      "name": "generic-256", "number": 2, "attachment": "native",
      "model": "GENERIC NVME 256GB", "serial": "GN256000000000042", "firmware": "G1.0",
      "blocks": 500118192, "sector_size": 512, "pci_vendor": "0x1D0F", "pci_subsystem_vendor": "0x1D0F",
      "vendor": { "family": false, "drive_info": "none", "soc_id": 0 },
      "pci": { "controller_bus": 4, "bridge_bus": 0 }
    },
    {
      "name": "vx500-rst", "number": 3, "attachment": "rst",
      "model": "VELQORAX VX500 512GB", "serial": "VQ5120000F0E1D2C", "firmware": "VX5A0100",
      "blocks": 1000215216, "sector_size": 512, "pci_vendor": "0x1E7C", "pci_subsystem_vendor": "0x1E7C",
      "vendor": {
        "command_set": 1, "drive_info": "log_page", "soc_id": "0x5236", "nand_id": "89C40832A600",
        "internal_version": "1A2B3C4D", "ftl_build": "0x00012345",
        "geometry": { "pages_per_block": 1152, "channels": 4, "chip_enables": 2, "luns": 1, "planes": 4 },
        "config_version": "VX5A0100"
      },
      "pci": { "controller_bus": 0, "bridge_bus": 0,
               "controller_id": "PCI\\VEN_8086&DEV_282A&SUBSYS_00000000&REV_10\\3&11583659&0&B8" },
      "scsi": { "port": 3, "path": 1 },
      "on_activate": { "gone_seconds": 2 }
    },
    {
      "name": "vs300-sata", "number": 4, "attachment": "sata_port",
      "model": "VELQORAX VS300 256GB", "serial": "VS2560000055AA77", "firmware": "VS3A0100",
      "blocks": 500118192, "sata_link_gen": 3,
      "vendor": {
        "drive_info": "vendor_command", "soc_id": "0x3233", "nand_id": "453C98B37672",
        "internal_version": "5E6F7A8B", "ftl_build": "0x00002233",
        "geometry": { "pages_per_block": 768, "channels": 2, "chip_enables": 2, "luns": 1, "planes": 2 },
        "mp_marker": 4096, "config_version": "VS3A0100"
      },
      "pci": { "controller_bus": 0, "bridge_bus": 0,
               "controller_id": "PCI\\VEN_8086&DEV_A352&SUBSYS_00000000&REV_10\\3&11583659&0&B9" },
      "scsi": { "port": 4, "path": 2 },
      "on_activate": { "gone_seconds": 3 }
    }
  ],
  "volumes": [
    { "letter": "C", "drive": "vx500-512" },
    { "letter": "D", "drive": "vx500-1t" },
    { "letter": "E", "drive": "generic-256" }
  ]
}
)JSON";
}

MachineDesc DefaultMachine() {
    MachineDesc machine;
    ParseMachineJson(DefaultMachineJson(), "default.json", &machine, nullptr);
    return machine;
}

}  // namespace sim
