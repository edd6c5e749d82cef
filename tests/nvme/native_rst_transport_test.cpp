// The native storage-stack requests and the RST miniport blocks, at the
// offsets of the published layouts and the driver's own.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "io_mock.h"
#include "nvme/nvme_commands.h"
#include "nvme/transport.h"

using V = std::vector<uint8_t>;

static HANDLE kDrive = reinterpret_cast<HANDLE>(0x1234);
static HANDLE kPort = reinterpret_cast<HANDLE>(0x5678);

static DiskAccess Access(int type, int vsc = 0) {
    DiskAccess a;
    std::memset(&a, 0, sizeof a);
    a.iCmdType = type;
    a.hScsiPort = type == 3 ? kPort : INVALID_HANDLE_VALUE;
    a.iPathId = 2;
    a.iVSCType = vsc;
    return a;
}

static void CheckZero(const V& b, size_t from, size_t to) {
    for (size_t at = from; at < to; ++at) ASSERT_EQ(b[at], 0) << "byte " << at;
}

// ---- native ---------------------------------------------------------------------

TEST(NativeTransport, IdentifyThroughTheAdapterProperty) {
    IoMock io;
    V answer(4096);
    answer[0] = 0x7C;
    answer[4095] = 0xEE;
    io.ExpectData(answer, 48);
    io.ExpectOk();
    DiskAccess a = Access(2);
    V buf(4096);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 1, 0, buf.data(), 4096), 1);
    EXPECT_EQ(buf, answer);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 0, 1, buf.data(), 4096), 1);
    ASSERT_EQ(io.calls.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const MockCall& c = io.calls[i];
        EXPECT_EQ(c.code, 0x002D1400u);
        ASSERT_EQ(c.in.size(), 4096u + 48u);
        EXPECT_TRUE(c.out_is_in);
        EXPECT_EQ(c.out_size, 4096u + 48u);
        EXPECT_EQ(U32(c.in, 0), 49u);  // adapter protocol-specific property, for both kinds
        EXPECT_EQ(U32(c.in, 4), 0u);
        EXPECT_EQ(U32(c.in, 8), 3u);   // NVMe
        EXPECT_EQ(U32(c.in, 12), 1u);  // Identify
        EXPECT_EQ(U32(c.in, 24), 40u);
        EXPECT_EQ(U32(c.in, 28), 4096u);
        CheckZero(c.in, 32, 48 + 4096);
    }
    EXPECT_EQ(U32(io.calls[0].in, 16), 1u);  // CNS
    EXPECT_EQ(U32(io.calls[0].in, 20), 0u);  // NSID
    EXPECT_EQ(U32(io.calls[1].in, 16), 0u);
    EXPECT_EQ(U32(io.calls[1].in, 20), 1u);
}

TEST(NativeTransport, LogPageThroughTheDeviceProperty) {
    IoMock io;
    io.ExpectOk();
    io.ExpectFail();
    DiskAccess a = Access(2);
    V buf(4096);
    EXPECT_EQ(DISKLIB_NVME_GetLogPage(&a, kDrive, 0xE1, buf.data(), 4096), 1);
    EXPECT_EQ(DISKLIB_NVME_GetLogPage(&a, kDrive, 0x05, buf.data(), 4096), -4);
    const V& in = io.calls[0].in;
    EXPECT_EQ(U32(in, 0), 50u);
    EXPECT_EQ(U32(in, 8), 3u);
    EXPECT_EQ(U32(in, 12), 2u);  // log page
    EXPECT_EQ(U32(in, 16), 0xE1u);
    EXPECT_EQ(U32(in, 20), 0u);
    EXPECT_EQ(U32(in, 24), 40u);
    EXPECT_EQ(U32(in, 28), 4096u);
}

