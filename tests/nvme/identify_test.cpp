// NVMe identification against simulated machines: capacity, transport
// choice, vendor information, volumes and finding a drive again.
#include "nvme/identify.h"

#include <gtest/gtest.h>

#include <string>

#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_machine.h"

namespace {

using sim::Attachment;

class Identify : public ::testing::Test {
protected:
    void SetUp() override {
        HostResetAll();
        *GetAppState() = AppState{};
        GetAppState()->bDebug = 1;
    }
    void TearDown() override {
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::OpenDeviceInfoSetCount(), 0);
        sim::ResetMachine();
        *GetAppState() = AppState{};
    }
    void Install(const sim::MachineDesc& machine) {
        std::string error;
        ASSERT_TRUE(sim::InstallMachine(machine, &error)) << error;
    }
    uint32_t Enumerate() { return EnumNvmeDisks(list_, 26); }
    bool Logged(const std::u16string& prefix) {
        for (const std::u16string& l : HostDebugLines())
            if (l.size() >= 23 && l.compare(23, prefix.size(), prefix) == 0) return true;
        return false;
    }
    DiskInfo list_[26];
};

TEST(CapacityToGB, IdemaRuleAndTheByteFormForOtherSectorSizes) {
    EXPECT_EQ(CapacityToGB(512, 1000215216ull * 512), 512u);
    EXPECT_EQ(CapacityToGB(512, 31277232ull * 512), 16u);
    EXPECT_EQ(CapacityToGB(512, 31277231ull * 512), 15u);
    EXPECT_EQ(CapacityToGB(4096, 125026902ull * 4096), 512u);
    // Any sector size gives what the 512-byte rule gives for the same bytes.
    EXPECT_EQ(CapacityToGB(1024, 500107608ull * 1024), 512u);
    EXPECT_EQ(CapacityToGB(2048, 250053804ull * 2048), CapacityToGB(512, 1000215216ull * 512));
    EXPECT_EQ(CapacityToGB(512, 999999999), 0u);
    EXPECT_EQ(CapacityToGB(0, 4000000000ull), 0u);
}

TEST(CapacityToGB, UnreadableNamespacesHaveNoCapacity) {
    uint8_t ns[4096] = {};
    uint64_t nsze = 1000215216;
    for (int i = 0; i < 8; ++i) ns[i] = static_cast<uint8_t>(nsze >> (8 * i));
    uint32_t sector = 0;
    uint64_t blocks = 0;
    ns[130] = 9;
    EXPECT_EQ(NamespaceCapacityGB(ns, &sector, &blocks), 512u);
    EXPECT_EQ(sector, 512u);
    EXPECT_EQ(blocks, nsze);
    ns[130] = 8;
    EXPECT_EQ(NamespaceCapacityGB(ns, &sector, &blocks), 0u);
    ns[130] = 32;
    EXPECT_EQ(NamespaceCapacityGB(ns, &sector, &blocks), 0u);
    EXPECT_EQ(sector, 0u);
    ns[130] = 31;  // 2^31-byte sectors: the byte count still fits 64 bits here
    EXPECT_EQ(NamespaceCapacityGB(ns, &sector, &blocks), CapacityToGB(1u << 31, nsze << 31));
    ns[7] = 0x40;  // 2^62 blocks of 512 bytes do not fit
    ns[130] = 9;
    EXPECT_EQ(NamespaceCapacityGB(ns, &sector, &blocks), 0u);
}

TEST_F(Identify, RecordOfANativeDrive) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    sim::AddVolume(machine, 'C', "disk0");
    sim::AddVolume(machine, 'D', "disk0");
    Install(machine);
    ASSERT_EQ(Enumerate(), 1u);
    const DiskInfo& d = list_[0];
    EXPECT_EQ(std::u16string(d.szDevicePath), u"\\\\.\\PhysicalDrive0");
    EXPECT_EQ(d.iCmdType, 2);
    EXPECT_EQ(d.iBusType, 17u);
    EXPECT_EQ(d.iCapacityGB, 512u);
    EXPECT_EQ(std::u16string(d.szModel), u"VELQORAX VX500 512GB");
    EXPECT_EQ(std::u16string(d.szFWRevision), u"VX5A0100");
    EXPECT_EQ(std::u16string(d.szVolumes), u"C: D: ");
    EXPECT_EQ(d.bRaw, 0);
    EXPECT_EQ(d.bSystemDisk, 1);
    EXPECT_EQ(d.bVendorDisk, 1);
    EXPECT_EQ(d.iSocId, 0x5236u);
    EXPECT_EQ(d.bDrvInfoValid, 1);
    EXPECT_EQ(std::u16string(d.szDrvFWVersion), u"1A2B3C4D");
    EXPECT_EQ(d.iFtlBuildNum, 0x12345u);
    EXPECT_EQ(d.iLunCount, 1u);
    EXPECT_EQ(d.iLinkSpeed, 3);
    EXPECT_EQ(d.iLinkWidth, 4);
    EXPECT_EQ(d.iPort, static_cast<int64_t>(9000000000000000001ull));
    EXPECT_FALSE(Logged(u"DISKLIB_NVME_VSC_GetDrvInfo IN"));  // the log page had the block
}

