// The simulated SATA drive taking firmware through the tool's own download:
// the new firmware runs once the last piece is in, pieces out of order or
// lost spoil the image, and faults reach the tool the way each attachment
// reports them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "package/image.h"
#include "platform/host/host_control.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"
#include "sata/ata_command.h"
#include "sata/sata_identify.h"

namespace {

using sim::Attachment;
using V = std::vector<uint8_t>;

const char16_t* const kPath = u"\\\\.\\PhysicalDrive4";

// A sealed image: 10 pages of firmware, version 1A2B3C5E, FTL build 0x2234,
// configuration block with "VS3A0200" at 0x428.
V SataImage() {
    V firmware(10 * image::kPage);
    for (size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<uint8_t>(i * 5 + 1);
    V config(image::kConfigBlock);
    for (size_t i = 0; i < 0x400; ++i) config[i] = static_cast<uint8_t>(0x30 + i % 7);
    std::memcpy(config.data() + image::kConfigVersion, "VS3A0200", 8);
    ImageDesc desc = {};
    desc.firmware = firmware.data();
    desc.firmware_size = firmware.size();
    desc.config = config.data();
    desc.config_size = config.size();
    EXPECT_TRUE(ParseVersionParts(u"1A2B3C5E", desc.version));
    desc.ftl_build = 0x2234;
    desc.crc32c = 1;
    V out(ImageSizeFor(firmware.size()));
    out.resize(MakeImage(&desc, out.data(), out.size()));
    return out;
}

class SimSataDrive : public ::testing::Test {
protected:
    void SetUp() override {
        HostResetAll();
        memory_before_ = HostMemoryBlocks();
    }
    void TearDown() override {
        EXPECT_EQ(0, sim::OpenHandleCount());
        EXPECT_EQ(0, sim::OpenDeviceInfoSetCount());
        EXPECT_EQ(HostMemoryBlocks(), memory_before_);
        sim::ResetMachine();
    }
    void Install(Attachment attachment, void (*adjust)(sim::MachineDesc&) = nullptr) {
        sim::MachineDesc m;
        sim::AddSataDrive(m, 4, attachment);
        if (adjust) adjust(m);
        std::string error;
        ASSERT_TRUE(sim::InstallMachine(m, &error)) << error;
    }
    // Opens the drive, runs the download, reads the configuration block back.
    int Download(const V& image, V* config) {
        DiskAccess access;
        HANDLE drive = OpenSataDisk(kPath, &access);
        EXPECT_NE(drive, INVALID_HANDLE_VALUE);
        int rc = DISKLIB_SATA_Quillon(&access, drive, image.data(), static_cast<uint32_t>(image.size()));
        config->assign(4096, 0);
        EXPECT_EQ(SataGetFWConfig(&access, drive, config->data()), 1);
        os::CloseHandle(drive);
        return rc;
    }
    static std::u16string Revision() {
        DiskInfo r;
        EXPECT_EQ(GetSataDiskInfo(kPath, &r), 1);
        return r.szFWRevision;
    }
    int memory_before_ = 0;
};

TEST_F(SimSataDrive, NewFirmwareRunsAfterTheLastPieceOnEveryAttachment) {
    const V image = SataImage();
    for (Attachment a : {Attachment::kSataPort, Attachment::kUsbSata, Attachment::kScsiAdapter}) {
        SCOPED_TRACE(static_cast<int>(a));
        Install(a);
        EXPECT_EQ(Revision(), u"VS3A0100");
        V config;
        EXPECT_EQ(Download(image, &config), 1);
        EXPECT_EQ(Revision(), u"1A2B3C5E");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(config.data()) + 0x428, 8), "VS3A0200")
            << "the configuration block is the image's";
        DiskInfo r;
        ASSERT_EQ(GetSataDiskInfo(kPath, &r), 1);
        EXPECT_EQ(std::u16string(r.szDrvFWVersion), u"1A2B3C5E");
        EXPECT_EQ(r.iFtlBuildNum, 0x2234u);
    }
}

