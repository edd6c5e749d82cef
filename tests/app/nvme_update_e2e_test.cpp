// Whole NVMe updates through the dialog, for every attachment: the bar, the
// list afterwards, the version writes in both orders, and the failures.
#include <gtest/gtest.h>

#include <cstring>

#include "app/dialog_ids.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "nvme/identify.h"
#include "nvme/nvme_commands.h"
#include "package/image.h"
#include "platform/host/host_control.h"
#include "platform/host/host_objects.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"
#include "tests/app/update_fixture.h"

namespace {

using sim::Attachment;

const std::vector<int> kDownloadSteps = {0, 3, 6, 9, 12, 15, 18, 21, 24, 27};

std::vector<int> ExpectedBar(bool power_cycle) {
    std::vector<int> bar = kDownloadSteps;
    for (int p : {30, 33, 36, 40, 46, 53, 60}) bar.push_back(p);
    if (power_cycle)
        for (int p : {63, 66, 70}) bar.push_back(p);
    if (!power_cycle) bar.push_back(70);
    bar.push_back(100);
    return bar;
}

// What the drive holds now, read through the command layer.
struct DriveState {
    std::string config_version;  // configuration block 0x428, 8 bytes
    std::string mp_version;      // MP-information block 88..95
};
DriveState ReadDrive(int number) {
    DriveState out;
    WCH path[64] = u"\\\\.\\PhysicalDrive0";
    path[17] = static_cast<WCH>(u'0' + number);
    DiskAccess access;
    HANDLE drive = OpenNvmeDisk(path, &access);
    EXPECT_NE(drive, INVALID_HANDLE_VALUE);
    if (drive == INVALID_HANDLE_VALUE) return out;
    uint8_t block[4096] = {};
    if (DISKLIB_NVME_GetFWConfig(&access, drive, block) == 1)
        out.config_version.assign(reinterpret_cast<char*>(block + image::kConfigVersion), 8);
    std::memset(block, 0, sizeof block);
    if (DISKLIB_NVME_VSC_GetMPInfo(&access, drive, block) == 1)
        out.mp_version.assign(reinterpret_cast<char*>(block + mpinfo::kNewVersion), 8);
    os::CloseHandle(drive);
    if (access.hScsiPort != INVALID_HANDLE_VALUE) os::CloseHandle(access.hScsiPort);
    return out;
}

class NvmeUpdateE2E : public UpdateFixture {};

struct AttachmentCase {
    Attachment attachment;
    const char* name;
    bool power_cycle;
    const char16_t* interface_text;
};

class EveryAttachment : public NvmeUpdateE2E, public ::testing::WithParamInterface<AttachmentCase> {};

TEST_P(EveryAttachment, UpdateSucceedsAndTheListShowsTheNewRevision) {
    const AttachmentCase& c = GetParam();
    sim::MachineDesc machine;
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, c.attachment);
    if (c.attachment == Attachment::kRealtek) {
        // The worker gives a Realtek bridge no power cycle; the new firmware
        // runs only where the bridge resets the drive on the commit itself.
        d.on_activate.leaves = true;
        d.on_activate.gone_seconds = 2;
    }
    Install(machine);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start(), nullptr);
    ASSERT_EQ(ListTexts(), std::vector<std::u16string>{u"VELQORAX VX500 512GB (RAW)"});
    EXPECT_EQ(HostControlText(kIdFirmware), u"VX5A0100");
    EXPECT_EQ(HostControlText(kIdInterface), c.interface_text);
    HostResetBadCloseCount();

    Run();
    EXPECT_EQ(Result(), 1);
    EXPECT_EQ(DistinctPositions(), ExpectedBar(c.power_cycle));
    EXPECT_EQ(HostProgressPosition(kIdProgress), 100);
    EXPECT_TRUE(HostMessageBoxes().empty());  // no AfterMessage: nothing shown
    EXPECT_EQ(ListTexts(), std::vector<std::u16string>{u"VELQORAX VX500 512GB (RAW)"});
    EXPECT_EQ(HostComboSelection(kIdDriveList), 0);
    EXPECT_EQ(HostControlText(kIdFirmware), u"1A2B3C5E");
    EXPECT_EQ(GetAppState()->SelectedDisk.szFWRevision, std::u16string(u"1A2B3C5E"));
    ExpectCleanIdle();
    EXPECT_EQ(ReadDrive(0).config_version, "VX5A0200");
    Close();
}

