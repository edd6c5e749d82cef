// Byte-exact ATA pass-through and SCSI/ATA translation requests, the choice
// between them by command type, and the vendor configuration commands.
#include "sata/ata_command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/host/host_control.h"
#include "sata/sata_identify.h"
#include "tests/common/command_test.h"
#include "tests/sata/ata_mock.h"

namespace {

using V = std::vector<uint8_t>;
HANDLE const kDrive = reinterpret_cast<HANDLE>(0x5A7A);

V Cdb12(const AtaCall& c) { return Slice(c.in, sptd64::Cdb, 16); }
V TaskFile(const AtaCall& c) { return Slice(c.in, aptd64::CurrentTaskFile, 8); }

V Pattern(size_t n, uint8_t seed) {
    V v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 13);
    return v;
}

class AtaCommands : public ::testing::Test {
protected:
    void SetUp() override { memory_before_ = HostMemoryBlocks(); }
    void TearDown() override { EXPECT_EQ(HostMemoryBlocks(), memory_before_) << "a transfer buffer leaked"; }
    int memory_before_ = 0;
};

// The fixed fields of a translation request, as the SCSI pass-through block
// of a 64-bit process lays them out.
void ExpectSatBlock(const AtaCall& c, uint8_t data_in, uint32_t length, const void* buffer) {
    EXPECT_EQ(c.code, 0x0004D014u);
    EXPECT_EQ(c.in.size(), sptd64::BlockSize);
    EXPECT_EQ(c.out_size, sptd64::BlockSize);
    EXPECT_TRUE(c.out_is_in);
    EXPECT_EQ(Le16At(c.in, sptd64::Length), 56);
    EXPECT_EQ(c.in[sptd64::PathId], 0);
    EXPECT_EQ(c.in[sptd64::TargetId], 0);
    EXPECT_EQ(c.in[sptd64::Lun], 0);
    EXPECT_EQ(c.in[sptd64::CdbLength], 12);
    EXPECT_EQ(c.in[sptd64::SenseInfoLength], 64);
    EXPECT_EQ(c.in[sptd64::DataIn], data_in);
    EXPECT_EQ(Le32At(c.in, sptd64::DataTransferLength), length);
    EXPECT_EQ(Le32At(c.in, sptd64::TimeOutValue), 60u);
    EXPECT_EQ(Le32At(c.in, sptd64::SenseInfoOffset), 60u);
    EXPECT_EQ(c.data_buffer, buffer) << "translation hands the drive the caller's own buffer";
    for (size_t i = sptd64::Sense; i < sptd64::BlockSize; ++i) ASSERT_EQ(c.in[i], 0) << "sense area byte " << i;
}

void ExpectAtaBlock(const AtaCall& c, uint16_t flags, uint32_t length) {
    EXPECT_EQ(c.code, 0x0004D030u);
    EXPECT_EQ(c.in.size(), aptd64::Size);
    EXPECT_EQ(c.out_size, aptd64::Size);
    EXPECT_TRUE(c.out_is_in);
    EXPECT_EQ(Le16At(c.in, aptd64::Length), 48);
    EXPECT_EQ(Le16At(c.in, aptd64::AtaFlags), flags);
    EXPECT_EQ(c.in[aptd64::PathId], 0);
    EXPECT_EQ(c.in[aptd64::TargetId], 0);
    EXPECT_EQ(c.in[aptd64::Lun], 0);
    EXPECT_EQ(c.in[aptd64::ReservedAsUchar], 0);
    EXPECT_EQ(Le32At(c.in, aptd64::DataTransferLength), length);
    EXPECT_EQ(Le32At(c.in, aptd64::TimeOutValue), 60u);
    EXPECT_EQ(Le32At(c.in, aptd64::ReservedAsUlong), 0u);
    EXPECT_EQ(Slice(c.in, aptd64::PreviousTaskFile, 8), V(8, 0));
    // The data area starts 16 bytes into a fresh allocation.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c.data_buffer) % 4096, 16u);
}

