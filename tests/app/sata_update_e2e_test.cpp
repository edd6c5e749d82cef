// Whole SATA updates through the dialog, for the three attachments: the
// bar, the list afterwards, the configuration block's version (KEEP, no
// change, a change), a drive that is not found again, and the failures.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "app/dialog_ids.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "package/image.h"
#include "platform/host/host_control.h"
#include "platform/host/host_objects.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"
#include "sata/ata_command.h"
#include "sata/sata_identify.h"
#include "tests/app/update_fixture.h"

namespace {

using sim::Attachment;

// The simulated SATA drive's family values: internal version 5E6F7A8B, FTL
// build 0x2233, NAND 45 3C 98 B3 76 72 with one LUN, revision VS3A0100.
TestPackage SataPackage() {
    TestPackage p = DefaultTestPackage();
    p.Set("ModelName", "|VELQORAX VS300 256GB|");
    p.Set("FWVersion", "|VS3A0100|");
    p.Set("NEWVERSION", "VS3A0200");
    p.Set("bIsSATA", "1");
    p.nandmap = {{"453C98B37672_1", "VS300_T3.bin"}};
    p.files = {{"VS300_T3.bin", MakeTestImage(7, "5E6F7A9C", 0x00002233, "VS3A0100")}};
    return p;
}

// The ATA commands the drive was sent, by either way in: (command, features).
std::vector<std::pair<int, int>> AtaSent() {
    std::vector<std::pair<int, int>> out;
    for (const sim::RequestRecord& q : sim::Requests()) {
        if (q.ioctl == kIoctlAtaPassThroughDirect && q.in.size() >= 48)
            out.emplace_back(q.in[40 + 6], q.in[40 + 0]);
        if (q.ioctl == kIoctlScsiPassThroughDirect && q.in.size() >= 56 && q.in[36] == 0xA1)
            out.emplace_back(q.in[36 + 9], q.in[36 + 3]);
    }
    return out;
}
int CountSent(int command, int features) {
    int n = 0;
    for (const auto& c : AtaSent()) n += c.first == command && c.second == features;
    return n;
}

// The configuration block's version text as the drive holds it now.
std::string ConfigVersion(int number) {
    WCH path[64] = u"\\\\.\\PhysicalDrive0";
    path[17] = static_cast<WCH>(u'0' + number);
    DiskAccess access;
    HANDLE drive = OpenSataDisk(path, &access);
    EXPECT_NE(drive, INVALID_HANDLE_VALUE);
    if (drive == INVALID_HANDLE_VALUE) return "";
    BYTE block[4096] = {};
    std::string out;
    if (SataGetFWConfig(&access, drive, block) == 1) out.assign(reinterpret_cast<char*>(block + image::kConfigVersion), 8);
    os::CloseHandle(drive);
    return out;
}

// The bar: the download's own steps in 0..40, then the settle wait, the
// jump to 80 and the end.
std::vector<int> ExpectedBar(size_t image_size) {
    std::vector<int> bar = {0};
    uint32_t last = 0;
    for (size_t sent = 0; sent < image_size; sent += 4096) {
        uint32_t p = static_cast<uint32_t>((sent * 10) / image_size) * 10;
        if (p != last) bar.push_back(static_cast<int>(40 * p / 100));
        last = p;
    }
    for (int p : {40, 46, 53, 60, 80, 100}) bar.push_back(p);
    return bar;
}

class SataUpdateE2E : public UpdateFixture {
protected:
    // The drive's request record starts afresh with each run.
    void Run() {
        sim::ClearRequests();
        UpdateFixture::Run();
    }
    // One SATA drive of this attachment, the package, the dialog up with the drive listed.
    void StartWith(Attachment attachment, const TestPackage& package, const char* command_line = "",
                   void (*adjust)(sim::DriveDesc&) = nullptr) {
        sim::MachineDesc machine;
        sim::DriveDesc& d = sim::AddSataDrive(machine, 4, attachment);
        if (adjust) adjust(d);
        Install(machine);
        UsePackage(package);
        ASSERT_NE(Start(command_line), nullptr);
        ASSERT_EQ(ListTexts(), std::vector<std::u16string>{u"VELQORAX VS300 256GB (RAW)"});
        HostResetBadCloseCount();
    }
};

class EverySataAttachment : public SataUpdateE2E, public ::testing::WithParamInterface<Attachment> {};

TEST_P(EverySataAttachment, UpdateSucceedsWithTheNewVersionInTheConfigurationBlock) {
    StartWith(GetParam(), SataPackage());
    EXPECT_EQ(HostControlText(kIdFirmware), u"VS3A0100");
    Run();
    EXPECT_EQ(Result(), 1);
    EXPECT_EQ(DistinctPositions(), ExpectedBar(SataPackage().files[0].second.size()));
    EXPECT_EQ(HostProgressPosition(kIdProgress), 100);
    EXPECT_TRUE(HostMessageBoxes().empty());
    // The list is refilled: the drive runs the image's firmware.
    EXPECT_EQ(ListTexts(), std::vector<std::u16string>{u"VELQORAX VS300 256GB (RAW)"});
    EXPECT_EQ(HostControlText(kIdFirmware), u"5E6F7A9C");
    EXPECT_EQ(GetAppState()->SelectedDisk.szFWRevision, std::u16string(u"5E6F7A9C"));
    // Read, changed, written back once; no activation, no other command.
    EXPECT_EQ(CountSent(0xC3, 2), 1);
    EXPECT_EQ(CountSent(0xC2, 1), 1);
    ExpectCleanIdle();
    EXPECT_EQ(ConfigVersion(4), "VS3A0200");
    Close();
}

INSTANTIATE_TEST_SUITE_P(Sata, EverySataAttachment,
                         ::testing::Values(Attachment::kSataPort, Attachment::kUsbSata, Attachment::kScsiAdapter),
                         [](const ::testing::TestParamInfo<Attachment>& info) {
                             switch (info.param) {
                                 case Attachment::kSataPort: return std::string("NativePort");
                                 case Attachment::kUsbSata: return std::string("UsbBridge");
                                 default: return std::string("ScsiAdapter");
                             }
                         });

TEST_F(SataUpdateE2E, KeepInAnyCaseLeavesTheConfigurationBlockAlone) {
    for (const char* keep : {"KEEP", "kEeP"}) {
        SCOPED_TRACE(keep);
        TestPackage p = SataPackage();
        p.Set("NEWVERSION", keep);
        StartWith(Attachment::kUsbSata, p);
        Run();
        EXPECT_EQ(Result(), 1);
        EXPECT_EQ(CountSent(0xC3, 2), 0);
        EXPECT_EQ(CountSent(0xC2, 1), 0);
        EXPECT_EQ(DistinctPositions(), ExpectedBar(p.files[0].second.size()));
        ExpectCleanIdle();
        EXPECT_EQ(ConfigVersion(4), "VS3A0100") << "the image's block, untouched";
        Close();
    }
}

TEST_F(SataUpdateE2E, UnchangedVersionIsReadButNotWritten) {
    TestPackage p = SataPackage();
    p.Set("NEWVERSION", "VS3A0100");  // what the image's block already says
    StartWith(Attachment::kSataPort, p);
    Run();
    EXPECT_EQ(Result(), 1);
    EXPECT_EQ(CountSent(0xC3, 2), 1);
    EXPECT_EQ(CountSent(0xC2, 1), 0);
    ExpectCleanIdle();
    Close();
}

// The drive drops off the bus once the bar reaches 80 and never returns:
// ten one-second attempts in the stage 80..100, and still success.
TEST_F(SataUpdateE2E, DriveNotFoundAgainStillEndsWithSuccess) {
    StartWith(Attachment::kSataPort, SataPackage(), "", [](sim::DriveDesc& d) {
        d.on_activate.leaves = true;
        d.on_activate.returns = false;
    });
    HostObservers observers;
    observers.progress = [this](int, int position) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            positions_.push_back(position);
        }
        if (position == 80) sim::TriggerActivation("disk4");
    };
    HostSetObservers(observers);
    ULONGLONG start = HostClockNow();
    Run();
    EXPECT_EQ(Result(), 1);
    EXPECT_GE(HostClockNow() - start, 3000u + 10000u);
    std::vector<int> bar = DistinctPositions();
    std::vector<int> tail(bar.end() - 11, bar.end());
    EXPECT_EQ(tail, (std::vector<int>{80, 82, 84, 86, 88, 90, 92, 94, 96, 98, 100}));
    EXPECT_TRUE(BoxTexts().empty());
    ExpectCleanIdle();
    Close();
}

