// SATA identification, enumeration and finding a drive again, on simulated
// machines with drives on the three attachments. Every test ends with no
// simulator handle, device information set or committed page open.
#include "sata/sata_identify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"
#include "tests/common/command_test.h"

namespace {

using sim::Attachment;

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::u16string Path(int n) { return U16("\\\\.\\PhysicalDrive" + std::to_string(n)); }

class SataIdentify : public DebugLogTest {
protected:
    void TearDown() override {
        EXPECT_EQ(0, sim::OpenHandleCount()) << "a handle leaked";
        EXPECT_EQ(0, sim::OpenDeviceInfoSetCount()) << "a device information set leaked";
        DebugLogTest::TearDown();
        sim::ResetMachine();
    }
    void Install(const sim::MachineDesc& m) {
        std::string error;
        ASSERT_TRUE(sim::InstallMachine(m, &error)) << error;
    }
};

TEST_F(SataIdentify, CapacityFollowsTheIdemaRuleAndSixteenGigabytesIsTheFloor) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 0, Attachment::kSataPort).blocks = 31277232;
    sim::AddSataDrive(m, 1, Attachment::kSataPort).blocks = 31277231;
    sim::AddSataDrive(m, 2, Attachment::kSataPort).blocks = 488397168;
    Install(m);
    DiskInfo d;
    EXPECT_EQ(GetSataDiskInfo(Path(0).c_str(), &d), 1);
    EXPECT_EQ(d.iCapacityGB, 16u);
    EXPECT_EQ(d.iTotalSectors, 31277232u);
    EXPECT_EQ(d.iSectorSize, 512u);
    EXPECT_EQ(GetSataDiskInfo(Path(1).c_str(), &d), -5);
    EXPECT_EQ(GetSataDiskInfo(Path(2).c_str(), &d), 1);
    EXPECT_EQ(d.iCapacityGB, 250u);

    DiskInfo list[26];
    ASSERT_EQ(EnumSataDisks(list, 26), 2u);
    EXPECT_EQ(list[0].iDiskNumber, 0u);
    EXPECT_EQ(list[1].iDiskNumber, 2u) << "the 15 GB drive is left out";
}

TEST_F(SataIdentify, TextsInReadingOrderTrimmedAndTheRestOfTheRecord) {
    sim::MachineDesc m;
    sim::DriveDesc& d = sim::AddSataDrive(m, 4, Attachment::kSataPort);
    d.serial = "  VS25600055AA77";
    d.model = "VELQORAX VS300 256GB";
    d.firmware = "VS3A01";
    d.scsi.path = 2;
    d.sata_link_gen = 3;
    Install(m);
    DiskInfo r;
    ASSERT_EQ(GetSataDiskInfo(u"\\\\.\\physicaldrive4", &r), 1);
    EXPECT_EQ(std::u16string(r.szModel), u"VELQORAX VS300 256GB");
    EXPECT_EQ(std::u16string(r.szSerial), u"VS25600055AA77");
    EXPECT_EQ(std::u16string(r.szFWRevision), u"VS3A01");
    EXPECT_EQ(std::u16string(r.szDevicePath), u"\\\\.\\physicaldrive4") << "the path as given";
    EXPECT_EQ(r.iDiskNumber, 4u);
    EXPECT_EQ(r.iCmdType, 16);
    EXPECT_EQ(r.iBusType, 11u);
    EXPECT_EQ(r.iPort, 2) << "PathId of the SCSI address";
    EXPECT_EQ(r.iLinkSpeed, 3) << "word 77 = 0x0006";
    EXPECT_EQ(r.bRaw, 1);
    EXPECT_EQ(r.iPciVendorId, 0u);
    EXPECT_EQ(r.iLinkWidth, 0);
    // The vendor blocks.
    EXPECT_EQ(r.bDrvInfoValid, 1);
    EXPECT_EQ(r.iSocId, 0x3233u);
    EXPECT_EQ(r.bVendorDisk, 1);
    EXPECT_EQ(std::vector<uint8_t>(r.NandId, r.NandId + 6), (std::vector<uint8_t>{0x45, 0x3C, 0x98, 0xB3, 0x76, 0x72}));
    EXPECT_EQ(std::u16string(r.szDrvFWVersion), u"5E6F7A8B");
    EXPECT_EQ(r.iFtlBuildNum, 0x2233u);
    EXPECT_EQ(r.iLunCount, 1u);
    EXPECT_TRUE(Has(u"\\\\.\\physicaldrive4 = ch:2, ce:2, lun:1, pln:2, pg:768"));
    EXPECT_TRUE(Has(u"\\\\.\\physicaldrive4 - iCmdType = 16, iPort = 2"));
}