static void CheckProtocolCommand(const MockCall& c, uint32_t to_device, uint32_t from_device, uint32_t opcode,
                                 uint32_t cdw10, uint32_t cdw12, uint32_t cdw13, uint32_t cdw14, uint32_t cdw15) {
    EXPECT_EQ(c.code, 0x002DD3C0u);
    EXPECT_TRUE(c.out_is_in);
    EXPECT_EQ(U32(c.in, 0), 1u);
    EXPECT_EQ(U32(c.in, 4), 84u);
    EXPECT_EQ(U32(c.in, 8), 3u);
    EXPECT_EQ(U32(c.in, 12), 0x80000000u);
    EXPECT_EQ(U32(c.in, 16), 0u);
    EXPECT_EQ(U32(c.in, 20), 0u);
    EXPECT_EQ(U32(c.in, 24), 64u);
    EXPECT_EQ(U32(c.in, 28), 0u);
    EXPECT_EQ(U32(c.in, 32), to_device);
    EXPECT_EQ(U32(c.in, 36), from_device);
    EXPECT_EQ(U32(c.in, 40), 10u);
    EXPECT_EQ(U32(c.in, 44), 0u);
    EXPECT_EQ(U32(c.in, 48), 144u);
    EXPECT_EQ(U32(c.in, 52), 144u);
    EXPECT_EQ(U32(c.in, 56), 1u);
    CheckZero(c.in, 60, 80);
    EXPECT_EQ(U32(c.in, 80), opcode);
    EXPECT_EQ(U32(c.in, 84), 0xFFFFFFFFu);
    CheckZero(c.in, 88, 120);  // CDW2 stays 0 on this path
    EXPECT_EQ(U32(c.in, 120), cdw10);
    EXPECT_EQ(U32(c.in, 124), 0u);
    EXPECT_EQ(U32(c.in, 128), cdw12);
    EXPECT_EQ(U32(c.in, 132), cdw13);
    EXPECT_EQ(U32(c.in, 136), cdw14);
    EXPECT_EQ(U32(c.in, 140), cdw15);
}

TEST(NativeTransport, VendorReadWriteAndUnlock) {
    IoMock io;
    V drv(4096);
    drv[0] = 'Z';
    drv[4095] = 0x44;
    io.ExpectData(drv, 144);
    io.ExpectOk(2);
    DiskAccess a = Access(2, 1);
    V out(4096);
    EXPECT_EQ(DISKLIB_NVME_VSC_GetDrvInfo(&a, kDrive, out.data()), 1);
    EXPECT_EQ(out, drv);
    V block(4096);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(DISKLIB_NVME_SetFWConfig(&a, kDrive, block.data(), 0xA5A5A5A5), 1);
    EXPECT_EQ(DISKLIB_NVME_UnlockVSC(&a, kDrive), 1);
    ASSERT_EQ(io.calls.size(), 3u);

    ASSERT_EQ(io.calls[0].in.size(), 144u + 4096u);
    CheckProtocolCommand(io.calls[0], 0, 4096, 0xFE, 1024, 0x82, 3, 0, 0);
    ASSERT_EQ(io.calls[1].in.size(), 144u + 4096u);
    CheckProtocolCommand(io.calls[1], 4096, 0, 0xFD, 1024, 0x81, 1, 0, 0xA5A5A5A5);
    EXPECT_EQ(Bytes(io.calls[1].in, 144, 4096), block);
    ASSERT_EQ(io.calls[2].in.size(), 144u);
    CheckProtocolCommand(io.calls[2], 0, 0, 0xFC, 0, 0x1F, 0x776B7A71, 1, 0);
}