TEST_F(SimSataDrive, NativePortReportsProgressOfTheImageInTheCountRegister) {
    Install(Attachment::kSataPort);
    const V image = SataImage();
    V config;
    sim::ClearRequests();
    ASSERT_EQ(Download(image, &config), 1);
    std::vector<uint8_t> counts;
    for (const sim::RequestRecord& q : sim::Requests())
        if (q.ioctl == kIoctlAtaPassThroughDirect && q.in[40 + 6] == 0x92) counts.push_back(q.out[40 + 1]);
    ASSERT_EQ(counts.size(), image.size() / 4096);
    for (size_t i = 0; i + 1 < counts.size(); ++i) EXPECT_EQ(counts[i], 1) << "more expected, piece " << i;
    EXPECT_EQ(counts.back(), 2) << "all segments received";
}

TEST_F(SimSataDrive, PiecesOutOfOrderAreAbortedAndTheFirmwareStays) {
    Install(Attachment::kSataPort);
    V image = SataImage();
    DiskAccess access;
    HANDLE drive = OpenSataDisk(kPath, &access);
    sim::ClearRequests();
    // Block offset 8 before offset 0: the drive aborts, the tool falls back
    // to translation, whose CHECK CONDITION says the drive aborted again.
    EXPECT_EQ(SataAtaCommand(16, drive, 0x92, 3, 5, 8 * 256, image.data() + 4096, 4096), 0);
    ASSERT_EQ(sim::Requests().size(), 2u);
    EXPECT_EQ(sim::Requests()[0].out[40 + 6], 0x51) << "ERR";
    EXPECT_EQ(sim::Requests()[0].out[40 + 0], 0x04) << "ABRT";
    EXPECT_EQ(sim::Requests()[1].ioctl, kIoctlScsiPassThroughDirect);
    EXPECT_EQ(sim::Requests()[1].out[2], 2) << "CHECK CONDITION";
    // A gap after a good start spoils the image too.
    EXPECT_EQ(SataAtaCommand(16, drive, 0x92, 3, 5, 0, image.data(), 4096), 1);
    EXPECT_EQ(SataAtaCommand(16, drive, 0x92, 3, 5, 16 * 256, image.data() + 8192, 4096), 0);
    for (size_t at = 4096; at < image.size(); at += 4096)
        SataAtaCommand(16, drive, 0x92, 3, 5, (at / 512) * 256, image.data() + at, 4096);
    os::CloseHandle(drive);
    EXPECT_EQ(Revision(), u"VS3A0100");
}

TEST_F(SimSataDrive, ThreeFailedTriesEndTheDownloadAndTheFirmwareStays) {
    Install(Attachment::kSataPort, [](sim::MachineDesc& m) {
        // The third DOWNLOAD MICROCODE and every later one fail, on both ways in.
        sim::AddFault(m, "disk4", sim::FaultMatch::kAta, 0x92, 3).every = true;
    });
    GetAppState()->bDebug = 1;
    V config;
    EXPECT_EQ(Download(SataImage(), &config), -4);
    GetAppState()->bDebug = 0;
    EXPECT_EQ(Revision(), u"VS3A0100");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(config.data()) + 0x428, 8), "VS3A0100");
}

TEST_F(SimSataDrive, AnAtaErrorOnTheNativePortIsRecoveredByTranslation) {
    Install(Attachment::kSataPort, [](sim::MachineDesc& m) {
        sim::FaultDesc& f = sim::AddFault(m, "disk4", sim::FaultMatch::kAta, 0x92, 2);
        f.action = sim::FaultAction::kAtaError;
    });
    V config;
    EXPECT_EQ(Download(SataImage(), &config), 1);
    EXPECT_EQ(Revision(), u"1A2B3C5E");
}

// Behind a bridge an aborted piece comes back as CHECK CONDITION: the piece
// is sent again, and the image completes.
TEST_F(SimSataDrive, AnAbortedPieceBehindABridgeIsSentAgain) {
    Install(Attachment::kUsbSata, [](sim::MachineDesc& m) {
        sim::FaultDesc& f = sim::AddFault(m, "disk4", sim::FaultMatch::kAta, 0x92, 2);
        f.action = sim::FaultAction::kAtaError;
    });
    V config;
    EXPECT_EQ(Download(SataImage(), &config), 1);
    EXPECT_EQ(Revision(), u"1A2B3C5E");
}

}  // namespace