TEST_F(SataIdentify, PortIdentityByCommandType) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 4, Attachment::kUsbSata);  // root port 5 of the first host controller
    sim::DriveDesc& scsi = sim::AddSataDrive(m, 6, Attachment::kScsiAdapter);
    scsi.scsi.path = 3;
    sim::AddSataDrive(m, 7, Attachment::kSataPort).sata_link_gen = 0;
    Install(m);
    DiskInfo r;
    ASSERT_EQ(GetSataDiskInfo(Path(4).c_str(), &r), 1);
    EXPECT_EQ(r.iCmdType, 17);
    EXPECT_EQ(r.iBusType, 7u);
    EXPECT_EQ(r.iPort, 105) << "the USB port path, host controller first";
    EXPECT_EQ(std::u16string(r.szModel), u"VELQORAX VS300 256GB");
    ASSERT_EQ(GetSataDiskInfo(Path(6).c_str(), &r), 1);
    EXPECT_EQ(r.iCmdType, 18);
    EXPECT_EQ(r.iPort, 3);
    ASSERT_EQ(GetSataDiskInfo(Path(7).c_str(), &r), 1);
    EXPECT_EQ(r.iLinkSpeed, 0) << "no speed reported in bits 3:1";
    // The translated drives never saw an ATA pass-through, the native one needed nothing else.
    for (const sim::RequestRecord& q : sim::Requests())
        if (q.drive != "disk7") {
            EXPECT_NE(q.ioctl, kIoctlAtaPassThroughDirect);
        } else {
            EXPECT_NE(q.ioctl, kIoctlScsiPassThroughDirect) << "ATA pass-through worked, no fallback";
        }
}

TEST_F(SataIdentify, DrivesOffTheTableAndUnopenablePaths) {
    sim::MachineDesc m;
    sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
    sim::AddSataDrive(m, 20, Attachment::kSataPort);
    Install(m);
    DiskInfo r;
    EXPECT_EQ(GetSataDiskInfo(Path(0).c_str(), &r), -5) << "an NVMe bus has no ATA path";
    EXPECT_EQ(GetSataDiskInfo(Path(3).c_str(), &r), -1);
    EXPECT_EQ(r.szDevicePath[0], 0) << "the record is zeroed";
    DiskInfo list[26];
    EXPECT_EQ(EnumSataDisks(list, 26), 0u) << "drive numbers above 19 are never examined";
}

TEST_F(SataIdentify, VendorBlocksAreReadEachOnItsOwn) {
    sim::MachineDesc m;
    sim::DriveDesc& no_detail = sim::AddSataDrive(m, 0, Attachment::kUsbSata);
    no_detail.vendor.drvinfo = sim::DrvInfoSource::kNone;
    sim::DriveDesc& no_geometry = sim::AddSataDrive(m, 1, Attachment::kSataPort);
    no_geometry.vendor.mp_marker = 0;
    sim::AddSataDrive(m, 2, Attachment::kSataPort).vendor.family = false;
    Install(m);
    DiskInfo r;
    ASSERT_EQ(GetSataDiskInfo(Path(0).c_str(), &r), 1);
    EXPECT_EQ(r.bDrvInfoValid, 0);
    EXPECT_EQ(r.iSocId, 0u);
    EXPECT_EQ(r.bVendorDisk, 0);
    EXPECT_EQ(r.szDrvFWVersion[0], 0);
    EXPECT_EQ(r.iLunCount, 1u) << "the geometry is read without the detail block";
    ASSERT_EQ(GetSataDiskInfo(Path(1).c_str(), &r), 1);
    EXPECT_EQ(r.bDrvInfoValid, 1);
    EXPECT_EQ(r.iLunCount, 0u);
    ASSERT_EQ(GetSataDiskInfo(Path(2).c_str(), &r), 1) << "another maker's drive is still identified";
    EXPECT_EQ(r.bDrvInfoValid, 0);
    EXPECT_EQ(r.bVendorDisk, 0);
}