TEST_F(SataUpdateE2E, FailedDownloadReportsMinusFourAndTheDriveKeepsItsFirmware) {
    StartWith(Attachment::kSataPort, SataPackage(), "/debug", nullptr);
    sim::MachineDesc machine;
    sim::AddSataDrive(machine, 4, Attachment::kSataPort);
    sim::AddFault(machine, "disk4", sim::FaultMatch::kAta, 0x92, 3).every = true;
    Install(machine);
    Run();
    EXPECT_EQ(Result(), -4);
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Update FW Fail !"});
    EXPECT_TRUE(Logged(u"DISKLIB_SATA_Quillon Error, Retry 2"));
    EXPECT_FALSE(Logged(u"DISKLIB_SATA_Quillon Success OUT"));
    EXPECT_EQ(CountSent(0xC3, 2), 0);
    EXPECT_LT(HostProgressPosition(kIdProgress), 40);
    ExpectCleanIdle();
    DiskInfo r;
    ASSERT_EQ(GetSataDiskInfo(u"\\\\.\\PhysicalDrive4", &r), 1);
    EXPECT_EQ(std::u16string(r.szFWRevision), u"VS3A0100");
    Close();
}

// Behind a bridge or a SCSI adapter the drive's refusal of a piece arrives as
// CHECK CONDITION: the download fails as on the native port, and neither the
// firmware nor the configuration block changes.
TEST_F(SataUpdateE2E, PieceRefusedThroughTranslationFailsTheDownload) {
    for (Attachment attachment : {Attachment::kUsbSata, Attachment::kScsiAdapter}) {
        StartWith(attachment, SataPackage(), "/debug", nullptr);
        sim::MachineDesc machine;
        sim::AddSataDrive(machine, 4, attachment);
        sim::FaultDesc& f = sim::AddFault(machine, "disk4", sim::FaultMatch::kAta, 0x92, 3);
        f.every = true;
        f.action = sim::FaultAction::kAtaError;
        Install(machine);
        Run();
        EXPECT_EQ(Result(), -4);
        EXPECT_TRUE(Logged(u"DISKLIB_SATA_Quillon Error, Retry 2"));
        EXPECT_FALSE(Logged(u"DISKLIB_SATA_Quillon Success OUT"));
        EXPECT_EQ(CountSent(0xC2, 1), 0);
        ExpectCleanIdle();
        DiskInfo r;
        ASSERT_EQ(GetSataDiskInfo(u"\\\\.\\PhysicalDrive4", &r), 1);
        EXPECT_EQ(std::u16string(r.szFWRevision), u"VS3A0100");
        EXPECT_EQ(ConfigVersion(4), "VS3A0100");
        Close();
    }
}

