// The ASMedia, JMicron and Realtek envelopes, byte by byte, through the
// command layer as the callers use it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "io_mock.h"
#include "nvme/nvme_commands.h"
#include "nvme/transport.h"
#include "tests/common/command_test.h"

using V = std::vector<uint8_t>;

static HANDLE kDrive = reinterpret_cast<HANDLE>(0x1234);

// Common pass-through fields of every bridge request.
static void CheckBlock(const MockCall& c, uint8_t data_in, uint32_t length, uint8_t sense, uint32_t timeout) {
    EXPECT_EQ(c.code, 0x0004D014u);
    EXPECT_EQ(c.device, kDrive);
    ASSERT_EQ(c.in.size(), sptd64::BlockSize);
    EXPECT_TRUE(c.out_is_in);
    EXPECT_EQ(c.out_size, sptd64::BlockSize);
    EXPECT_EQ(c.in[sptd64::Length] | (c.in[1] << 8), 56);
    EXPECT_EQ(c.in[3], 0);  // PathId, TargetId, Lun
    EXPECT_EQ(c.in[4], 0);
    EXPECT_EQ(c.in[5], 0);
    EXPECT_EQ(c.in[sptd64::CdbLength], 16);
    EXPECT_EQ(c.in[sptd64::SenseInfoLength], sense);
    EXPECT_EQ(c.in[sptd64::DataIn], data_in);
    EXPECT_EQ(U32(c.in, sptd64::DataTransferLength), length);
    EXPECT_EQ(U32(c.in, sptd64::TimeOutValue), timeout);
    EXPECT_EQ(U32(c.in, sptd64::SenseInfoOffset), sptd64::Sense);
}

// A 64-byte NVMe command compared with literal dwords.
static void CheckCommand(const V& cmd, uint32_t cdw0, uint32_t nsid, uint32_t cdw2, uint32_t cdw10, uint32_t cdw11,
                         uint32_t cdw12, uint32_t cdw13, uint32_t cdw14, uint32_t cdw15) {
    ASSERT_EQ(cmd.size(), 64u);
    EXPECT_EQ(U32(cmd, 0), cdw0);
    EXPECT_EQ(U32(cmd, 4), nsid);
    EXPECT_EQ(U32(cmd, 8), cdw2);
    for (size_t at = 12; at < 40; ++at) EXPECT_EQ(cmd[at], 0) << "byte " << at;  // CDW3, MPTR, PRP1, PRP2
    EXPECT_EQ(U32(cmd, 40), cdw10);
    EXPECT_EQ(U32(cmd, 44), cdw11);
    EXPECT_EQ(U32(cmd, 48), cdw12);
    EXPECT_EQ(U32(cmd, 52), cdw13);
    EXPECT_EQ(U32(cmd, 56), cdw14);
    EXPECT_EQ(U32(cmd, 60), cdw15);
}

// ---- ASMedia ------------------------------------------------------------------

