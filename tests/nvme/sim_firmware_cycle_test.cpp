// Whole firmware cycles against the simulated machine, one per attachment:
// find the transport, pick the vendor set, download, commit, reset the way
// the attachment does, and read the new firmware back once the drive returns.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "nvme/nvme_commands.h"
#include "nvme/power_ctrl.h"
#include "nvme/transport.h"
#include "package/image.h"
#include "platform/host/host_control.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"

using V = std::vector<uint8_t>;

namespace {

struct Cycle {
    sim::Attachment attachment;
    int cmd_type;
    const char* name;
};

V MakeTestImage() {
    V firmware(3 * 4096 + 100);
    for (size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<uint8_t>(i * 31 + 7);
    V config(4096);
    for (size_t i = 0; i < config.size(); ++i) config[i] = static_cast<uint8_t>(i ^ 0xA5);
    ImageDesc desc = {};
    desc.firmware = firmware.data();
    desc.firmware_size = firmware.size();
    desc.config = config.data();
    desc.config_size = config.size();
    const BYTE version[8] = {'2', 'B', '3', 'C', '4', 'D', '5', 'E'};
    std::memcpy(desc.version, version, 8);
    desc.ftl_build = 0x00054321;
    desc.crc32c = 1;
    V image(ImageSizeFor(firmware.size()));
    image.resize(MakeImage(&desc, image.data(), image.size()));
    return image;
}

struct Opened {
    HANDLE drive = INVALID_HANDLE_VALUE;
    DiskAccess access = {};
};

Opened Open(int cmd_type) {
    Opened o;
    o.drive = os::CreateFileW(u"\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    o.access.iCmdType = cmd_type;
    o.access.iBusType = 0;
    o.access.hScsiPort = INVALID_HANDLE_VALUE;
    if (cmd_type == kCmdRst) {
        ScsiAddress address = {};
        DWORD returned = 0;
        EXPECT_TRUE(os::DeviceIoControl(o.drive, kIoctlScsiGetAddress, nullptr, 0, &address, sizeof address, &returned));
        o.access.iPathId = address.PathId;
        std::u16string port = u"\\\\.\\scsi" + std::u16string(1, static_cast<char16_t>(u'0' + address.PortNumber)) + u":";
        o.access.hScsiPort = os::CreateFileW(port.c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
        EXPECT_NE(o.access.hScsiPort, INVALID_HANDLE_VALUE);
    }
    if (o.drive != INVALID_HANDLE_VALUE) {
        DISKLIB_NVME_UnlockVSC(&o.access, o.drive);
        o.access.iVSCType = DISKLIB_NVME_VSC_GetVSCtype(&o.access, o.drive);
    }
    return o;
}

void Close(Opened& o) {
    if (o.drive != INVALID_HANDLE_VALUE) os::CloseHandle(o.drive);
    if (o.access.hScsiPort != INVALID_HANDLE_VALUE) os::CloseHandle(o.access.hScsiPort);
    o = Opened();
}

std::string RunningVersion(Opened& o) {
    V info(4096);
    if (DISKLIB_NVME_VSC_GetDrvInfo(&o.access, o.drive, info.data()) != 1) return "";
    return std::string(reinterpret_cast<const char*>(info.data()) + 32, 8);
}

class FirmwareCycle : public ::testing::TestWithParam<Cycle> {
protected:
    void SetUp() override {
        HostResetAll();
        memory_ = HostMemoryBlocks();
    }
    void TearDown() override {
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(HostMemoryBlocks(), memory_);
        sim::ResetMachine();
    }
    sim::DriveDesc& AddDrive(sim::MachineDesc& m) {
        sim::DriveDesc& d = sim::AddNvmeDrive(m, 1, GetParam().attachment);
        d.name = "ssd";
        if (GetParam().attachment == sim::Attachment::kRst) {
            d.scsi.port = 2;
            d.scsi.path = 3;
        }
        // The Realtek bridge resets the drive itself after a commit.
        if (GetParam().attachment == sim::Attachment::kRealtek) {
            d.on_activate.leaves = true;
            d.on_activate.gone_seconds = 2;
        }
        return d;
    }
    // The reset each attachment gets after the commit, then the wait for the
    // drive. After a good commit the drive must really have left the machine.
    void ResetAndWait(Opened& o, bool must_leave = false) {
        if (GetParam().cmd_type == kCmdAsmedia) IO_USB_ASM_PowerCtrl(o.drive, 1);
        if (GetParam().cmd_type == kCmdJmicron) IO_USB_JMI_PowerCtrl(o.drive, 5);
        Close(o);
        if (must_leave) {
            EXPECT_FALSE(sim::DrivePresent("ssd")) << "the reset did not take the drive away";
        }
        HostClockAdvance(10000);
        EXPECT_TRUE(sim::DrivePresent("ssd"));
    }
    int memory_ = 0;
};

TEST_P(FirmwareCycle, DriveRunsTheImageAfterwards) {
    sim::MachineDesc m;
    AddDrive(m);
    sim::InstallMachine(m);
    V image = MakeTestImage();
    ASSERT_GT(image.size(), 4096u);

    Opened o = Open(GetParam().cmd_type);
    ASSERT_NE(o.drive, INVALID_HANDLE_VALUE);
    if (GetParam().cmd_type == kCmdAsmedia || GetParam().cmd_type == kCmdJmicron || GetParam().cmd_type == kCmdRealtek) {
        EXPECT_EQ(DetectUsbBridge(o.drive), GetParam().cmd_type);
    }
    EXPECT_EQ(o.access.iVSCType, 1);
    EXPECT_EQ(RunningVersion(o), "1A2B3C4D");

    ASSERT_EQ(DISKLIB_NVME_DownloadFW(&o.access, o.drive, image.data(), static_cast<uint32_t>(image.size())), 1);
    ASSERT_EQ(DISKLIB_NVME_FWActive(&o.access, o.drive, 1, 1), 1);
    ResetAndWait(o, true);

    o = Open(GetParam().cmd_type);
    ASSERT_NE(o.drive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunningVersion(o), "2B3C4D5E");
    V id(4096);
    ASSERT_EQ(NvmeIdentify(&o.access, o.drive, 1, 0, id.data(), 4096), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id.data()) + 64, 8), "2B3C4D5E");
    V info(4096);
    ASSERT_EQ(DISKLIB_NVME_VSC_GetDrvInfo(&o.access, o.drive, info.data()), 1);
    EXPECT_EQ(info[72] | (info[73] << 8) | (info[74] << 16), 0x054321);
    V config(4096);
    ASSERT_EQ(DISKLIB_NVME_GetFWConfig(&o.access, o.drive, config.data()), 1);
    EXPECT_EQ(config[0], 0xA5);
    EXPECT_EQ(config[4095], static_cast<uint8_t>(4095 ^ 0xA5));
    Close(o);
}

TEST_P(FirmwareCycle, FailedChunkStopsAndOldFirmwareStays) {
    sim::MachineDesc m;
    AddDrive(m);
    // The second Firmware Image Download command fails.
    sim::AddFault(m, "ssd", sim::FaultMatch::kNvme, 0x11, 2);
    sim::InstallMachine(m);
    V image = MakeTestImage();

    Opened o = Open(GetParam().cmd_type);
    ASSERT_NE(o.drive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(DISKLIB_NVME_DownloadFW(&o.access, o.drive, image.data(), static_cast<uint32_t>(image.size())), -4);
    // Even a commit now finds no whole image to run.
    DISKLIB_NVME_FWActive(&o.access, o.drive, 1, 1);
    ResetAndWait(o);
    o = Open(GetParam().cmd_type);
    ASSERT_NE(o.drive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunningVersion(o), "1A2B3C4D");
    Close(o);
}

// The firmware-slot log page (03h) and FRMW answer through every attachment:
// the commit names the slot for the next reset, the reset makes it active.
struct Slots {
    int active = 0, next = 0;
    std::string slot1, slot2;
};
Slots ReadSlots(Opened& o) {
    V log(512, 0xEE);
    Slots s;
    if (DISKLIB_NVME_GetLogPage(&o.access, o.drive, 0x03, log.data(), 512) != 1) return s;
    s.active = log[0] & 7;
    s.next = (log[0] >> 4) & 7;
    s.slot1 = std::string(reinterpret_cast<const char*>(log.data()) + 8, 8);
    s.slot2 = std::string(reinterpret_cast<const char*>(log.data()) + 16, 8);
    return s;
}

TEST_P(FirmwareCycle, SlotLogFollowsCommitAndReset) {
    sim::MachineDesc m;
    sim::DriveDesc& d = AddDrive(m);
    d.firmware_slots.count = 2;
    d.firmware_slots.revisions = {"", "SPARE002"};
    sim::InstallMachine(m);
    V image = MakeTestImage();

    Opened o = Open(GetParam().cmd_type);
    ASSERT_NE(o.drive, INVALID_HANDLE_VALUE);
    V id(4096);
    ASSERT_EQ(NvmeIdentify(&o.access, o.drive, 1, 0, id.data(), 4096), 1);
    EXPECT_EQ(id[260], 2 << 1) << "FRMW: two slots, slot 1 writable";
    Slots before = ReadSlots(o);
    EXPECT_EQ(before.active, 1);
    EXPECT_EQ(before.next, 0);
    EXPECT_EQ(before.slot1, d.firmware);
    EXPECT_EQ(before.slot2, "SPARE002");

    ASSERT_EQ(DISKLIB_NVME_DownloadFW(&o.access, o.drive, image.data(), static_cast<uint32_t>(image.size())), 1);
    ASSERT_EQ(DISKLIB_NVME_FWActive(&o.access, o.drive, 1, 1), 1);
    // The USB bridges that wait for a power cycle show the commit waiting.
    if (GetParam().cmd_type == kCmdAsmedia || GetParam().cmd_type == kCmdJmicron) {
        Slots pending = ReadSlots(o);
        EXPECT_EQ(pending.active, 1);
        EXPECT_EQ(pending.next, 1);
        EXPECT_EQ(pending.slot1, "2B3C4D5E");
        EXPECT_EQ(RunningVersion(o), "1A2B3C4D");
    }
    ResetAndWait(o, true);

    o = Open(GetParam().cmd_type);
    ASSERT_NE(o.drive, INVALID_HANDLE_VALUE);
    Slots after = ReadSlots(o);
    EXPECT_EQ(after.active, 1);
    EXPECT_EQ(after.next, 0);
    EXPECT_EQ(after.slot1, "2B3C4D5E");
    EXPECT_EQ(after.slot2, "SPARE002");
    Close(o);
}

TEST_P(FirmwareCycle, SlotHoldsTheOldRevisionWhenTheNewNeverRuns) {
    sim::MachineDesc m;
    sim::DriveDesc& d = AddDrive(m);
    d.activation_applies = false;
    ASSERT_EQ(d.firmware.size(), 8u);
    sim::InstallMachine(m);
    V image = MakeTestImage();
    Opened o = Open(GetParam().cmd_type);
    ASSERT_NE(o.drive, INVALID_HANDLE_VALUE);
    V id(4096);
    ASSERT_EQ(NvmeIdentify(&o.access, o.drive, 1, 0, id.data(), 4096), 1);
    EXPECT_EQ(id[260], 1 << 1) << "FRMW: one slot by default";
    ASSERT_EQ(DISKLIB_NVME_DownloadFW(&o.access, o.drive, image.data(), static_cast<uint32_t>(image.size())), 1);
    ASSERT_EQ(DISKLIB_NVME_FWActive(&o.access, o.drive, 1, 1), 1);
    ResetAndWait(o, true);
    o = Open(GetParam().cmd_type);
    ASSERT_NE(o.drive, INVALID_HANDLE_VALUE);
    Slots after = ReadSlots(o);
    EXPECT_EQ(after.active, 1);
    EXPECT_EQ(after.next, 0);
    EXPECT_EQ(after.slot1, d.firmware);
    EXPECT_EQ(RunningVersion(o), "1A2B3C4D");
    Close(o);
}

INSTANTIATE_TEST_SUITE_P(Attachments, FirmwareCycle,
                         ::testing::Values(Cycle{sim::Attachment::kAsmedia, kCmdAsmedia, "Asmedia"},
                                           Cycle{sim::Attachment::kJmicron, kCmdJmicron, "Jmicron"},
                                           Cycle{sim::Attachment::kNativeNvme, kCmdNative, "Native"},
                                           Cycle{sim::Attachment::kRst, kCmdRst, "Rst"},
                                           Cycle{sim::Attachment::kRealtek, kCmdRealtek, "Realtek"}),
                         [](const ::testing::TestParamInfo<Cycle>& info) { return std::string(info.param.name); });

}  // namespace