TEST(NativeTransport, DownloadChunksOfTenThousandBytes) {
    IoMock io;
    io.ExpectOk(3);
    DiskAccess a = Access(2);
    V image(10000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 1);
    EXPECT_EQ(DISKLIB_NVME_DownloadFW(&a, kDrive, image.data(), 10000), 1);
    ASSERT_EQ(io.calls.size(), 3u);
    const uint32_t lengths[] = {4096, 4096, 1808};
    const uint32_t offsets[] = {0, 4096, 8192};
    for (int i = 0; i < 3; ++i) {
        const MockCall& c = io.calls[i];
        EXPECT_EQ(c.code, 0x002DDC04u);
        ASSERT_EQ(c.in.size(), lengths[i] + 40);
        EXPECT_EQ(c.out_size, 0u);
        EXPECT_EQ(U32(c.in, 0), 40u);
        EXPECT_EQ(U32(c.in, 4), lengths[i] + 40);
        EXPECT_EQ(U32(c.in, 8), 1u);
        EXPECT_EQ(c.in[12], 1);  // slot
        EXPECT_EQ(U64(c.in, 16), offsets[i]);
        EXPECT_EQ(U64(c.in, 24), lengths[i]);
        EXPECT_EQ(Bytes(c.in, 32, lengths[i]), V(image.begin() + offsets[i], image.begin() + offsets[i] + lengths[i]));
    }
}

TEST(NativeTransport, ActivationFlagsAndPowerCycleAnswer) {
    IoMock io;
    io.ExpectOk();
    io.ExpectFail(0x00030207);
    io.ExpectFail(31);
    DiskAccess a = Access(2);
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 1, 1), 1);
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 2, 2), 1);  // "power cycle required" counts as done
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 1, 1), -4);
    const MockCall& c = io.calls[0];
    EXPECT_EQ(c.code, 0x002DDC08u);
    ASSERT_EQ(c.in.size(), 16u);
    EXPECT_EQ(c.out_size, 0u);
    EXPECT_EQ(U32(c.in, 0), 16u);
    EXPECT_EQ(U32(c.in, 4), 16u);
    EXPECT_EQ(U32(c.in, 8), 1u);
    EXPECT_EQ(c.in[12], 1);
    EXPECT_EQ(U32(io.calls[1].in, 8), 0x80000001u);
    EXPECT_EQ(io.calls[1].in[12], 2);
}

// ---- RST ------------------------------------------------------------------------

static void CheckSrb(const V& in, const char* signature, uint32_t timeout, uint32_t code, uint32_t length) {
    EXPECT_EQ(U32(in, 0), 28u);
    EXPECT_EQ(Bytes(in, 4, 8), V(signature, signature + 8));
    EXPECT_EQ(U32(in, 12), timeout);
    EXPECT_EQ(U32(in, 16), code);
    EXPECT_EQ(U32(in, 20), 0u);
    EXPECT_EQ(U32(in, 24), length);
}

TEST(RstTransport, NvmPassThroughBlock) {
    IoMock io;
    V answer(4096, 0x3C);
    io.ExpectData(answer, 164);
    io.ExpectOk();
    DiskAccess a = Access(3, 0);
    V buf(4096);
    EXPECT_EQ(DISKLIB_NVME_GetLogPage(&a, kDrive, 0xE1, buf.data(), 4096), 1);
    EXPECT_EQ(buf, answer);
    V block(4096, 0x61);
    EXPECT_EQ(DISKLIB_NVME_SetFWConfig(&a, kDrive, block.data(), 0x99), 1);
    ASSERT_EQ(io.calls.size(), 2u);
    for (const MockCall& c : io.calls) {
        EXPECT_EQ(c.device, kPort);
        EXPECT_EQ(c.code, 0x0004D008u);
        ASSERT_EQ(c.in.size(), 4096u + 167u);
        EXPECT_FALSE(c.out_is_in);
        EXPECT_EQ(c.out_size, 4096u + 167u);
        CheckSrb(c.in, "IntelNvm", 40, 0xF0002808u, 4096 + 167 - 28);
        EXPECT_EQ(c.in[28], 1);
        EXPECT_EQ(c.in[29], 2);  // path id
        EXPECT_EQ(c.in[30], 0);
        EXPECT_EQ(c.in[31], 0);
        CheckZero(c.in, 96, 116);
        EXPECT_EQ(U32(c.in, 116), 164u);
        EXPECT_EQ(U32(c.in, 120), 4096u);
        CheckZero(c.in, 124, 164);
        CheckZero(c.in, 164 + 4096, 164 + 4096 + 3);
    }
    const V& log = io.calls[0].in;
    EXPECT_EQ(U32(log, 32), 0x02u);
    EXPECT_EQ(U32(log, 36), 0xFFFFFFFFu);
    EXPECT_EQ(U32(log, 72), 0x03FF00E1u);
    const V& w = io.calls[1].in;
    EXPECT_EQ(U32(w, 32), 0xE5u);
    EXPECT_EQ(U32(w, 40), 0x776B7A71u);  // key word in CDW2
    EXPECT_EQ(U32(w, 72), 1024u);
    EXPECT_EQ(U32(w, 80), 1u);
    EXPECT_EQ(U32(w, 88), 0x99u);
    EXPECT_EQ(Bytes(w, 164, 4096), block);
}