TEST(AsmediaTransport, IdentifyGoesAsOneE6Cdb) {
    IoMock io;
    io.ExpectOk(2);
    DiskAccess a = Access(0);
    V buf(4096);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 1, 0, buf.data(), 4096), 1);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 0, 1, buf.data(), 4096), 1);
    ASSERT_EQ(io.calls.size(), 2u);
    CheckBlock(io.calls[0], 1, 4096, 24, 10);
    EXPECT_EQ(io.calls[0].data_buffer, buf.data());
    EXPECT_EQ(Cdb(io.calls[0]), (V{0xE6, 0x06, 0x00, 0x01, 0, 0, 0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Cdb(io.calls[1]), (V{0xE6, 0x06, 0x00, 0x00, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(AsmediaTransport, IdentifyFailsOnRequestFailureOrCheckCondition) {
    IoMock io;
    io.ExpectFail();
    io.ExpectStatus(2);
    DiskAccess a = Access(0);
    V buf(4096);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 1, 0, buf.data(), 4096), -4);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 1, 0, buf.data(), 4096), -4);
}

TEST(AsmediaTransport, LogPageReadInThreePhases) {
    IoMock io;
    io.ExpectOk(3);
    DiskAccess a = Access(0);
    V buf(4096);
    ASSERT_EQ(DISKLIB_NVME_GetLogPage(&a, kDrive, 0xE1, buf.data(), 4096), 1);
    ASSERT_EQ(io.calls.size(), 3u);
    CheckBlock(io.calls[0], 0, 64, 24, 10);
    EXPECT_EQ(Cdb(io.calls[0]), (V{0xEA, 0x5A, 0x80, 0x00, 0x01, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x40, 0, 0}));
    CheckCommand(io.calls[0].data_out, 0x02, 0xFFFFFFFF, 0, 0x03FF00E1, 0, 0, 0, 0, 0);
    CheckBlock(io.calls[1], 1, 4096, 24, 10);
    EXPECT_EQ(Cdb(io.calls[1]), (V{0xEB, 0x5A, 0x81, 0x00, 0x01, 0, 0, 0, 0, 0, 0x00, 0x00, 0x10, 0x00, 0, 0}));
    EXPECT_EQ(io.calls[1].data_buffer, buf.data());
    CheckBlock(io.calls[2], 1, 16, 24, 10);
    EXPECT_EQ(Cdb(io.calls[2]), (V{0xEB, 0x5A, 0x82, 0x00, 0x01, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x10, 0, 0}));
}

TEST(AsmediaTransport, VendorReadWriteDownloadAndCommit) {
    IoMock io;
    io.ExpectOk(12);
    DiskAccess a = Access(0, 1);
    V block(4096, 0x5A);
    // Vendor read (first set): drive information.
    a.iVSCType = 0;
    DISKLIB_NVME_VSC_GetDrvInfo(&a, kDrive, block.data());
    // Vendor write (second set): configuration with the check value.
    a.iVSCType = 1;
    EXPECT_EQ(DISKLIB_NVME_SetFWConfig(&a, kDrive, block.data(), 0xCAFEBABE), 1);
    // One download chunk of 1808 bytes at 8192.
    V image(1808, 0x33);
    EXPECT_EQ(AsmFwDownload(kDrive, 8192, image.data(), 1808), 1);
    // Commit slot 1, action 1.
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 1, 1), 1);
    ASSERT_EQ(io.calls.size(), 12u);

    EXPECT_EQ(Cdb(io.calls[0]), (V{0xEA, 0x5A, 0x80, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0}));
    CheckCommand(io.calls[0].data_out, 0xE6, 0xFFFFFFFF, 0x776B7A71, 1024, 0, 3, 0, 0x5841524F, 0x514C4556);

    CheckBlock(io.calls[3], 0, 64, 24, 10);
    EXPECT_EQ(Cdb(io.calls[3]), (V{0xEA, 0x5A, 0x80, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0}));
    CheckCommand(io.calls[3].data_out, 0xFD, 0xFFFFFFFF, 0x776B7A71, 1024, 0, 0x81, 1, 0, 0xCAFEBABE);
    CheckBlock(io.calls[4], 0, 4096, 24, 10);
    EXPECT_EQ(Cdb(io.calls[4]), (V{0xEA, 0x5A, 0x81, 0x00, 0x02, 0, 0, 0, 0, 0, 0x00, 0x00, 0x10, 0x00, 0, 0}));
    EXPECT_EQ(io.calls[4].data_out, block);
    EXPECT_EQ(Cdb(io.calls[5]), (V{0xEB, 0x5A, 0x82, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0}));

    CheckCommand(io.calls[6].data_out, 0x11, 0, 0, 451, 2048, 0, 0, 0, 0);
    EXPECT_EQ(Cdb(io.calls[6]), (V{0xEA, 0x5A, 0x80, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0}));
    CheckBlock(io.calls[7], 0, 1808, 24, 10);
    EXPECT_EQ(Cdb(io.calls[7]), (V{0xEA, 0x5A, 0x81, 0x00, 0x02, 0, 0, 0, 0, 0, 0x00, 0x00, 0x07, 0x10, 0, 0}));
    EXPECT_EQ(io.calls[7].data_out, image);

    CheckCommand(io.calls[9].data_out, 0x10, 0, 0, 9, 0, 0, 0, 0, 0);
    EXPECT_EQ(Cdb(io.calls[9]), (V{0xEA, 0x5A, 0x80, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0}));
    CheckBlock(io.calls[10], 2, 0, 24, 10);
    EXPECT_EQ(Cdb(io.calls[10]), (V{0xEB, 0x5A, 0x81, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Cdb(io.calls[11]), (V{0xEB, 0x5A, 0x82, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0}));
}

TEST(AsmediaTransport, CompletionLandsOverTheCommandAndItsFailureAloneIsIgnored) {
    IoMock io;
    io.ExpectOk(2);
    io.ExpectData(V(16, 0xC5));
    NvmeCommand cmd = BuildGetLogPageCommand(5, 4096);
    V buf(4096);
    EXPECT_EQ(AsmCommand(kDrive, kNvmeRead, &cmd, buf.data(), 4096), 1);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&cmd);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(raw[i], 0xC5);
    EXPECT_EQ(cmd.CDW10, 0x03FF0005u);  // beyond the first 16 bytes: untouched

    io.ExpectOk(2);
    io.ExpectFail();
    EXPECT_EQ(AsmCommand(kDrive, kNvmeRead, &cmd, buf.data(), 4096), 1);
}

