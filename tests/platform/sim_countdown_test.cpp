// The machine's request countdown: the nth request from the moment it is
// armed fails, once or for good, in the way asked for and only where that
// way applies.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"

namespace {

using sim::Attachment;
using sim::FaultAction;

HANDLE Open(const char16_t* path) {
    return os::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
}

class SimCountdown : public ::testing::Test {
protected:
    void SetUp() override {
        sim::MachineDesc m;
        sim::AddNvmeDrive(m, 0, Attachment::kNativeNvme);
        sim::AddNvmeDrive(m, 3, Attachment::kAsmedia);
        sim::AddSataDrive(m, 1, Attachment::kSataPort);
        std::string error;
        ASSERT_TRUE(sim::InstallMachine(m, &error)) << error;
    }
    void TearDown() override {
        sim::DisarmCountdown();
        EXPECT_EQ(0, sim::OpenHandleCount());
        sim::ResetMachine();
    }
    // One request that any disk answers: TRUE or the last error.
    static DWORD DeviceNumber(HANDLE h) {
        uint8_t out[12] = {};
        DWORD returned = 0;
        return os::DeviceIoControl(h, kIoctlStorageGetDeviceNumber, nullptr, 0, out, sizeof out, &returned)
                   ? 0
                   : os::GetLastError();
    }
    // INQUIRY through SCSI pass-through: -1 the IOCTL failed, else the SCSI status.
    static int Inquiry(HANDLE h) {
        ScsiPassThroughDirectWithSense block = {};
        uint8_t data[36] = {};
        block.sptd.Length = sizeof(ScsiPassThroughDirect);
        block.sptd.CdbLength = 6;
        block.sptd.SenseInfoLength = 32;
        block.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, SenseBuffer);
        block.sptd.DataIn = kScsiIoctlDataIn;
        block.sptd.DataTransferLength = sizeof data;
        block.sptd.DataBuffer = data;
        block.sptd.TimeOutValue = 10;
        block.sptd.Cdb[0] = 0x12;
        block.sptd.Cdb[4] = sizeof data;
        DWORD returned = 0;
        if (!os::DeviceIoControl(h, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block, &returned))
            return -1;
        return block.sptd.ScsiStatus;
    }
    // IDENTIFY DEVICE by ATA pass-through: -1 the IOCTL failed, else the status register.
    static int AtaIdentify(HANDLE h) {
        AtaPassThroughDirect a = {};
        alignas(16) uint8_t data[512] = {};
        a.Length = sizeof a;
        a.AtaFlags = kAtaFlagsDrdyRequired | kAtaFlagsDataIn;
        a.DataTransferLength = sizeof data;
        a.TimeOutValue = 10;
        a.DataBuffer = data;
        a.CurrentTaskFile[1] = 1;
        a.CurrentTaskFile[5] = 0x40;
        a.CurrentTaskFile[6] = 0xEC;
        DWORD returned = 0;
        if (!os::DeviceIoControl(h, kIoctlAtaPassThroughDirect, &a, sizeof a, &a, sizeof a, &returned)) return -1;
        return a.CurrentTaskFile[6];
    }
};

TEST_F(SimCountdown, TheNthRequestFailsOnceOrForGood) {
    HANDLE h = Open(u"\\\\.\\PhysicalDrive0");
    sim::ArmCountdown(3, FaultAction::kWin32Error, false);
    std::vector<DWORD> once;
    for (int i = 0; i < 5; ++i) once.push_back(DeviceNumber(h));
    EXPECT_EQ(once, (std::vector<DWORD>{0, 0, 31, 0, 0}));
    sim::CountdownStatus s = sim::GetCountdownStatus();
    EXPECT_EQ(s.counted, 5);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(s.first_failed, 3);

    sim::ArmCountdown(2, FaultAction::kWin32Error, true);
    std::vector<DWORD> for_good;
    for (int i = 0; i < 4; ++i) for_good.push_back(DeviceNumber(h));
    EXPECT_EQ(for_good, (std::vector<DWORD>{0, 31, 31, 31}));
    EXPECT_EQ(sim::GetCountdownStatus().failed, 3);
    EXPECT_EQ(sim::GetCountdownStatus().first_failed, 2);

    // Disarmed, and with nth 0 (counting only), nothing fails.
    sim::DisarmCountdown();
    EXPECT_EQ(DeviceNumber(h), 0u);
    sim::ArmCountdown(0, FaultAction::kWin32Error, true);
    EXPECT_EQ(DeviceNumber(h), 0u);
    EXPECT_EQ(DeviceNumber(h), 0u);
    EXPECT_EQ(sim::GetCountdownStatus().counted, 2);
    EXPECT_EQ(sim::GetCountdownStatus().failed, 0);
    os::CloseHandle(h);
}

