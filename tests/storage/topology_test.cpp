// Port identities and finding disks again, on simulated machines. Every
// test ends with no simulator handle and no device information set open.
#include "storage/topology.h"

#include <gtest/gtest.h>

#include <string>

#include "core/app_state.h"
#include "core/disk_info.h"
#include "platform/host/host_control.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"
#include "tests/storage/sim_machine_test.h"

namespace {

using sim::Attachment;

const char* kHc1 = "PCI\\VEN_8086&DEV_A36D\\3&11583659&0&A0";
const char* kHc2 = "PCI\\VEN_8086&DEV_15E9\\4&22222222&0&00";
const char* kRoot1 = "USB\\ROOT_HUB30\\4&1111&0&0";
const char* kRoot2 = "USB\\ROOT_HUB30\\5&2222&0&0";
const char* kHub = "USB\\VID_05E3&PID_0610\\6&3333&0&2";

class Topology : public SimMachineTest {
protected:
    // Two host controllers, each with a root hub; a hub on root port 2 of the first.
    sim::MachineDesc UsbTree() {
        sim::MachineDesc m;
        sim::AddHostController(m, kHc1, 0);
        sim::AddHostController(m, kHc2, 0);
        sim::AddRootHub(m, kRoot1, 0);
        sim::AddRootHub(m, kRoot2, 1);
        sim::AddHub(m, kHub, kRoot1, 2, 1);
        return m;
    }
    static int NumberOf(HANDLE disk) {
        StorageDeviceNumber number = {};
        DWORD returned = 0;
        if (!os::DeviceIoControl(disk, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &returned))
            return -1;
        return static_cast<int>(number.DeviceNumber);
    }
    // The physical drive number of the disk found, its handle closed again.
    static int Found(int32_t cmd, uint32_t bus, int64_t port) {
        HANDLE disk = GetPortDeviceHandle(cmd, bus, port);
        if (disk == INVALID_HANDLE_VALUE) return -1;
        int number = NumberOf(disk);
        os::CloseHandle(disk);
        return number;
    }
};

TEST_F(Topology, UsbPortPathsReadHostControllerFirstAndTheDrivePortLast) {
    sim::MachineDesc m = UsbTree();
    sim::PlugUsb(sim::AddNvmeDrive(m, 1, Attachment::kAsmedia), kRoot1, 5, 1);  // root port 5, first controller
    sim::PlugUsb(sim::AddNvmeDrive(m, 2, Attachment::kJmicron), kHub, 3, 2);    // port 3 of the hub on root port 2
    sim::PlugUsb(sim::AddNvmeDrive(m, 3, Attachment::kRealtek), kRoot2, 7, 2);  // root port 7, second controller
    Install(m);
    EXPECT_EQ(105, GetDiskPortID(kBusUsb, 1));
    EXPECT_EQ(10203, GetDiskPortID(kBusUsb, 2));
    EXPECT_EQ(207, GetDiskPortID(kBusUsb, 3));
    EXPECT_EQ(2, Found(kCmdJmicron, kBusUsb, 10203));
    EXPECT_EQ(1, Found(kCmdAsmedia, kBusUsb, 105));
    EXPECT_EQ(3, Found(kCmdRealtek, kBusUsb, 207));
    EXPECT_EQ(-1, Found(kCmdAsmedia, kBusUsb, 10205));
}

TEST_F(Topology, ReversePortPathSwapsDigitPairs) {
    EXPECT_EQ(20001u, ReversePortPath(10002));
    EXPECT_EQ(42u, ReversePortPath(42));
    EXPECT_EQ(0u, ReversePortPath(0));
    EXPECT_EQ(10203u, ReversePortPath(30201));
    EXPECT_EQ(99u, ReversePortPath(99));
    EXPECT_EQ(1u, ReversePortPath(100));  // a trailing zero pair leads and vanishes
}

TEST_F(Topology, ParentHubMissingFromTheHubSetLeavesThePortAlone) {
    sim::MachineDesc m = UsbTree();
    m.hubs[2].listed = false;  // present in the tree, but not among the hubs
    sim::PlugUsb(sim::AddNvmeDrive(m, 1, Attachment::kAsmedia), kHub, 3, 2);
    Install(m);
    EXPECT_EQ(3, GetDiskPortID(kBusUsb, 1));
}

TEST_F(Topology, RootHubIsRecognisedByCharactersFiveToTwelveOnly) {
    sim::MachineDesc m;
    sim::AddHostController(m, kHc1, 0);
    sim::AddHostController(m, kHc2, 0);
    // "ROOT_HUB" followed by anything still marks a root hub.
    sim::AddRootHub(m, "USB\\ROOT_HUBXYZ\\9&1&0", 1);
    // An ordinary hub whose ID merely contains ROOT_HUB elsewhere, on port 4 of
    // that root hub: its location counts, and the walk goes on upwards.
    sim::AddHub(m, "USB\\VID_ROOT_HUB&PID_0001\\7&1", "USB\\ROOT_HUBXYZ\\9&1&0", 4, 1);
    sim::PlugUsb(sim::AddNvmeDrive(m, 1, Attachment::kAsmedia), "USB\\ROOT_HUBXYZ\\9&1&0", 6, 1);
    sim::PlugUsb(sim::AddNvmeDrive(m, 2, Attachment::kAsmedia), "USB\\VID_ROOT_HUB&PID_0001\\7&1", 8, 2);
    Install(m);
    EXPECT_EQ(206, GetDiskPortID(kBusUsb, 1));
    EXPECT_EQ(20408, GetDiskPortID(kBusUsb, 2));
}

TEST_F(Topology, PciBusPairsUseFactor99) {
    sim::MachineDesc m;
    sim::DriveDesc& a = sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    a.pci.controller_bus = 3;
    a.pci.bridge_bus = 0;
    sim::DriveDesc& b = sim::AddNvmeDrive(m, 1, Attachment::kNativeNvme);
    b.pci.controller_bus = 2;
    b.pci.bridge_bus = 1;
    sim::DriveDesc& rst = sim::AddNvmeDrive(m, 2, Attachment::kRst);
    rst.pci.controller_bus = 5;
    rst.pci.bridge_bus = 0;
    Install(m);
    EXPECT_EQ(9000000000000000003ll, GetDiskPortID(kBusNvme, 0));
    EXPECT_EQ(9000000000000000101ll, GetDiskPortID(kBusNvme, 1));
    EXPECT_EQ(9000000000000000005ll, GetDiskPortID(kBusRaid, 2));
    EXPECT_EQ(1, Found(kCmdNative, kBusNvme, 9000000000000000101ll));
    EXPECT_EQ(2, Found(kCmdRst, kBusRaid, 9000000000000000005ll));
}

TEST_F(Topology, MissingBusNumberCountsAsZero) {
    sim::MachineDesc m;
    sim::DriveDesc& a = sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    a.pci.controller_bus = -1;  // no SPDRP_BUSNUMBER on the controller
    a.pci.bridge_bus = 2;
    Install(m);
    EXPECT_EQ(9000000000000000198ll, GetDiskPortID(kBusNvme, 0));
}

TEST_F(Topology, SataPathIdAndTheFirstOfTwoEqualIdentitiesWins) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 4, Attachment::kSataPort).scsi.path = 2;  // listed first
    sim::AddSataDrive(m, 1, Attachment::kSataPort).scsi.path = 2;  // same PathId, another adapter
    Install(m);
    EXPECT_EQ(2, GetDiskPortID(kBusSata, 4));
    EXPECT_EQ(2, GetDiskPortID(kBusSata, 1));
    EXPECT_EQ(4, Found(kCmdSataNative, kBusSata, 2));
}