INSTANTIATE_TEST_SUITE_P(
    Nvme, EveryAttachment,
    ::testing::Values(AttachmentCase{Attachment::kNativeNvme, "Native", false, u"PCIE Gen3 Signaling Speed (8.0 Gbps) x 4"},
                      AttachmentCase{Attachment::kRst, "Rst", false, u"Intel Rapid Storage Technology"},
                      AttachmentCase{Attachment::kAsmedia, "Asmedia", true, u"ASMedia Bridge NVME to USB-1"},
                      AttachmentCase{Attachment::kJmicron, "Jmicron", true, u"JMicron Bridge NVME to USB-1"},
                      AttachmentCase{Attachment::kRealtek, "Realtek", false, u"Realtek Bridge NVME to USB-1"}),
    [](const ::testing::TestParamInfo<AttachmentCase>& info) { return std::string(info.param.name); });

// ---- the version write, before or after the new firmware --------------------

class VersionOrder : public NvmeUpdateE2E, public ::testing::WithParamInterface<bool> {};

TEST_P(VersionOrder, ConfigurationPathWritesTheBlockBeforeOrAfter) {
    bool before = GetParam();
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    Install(machine);
    TestPackage package = DefaultTestPackage();
    package.Set("bSetVersionBeforeQuillon", before ? "1" : "0");
    UsePackage(package);
    ASSERT_NE(Start("/debug"), nullptr);
    Run();
    EXPECT_EQ(Result(), 1);
    int set = LogIndex(u"DISKLIB_NVME_SetFWConfig IN");
    int download = LogIndex(u"DISKLIB_NVME_DownloadFW IN");
    ASSERT_GE(download, 0);
    std::vector<std::u16string> lines = LogLines();
    int reads_after = 0;
    for (size_t i = static_cast<size_t>(download); i < lines.size(); ++i)
        if (lines[i] == u"DISKLIB_NVME_GetFWConfig IN") ++reads_after;
    if (before) {
        ASSERT_GE(set, 0);
        EXPECT_LT(set, download);
        EXPECT_EQ(reads_after, 0);
    } else {
        // The block the new firmware runs with came from the patched image
        // and already holds NEWVERSION: read again, nothing to write.
        EXPECT_LT(set, 0);
        EXPECT_EQ(reads_after, 1);
    }
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_SetFWVersionByMpInfo IN"), 0);
    // The block that runs now carries NEWVERSION either way: written before
    // (and patched into the image) or written after the drive came back.
    EXPECT_EQ(ReadDrive(0).config_version, "VX5A0200");
    ExpectCleanIdle();
    Close();
}

TEST_P(VersionOrder, PlainPathWritesTheVersionThroughTheMpBlock) {
    bool before = GetParam();
    sim::MachineDesc machine;
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    d.vendor.drvinfo = sim::DrvInfoSource::kNone;  // no drive-information block
    d.vendor.mp_marker = 1768;
    d.vendor.mp_soc_id = 0x5236;
    d.vendor.mp_version = "1A2B3C4D";
    Install(machine);
    TestPackage package = DefaultTestPackage();
    package.Set("bSetVersionBeforeQuillon", before ? "1" : "0");
    UsePackage(package);
    ASSERT_NE(Start("/debug"), nullptr);
    ASSERT_EQ(GetAppState()->SelectedDisk.bDrvInfoValid, 0);
    Run();
    EXPECT_EQ(Result(), 1);
    int set = LogIndex(u"DISKLIB_NVME_SetFWVersionByMpInfo IN");
    ASSERT_GE(set, 0);
    if (before)
        EXPECT_LT(set, LogIndex(u"DISKLIB_NVME_DownloadFW IN"));
    else
        EXPECT_GT(set, LogIndex(u"GetDiskInfoByPortID Success OUT"));
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_GetFWConfig IN"), 0);
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_SetFWConfig IN"), 0);
    EXPECT_EQ(ReadDrive(0).mp_version, "VX5A0200");
    ExpectCleanIdle();
    Close();
}