TEST(AsmediaTransport, StatusIsTestedByCommandAndByTheDownloadsCommandAndDataPhases) {
    V buf(4096);
    NvmeCommand cmd = BuildGetLogPageCommand(5, 4096);
    {
        IoMock io;  // CHECK CONDITION after the completion phase fails a command
        io.ExpectOk(2);
        io.ExpectStatus(2);
        EXPECT_EQ(AsmCommand(kDrive, kNvmeRead, &cmd, buf.data(), 4096), -4);
    }
    {
        IoMock io;  // ... and after the command phase, with nothing more sent
        io.ExpectStatus(2);
        EXPECT_EQ(AsmCommand(kDrive, kNvmeRead, &cmd, buf.data(), 4096), -4);
        EXPECT_EQ(io.calls.size(), 1u);
    }
    {
        IoMock io;  // a download piece ignores its completion: a failed read or CHECK CONDITION
        io.ExpectOk(2);
        io.ExpectStatus(2);
        EXPECT_EQ(AsmFwDownload(kDrive, 0, buf.data(), 4096), 1);
    }
    {
        IoMock io;  // ... but a piece the bridge refused is not sent: nothing after it
        io.ExpectOk();
        io.ExpectStatus(2);
        EXPECT_EQ(AsmFwDownload(kDrive, 0, buf.data(), 4096), -4);
        EXPECT_EQ(io.calls.size(), 2u);
    }
    {
        IoMock io;  // ... nor a piece whose command was refused
        io.ExpectStatus(2);
        EXPECT_EQ(AsmFwDownload(kDrive, 0, buf.data(), 4096), -4);
        EXPECT_EQ(io.calls.size(), 1u);
    }
    {
        IoMock io;  // a failed data phase stops it
        io.ExpectOk();
        io.ExpectFail();
        EXPECT_EQ(AsmFwDownload(kDrive, 0, buf.data(), 4096), -4);
        EXPECT_EQ(io.calls.size(), 2u);
    }
}

// ---- JMicron ------------------------------------------------------------------

static void CheckJmiStaging(const V& staging, const V& expected_command) {
    ASSERT_EQ(staging.size(), 512u);
    EXPECT_EQ(Bytes(staging, 0, 8), (V{'N', 'V', 'M', 'E', 0, 0, 0, 0}));
    EXPECT_EQ(U32(staging, 0), 0x454D564Eu);
    EXPECT_EQ(Bytes(staging, 8, 64), expected_command);
    for (size_t at = 72; at < 512; ++at) ASSERT_EQ(staging[at], 0) << "byte " << at;
}

