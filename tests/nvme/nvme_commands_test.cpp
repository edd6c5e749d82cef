// The command layer: which commands go out for each operation, the vendor
// set decision, the version rewrite, chunking with progress, the commit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "io_mock.h"
#include "nvme/nvme_commands.h"
#include "nvme/transport.h"
#include "platform/host/host_control.h"
#include "tests/common/command_test.h"

using V = std::vector<uint8_t>;

static HANDLE kDrive = reinterpret_cast<HANDLE>(0x1234);

// The NVMe command of a native protocol request (at 80) or of a JMicron
// staging block (at 8).
static V NativeCmd(const MockCall& c) { return Bytes(c.in, 80, 64); }
static V JmiCmd(const MockCall& c) { return Bytes(c.data_out, 8, 64); }

class CommandLayer : public DebugLogTest {};

TEST_F(CommandLayer, UnsupportedCommandTypeSendsNothing) {
    IoMock io;
    DiskAccess a = Access(255);
    V buf(4096);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 1, 0, buf.data(), 4096), -5);
    EXPECT_EQ(DISKLIB_NVME_GetLogPage(&a, kDrive, 5, buf.data(), 4096), -5);
    EXPECT_EQ(DISKLIB_NVME_GetFWConfig(&a, kDrive, buf.data()), -5);
    EXPECT_EQ(DISKLIB_NVME_DownloadFW(&a, kDrive, buf.data(), 4096), -5);
    a.iCmdType = 16;
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 1, 1), -5);
    EXPECT_TRUE(io.calls.empty());
    EXPECT_FALSE(Has(u"DISKLIB_NVME_FWActive Success OUT "));
}

TEST_F(CommandLayer, UnlockOnlyOnNativeAndRst) {
    IoMock io;
    io.ExpectOk();
    DiskAccess a = Access(0);
    EXPECT_EQ(DISKLIB_NVME_UnlockVSC(&a, kDrive), 1);
    a.iCmdType = 4;
    EXPECT_EQ(DISKLIB_NVME_UnlockVSC(&a, kDrive), 1);
    EXPECT_TRUE(io.calls.empty());
    EXPECT_FALSE(Has(u"DISKLIB_NVME_UnlockVSC"));
    a.iCmdType = 2;
    EXPECT_EQ(DISKLIB_NVME_UnlockVSC(&a, kDrive), 1);
    ASSERT_EQ(io.calls.size(), 1u);
    EXPECT_EQ(U32(io.calls[0].in, 80), 0xFCu);
    EXPECT_TRUE(Has(u"DISKLIB_NVME_UnlockVSC"));
}

TEST_F(CommandLayer, VendorSetFromLogPageWithoutFurtherProbe) {
    IoMock io;
    V z(4096);
    z[0] = 'Z';
    io.ExpectData(z, 48);
    DiskAccess a = Access(2);
    EXPECT_EQ(DISKLIB_NVME_VSC_GetVSCtype(&a, kDrive), 1);
    EXPECT_EQ(io.calls.size(), 1u);
    EXPECT_EQ(U32(io.calls[0].in, 16), 0xE1u);
    EXPECT_TRUE(Has(u"DISKLIB_NVME_VSC_GetVSCtype IN "));
    EXPECT_TRUE(Has(u"DISKLIB_NVME_VSC_GetVSCtype Success OUT(log page) 1"));
}