INSTANTIATE_TEST_SUITE_P(Nvme, VersionOrder, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Before" : "After");
                         });

// ---- failures ------------------------------------------------------------------------

TEST_F(NvmeUpdateE2E, DriveThatDoesNotComeBackFailsAndIsListedAsDisconnected) {
    sim::MachineDesc machine;
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    d.on_activate.returns = false;
    Install(machine);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start(), nullptr);
    ULONGLONG start = HostClockNow();
    Run();
    EXPECT_EQ(Result(), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Update FW Fail !"});
    EXPECT_GE(HostClockNow() - start, 30000u + 6000u);  // 30 one-second attempts after the two waits
    // The 30 attempts within the stage 70 to 80, then no jump to 100.
    std::vector<int> bar = DistinctPositions();
    std::vector<int> tail(bar.end() - 11, bar.end());
    EXPECT_EQ(tail, (std::vector<int>{70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80}));
    // A failed run does not refresh the list: the entry stays as it was.
    EXPECT_EQ(ListTexts(), std::vector<std::u16string>{u"VELQORAX VX500 512GB (RAW)"});
    ExpectCleanIdle();
    Close();
}

TEST_F(NvmeUpdateE2E, VersionMismatchAfterTheUpdateIsMinusFour) {
    sim::MachineDesc machine;
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    d.activation_applies = false;  // the old firmware keeps running
    Install(machine);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start("/debug"), nullptr);
    Run();
    EXPECT_EQ(Result(), -4);
    EXPECT_TRUE(Logged(u"Quillon Fail, DrvVer=1A2B3C4D, BinVer=1A2B3C5E"));
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Update FW Fail !"});
    // Nothing written after the failed check: the block is the drive's own.
    EXPECT_EQ(ReadDrive(0).config_version, "VX5A0100");
    ExpectCleanIdle();
    Close();
}

TEST_F(NvmeUpdateE2E, FailedDownloadReportsItsCodeAndReleasesTheImage) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    sim::AddFault(machine, "disk0", sim::FaultMatch::kIoctl, kIoctlStorageFirmwareDownload, 3);
    Install(machine);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start("/debug"), nullptr);
    Run();
    EXPECT_EQ(Result(), -4);
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_FWActive IN"), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Update FW Fail !"});
    EXPECT_LT(HostProgressPosition(kIdProgress), 30);  // where the download stopped
    ExpectCleanIdle();
    Close();
}

TEST_F(NvmeUpdateE2E, EmptyImageFileEndsBeforeAnyDriveCommand) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    Install(machine);
    TestPackage package = DefaultTestPackage();
    // Checks that read the image are off, so only the worker meets the empty file.
    package.Set("iInternalFWVersionCheckPart", "0");
    package.Set("bRemoveFtlBuildNumCheck", "1");
    package.files[0].second.clear();
    UsePackage(package);
    ASSERT_NE(Start("/debug"), nullptr);
    int opens_before = LogIndex(u"Press OK");
    EXPECT_LT(opens_before, 0);
    Run();
    EXPECT_EQ(Result(), 0);
    // Nothing after the run's start line reached the drive.
    std::vector<std::u16string> lines = LogLines();
    int press = LogIndex(u"Press OK");
    ASSERT_GE(press, 0);
    for (size_t i = static_cast<size_t>(press); i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].find(u"DISKLIB_NVME_DownloadFW"), std::u16string::npos);
        EXPECT_EQ(lines[i].find(u"SetFW"), std::u16string::npos);
        EXPECT_EQ(lines[i].find(u"GetFWConfig"), std::u16string::npos);
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Update FW Fail !"});
    ExpectCleanIdle();
    Close();
}

