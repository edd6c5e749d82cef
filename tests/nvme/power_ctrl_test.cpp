// The bridges' power commands, byte by byte, and which failures count.
#include <gtest/gtest.h>

#include <vector>

#include "nvme/power_ctrl.h"
#include "tests/nvme/io_mock.h"

using V = std::vector<uint8_t>;

static HANDLE kDrive = reinterpret_cast<HANDLE>(0x4321);

static void CheckCommon(const MockCall& c, uint8_t data_in, uint32_t length) {
    EXPECT_EQ(c.code, 0x0004D014u);
    EXPECT_EQ(c.device, kDrive);
    ASSERT_EQ(c.in.size(), sptd64::BlockSize);
    EXPECT_TRUE(c.out_is_in);
    EXPECT_EQ(c.in[sptd64::Length], 56);
    EXPECT_EQ(c.in[sptd64::CdbLength], 16);
    EXPECT_EQ(c.in[sptd64::SenseInfoLength], 24);
    EXPECT_EQ(c.in[sptd64::DataIn], data_in);
    EXPECT_EQ(U32(c.in, sptd64::DataTransferLength), length);
    EXPECT_EQ(U32(c.in, sptd64::TimeOutValue), 10u);
    EXPECT_EQ(U32(c.in, sptd64::SenseInfoOffset), sptd64::Sense);
}

TEST(PowerCtrl, AsmediaSendsEa5aModeWithoutData) {
    IoMock io;
    io.ExpectOk();
    io.ExpectFail();
    EXPECT_EQ(IO_USB_ASM_PowerCtrl(kDrive, 1), 1);
    EXPECT_EQ(IO_USB_ASM_PowerCtrl(kDrive, 1), -4);
    ASSERT_EQ(io.calls.size(), 2u);
    CheckCommon(io.calls[0], 0, 0);
    EXPECT_EQ(io.calls[0].data_buffer, nullptr);
    EXPECT_EQ(Cdb(io.calls[0]), (V{0xEA, 0x5A, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PowerCtrl, JmicronThreeStepsAndTheThirdMayFail) {
    IoMock io;
    io.ExpectOk(2);
    io.ExpectFail();
    EXPECT_EQ(IO_USB_JMI_PowerCtrl(kDrive, 5), 1);
    ASSERT_EQ(io.calls.size(), 3u);

    CheckCommon(io.calls[0], 0, 512);
    EXPECT_EQ(Cdb(io.calls[0]), (V{0xA1, 0x80, 0x00, 0x00, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const V& block = io.calls[0].data_out;
    ASSERT_EQ(block.size(), 512u);
    for (size_t i = 0; i < 512; ++i) {
        uint8_t expected = 0;
        if (i < 4) expected = "NVME"[i];
        if (i == 72) expected = 5;
        ASSERT_EQ(block[i], expected) << "byte " << i;
    }

    CheckCommon(io.calls[1], 1, 0);
    EXPECT_EQ(Cdb(io.calls[1]), (V{0xA1, 0x81, 0x00, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    CheckCommon(io.calls[2], 1, 512);
    EXPECT_EQ(Cdb(io.calls[2]), (V{0xA1, 0x8F, 0x00, 0x00, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PowerCtrl, FirstOrSecondFailureStopsAndStatusIsNotLookedAt) {
    {
        IoMock io;
        io.ExpectFail();
        EXPECT_EQ(IO_USB_JMI_PowerCtrl(kDrive, 5), -4);
        EXPECT_EQ(io.calls.size(), 1u);
    }
    {
        IoMock io;
        io.ExpectOk();
        io.ExpectFail();
        EXPECT_EQ(IO_USB_JMI_PowerCtrl(kDrive, 5), -4);
        EXPECT_EQ(io.calls.size(), 2u);
    }
    {
        IoMock io;
        io.ExpectStatus(2);
        io.ExpectStatus(2);
        io.ExpectStatus(2);
        io.ExpectStatus(2);
        EXPECT_EQ(IO_USB_JMI_PowerCtrl(kDrive, 5), 1);
        EXPECT_EQ(IO_USB_ASM_PowerCtrl(kDrive, 1), 1);
    }
}