TEST_F(Topology, IdentityMatchWithAnotherBusTypeIsNotReturned) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 0, Attachment::kSataPort).scsi.path = 2;
    Install(m);
    EXPECT_EQ(-1, Found(kCmdSataScsi, kBusScsi, 2));
    EXPECT_EQ(-1, Found(kCmdSataScsi, kBusSas, 2));
    EXPECT_EQ(0, Found(kCmdSataScsi, kBusSata, 2));  // the command type only picks the kind of identity

    sim::MachineDesc both;
    sim::AddSataDrive(both, 0, Attachment::kSataPort).scsi.path = 2;
    sim::AddSataDrive(both, 1, Attachment::kScsiAdapter).scsi.path = 2;
    Install(both);
    EXPECT_EQ(1, Found(kCmdSataScsi, kBusScsi, 2));
}

TEST_F(Topology, UnknownDeviceNumberGivesNoIdentity) {
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    Install(m);
    EXPECT_EQ(-1, GetDiskPortID(kBusNvme, 7));
    sim::ResetMachine();
    EXPECT_EQ(-1, GetDiskPortID(kBusNvme, 0));  // no disks at all
}

TEST_F(Topology, UnknownCommandTypesNeverReturnAHandle) {
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme).pci.controller_bus = 0;
    sim::AddSataDrive(m, 1, Attachment::kSataPort).scsi.path = 0;
    Install(m);
    for (int32_t cmd : {5, 6, 15, 19, 255, -1})
        for (uint32_t bus : {kBusNvme, kBusSata})
            for (int64_t port : {int64_t{0}, int64_t{-1}, int64_t{9000000000000000000ll}})
                EXPECT_EQ(INVALID_HANDLE_VALUE, GetPortDeviceHandle(cmd, bus, port)) << cmd << " " << bus << " " << port;
    EXPECT_EQ(0, Found(kCmdNative, kBusNvme, 9000000000000000000ll));
}