TEST(RstTransport, FirmwareDownloadAndActivateBlocks) {
    IoMock io;
    io.ExpectOk(3);
    DiskAccess a = Access(3);
    V image(5000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i ^ 0x5A);
    EXPECT_EQ(DISKLIB_NVME_DownloadFW(&a, kDrive, image.data(), 5000), 1);
    EXPECT_EQ(DISKLIB_NVME_FWActive(&a, kDrive, 3, 2), 1);  // the driver activates slot 1 whatever was asked
    ASSERT_EQ(io.calls.size(), 3u);
    const uint32_t lengths[] = {4096, 904};
    for (int i = 0; i < 2; ++i) {
        const MockCall& c = io.calls[i];
        EXPECT_EQ(c.device, kPort);
        EXPECT_EQ(c.code, 0x0004D008u);
        ASSERT_EQ(c.in.size(), lengths[i] + 88);
        EXPECT_EQ(c.out_size, 0u);
        CheckSrb(c.in, "IntelFw ", 200, 0xF0000040u, lengths[i] + 60);
        EXPECT_EQ(c.in[28], 1);
        EXPECT_EQ(c.in[29], 2);
        EXPECT_EQ(U32(c.in, 32), 1u);
        EXPECT_EQ(U32(c.in, 36), 24u);
        EXPECT_EQ(U32(c.in, 40), 2u);
        EXPECT_EQ(U32(c.in, 44), 1u);
        EXPECT_EQ(U32(c.in, 48), 56u);
        EXPECT_EQ(U32(c.in, 52), lengths[i] + 32);
        EXPECT_EQ(U32(c.in, 56), 2u);
        EXPECT_EQ(U32(c.in, 60), 32u);
        EXPECT_EQ(U64(c.in, 64), i * 4096u);
        EXPECT_EQ(U64(c.in, 72), lengths[i]);
        EXPECT_EQ(c.in[80], 0xFF);
        CheckZero(c.in, 81, 88);
        EXPECT_EQ(Bytes(c.in, 88, lengths[i]), V(image.begin() + i * 4096, image.begin() + i * 4096 + lengths[i]));
    }
    const MockCall& act = io.calls[2];
    ASSERT_EQ(act.in.size(), 4184u);
    EXPECT_EQ(act.out_size, 0u);
    CheckSrb(act.in, "IntelFw ", 200, 0xF0000040u, 4156);
    EXPECT_EQ(act.in[28], 1);
    EXPECT_EQ(act.in[29], 2);
    const uint32_t words[] = {1, 24, 3, 1, 56, 12, 1, 12, 1, 5, 7};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(U32(act.in, 32 + 4 * i), words[i]) << "at " << 32 + 4 * i;
    CheckZero(act.in, 76, 4184);
}

TEST(RstTransport, FailureGivesMinusFour) {
    IoMock io;
    io.ExpectFail();
    io.ExpectFail();
    io.ExpectFail();
    DiskAccess a = Access(3);
    V buf(4096);
    EXPECT_EQ(NvmeIdentify(&a, kDrive, 1, 0, buf.data(), 4096), -4);
    EXPECT_EQ(RstFwDownload(kPort, 0, 0, buf.data(), 4096), -4);
    EXPECT_EQ(RstFwActivate(kPort, 0), -4);
}