TEST_F(CommandLayer, VendorSetFromCommandsSupported) {
    V effects(4096);
    effects[1008] = 1;  // 0xFC
    effects[1016] = 1;  // 0xFE; 0xFD not supported
    {
        IoMock io;
        io.ExpectOk();
        io.ExpectData(effects, 48);
        DiskAccess a = Access(2);
        EXPECT_EQ(DISKLIB_NVME_VSC_GetVSCtype(&a, kDrive), 0);
        EXPECT_EQ(io.calls.size(), 2u);
        EXPECT_TRUE(Has(u"DISKLIB_NVME_VSC_GetVSCtype Success OUT(no support new) 0"));
    }
    effects[1012] = 1;
    {
        IoMock io;  // all three supported: the probe decides, its result unexamined
        io.ExpectOk();
        io.ExpectData(effects, 48);
        V z(4096);
        z[0] = 'Z';
        io.ExpectData(z, 144);
        DiskAccess a = Access(2);
        EXPECT_EQ(DISKLIB_NVME_VSC_GetVSCtype(&a, kDrive), 1);
        ASSERT_EQ(io.calls.size(), 3u);
        EXPECT_EQ(U32(io.calls[2].in, 80), 0xFEu);
        EXPECT_EQ(U32(io.calls[2].in, 128), 0x82u);
        EXPECT_EQ(U32(io.calls[2].in, 132), 3u);
        EXPECT_TRUE(Has(u"DISKLIB_NVME_VSC_GetVSCtype Success OUT 1"));
    }
    {
        IoMock io;  // a failed effects log ends in set 0
        io.ExpectOk();
        io.ExpectFail();
        DiskAccess a = Access(2);
        EXPECT_EQ(DISKLIB_NVME_VSC_GetVSCtype(&a, kDrive), 0);
        EXPECT_EQ(io.calls.size(), 2u);
    }
}

TEST_F(CommandLayer, DriveInfoNeedsItsSignature) {
    IoMock io;
    V block(4096, 0x11);
    io.ExpectData(block, 144);
    block[0] = 'Z';
    io.ExpectData(block, 144);
    io.ExpectFail();
    DiskAccess a = Access(2, 0);
    V out(4096, 0xEE);
    EXPECT_EQ(DISKLIB_NVME_VSC_GetDrvInfo(&a, kDrive, out.data()), 0);
    EXPECT_EQ(out, V(4096, 0xEE));  // nothing copied
    EXPECT_EQ(DISKLIB_NVME_VSC_GetDrvInfo(&a, kDrive, out.data()), 1);
    EXPECT_EQ(out, block);
    EXPECT_EQ(DISKLIB_NVME_VSC_GetDrvInfo(&a, kDrive, out.data()), -4);
    // First set: 0xE6 selector 3 with the signature words.
    EXPECT_EQ(U32(io.calls[0].in, 80), 0xE6u);
    EXPECT_EQ(U32(io.calls[0].in, 128), 3u);
    EXPECT_EQ(U32(io.calls[0].in, 136), 0x5841524Fu);
    EXPECT_EQ(U32(io.calls[0].in, 140), 0x514C4556u);
}

TEST_F(CommandLayer, MpInfoAndConfigOfBothSets) {
    IoMock io;
    io.ExpectOk(12);
    DiskAccess a = Access(1, 0);
    V buf(4096);
    DISKLIB_NVME_VSC_GetMPInfo(&a, kDrive, buf.data());
    DISKLIB_NVME_GetFWConfig(&a, kDrive, buf.data());
    a.iVSCType = 1;
    DISKLIB_NVME_VSC_GetMPInfo(&a, kDrive, buf.data());
    DISKLIB_NVME_GetFWConfig(&a, kDrive, buf.data());
    ASSERT_EQ(io.calls.size(), 12u);
    V c = JmiCmd(io.calls[0]);
    EXPECT_EQ(U32(c, 0), 0xF2u);
    EXPECT_EQ(U32(c, 48), 0u);
    EXPECT_EQ(U32(c, 56), 0x5841524Fu);
    c = JmiCmd(io.calls[3]);
    EXPECT_EQ(U32(c, 0), 0xE6u);
    EXPECT_EQ(U32(c, 48), 1u);
    c = JmiCmd(io.calls[6]);
    EXPECT_EQ(U32(c, 0), 0xFEu);
    EXPECT_EQ(U32(c, 48), 0x63u);
    EXPECT_EQ(U32(c, 52), 0u);
    c = JmiCmd(io.calls[9]);
    EXPECT_EQ(U32(c, 0), 0xFEu);
    EXPECT_EQ(U32(c, 48), 0x82u);
    EXPECT_EQ(U32(c, 52), 1u);
    EXPECT_TRUE(Has(u"DISKLIB_NVME_VSC_GetMPInfo Success OUT"));
    EXPECT_TRUE(Has(u"DISKLIB_NVME_GetFWConfig Success OUT"));
}