TEST_F(Topology, UnreadableBusTypeNeverMatchesAZeroedRecord) {
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    // Every device descriptor query of this disk fails: its bus type reads as 0.
    sim::AddFault(m, "disk0", sim::FaultMatch::kIoctl, kIoctlStorageQueryProperty, 1).every = true;
    Install(m);
    // A zeroed drive record asks for command type 0, bus type 0, port 0.
    EXPECT_EQ(INVALID_HANDLE_VALUE, GetPortDeviceHandle(0, 0, 0));
    EXPECT_EQ(INVALID_HANDLE_VALUE, GetPortDeviceHandle(kCmdNative, 0, 9000000000000000001ll));
}

TEST_F(Topology, FailedDeviceNumberMeansNotFound) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 3, Attachment::kSataPort).scsi.path = 1;
    sim::AddFault(m, "disk3", sim::FaultMatch::kIoctl, kIoctlStorageGetDeviceNumber, 1).every = true;
    Install(m);
    EXPECT_EQ(-1, FindDiskNumberAtPort(kCmdSataNative, kBusSata, 1));
    EXPECT_EQ(-1, GetDiskPortID(kBusSata, 3));  // the disk cannot say its number, so it is not disk 3
}

TEST_F(Topology, DriveThatReturnsUnderAnotherNumberIsFoundAtItsPortOnceBack) {
    sim::MachineDesc m = UsbTree();
    sim::DriveDesc& d = sim::AddNvmeDrive(m, 1, Attachment::kAsmedia);
    sim::PlugUsb(d, kHub, 3, 2);
    d.on_power_cycle.leaves = true;
    d.on_power_cycle.gone_seconds = 4;
    d.on_power_cycle.return_number = 6;
    Install(m);
    ASSERT_EQ(10203, GetDiskPortID(kBusUsb, 1));
    HostClockSetAutoAdvance(false);
    sim::TriggerPowerCycle("disk1");
    EXPECT_EQ(-1, Found(kCmdAsmedia, kBusUsb, 10203));
    HostClockAdvance(3999);
    EXPECT_EQ(-1, Found(kCmdAsmedia, kBusUsb, 10203));
    HostClockAdvance(1);
    EXPECT_EQ(6, Found(kCmdAsmedia, kBusUsb, 10203));
    EXPECT_EQ(10203, GetDiskPortID(kBusUsb, 6));
    EXPECT_EQ(-1, GetDiskPortID(kBusUsb, 1));
    HostClockSetAutoAdvance(true);
}

TEST_F(Topology, FoundDiskIsLogged) {
    sim::MachineDesc m = UsbTree();
    sim::PlugUsb(sim::AddNvmeDrive(m, 1, Attachment::kAsmedia), kRoot1, 5, 1);
    Install(m);
    GetAppState()->bDebug = 1;
    HostDebugClear();
    EXPECT_EQ(1, Found(kCmdAsmedia, kBusUsb, 105));
    GetAppState()->bDebug = 0;
    std::vector<std::u16string> lines = HostDebugLines();
    ASSERT_EQ(1u, lines.size());
    const std::u16string tail = u"[0] GetPortDeviceHandle 105, 105 Target";
    ASSERT_GE(lines[0].size(), tail.size());
    EXPECT_EQ(tail, lines[0].substr(lines[0].size() - tail.size()));
}

TEST_F(Topology, ParentDevInstLeadsToTheControllerService) {
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    sim::AddNvmeDrive(m, 2, Attachment::kRst);
    Install(m);
    auto service = [](DEVINST inst) {
        std::u16string name;
        HDEVINFO set = os::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
        for (DWORD i = 0;; ++i) {
            SP_DEVINFO_DATA e = {};
            e.cbSize = sizeof e;
            if (!os::SetupDiEnumDeviceInfo(set, i, &e)) break;
            if (e.DevInst != inst) continue;
            WCH text[128] = {};
            DWORD type = 0, need = 0;
            if (os::SetupDiGetDeviceRegistryPropertyW(set, &e, SPDRP_SERVICE, &type, reinterpret_cast<BYTE*>(text),
                                                      sizeof text, &need))
                name = text;
        }
        os::SetupDiDestroyDeviceInfoList(set);
        return name;
    };
    EXPECT_EQ(u"stornvme", service(GetDiskParentDevInst(u"\\\\.\\PhysicalDrive0")));
    EXPECT_EQ(u"iaStorAC", service(GetDiskParentDevInst(u"\\\\.\\physicaldrive2")));
    EXPECT_EQ(0u, GetDiskParentDevInst(u"\\\\.\\PhysicalDrive1"));
}

TEST_F(Topology, HostControllerIndexIsOneBasedAndOnePastTheEndWhenUnknown) {
    Install(UsbTree());
    EXPECT_EQ(1, GetHostControllerIndex(u"PCI\\VEN_8086&DEV_A36D\\3&11583659&0&A0"));
    EXPECT_EQ(2, GetHostControllerIndex(u"PCI\\VEN_8086&DEV_15E9\\4&22222222&0&00"));
    EXPECT_EQ(3, GetHostControllerIndex(u"PCI\\VEN_8086&DEV_A36D\\3&11583659&0&a0"));  // IDs compare with case
}

}  // namespace
