// The image the drive gets is the image the run button's checks passed: an
// image replaced while the confirmation question is open is not sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app_state.h"
#include "package/config.h"
#include "package/files.h"
#include "platform/host/host_control.h"
#include "tests/app/update_fixture.h"

namespace {

using sim::Attachment;

class ImageSwap : public UpdateFixture {
protected:
    // Runs an update whose image file is overwritten with replacement (when
    // not empty) as soon as the BeforeMessage question appears.
    void RunSwapping(Attachment attachment, TestPackage package, const std::vector<uint8_t>& replacement) {
        sim::MachineDesc machine;
        if (attachment == Attachment::kUsbSata)
            sim::AddSataDrive(machine, 4, attachment);
        else
            sim::AddNvmeDrive(machine, 0, attachment);
        Install(machine);
        package.Set("BeforeMessage", "Update?");
        UsePackage(package);
        ASSERT_NE(Start("/debug"), nullptr);
        HostObservers observers;
        observers.message_box = [&](const HostMessageBox& box) {
            if (box.text != u"Update?" || replacement.empty()) return;
            WCH path[260];
            ASSERT_EQ(FindImageForNand(&GetAppState()->SelectedDisk, path), 1);
            ASSERT_EQ(WriteWholeFile(path, replacement.data(), static_cast<DWORD>(replacement.size())), 1);
            sim::ClearRequests();  // what the run button sent is behind us
        };
        HostSetObservers(observers);
        HostScriptMessageBoxAnswer(IDYES);
        Run();
        HostSetObservers(HostObservers());
    }
    bool AnyDownload() {
        return LogIndex(u"DISKLIB_NVME_DownloadFW IN") >= 0 || LogIndex(u"DISKLIB_SATA_Quillon IN") >= 0;
    }
};

TEST_F(ImageSwap, ReplacedImageIsNotSentAndNothingReachesTheDrive) {
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
    } cases[] = {
        {"another version, same size", MakeTestImage(16, "1A2B3C5F")},
        {"the same version, another size", MakeTestImage(17)},
        {"the same version and size, another FTL build", MakeTestImage(16, "1A2B3C5E", 0x00054321)},
    };
    for (const Case& c : cases) {
        TestPackage p = DefaultTestPackage();
        p.files[0].second = MakeTestImage(16);
        p.Set("bRemoveFtlBuildNumCheck", "1");
        RunSwapping(Attachment::kNativeNvme, p, c.image);
        EXPECT_EQ(Result(), 0) << c.what;
        EXPECT_GE(LogIndex(u"Image changed after the checks"), 0) << c.what;
        EXPECT_FALSE(AnyDownload()) << c.what;
        // The worker ended before it opened the drive.
        EXPECT_TRUE(sim::Requests().empty()) << c.what;
        ExpectCleanIdle();
        Close();
    }
}

TEST_F(ImageSwap, UnchangedImageIsSentAsBefore) {
    TestPackage p = DefaultTestPackage();
    p.files[0].second = MakeTestImage(16);
    RunSwapping(Attachment::kNativeNvme, p, {});
    EXPECT_EQ(Result(), 1);
    EXPECT_LT(LogIndex(u"Image changed after the checks"), 0);
    ExpectCleanIdle();
    Close();
}

TEST_F(ImageSwap, SataWorkerChecksBeforeOpeningTheDrive) {
    TestPackage p = DefaultTestPackage();
    p.Set("ModelName", "|VELQORAX VS300 256GB|");
    p.Set("FWVersion", "|VS3A0100|");
    p.Set("NEWVERSION", "VS3A0200");
    p.Set("bIsSATA", "1");
    p.nandmap = {{"453C98B37672_1", "VS300_T3.bin"}};
    p.files = {{"VS300_T3.bin", MakeTestImage(7, "5E6F7A9C", 0x00002233, "VS3A0100")}};
    RunSwapping(Attachment::kUsbSata, p, MakeTestImage(7, "5E6F7A9D", 0x00002233, "VS3A0100"));
    EXPECT_EQ(Result(), 0);
    EXPECT_GE(LogIndex(u"Image changed after the checks"), 0);
    EXPECT_FALSE(AnyDownload());
    EXPECT_TRUE(sim::Requests().empty());
    ExpectCleanIdle();
    Close();
}

}  // namespace