TEST(JmicronTransport, IdentifyAndLogPage) {
    IoMock io;
    io.ExpectOk(6);
    DiskAccess a = Access(1);
    V buf(4096);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 1, 0, buf.data(), 4096), 1);
    EXPECT_EQ(DISKLIB_NVME_GetLogPage(&a, kDrive, 0x05, buf.data(), 4096), 1);
    ASSERT_EQ(io.calls.size(), 6u);
    CheckBlock(io.calls[0], 0, 512, 24, 10);
    EXPECT_EQ(Cdb(io.calls[0]), (V{0xA1, 0x80, 0x00, 0x00, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    CheckCommand(Bytes(io.calls[0].data_out, 8, 64), 0x06, 0, 0, 1, 0, 0, 0, 0, 0);
    CheckJmiStaging(io.calls[0].data_out, Bytes(io.calls[0].data_out, 8, 64));
    CheckBlock(io.calls[1], 1, 4096, 24, 10);
    EXPECT_EQ(Cdb(io.calls[1]), (V{0xA1, 0x82, 0x00, 0x00, 0x10, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    CheckBlock(io.calls[2], 1, 512, 24, 10);
    EXPECT_EQ(Cdb(io.calls[2]), (V{0xA1, 0x8F, 0x00, 0x00, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    CheckCommand(Bytes(io.calls[3].data_out, 8, 64), 0x02, 0xFFFFFFFF, 0, 0x03FF0005, 0, 0, 0, 0, 0);
}

TEST(JmicronTransport, VendorWriteDownloadAndCommit) {
    IoMock io;
    io.ExpectOk(9);
    DiskAccess a = Access(1, 0);
    V block(4096, 0x77);
    EXPECT_EQ(DISKLIB_NVME_SetFWConfig(&a, kDrive, block.data(), 0x01020304), 1);
    V piece(4096, 0x42);
    EXPECT_EQ(JmiFwDownload(kDrive, 4096, piece.data(), 4096), 1);
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 1, 1), 1);
    ASSERT_EQ(io.calls.size(), 9u);
    CheckCommand(Bytes(io.calls[0].data_out, 8, 64), 0xE5, 0xFFFFFFFF, 0x776B7A71, 1024, 0, 1, 0, 0x01020304, 0);
    CheckBlock(io.calls[1], 0, 4096, 24, 10);
    EXPECT_EQ(Cdb(io.calls[1]), (V{0xA1, 0x83, 0x00, 0x00, 0x10, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(io.calls[1].data_out, block);
    CheckCommand(Bytes(io.calls[3].data_out, 8, 64), 0x11, 0, 0, 1023, 1024, 0, 0, 0, 0);
    EXPECT_EQ(io.calls[4].data_out, piece);
    CheckCommand(Bytes(io.calls[6].data_out, 8, 64), 0x10, 0, 0, 9, 0, 0, 0, 0, 0);
    CheckBlock(io.calls[7], 2, 0, 24, 10);
    EXPECT_EQ(Cdb(io.calls[7]), (V{0xA1, 0x81, 0x00, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(JmicronTransport, ReadIsZeroBeyondWhatTheDriveSent) {
    IoMock io;
    io.ExpectOk();
    io.ExpectData(V(10, 0x99));
    io.ExpectOk();
    DiskAccess a = Access(1);
    V buf(4096, 0xAA);
    EXPECT_EQ(DISKLIB_NVME_GetLogPage(&a, kDrive, 0xE1, buf.data(), 4096), 1);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(buf[i], 0x99);
    for (size_t i = 10; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0) << "byte " << i;
}

TEST(JmicronTransport, FailureRules) {
    V buf(4096);
    NvmeCommand cmd = BuildIdentifyCommand(1, 0);
    {
        IoMock io;  // third request failing alone: done
        io.ExpectOk(2);
        io.ExpectFail();
        EXPECT_EQ(JmiCommand(kDrive, kNvmeRead, &cmd, buf.data(), 4096), 1);
    }
    {
        IoMock io;  // CHECK CONDITION on the data phase
        io.ExpectOk();
        io.ExpectStatus(2);
        EXPECT_EQ(JmiCommand(kDrive, kNvmeRead, &cmd, buf.data(), 4096), -4);
        EXPECT_EQ(io.calls.size(), 2u);
    }
    {
        IoMock io;  // the download ignores its response phase
        io.ExpectOk(2);
        io.ExpectStatus(2);
        EXPECT_EQ(JmiFwDownload(kDrive, 0, buf.data(), 4096), 1);
    }
    {
        IoMock io;  // but a refused command or data phase stops the piece
        io.ExpectStatus(2);
        EXPECT_EQ(JmiFwDownload(kDrive, 0, buf.data(), 4096), -4);
        EXPECT_EQ(io.calls.size(), 1u);
    }
    {
        IoMock io;
        io.ExpectOk();
        io.ExpectStatus(2);
        EXPECT_EQ(JmiFwDownload(kDrive, 0, buf.data(), 4096), -4);
        EXPECT_EQ(io.calls.size(), 2u);
    }
    {
        IoMock io;
        io.ExpectFail();
        EXPECT_EQ(JmiFwDownload(kDrive, 0, buf.data(), 4096), -4);
        EXPECT_EQ(io.calls.size(), 1u);
    }
}

// ---- Realtek ------------------------------------------------------------------

TEST(RealtekTransport, PhasesWithLongTimeoutAndLargeSense) {
    IoMock io;
    io.ExpectOk(12);
    DiskAccess a = Access(4, 1);
    V buf(4096);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 1, 0, buf.data(), 4096), 1);
    EXPECT_EQ(DISKLIB_NVME_SetFWConfig(&a, kDrive, buf.data(), 7), 1);
    EXPECT_EQ(RtkFwDownload(kDrive, 0, buf.data(), 4096), 1);
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 1, 1), 1);
    ASSERT_EQ(io.calls.size(), 12u);

    CheckBlock(io.calls[0], 0, 64, 64, 60);
    EXPECT_EQ(Cdb(io.calls[0]), (V{0xE5, 0x40, 0x00, 0xF7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    CheckCommand(io.calls[0].data_out, 0x06, 0, 0, 1, 0, 0, 0, 0, 0);
    CheckBlock(io.calls[1], 1, 4096, 64, 60);
    EXPECT_EQ(Cdb(io.calls[1]), (V{0xE4, 0x00, 0x10, 0xF8, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    CheckBlock(io.calls[2], 1, 16, 64, 60);
    EXPECT_EQ(Cdb(io.calls[2]), (V{0xE4, 0x10, 0x00, 0xF9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    CheckCommand(io.calls[3].data_out, 0xFD, 0xFFFFFFFF, 0x776B7A71, 1024, 0, 0x81, 1, 0, 7);
    CheckBlock(io.calls[4], 0, 4096, 64, 60);
    EXPECT_EQ(Cdb(io.calls[4]), (V{0xE5, 0x00, 0x10, 0xF8, 0x00, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    CheckCommand(io.calls[6].data_out, 0x11, 0, 0, 1023, 0, 0, 0, 0, 0);
    CheckCommand(io.calls[9].data_out, 0x10, 0, 0, 9, 0, 0, 0, 0, 0);
    CheckBlock(io.calls[10], 2, 0, 64, 60);
    EXPECT_EQ(Cdb(io.calls[10]), (V{0xE5, 0x00, 0x00, 0xF8, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RealtekTransport, EveryPhaseCountsAndReadsAreZeroFilled) {
    V buf(4096, 0xAA);
    NvmeCommand cmd = BuildIdentifyCommand(1, 0);
    {
        IoMock io;
        io.ExpectOk();
        io.ExpectData(V(3, 0x11));
        io.ExpectOk();
        EXPECT_EQ(RtkCommand(kDrive, kNvmeRead, &cmd, buf.data(), 4096), 1);
        EXPECT_EQ(buf[2], 0x11);
        for (size_t i = 3; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0) << "byte " << i;
    }
    {
        IoMock io;
        io.ExpectOk(2);
        io.ExpectFail();
        EXPECT_EQ(RtkCommand(kDrive, kNvmeRead, &cmd, buf.data(), 4096), -4);
    }
    {
        IoMock io;
        io.ExpectOk(2);
        io.ExpectStatus(2);
        EXPECT_EQ(RtkFwDownload(kDrive, 0, buf.data(), 4096), -4);
    }
}