TEST_F(SataUpdateE2E, EmptyImageEndsBeforeAnyDriveCommand) {
    TestPackage p = SataPackage();
    // Checks that read the image are off, so only the worker meets the empty file.
    p.Set("iInternalFWVersionCheckPart", "0");
    p.Set("bRemoveFtlBuildNumCheck", "1");
    p.files[0].second.clear();
    StartWith(Attachment::kUsbSata, p, "/debug");
    Run();
    EXPECT_EQ(Result(), 0);
    // Only the run button's re-identification reached the drive.
    for (const auto& c : AtaSent()) EXPECT_TRUE(c.first == 0xEC || (c.first == 0xC3 && c.second != 2)) << c.first;
    EXPECT_LT(LogIndex(u"DISKLIB_SATA_Quillon IN"), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Update FW Fail !"});
    ExpectCleanIdle();
    Close();
}

TEST_F(SataUpdateE2E, PartialImageIsNeverSent) {
    TestPackage p = SataPackage();
    p.Set("iInternalFWVersionCheckPart", "0");
    p.Set("bRemoveFtlBuildNumCheck", "1");
    p.files[0].second.resize(p.files[0].second.size() - 100);  // not whole 512-byte blocks
    StartWith(Attachment::kUsbSata, p, "/debug");
    Run();
    EXPECT_EQ(Result(), 0);
    EXPECT_EQ(CountSent(0x92, 3), 0);
    EXPECT_TRUE(Logged(u"DISKLIB_SATA_Quillon IN"));
    ExpectCleanIdle();
    Close();
}

// An image whose configuration block is empty leaves the drive running an
// all-zero block: the read returns nothing, so nothing is written back.
TEST_F(SataUpdateE2E, AllZeroConfigurationBlockIsAFailedRead) {
    TestPackage p = SataPackage();
    std::vector<uint8_t> firmware(7 * image::kPage, 0x5A);
    ImageDesc desc = {};
    desc.firmware = firmware.data();
    desc.firmware_size = firmware.size();
    desc.config = nullptr;  // all zeros
    ASSERT_TRUE(ParseVersionParts(u"5E6F7A9C", desc.version));
    desc.ftl_build = 0x2233;
    desc.crc32c = 1;
    std::vector<uint8_t> image(ImageSizeFor(firmware.size()));
    image.resize(MakeImage(&desc, image.data(), image.size()));
    p.files[0].second = image;
    StartWith(Attachment::kUsbSata, p, "/debug");
    Run();
    EXPECT_EQ(Result(), 0);
    EXPECT_EQ(CountSent(0xC3, 2), 1);
    EXPECT_EQ(CountSent(0xC2, 1), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Update FW Fail !"});
    ExpectCleanIdle();
    Close();
}

// The same with an erased block (all 0xFF): the version is not written into it.
TEST_F(SataUpdateE2E, ErasedConfigurationBlockIsAFailedRead) {
    TestPackage p = SataPackage();
    std::vector<uint8_t> firmware(7 * image::kPage, 0x5A);
    std::vector<uint8_t> erased(image::kConfigBlock, 0xFF);
    ImageDesc desc = {};
    desc.firmware = firmware.data();
    desc.firmware_size = firmware.size();
    desc.config = erased.data();
    desc.config_size = erased.size();
    ASSERT_TRUE(ParseVersionParts(u"5E6F7A9C", desc.version));
    desc.ftl_build = 0x2233;
    desc.crc32c = 1;
    std::vector<uint8_t> image(ImageSizeFor(firmware.size()));
    image.resize(MakeImage(&desc, image.data(), image.size()));
    p.files[0].second = image;
    StartWith(Attachment::kScsiAdapter, p, "/debug");
    Run();
    EXPECT_EQ(Result(), 0);
    EXPECT_TRUE(Logged(u"SataGetFWConfig empty block"));
    EXPECT_EQ(CountSent(0xC3, 2), 1);
    EXPECT_EQ(CountSent(0xC2, 1), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Update FW Fail !"});
    ExpectCleanIdle();
    Close();
}

}  // namespace
