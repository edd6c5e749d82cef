// Machine descriptions: the default machine, and mistakes reported with
// their line.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace {

std::string ParseError(const std::string& text) {
    sim::MachineDesc machine;
    std::string error;
    EXPECT_FALSE(sim::ParseMachineJson(text, "m.json", &machine, &error)) << text;
    return error;
}

const char* kGood = R"({
  "host_controllers": [ { "id": "PCI\\HC\\1", "bus": 0 } ],
  "hubs": [ { "id": "USB\\ROOT_HUB30\\1", "parent": "PCI\\HC\\1" } ],
  "drives": [
    { "name": "a", "number": 0, "attachment": "native", "model": "VELQORAX VX500 512GB",
      "firmware_slots": { "count": 3, "active": 2, "revisions": ["OLD00001", ""] },
      "pci": { "controller_bus": 3, "bridge_bus": 0 } },
    { "name": "b", "number": 1, "attachment": "jmicron",
      "usb": { "hub": "USB\\ROOT_HUB30\\1", "location": "Port_#0004.Hub_#0001" },
      "on_power_cycle": { "gone_seconds": 2.5, "returns_as": 7 } }
  ],
  "volumes": [ { "letter": "C", "drive": "a" } ],
  "faults": [ { "drive": "b", "cdb": "0xA1", "nth": 3, "every": true, "fail": "check_condition", "sense": [5, "0x24", 0] } ]
})";

TEST(SimJson, ReadsEveryPartOfAMachine) {
    sim::MachineDesc m;
    std::string error;
    ASSERT_TRUE(sim::ParseMachineJson(kGood, "m.json", &m, &error)) << error;
    ASSERT_EQ(2u, m.drives.size());
    EXPECT_EQ(sim::Attachment::kNativeNvme, m.drives[0].attachment);
    EXPECT_EQ(3, m.drives[0].pci.controller_bus);
    EXPECT_EQ(3, m.drives[0].firmware_slots.count);
    EXPECT_EQ(2, m.drives[0].firmware_slots.active);
    EXPECT_EQ((std::vector<std::string>{"OLD00001", ""}), m.drives[0].firmware_slots.revisions);
    EXPECT_EQ(1, m.drives[1].firmware_slots.count);
    EXPECT_EQ(sim::Attachment::kJmicron, m.drives[1].attachment);
    EXPECT_EQ("Port_#0004.Hub_#0001", m.drives[1].usb.location);
    EXPECT_TRUE(m.drives[1].on_power_cycle.leaves);
    EXPECT_DOUBLE_EQ(2.5, m.drives[1].on_power_cycle.gone_seconds);
    EXPECT_EQ(7, m.drives[1].on_power_cycle.return_number);
    ASSERT_EQ(1u, m.faults.size());
    EXPECT_EQ(sim::FaultMatch::kCdb, m.faults[0].match);
    EXPECT_EQ(0xA1u, m.faults[0].code);
    EXPECT_EQ(3, m.faults[0].nth);
    EXPECT_TRUE(m.faults[0].every);
    EXPECT_EQ(sim::FaultAction::kCheckCondition, m.faults[0].action);
    EXPECT_EQ(0x24, m.faults[0].asc);
    ASSERT_EQ(1u, m.volumes.size());
    EXPECT_EQ('C', m.volumes[0].letter);
}