TEST_F(SimCountdown, RequestsOfEveryDriveCountAndInstallingDisarms) {
    HANDLE a = Open(u"\\\\.\\PhysicalDrive0"), b = Open(u"\\\\.\\PhysicalDrive3");
    sim::ArmCountdown(2, FaultAction::kWin32Error, false);
    EXPECT_EQ(DeviceNumber(a), 0u);
    EXPECT_EQ(DeviceNumber(b), 31u);
    EXPECT_EQ(DeviceNumber(a), 0u);
    os::CloseHandle(a);
    os::CloseHandle(b);
    sim::ArmCountdown(1, FaultAction::kWin32Error, true);
    SetUp();
    HANDLE c = Open(u"\\\\.\\PhysicalDrive0");
    EXPECT_EQ(DeviceNumber(c), 0u);
    EXPECT_EQ(sim::GetCountdownStatus().counted, 0);
    os::CloseHandle(c);
}

TEST_F(SimCountdown, CheckConditionOnlyOnPassThrough) {
    HANDLE h = Open(u"\\\\.\\PhysicalDrive3");
    ASSERT_EQ(Inquiry(h), 0);
    sim::ArmCountdown(1, FaultAction::kCheckCondition, true);
    EXPECT_EQ(DeviceNumber(h), 0u);  // not a pass-through: answered
    EXPECT_EQ(Inquiry(h), 2);
    EXPECT_EQ(Inquiry(h), 2);
    sim::CountdownStatus s = sim::GetCountdownStatus();
    EXPECT_EQ(s.counted, 3);
    EXPECT_EQ(s.failed, 2);
    EXPECT_EQ(s.first_failed, 2);
    // The sense the request carried back: ABORTED COMMAND.
    const sim::RequestRecord& last = sim::Requests().back();
    ASSERT_GE(last.out.size(), offsetof(ScsiPassThroughDirectWithSense, SenseBuffer) + 3u);
    EXPECT_EQ(last.out[offsetof(ScsiPassThroughDirectWithSense, SenseBuffer) + 2] & 0x0F, 0x0B);
    os::CloseHandle(h);
}

TEST_F(SimCountdown, AtaErrorOnAtaPassThroughAndInsideTranslation) {
    HANDLE h = Open(u"\\\\.\\PhysicalDrive1");
    ASSERT_EQ(AtaIdentify(h), 0x50);
    sim::ArmCountdown(1, FaultAction::kAtaError, false);
    EXPECT_EQ(AtaIdentify(h), 0x51);  // DRDY | ERR
    EXPECT_EQ(AtaIdentify(h), 0x50);  // once
    os::CloseHandle(h);

    // Behind a USB bridge the drive's translation reports the ATA error as
    // CHECK CONDITION; an NVMe drive's requests are not ATA commands at all.
    sim::MachineDesc m;
    sim::AddSataDrive(m, 1, Attachment::kUsbSata);
    sim::AddNvmeDrive(m, 2, Attachment::kAsmedia);
    ASSERT_TRUE(sim::InstallMachine(m));
    HANDLE sata = Open(u"\\\\.\\PhysicalDrive1"), nvme = Open(u"\\\\.\\PhysicalDrive2");
    sim::ArmCountdown(1, FaultAction::kAtaError, true);
    EXPECT_EQ(Inquiry(nvme), 0);
    EXPECT_EQ(Inquiry(sata), 0);  // INQUIRY is the bridge's, not an ATA command
    ScsiPassThroughDirectWithSense block = {};
    alignas(16) uint8_t data[512] = {};
    block.sptd.Length = sizeof(ScsiPassThroughDirect);
    block.sptd.CdbLength = 12;
    block.sptd.SenseInfoLength = 32;
    block.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, SenseBuffer);
    block.sptd.DataIn = kScsiIoctlDataIn;
    block.sptd.DataTransferLength = sizeof data;
    block.sptd.DataBuffer = data;
    block.sptd.TimeOutValue = 60;
    const uint8_t cdb[12] = {0xA1, 0x08, 0x0E, 0x00, 0x01, 0, 0, 0, 0x40, 0xEC, 0, 0};
    std::memcpy(block.sptd.Cdb, cdb, sizeof cdb);
    DWORD returned = 0;
    ASSERT_TRUE(os::DeviceIoControl(sata, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block, &returned));
    EXPECT_EQ(block.sptd.ScsiStatus, 2);
    EXPECT_EQ(sim::GetCountdownStatus().failed, 1);
    EXPECT_EQ(sim::GetCountdownStatus().first_failed, 3);
    os::CloseHandle(sata);
    os::CloseHandle(nvme);
}

}  // namespace