TEST_F(NvmeUpdateE2E, AllZeroConfigurationBlockIsAFailedRead) {
    sim::MachineDesc machine;
    sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, Attachment::kNativeNvme);
    d.vendor.config_block.assign(4096, 0);
    Install(machine);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start("/debug"), nullptr);
    Run();
    EXPECT_EQ(Result(), 0);
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_SetFWConfig IN"), 0);
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_DownloadFW IN"), 0);
    ExpectCleanIdle();
    Close();
}

// Erased flash (all 0xFF) is no configuration either: nothing is written,
// nothing is spliced into the image and sent.
TEST_F(NvmeUpdateE2E, ErasedConfigurationBlockIsAFailedRead) {
    for (bool before : {false, true}) {
        sim::MachineDesc machine;
        sim::DriveDesc& d = sim::AddNvmeDrive(machine, 0, Attachment::kJmicron);
        d.vendor.config_block.assign(4096, 0xFF);
        Install(machine);
        TestPackage p = DefaultTestPackage();
        p.Set("bSetVersionBeforeQuillon", before ? "1" : "0");
        UsePackage(p);
        ASSERT_NE(Start("/debug"), nullptr);
        Run();
        EXPECT_EQ(Result(), 0) << before;
        EXPECT_GE(LogIndex(u"DISKLIB_NVME_GetFWConfig empty block"), 0) << before;
        EXPECT_LT(LogIndex(u"DISKLIB_NVME_SetFWConfig IN"), 0) << before;
        EXPECT_LT(LogIndex(u"DISKLIB_NVME_DownloadFW IN"), 0) << before;
        ExpectCleanIdle();
        Close();
    }
}

}  // namespace

namespace {

// A bridge that refuses a piece of the download with CHECK CONDITION has not
// taken its data: the download stops there, nothing is committed, and the
// drive keeps its firmware.
TEST_F(NvmeUpdateE2E, BridgeRefusingADownloadPieceStopsBeforeTheCommit) {
    sim::MachineDesc machine;
    sim::AddNvmeDrive(machine, 0, Attachment::kAsmedia);
    // EA opens every ASMedia command and carries every piece's data; the 41st
    // one falls inside the download, after start-up and the run's checks.
    sim::FaultDesc& f = sim::AddFault(machine, "disk0", sim::FaultMatch::kCdb, 0xEA, 41);
    f.action = sim::FaultAction::kCheckCondition;
    Install(machine);
    UsePackage(DefaultTestPackage());
    ASSERT_NE(Start("/debug"), nullptr);
    HostResetBadCloseCount();
    Run();
    EXPECT_EQ(Result(), -4);
    // The refused request was a piece's data (EA 5A 81 ...), and no commit
    // (a command phase carrying opcode 10h) went after it.
    const size_t cdb = offsetof(ScsiPassThroughDirect, Cdb);
    bool refused = false, commit_after = false;
    for (const sim::RequestRecord& q : sim::Requests()) {
        if (q.ioctl != kIoctlScsiPassThroughDirect || q.in.size() < cdb + 3) continue;
        if (q.out.size() > 2 && q.out[2] == 2) {
            EXPECT_EQ(q.in[cdb + 2], 0x81) << "the fault should hit a piece's data phase";
            refused = true;
        }
        if (refused && q.in[cdb] == 0xEA && q.in[cdb + 2] == 0x80 && !q.data_out.empty() && q.data_out[0] == 0x10)
            commit_after = true;
    }
    EXPECT_TRUE(refused);
    EXPECT_FALSE(commit_after);
    EXPECT_LT(LogIndex(u"DISKLIB_NVME_FWActive IN"), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Update FW Fail !"});
    ExpectCleanIdle();
    EXPECT_EQ(ReadDrive(0).config_version, "VX5A0100");
    DiskInfo now;
    ASSERT_EQ(GetNvmeDiskInfo(u"\\\\.\\PhysicalDrive0", &now), 1);
    EXPECT_EQ(std::u16string(now.szFWRevision), u"VX5A0100");
    Close();
}

}  // namespace