TEST_F(Identify, OnlyTwentyDrivesAndNothingSmall) {
    sim::MachineDesc machine;
    for (int n = 0; n < 22; ++n) sim::AddNvmeDrive(machine, n, Attachment::kNativeNvme);
    machine.drives[3].blocks = 31277231;  // 15 GB
    Install(machine);
    EXPECT_EQ(Enumerate(), 19u);  // 0..19 without drive 3
    EXPECT_EQ(list_[3].iDiskNumber, 4u);
    EXPECT_EQ(list_[19].szDevicePath[0], 0);
}

TEST_F(Identify, TransportByBusTypeAndService) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kRst).parent_service = "IASTORvd";
    sim::DriveDesc& raid_other = sim::AddNvmeDrive(machine, 1, Attachment::kRst);
    raid_other.parent_service = "megasas";
    sim::DriveDesc& nvme_rst = sim::AddNvmeDrive(machine, 2, Attachment::kRst);
    nvme_rst.bus_type = 17;
    sim::AddNvmeDrive(machine, 3, Attachment::kNativeNvme).parent_service = "ThirdPartyNvme";
    Install(machine);
    ASSERT_EQ(Enumerate(), 3u);
    EXPECT_EQ(list_[0].iCmdType, 3);
    EXPECT_EQ(list_[1].iDiskNumber, 2u);
    EXPECT_EQ(list_[1].iCmdType, 3);
    EXPECT_EQ(list_[2].iCmdType, 2);
    EXPECT_EQ(list_[2].iLinkSpeed, 3);
    EXPECT_EQ(list_[0].iLinkSpeed, 0);  // link properties only for native drives
}

TEST_F(Identify, MpBlockStandsInForAMissingDriveInformationBlock) {
    sim::MachineDesc machine;
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    d.vendor.drvinfo = sim::DrvInfoSource::kNone;
    d.vendor.mp_marker = 1768;
    d.vendor.mp_soc_id = 0x7777;
    d.vendor.mp_version = "1A2B3C4D5E";
    d.vendor.luns = 2;
    Install(machine);
    ASSERT_EQ(Enumerate(), 1u);
    EXPECT_EQ(list_[0].bDrvInfoValid, 0);
    EXPECT_EQ(list_[0].iSocId, 0x7777u);
    EXPECT_EQ(list_[0].iLunCount, 2u);
    EXPECT_EQ(std::u16string(list_[0].szDrvFWVersion), u"1A2B3C4D5E");
    EXPECT_EQ(list_[0].NandId[0], 0x89);  // from the NAND table
}

TEST_F(Identify, NandTableScannedOnlyUpTo32Entries) {
    for (int ce : {4, 5}) {
        sim::MachineDesc machine;
        sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
        d.vendor.drvinfo = sim::DrvInfoSource::kNone;
        d.vendor.channels = 8;
        d.vendor.chip_enables = static_cast<uint8_t>(ce);
        Install(machine);
        ASSERT_EQ(Enumerate(), 1u);
        EXPECT_EQ(list_[0].NandId[0], ce == 4 ? 0x89 : 0x00) << "8 x " << ce;
        EXPECT_EQ(list_[0].iSocId, 0u);
        sim::ResetMachine();
    }
}

TEST_F(Identify, DriveThatNeverComesBackPostsEveryAttemptAndGivesZero) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    Install(machine);
    ASSERT_EQ(Enumerate(), 1u);
    DiskInfo gone = list_[0];
    gone.iPort += 1;  // nothing sits there
    ULONGLONG start = HostClockNow();
    EXPECT_EQ(GetDiskInfoByPortID(&gone, 30), 0);
    EXPECT_EQ(HostClockNow() - start, 30000u);
    DiskInfo found = list_[0];
    found.szModel[0] = 0;
    EXPECT_EQ(GetDiskInfoByPortID(&found, 30), 1);
    EXPECT_EQ(std::u16string(found.szModel), u"VELQORAX VX500 512GB");
    EXPECT_EQ(found.bRaw, 1);
}

}  // namespace