static V MpBlock() {
    V mp(4096);
    for (size_t i = 0; i < 300; ++i) mp[i] = static_cast<uint8_t>(0x80 + (i % 64));
    return mp;
}

TEST_F(CommandLayer, VersionRewriteUsesFirstSetOpcodesAndPlacesFiveCharacters) {
    IoMock io;
    V mp = MpBlock();
    io.ExpectData(mp, 144);
    io.ExpectOk();
    DiskAccess a = Access(2, 1);  // a second-set drive still gets 0xF2 / 0xF1
    EXPECT_EQ(DISKLIB_NVME_SetFWVersionByMpInfo(&a, kDrive, u"1A2B3"), 1);
    ASSERT_EQ(io.calls.size(), 2u);
    EXPECT_EQ(U32(NativeCmd(io.calls[0]), 0), 0xF2u);
    EXPECT_EQ(U32(NativeCmd(io.calls[0]), 56), 0x5841524Fu);
    EXPECT_EQ(U32(NativeCmd(io.calls[1]), 0), 0xF1u);
    EXPECT_EQ(U32(NativeCmd(io.calls[1]), 60), 0x514C4556u);
    V written = Bytes(io.calls[1].in, 144, 4096);
    EXPECT_EQ(Bytes(written, 0, 88), Bytes(mp, 0, 88));
    EXPECT_EQ(Bytes(written, 88, 8), (V{'1', 'A', '2', 'B', '3', 0, 0, 0}));
    EXPECT_EQ(Bytes(written, 96, 48), Bytes(mp, 96, 48));
    for (size_t i = 144; i < 4096; ++i) ASSERT_EQ(written[i], 0) << "byte " << i;
    EXPECT_TRUE(Has(u"DISKLIB_NVME_SetFWVersionByMpInfo GetMpOK"));
    EXPECT_TRUE(Has(u"DISKLIB_NVME_SetFWVersionByMpInfo Success OUT"));
}