TEST_F(AtaCommands, IdentifyBehindUsbIsOneTranslatedRequest) {
    AtaMock io;
    V identify = Pattern(512, 7);
    io.ExpectData(identify);
    DiskAccess a = Access(17);
    V buffer(512, 0xEE);
    EXPECT_EQ(SataIdentifyDevice(&a, kDrive, buffer.data(), 512), 1);
    ASSERT_EQ(io.calls.size(), 1u);
    ExpectSatBlock(io.calls[0], 1, 512, buffer.data());
    EXPECT_EQ(Cdb12(io.calls[0]), (V{0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0xEC, 0x00, 0x00, 0, 0, 0, 0}));
    EXPECT_EQ(buffer, identify);
}

TEST_F(AtaCommands, IdentifyOnNativePortIsAtaPassThroughFirst) {
    AtaMock io;
    V identify = Pattern(512, 3);
    io.ExpectData(identify);
    DiskAccess a = Access(16);
    V buffer(512, 0xEE);
    EXPECT_EQ(SataIdentifyDevice(&a, kDrive, buffer.data(), 512), 1);
    ASSERT_EQ(io.calls.size(), 1u);
    ExpectAtaBlock(io.calls[0], 3, 512);
    EXPECT_EQ(TaskFile(io.calls[0]), (V{0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0xEC, 0x00}));
    EXPECT_NE(io.calls[0].data_buffer, buffer.data());
    EXPECT_EQ(buffer, identify) << "data in is copied out of the transfer buffer";
}

TEST_F(AtaCommands, NativeFailureFallsBackOnceToTranslation) {
    DiskAccess a = Access(16);
    V buffer(512);
    struct Case {
        const char* what;
        AtaReply first;
    };
    AtaReply ioctl_fails;
    ioctl_fails.ok = FALSE;
    AtaReply err;
    err.status = 0x51;  // DRDY | ERR
    AtaReply drq;
    drq.status = 0x58;  // DRDY | DRQ
    for (const Case& c : {Case{"IOCTL fails", ioctl_fails}, Case{"ERR", err}, Case{"DRQ", drq}}) {
        SCOPED_TRACE(c.what);
        AtaMock io;
        AtaReply first = c.first;
        first.data = V(512, 0x77);  // whatever the drive left must not reach the caller
        io.Expect(first);
        io.ExpectOk();
        std::memset(buffer.data(), 0x11, buffer.size());
        EXPECT_EQ(SataIdentifyDevice(&a, kDrive, buffer.data(), 512), 1);
        ASSERT_EQ(io.calls.size(), 2u);
        EXPECT_EQ(io.calls[0].code, kAtaIoctl);
        ExpectSatBlock(io.calls[1], 1, 512, buffer.data());
        EXPECT_EQ(Cdb12(io.calls[1])[9], 0xEC);
        EXPECT_EQ(buffer, V(512, 0)) << "the buffer is zeroed and the failed transfer is not copied";
    }
    // Both ways failing is a failure; the translation is tried only once.
    AtaMock io;
    io.ExpectStatus(0x51);
    io.ExpectFail();
    EXPECT_EQ(SataIdentifyDevice(&a, kDrive, buffer.data(), 512), 0);
    EXPECT_EQ(io.calls.size(), 2u);
}

TEST_F(AtaCommands, TranslationFailsOnCheckConditionOrAFailedRequest) {
    for (int type : {17, 18}) {
        SCOPED_TRACE(type);
        AtaMock io;
        AtaReply check;
        check.scsi_status = 2;  // CHECK CONDITION without sense: refused
        io.Expect(check);
        io.ExpectFail();
        DiskAccess a = Access(type);
        V block(4096);
        EXPECT_EQ(SataGetFWConfig(&a, kDrive, block.data()), 0);
        EXPECT_EQ(SataGetFWConfig(&a, kDrive, block.data()), 0);
        ASSERT_EQ(io.calls.size(), 2u);
        EXPECT_EQ(io.calls[0].code, kSptIoctl) << "no ATA pass-through off a native port";
        EXPECT_EQ(io.calls[1].code, kSptIoctl);
    }
}

