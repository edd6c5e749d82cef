// What the topology operations send and their neutral answers when the
// device tree does not have what they look for. Nothing may stay open.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/disk_info.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"
#include "storage/topology.h"
#include "tests/storage/sim_machine_test.h"

namespace {

using sim::Attachment;
using Bytes = std::vector<uint8_t>;

const char* kHc = "PCI\\VEN_8086&DEV_A36D\\3&11583659&0&A0";
const char* kRoot = "USB\\ROOT_HUB30\\4&1111&0&0";
const char* kHub = "USB\\VID_05E3&PID_0610\\6&3333&0&2";

class TopologyRequests : public SimMachineTest {
protected:
    static HANDLE Open(const char16_t* path) {
        return os::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL);
    }
    static HDEVINFO DiskSet() {
        return os::SetupDiGetClassDevsW(&kGuidDevInterfaceDisk, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE);
    }
    // The device instance of the disk at enumeration index i of the disk set.
    static DEVINST DiskInstance(DWORD index) {
        HDEVINFO set = DiskSet();
        SP_DEVINFO_DATA element = {};
        element.cbSize = sizeof element;
        DEVINST inst = os::SetupDiEnumDeviceInfo(set, index, &element) ? element.DevInst : 0;
        os::SetupDiDestroyDeviceInfoList(set);
        return inst;
    }
    static std::vector<sim::RequestRecord> RequestsWith(DWORD ioctl) {
        std::vector<sim::RequestRecord> out;
        for (const sim::RequestRecord& r : sim::Requests())
            if (r.ioctl == ioctl) out.push_back(r);
        return out;
    }
};

TEST_F(TopologyRequests, BusTypeQueryIsTwelveZeroBytes) {
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    sim::AddSataDrive(m, 1, Attachment::kSataPort);
    sim::AddFault(m, "disk1", sim::FaultMatch::kIoctl, kIoctlStorageQueryProperty, 1);
    Install(m);
    HANDLE nvme = Open(u"\\\\.\\PhysicalDrive0");
    HANDLE sata = Open(u"\\\\.\\PhysicalDrive1");
    sim::ClearRequests();
    EXPECT_EQ(17u, GetStorageBusType(nvme));
    EXPECT_EQ(0u, GetStorageBusType(sata));   // the query fails: unknown
    EXPECT_EQ(11u, GetStorageBusType(sata));  // the fault was for the first query only
    const std::vector<sim::RequestRecord>& r = sim::Requests();
    ASSERT_EQ(3u, r.size());
    for (const sim::RequestRecord& q : r) {
        EXPECT_EQ(0x002D1400u, q.ioctl);
        EXPECT_EQ(Bytes(12, 0), q.in);  // StorageDeviceProperty, PropertyStandardQuery
    }
    EXPECT_FALSE(r[1].result);
    os::CloseHandle(nvme);
    os::CloseHandle(sata);
}

TEST_F(TopologyRequests, ScsiAddressAskedWithLengthEight) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 3, Attachment::kSataPort).scsi.path = 6;
    Install(m);
    sim::ClearRequests();
    EXPECT_EQ(6, GetDiskPortID(kBusSata, 3));
    std::vector<sim::RequestRecord> r = RequestsWith(0x00041018);
    ASSERT_EQ(1u, r.size());
    EXPECT_EQ((Bytes{8, 0, 0, 0, 0, 0, 0, 0}), r[0].in);
    // A device-number query came first, on the same open disk interface.
    std::vector<sim::RequestRecord> numbers = RequestsWith(0x002D1080);
    ASSERT_EQ(1u, numbers.size());
    EXPECT_EQ(numbers[0].path, r[0].path);
    EXPECT_TRUE(numbers[0].in.empty());
}

TEST_F(TopologyRequests, FailedAddressQueryGivesNoIdentity) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 0, Attachment::kSataPort).scsi.path = 0;
    sim::AddFault(m, "disk0", sim::FaultMatch::kIoctl, kIoctlScsiGetAddress, 1).every = true;
    Install(m);
    EXPECT_EQ(-1, GetDiskPortID(kBusSata, 0));
    // ... and the disk never matches a search, not even for PathId 0 or -1.
    EXPECT_EQ(INVALID_HANDLE_VALUE, GetPortDeviceHandle(kCmdSataNative, kBusSata, 0));
    EXPECT_EQ(INVALID_HANDLE_VALUE, GetPortDeviceHandle(kCmdSataNative, kBusSata, -1));
}