TEST_F(SataIdentify, VolumesOnOneDrive) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 0, Attachment::kSataPort);
    sim::AddSataDrive(m, 1, Attachment::kSataPort);
    sim::AddVolume(m, 'E', "disk0");
    sim::AddVolume(m, 'C', "disk0");
    Install(m);
    DiskInfo list[26];
    ASSERT_EQ(EnumSataDisks(list, 26), 2u);
    EXPECT_EQ(std::u16string(list[0].szVolumes), u"C: E: ");
    EXPECT_EQ(list[0].bRaw, 0);
    EXPECT_EQ(list[0].bSystemDisk, 1);
    EXPECT_EQ(list[1].szVolumes[0], 0);
    EXPECT_EQ(list[1].bRaw, 1);
    EXPECT_EQ(list[1].bSystemDisk, 0);
    DiskInfo few[1];
    EXPECT_EQ(EnumSataDisks(few, 1), 1u) << "stops at the capacity";
}

TEST_F(SataIdentify, FoundAgainUnderAnotherNumber) {
    sim::MachineDesc m;
    sim::DriveDesc& d = sim::AddSataDrive(m, 4, Attachment::kUsbSata);
    d.on_activate.leaves = true;
    d.on_activate.gone_seconds = 2.5;
    d.on_activate.return_number = 9;
    Install(m);
    DiskInfo r;
    ASSERT_EQ(GetSataDiskInfo(Path(4).c_str(), &r), 1);
    sim::TriggerActivation("disk4");
    HostDebugClear();
    ULONGLONG start = HostClockNow();
    EXPECT_EQ(GetSataDiskInfoByPortID(&r, 10), 1);
    EXPECT_EQ(HostClockNow() - start, 3000u);
    EXPECT_EQ(std::u16string(r.szDevicePath), u"\\\\.\\PhysicalDrive9");
    EXPECT_EQ(r.iPort, 105);
    EXPECT_EQ(Logged().front(), u"GetDiskInfoByPortID IN, iCmdType = 17, iPort=105");
    EXPECT_EQ(Logged().back(), u"GetDiskInfoByPortID Success OUT");
}

TEST_F(SataIdentify, NotFoundWithinTheAttempts) {
    sim::MachineDesc m;
    sim::DriveDesc& d = sim::AddSataDrive(m, 4, Attachment::kSataPort);
    d.on_activate.leaves = true;
    d.on_activate.returns = false;
    Install(m);
    DiskInfo r;
    ASSERT_EQ(GetSataDiskInfo(Path(4).c_str(), &r), 1);
    sim::TriggerActivation("disk4");
    ULONGLONG start = HostClockNow();
    EXPECT_EQ(GetSataDiskInfoByPortID(&r, 10), 0);
    EXPECT_EQ(HostClockNow() - start, 10000u) << "ten one-second waits";
    EXPECT_FALSE(Has(u"GetDiskInfoByPortID Success OUT"));
}

// The disk at the port cannot tell its device number: no number is made up
// (PhysicalDrive0 would be another drive), the attempt counts as not found.
TEST_F(SataIdentify, AFoundDiskWithoutItsNumberIsNotFound) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 0, Attachment::kSataPort).scsi.path = 0;
    sim::DriveDesc& d = sim::AddSataDrive(m, 4, Attachment::kSataPort);
    d.scsi.path = 2;
    Install(m);
    DiskInfo r;
    ASSERT_EQ(GetSataDiskInfo(Path(4).c_str(), &r), 1);
    sim::MachineDesc faulty = m;
    sim::AddFault(faulty, "disk4", sim::FaultMatch::kIoctl, kIoctlStorageGetDeviceNumber, 1).every = true;
    Install(faulty);
    ULONGLONG start = HostClockNow();
    EXPECT_EQ(GetSataDiskInfoByPortID(&r, 3), 0);
    EXPECT_EQ(HostClockNow() - start, 3000u);
    EXPECT_NE(std::u16string(r.szDevicePath), u"\\\\.\\PhysicalDrive0");
}

TEST_F(SataIdentify, FoundButNotIdentifiedEndsAtOnce) {
    sim::MachineDesc m;
    sim::AddSataDrive(m, 4, Attachment::kUsbSata);
    Install(m);
    DiskInfo r;
    ASSERT_EQ(GetSataDiskInfo(Path(4).c_str(), &r), 1);
    sim::MachineDesc faulty = m;
    sim::AddFault(faulty, "disk4", sim::FaultMatch::kAta, 0xEC, 1).every = true;
    Install(faulty);
    ULONGLONG start = HostClockNow();
    EXPECT_EQ(GetSataDiskInfoByPortID(&r, 10), 0);
    EXPECT_EQ(HostClockNow(), start) << "no waiting once the drive is there";
}

}  // namespace