TEST_F(AtaCommands, ConfigurationReadAndWriteCdbs) {
    AtaMock io;
    V config = Pattern(4096, 9);
    io.ExpectData(config);
    io.ExpectOk();
    DiskAccess a = Access(17);
    V block(4096);
    EXPECT_EQ(SataGetFWConfig(&a, kDrive, block.data()), 1);
    EXPECT_EQ(block, config);
    V edited = Pattern(4096, 200);
    EXPECT_EQ(SataSetFWConfig(&a, kDrive, edited.data()), 1);
    ASSERT_EQ(io.calls.size(), 2u);
    ExpectSatBlock(io.calls[0], 1, 4096, block.data());
    EXPECT_EQ(Cdb12(io.calls[0]), (V{0xA1, 0x08, 0x0E, 0x02, 0x08, 0x00, 0x00, 0x00, 0x40, 0xC3, 0x00, 0x00, 0, 0, 0, 0}));
    ExpectSatBlock(io.calls[1], 0, 4096, edited.data());
    EXPECT_EQ(Cdb12(io.calls[1]), (V{0xA1, 0x0A, 0x06, 0x01, 0x08, 0x00, 0x00, 0x00, 0x40, 0xC2, 0x00, 0x00, 0, 0, 0, 0}));
    EXPECT_EQ(io.calls[1].data_out, edited);
}

TEST_F(AtaCommands, NativeWriteCopiesTheDataIntoTheTransferBuffer) {
    AtaMock io;
    io.ExpectOk();
    DiskAccess a = Access(16);
    V block = Pattern(4096, 42);
    EXPECT_EQ(SataSetFWConfig(&a, kDrive, block.data()), 1);
    ASSERT_EQ(io.calls.size(), 1u);
    ExpectAtaBlock(io.calls[0], 5, 4096);
    EXPECT_EQ(TaskFile(io.calls[0]), (V{0x01, 0x08, 0x00, 0x00, 0x00, 0x40, 0xC2, 0x00}));
    EXPECT_EQ(io.calls[0].data_out, block);
}

TEST_F(AtaCommands, OnlyLbaBits24To27ReachTheDeviceRegister) {
    AtaMock io;
    io.ExpectOk(4);
    V piece(512);
    EXPECT_EQ(SataAtaCommand(16, kDrive, 0x92, 3, 5, 0x0F123456ull, piece.data(), 512), 1);
    EXPECT_EQ(SataAtaCommand(16, kDrive, 0x92, 3, 5, 0xF0000000ull, piece.data(), 512), 1);
    EXPECT_EQ(SataAtaCommand(17, kDrive, 0x92, 3, 5, 0x0F123456ull, piece.data(), 512), 1);
    EXPECT_EQ(SataAtaCommand(17, kDrive, 0x92, 3, 5, 0xF0000000ull, piece.data(), 512), 1);
    ASSERT_EQ(io.calls.size(), 4u);
    EXPECT_EQ(TaskFile(io.calls[0]), (V{0x03, 0x01, 0x56, 0x34, 0x12, 0x4F, 0x92, 0x00}));
    EXPECT_EQ(TaskFile(io.calls[1]), (V{0x03, 0x01, 0x00, 0x00, 0x00, 0x40, 0x92, 0x00}))
        << "bits 28-31 would select the second device";
    EXPECT_EQ(Slice(Cdb12(io.calls[2]), 3, 7), (V{0x03, 0x01, 0x56, 0x34, 0x12, 0x4F, 0x92}));
    EXPECT_EQ(Slice(Cdb12(io.calls[3]), 3, 7), (V{0x03, 0x01, 0x00, 0x00, 0x00, 0x40, 0x92}));
}

TEST(SataBitField, WordSeventySeven) {
    EXPECT_EQ(GetBitField(0x0006, 3, 1), 3);
    EXPECT_EQ(GetBitField(0x0004, 3, 1), 2);
    EXPECT_EQ(GetBitField(0xFFF1, 3, 1), 0);
    EXPECT_EQ(GetBitField(0xFFFF, 3, 1), 7);
    EXPECT_EQ(GetBitField(0xA5C3, 15, 12), 0xA);
    EXPECT_EQ(GetBitField(0xA5C3, 0, 0), 1);
}

}  // namespace