TEST_F(TopologyRequests, OpenDeviceInterfaceByIndex) {
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    sim::AddNvmeDrive(m, 4, Attachment::kNativeNvme);
    Install(m);
    HDEVINFO set = DiskSet();
    std::vector<DWORD> numbers;
    for (DWORD i = 0; i < 2; ++i) {
        HANDLE h = OpenDeviceInterface(&kGuidDevInterfaceDisk, set, i);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        StorageDeviceNumber n = {};
        DWORD returned = 0;
        EXPECT_TRUE(os::DeviceIoControl(h, kIoctlStorageGetDeviceNumber, nullptr, 0, &n, sizeof n, &returned));
        numbers.push_back(n.DeviceNumber);
        os::CloseHandle(h);
    }
    EXPECT_EQ((std::vector<DWORD>{0, 4}), numbers);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDeviceInterface(&kGuidDevInterfaceDisk, set, 2));
    GUID other = kGuidDevInterfaceDisk;
    other.Data1 ^= 1;
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDeviceInterface(&other, set, 0));
    os::SetupDiDestroyDeviceInfoList(set);
}

TEST_F(TopologyRequests, BusNumbersOfParentAndGrandparent) {
    sim::MachineDesc m;
    sim::DriveDesc& d = sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    d.pci.controller_bus = 7;
    d.pci.bridge_bus = 2;
    sim::DriveDesc& e = sim::AddNvmeDrive(m, 1, Attachment::kNativeNvme);
    e.pci.controller_bus = 5;
    e.pci.bridge_bus = -1;  // the bridge has no bus number
    Install(m);
    DEVINST first = DiskInstance(0);
    DEVINST second = DiskInstance(1);
    ASSERT_NE(0u, first);
    EXPECT_EQ(7, GetParentBusNumber(first));
    EXPECT_EQ(2, GetGrandParentBusNumber(first));
    EXPECT_EQ(5, GetParentBusNumber(second));
    EXPECT_EQ(0, GetGrandParentBusNumber(second));
    EXPECT_EQ(0, GetParentBusNumber(0xDEAD));  // no such device
    EXPECT_EQ(0, GetGrandParentBusNumber(0xDEAD));
}

TEST_F(TopologyRequests, UsbWalkWithMissingPiecesKeepsWhatItHas) {
    sim::MachineDesc m;
    sim::AddHostController(m, kHc, 0);
    sim::AddRootHub(m, kRoot, 0);
    sim::AddHub(m, kHub, kRoot, 2, 1);
    sim::DriveDesc& d = sim::AddNvmeDrive(m, 1, Attachment::kAsmedia);
    sim::PlugUsb(d, kHub, 3, 2);
    d.usb.device_id = "USB\\VID_174C&PID_2362\\MSFT3000001";
    Install(m);
    // Unreversed: the drive's port, then the hub's port, the controller last.
    EXPECT_EQ(30201u, GetUsbPortPath(u"USB\\VID_174C&PID_2362\\MSFT3000001"));
    EXPECT_EQ(0u, GetUsbPortPath(u"USB\\VID_174C&PID_2362\\NOSUCHDEVICE"));
    EXPECT_EQ(0u, GetUsbPortPath(u"usb\\vid_174c&pid_2362\\msft3000001"));  // IDs compare with case
    // A hub chain walk that starts at a hub not in the set leaves the value alone.
    EXPECT_EQ(42u, GetHubChainPortPath(u"USB\\VID_FFFF&PID_0000\\1", 42));
    EXPECT_EQ(4201u, GetHubChainPortPath(u"USB\\ROOT_HUB30\\4&1111&0&0", 42));
    EXPECT_EQ(420201u, GetHubChainPortPath(u"USB\\VID_05E3&PID_0610\\6&3333&0&2", 42));
}

TEST_F(TopologyRequests, HubWithoutLocationRepeatsThePreviousHubPort) {
    const char* upper = "USB\\VID_05E3&PID_0610\\6&4444&0&2";
    const char* lower = "USB\\VID_05E3&PID_0610\\7&5555&0&4";
    sim::MachineDesc m;
    sim::AddHostController(m, kHc, 0);
    sim::AddRootHub(m, kRoot, 0);
    sim::AddHub(m, kHub, kRoot, 2, 1).location = "";  // no location property
    sim::AddHub(m, upper, kRoot, 2, 1).location = "";
    sim::AddHub(m, lower, upper, 4, 2);
    sim::PlugUsb(sim::AddNvmeDrive(m, 1, Attachment::kAsmedia), kHub, 3, 2);
    sim::PlugUsb(sim::AddNvmeDrive(m, 2, Attachment::kAsmedia), lower, 5, 3);
    Install(m);
    // The walk's port number starts at 0: a first hub without a location adds 0.
    EXPECT_EQ(10003, GetDiskPortID(kBusUsb, 1));
    // Further up it keeps the port of the hub below (4 twice).
    EXPECT_EQ(1040405, GetDiskPortID(kBusUsb, 2));
}

}  // namespace