TEST(SimJson, MistakesNameTheirLine) {
    EXPECT_EQ("m.json:3: syntax error while parsing object key - unexpected '}'; expected string literal",
              ParseError("{\n  \"drives\": [ {\"number\": 0,\n }]}"));
    EXPECT_EQ("m.json:4: unknown key \"modle\" (known here: name, number, kind, attachment, bus_type, present, model, "
              "serial, firmware, blocks, sector_size, pci_vendor, pci_subsystem_vendor, sata_link_gen, inquiry, "
              "activation_applies, vendor, parent_service, disk_id, usb, pci, scsi, on_activate, on_power_cycle, "
              "firmware_slots, leave_after, ata_status, leaves_on_commit)",
              ParseError("{\n \"drives\": [\n  { \"number\": 0, \"attachment\": \"native\",\n    \"modle\": \"x\" } ]\n}"));
    EXPECT_EQ("m.json:3: \"attachment\" must be one of native, rst, asmedia, jmicron, realtek, sata_port, usb_sata, "
              "scsi_adapter",
              ParseError("{ \"drives\": [ { \"number\": 0,\n\n \"attachment\": \"asm\" } ] }"));
    EXPECT_EQ("m.json:2: \"nand_id\" must hold 6 bytes (12 hexadecimal digits), not 10 digits",
              ParseError("{ \"drives\": [ { \"number\": 0, \"attachment\": \"native\", \"vendor\":\n"
                         "{ \"nand_id\": \"89C40832A6\" } } ] }"));
    EXPECT_EQ("m.json:1: \"number\" is 300, outside 0 to 255",
              ParseError("{ \"drives\": [ { \"number\": 300, \"attachment\": \"native\" } ] }"));
    EXPECT_EQ("m.json:2: a USB drive needs \"usb\": {\"hub\": ...} naming the hub it is plugged into",
              ParseError("{ \"drives\": [\n { \"number\": 1, \"attachment\": \"asmedia\" } ] }"));
    // What only the whole machine tells: two drives with one number.
    EXPECT_EQ("m.json:2: two drives have the physical drive number 0",
              ParseError("{\n \"drives\": [ { \"number\": 0, \"attachment\": \"native\" },\n"
                         " { \"name\": \"x\", \"number\": 0, \"attachment\": \"native\" } ] }"));
    EXPECT_EQ("m.json:1: \"active\" names a slot beyond \"count\"",
              ParseError("{ \"drives\": [ { \"number\": 0, \"attachment\": \"native\", "
                         "\"firmware_slots\": { \"count\": 2, \"active\": 3 } } ] }"));
    EXPECT_EQ("m.json:1: \"revisions\" must be a list of at most \"count\" texts",
              ParseError("{ \"drives\": [ { \"number\": 0, \"attachment\": \"native\", "
                         "\"firmware_slots\": { \"revisions\": [\"A\", \"B\"] } } ] }"));
    EXPECT_EQ("m.json:1: a fault names no drive \"zz\"",
              ParseError("{ \"faults\": [ { \"drive\": \"zz\", \"ioctl\": 1 } ] }"));
    EXPECT_EQ("m.json:1: a fault needs exactly one of \"ioctl\", \"cdb\", \"nvme\", \"ata\"",
              ParseError("{ \"faults\": [ { \"drive\": \"zz\", \"ioctl\": 1, \"cdb\": 2 } ] }"));
    EXPECT_EQ("m.json:1: expected an object {...}", ParseError("[1, 2]"));
    EXPECT_EQ("m.json:1: syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal",
              ParseError(""));
}

TEST(SimJson, MissingFileIsReportedNotFatal) {
    sim::MachineDesc m;
    std::string error;
    EXPECT_FALSE(sim::LoadMachineFile("/nonexistent/machine.json", &m, &error));
    EXPECT_EQ("/nonexistent/machine.json: cannot be read", error);
    EXPECT_FALSE(sim::StartMachine("/nonexistent/machine.json", &error));
}

TEST(SimJson, DefaultMachineFileAndEmbeddedTextAreTheSame) {
    std::ifstream file(std::string(QN_SOURCE_ROOT) + "/platform/sim/machines/default.json", std::ios::binary);
    ASSERT_TRUE(file.good());
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), sim::DefaultMachineJson());
}

TEST(SimJson, DefaultMachineFitsTheDefaultPackage) {
    std::string error;
    ASSERT_TRUE(sim::StartMachine("", &error)) << error;
    sim::MachineDesc m = sim::DefaultMachine();
    ASSERT_EQ(5u, m.drives.size());
    const sim::DriveDesc& d0 = m.drives[0];
    EXPECT_EQ(sim::Attachment::kNativeNvme, d0.attachment);
    EXPECT_EQ("VELQORAX VX500 512GB", d0.model);
    EXPECT_EQ("VX5A0100", d0.firmware);
    EXPECT_EQ(0x5236, d0.vendor.soc_id);
    const uint8_t nand0[6] = {0x89, 0xC4, 0x08, 0x32, 0xA6, 0x00};
    EXPECT_EQ(0, memcmp(nand0, d0.vendor.nand_id, 6));
    EXPECT_EQ(1, d0.vendor.luns);
    EXPECT_EQ("1A2B3C4D", d0.vendor.internal_version);
    EXPECT_EQ(0x00012345u, d0.vendor.ftl_build);
    const sim::DriveDesc& d1 = m.drives[1];
    EXPECT_EQ(sim::Attachment::kAsmedia, d1.attachment);
    EXPECT_EQ("VELQORAX VX500 1TB", d1.model);
    const uint8_t nand1[6] = {0x2C, 0xC3, 0x08, 0x32, 0xEA, 0x30};
    EXPECT_EQ(0, memcmp(nand1, d1.vendor.nand_id, 6));
    EXPECT_EQ(2, d1.vendor.luns);
    EXPECT_EQ("GENERIC NVME 256GB", m.drives[2].model);
    EXPECT_EQ("G1.0", m.drives[2].firmware);
    EXPECT_EQ(0, m.drives[2].vendor.soc_id);
    EXPECT_EQ(sim::Attachment::kRst, m.drives[3].attachment);
    EXPECT_EQ(sim::DriveKind::kSata, m.drives[4].kind);
    EXPECT_EQ(0, sim::DriveNumber("vx500-512"));
    EXPECT_EQ(4, sim::DriveNumber("vs300-sata"));
    sim::ResetMachine();
}

}  // namespace
