// Telling the bridge of a USB disk from INQUIRY, then from Identify probes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "io_mock.h"
#include "nvme/transport.h"

using V = std::vector<uint8_t>;

static HANDLE kDrive = reinterpret_cast<HANDLE>(0x1234);

static V Inquiry(const char* product, uint8_t b36, uint8_t b37) {
    V d(38);
    std::memcpy(d.data() + 8, "VENDOR  ", 8);
    std::memcpy(d.data() + 16, product, std::strlen(product));
    d[36] = b36;
    d[37] = b37;
    return d;
}

static V IdentifyAnswer(uint16_t vid, uint16_t ssvid) {
    V d(4096);
    d[0] = static_cast<uint8_t>(vid);
    d[1] = static_cast<uint8_t>(vid >> 8);
    d[2] = static_cast<uint8_t>(ssvid);
    d[3] = static_cast<uint8_t>(ssvid >> 8);
    return d;
}

TEST(BridgeProbe, InquiryRequestAndVendorBytes) {
    IoMock io;
    io.ExpectData(Inquiry("USB bridge", 0x60, 0x23));
    EXPECT_EQ(DetectUsbBridge(kDrive), 0);
    ASSERT_EQ(io.calls.size(), 1u);
    const MockCall& c = io.calls[0];
    EXPECT_EQ(c.code, 0x0004D014u);
    EXPECT_EQ(Cdb(c), (V{0x12, 0x00, 0x00, 0x00, 0x26, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(c.in[sptd64::CdbLength], 16);
    EXPECT_EQ(c.in[sptd64::SenseInfoLength], 64);
    EXPECT_EQ(c.in[sptd64::DataIn], 1);
    EXPECT_EQ(U32(c.in, sptd64::DataTransferLength), 38u);
    EXPECT_EQ(U32(c.in, sptd64::TimeOutValue), 10u);

    io.ExpectData(Inquiry("USB bridge", 0x30, 0x35));
    EXPECT_EQ(DetectUsbBridge(kDrive), 1);
    EXPECT_EQ(io.calls.size(), 2u);
}

TEST(BridgeProbe, RealtekProductTextAnywhere) {
    IoMock io;
    io.ExpectData(Inquiry("RTL9210B-CG", 0, 0));
    io.ExpectData(Inquiry("X9210BX", 0, 0));
    io.ExpectData(Inquiry("9210B", 0, 0));
    EXPECT_EQ(DetectUsbBridge(kDrive), 4);
    EXPECT_EQ(DetectUsbBridge(kDrive), 4);
    EXPECT_EQ(DetectUsbBridge(kDrive), 4);
    EXPECT_EQ(io.calls.size(), 3u);  // no Identify probe
}

TEST(BridgeProbe, JmicronWithOtherInquiryBytesFoundByIdentifyFirst) {
    IoMock io;
    io.ExpectData(Inquiry("External SSD", 0x12, 0x34));
    io.ExpectOk();
    io.ExpectData(IdentifyAnswer(0x1E7C, 0x1E7C));
    io.ExpectOk();
    EXPECT_EQ(DetectUsbBridge(kDrive), 1);
    ASSERT_EQ(io.calls.size(), 4u);
    EXPECT_EQ(Cdb(io.calls[1])[0], 0xA1);
    EXPECT_EQ(U32(io.calls[1].data_out, 8), 0x06u);
    EXPECT_EQ(U32(io.calls[1].data_out, 48), 1u);
}

TEST(BridgeProbe, OrderJmicronAsmediaRealtekAndVendorIdsRequired) {
    IoMock io;
    io.ExpectData(Inquiry("Disk", 0, 0));
    io.ExpectOk(3);                             // JMicron: answers, but all zero
    io.ExpectData(IdentifyAnswer(0x1E7C, 0));   // ASMedia: subsystem vendor missing
    io.ExpectOk();                              // Realtek phase 1
    io.ExpectData(IdentifyAnswer(0x1E7C, 0x1234));
    io.ExpectOk();
    EXPECT_EQ(DetectUsbBridge(kDrive), 4);
    ASSERT_EQ(io.calls.size(), 8u);
    EXPECT_EQ(Cdb(io.calls[4])[0], 0xE6);
    EXPECT_EQ(Cdb(io.calls[5])[0], 0xE5);
}

TEST(BridgeProbe, NothingAnswersGives255) {
    {
        IoMock io;
        io.ExpectData(Inquiry("Flash", 0, 0));
        io.ExpectFail();  // JMicron command phase
        io.ExpectFail();  // ASMedia Identify
        io.ExpectFail();  // Realtek command phase
        EXPECT_EQ(DetectUsbBridge(kDrive), 255);
        EXPECT_EQ(io.calls.size(), 4u);
    }
    {
        IoMock io;
        io.ExpectStatus(2);
        EXPECT_EQ(DetectUsbBridge(kDrive), 255);
        io.ExpectFail();
        EXPECT_EQ(DetectUsbBridge(kDrive), 255);
        EXPECT_EQ(io.calls.size(), 2u);
    }
}
