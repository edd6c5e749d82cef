// Finding a listed drive again by its port identity when the disk found
// there cannot say its device number.
#include <gtest/gtest.h>

#include <string>

#include "core/app_state.h"
#include "nvme/identify.h"
#include "platform/host/host_control.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"

namespace {

using sim::Attachment;

class IdentifyByPort : public ::testing::Test {
protected:
    void SetUp() override {
        HostResetAll();
        *GetAppState() = AppState{};
    }
    void TearDown() override {
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::OpenDeviceInfoSetCount(), 0);
        sim::ResetMachine();
        *GetAppState() = AppState{};
    }
    static sim::MachineDesc TwoDrives() {
        sim::MachineDesc m;
        sim::DriveDesc& a = sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
        a.serial = "FIRSTDRIVE";
        a.pci.controller_bus = 3;
        sim::DriveDesc& b = sim::AddNvmeDrive(m, 1, Attachment::kNativeNvme);
        b.serial = "SECONDDRIVE";
        b.pci.controller_bus = 4;
        return m;
    }
};

TEST_F(IdentifyByPort, UnknownDeviceNumberCountsAsNotFound) {
    ASSERT_TRUE(sim::InstallMachine(TwoDrives()));
    DiskInfo list[26];
    ASSERT_EQ(EnumNvmeDisks(list, 26), 2u);
    DiskInfo second = list[1];
    ASSERT_EQ(second.iPort, 9000000000000000004ll);

    // The same machine, but the second disk no longer answers the device-number query.
    sim::MachineDesc m = TwoDrives();
    sim::AddFault(m, "disk1", sim::FaultMatch::kIoctl, kIoctlStorageGetDeviceNumber, 1).every = true;
    ASSERT_TRUE(sim::InstallMachine(m));
    DiskInfo record = second;
    ULONGLONG start = HostClockNow();
    EXPECT_EQ(GetDiskInfoByPortID(&record, 3), 0);
    EXPECT_EQ(HostClockNow() - start, 3000u);  // every attempt waited, none identified
    // The record was not filled from another drive (drive 0 would be the guess).
    EXPECT_EQ(std::u16string(record.szSerial).rfind(u"SECONDDRIVE", 0), 0u);
    EXPECT_EQ(std::u16string(record.szDevicePath), std::u16string(second.szDevicePath));

    // Once it answers again it is found at once.
    ASSERT_TRUE(sim::InstallMachine(TwoDrives()));
    record = second;
    record.szModel[0] = 0;
    start = HostClockNow();
    EXPECT_EQ(GetDiskInfoByPortID(&record, 3), 1);
    EXPECT_EQ(HostClockNow(), start);
    EXPECT_EQ(std::u16string(record.szModel), u"VELQORAX VX500 512GB");
}

}  // namespace