TEST_F(CommandLayer, VersionRewriteOfTenCharactersRunsPastTheEightBytes) {
    IoMock io;
    V mp = MpBlock();
    io.ExpectData(mp, 144);
    io.ExpectOk();
    DiskAccess a = Access(2, 0);
    EXPECT_EQ(DISKLIB_NVME_SetFWVersionByMpInfo(&a, kDrive, u"0123456789"), 1);
    V written = Bytes(io.calls[1].in, 144, 4096);
    EXPECT_EQ(Bytes(written, 88, 10), (V{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));
    EXPECT_EQ(written[98], mp[98]);
}

TEST_F(CommandLayer, VersionRewriteRefusesAnAllZeroMpBlock) {
    IoMock io;
    io.ExpectOk(3);  // a bridge that "succeeds" without sending anything
    DiskAccess a = Access(1, 0);
    EXPECT_EQ(DISKLIB_NVME_SetFWVersionByMpInfo(&a, kDrive, u"1A2B3C4D"), 0);
    EXPECT_EQ(io.calls.size(), 3u);  // the read only; nothing written
    EXPECT_FALSE(Has(u"DISKLIB_NVME_SetFWVersionByMpInfo Success OUT"));
}

TEST_F(CommandLayer, VersionRewriteRefusesAnErasedMpBlock) {
    IoMock io;
    io.ExpectData(V(4096, 0xFF), 144);  // erased flash read back as "success"
    DiskAccess a = Access(2, 0);
    EXPECT_EQ(DISKLIB_NVME_SetFWVersionByMpInfo(&a, kDrive, u"1A2B3C4D"), 0);
    EXPECT_EQ(io.calls.size(), 1u);  // the read only; nothing written
    EXPECT_FALSE(Has(u"DISKLIB_NVME_SetFWVersionByMpInfo GetMpOK"));
}

TEST_F(CommandLayer, VersionRewriteReturnsAFailedRead) {
    IoMock io;
    io.ExpectFail();
    DiskAccess a = Access(2, 0);
    EXPECT_EQ(DISKLIB_NVME_SetFWVersionByMpInfo(&a, kDrive, u"1A2B3C4D"), -4);
    EXPECT_EQ(io.calls.size(), 1u);
}

TEST_F(CommandLayer, DownloadProgressFortyAndEightyOnly) {
    IoMock io;
    io.ExpectOk(9);
    DiskAccess a = Access(0);
    V image(10000, 0x5C);
    EXPECT_EQ(DISKLIB_NVME_DownloadFW(&a, kDrive, image.data(), 10000), 1);
    ASSERT_EQ(io.calls.size(), 9u);
    // Bridge download commands: dword counts and offsets.
    EXPECT_EQ(U32(io.calls[0].data_out, 40), 1023u);
    EXPECT_EQ(U32(io.calls[0].data_out, 44), 0u);
    EXPECT_EQ(U32(io.calls[3].data_out, 44), 1024u);
    EXPECT_EQ(U32(io.calls[6].data_out, 40), 451u);
    EXPECT_EQ(U32(io.calls[6].data_out, 44), 2048u);
    std::vector<std::u16string> expected = {u"DISKLIB_NVME_DownloadFW IN", u"DownloadFW  40%", u"DownloadFW  80%",
                                            u"DISKLIB_NVME_DownloadFW Success OUT"};
    EXPECT_EQ(Logged(), expected);
}

TEST_F(CommandLayer, SmallImageHasNoProgressAndRaggedImageIsRefused) {
    IoMock io;
    io.ExpectOk();
    DiskAccess a = Access(2);
    V image(4096, 1);
    EXPECT_EQ(DISKLIB_NVME_DownloadFW(&a, kDrive, image.data(), 4096), 1);
    std::vector<std::u16string> expected = {u"DISKLIB_NVME_DownloadFW IN", u"DISKLIB_NVME_DownloadFW Success OUT"};
    EXPECT_EQ(Logged(), expected);
    // A size that is not whole dwords never reaches the drive.
    EXPECT_EQ(DISKLIB_NVME_DownloadFW(&a, kDrive, image.data(), 4094), 0);
    EXPECT_EQ(io.calls.size(), 1u);
}

TEST_F(CommandLayer, DownloadStopsAtTheFirstFailedChunk) {
    IoMock io;
    io.ExpectOk();
    io.ExpectFail();
    DiskAccess a = Access(2);
    V image(16384, 1);
    EXPECT_EQ(DISKLIB_NVME_DownloadFW(&a, kDrive, image.data(), 16384), -4);
    EXPECT_EQ(io.calls.size(), 2u);
    EXPECT_FALSE(Has(u"DISKLIB_NVME_DownloadFW Success OUT"));
}

TEST_F(CommandLayer, CommitLogsAndGoesByCommandType) {
    IoMock io;
    io.ExpectOk(4);
    DiskAccess a = Access(1);
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 1, 1), 1);
    EXPECT_EQ(U32(JmiCmd(io.calls[0]), 0), 0x10u);
    EXPECT_EQ(U32(JmiCmd(io.calls[0]), 40), 9u);
    a.iCmdType = 2;
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 1, 1), 1);
    EXPECT_EQ(U32(io.calls[3].in, 8), 1u);  // Flags: controller
    EXPECT_EQ(io.calls[3].in[12], 1);       // Slot 1
    std::vector<std::u16string> expected = {u"DISKLIB_NVME_FWActive IN", u"DISKLIB_NVME_FWActive Success OUT ",
                                            u"DISKLIB_NVME_FWActive IN", u"DISKLIB_NVME_FWActive Success OUT "};
    EXPECT_EQ(Logged(), expected);
}
