// The simulated bridges read the envelopes the tool sends as the bridges do:
// one wrong byte in a request that is otherwise right is refused.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "core/disk_info.h"
#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"

namespace {

using sim::Attachment;
using Bytes = std::vector<uint8_t>;

struct Reply {
    BOOL ok = FALSE;
    uint8_t status = 0xFF;
    uint8_t sense_key = 0;
};

Reply Send(HANDLE drive, const Bytes& cdb, uint8_t direction, uint8_t* data, uint32_t length) {
    ScsiPassThroughDirectWithSense block = {};
    block.sptd.Length = sizeof(ScsiPassThroughDirect);
    block.sptd.CdbLength = 16;
    block.sptd.SenseInfoLength = 24;
    block.sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, SenseBuffer);
    block.sptd.DataIn = direction;
    block.sptd.DataTransferLength = length;
    block.sptd.DataBuffer = length ? data : nullptr;
    block.sptd.TimeOutValue = 10;
    std::memcpy(block.sptd.Cdb, cdb.data(), 16);
    DWORD returned = 0;
    Reply r;
    r.ok = os::DeviceIoControl(drive, kIoctlScsiPassThroughDirect, &block, sizeof block, &block, sizeof block,
                               &returned);
    r.status = block.sptd.ScsiStatus;
    r.sense_key = block.SenseBuffer[2] & 0x0F;
    return r;
}

class BridgeStrictness : public ::testing::Test {
protected:
    void SetUp() override {
        sim::MachineDesc m;
        sim::AddNvmeDrive(m, 1, Attachment::kAsmedia);
        sim::AddNvmeDrive(m, 2, Attachment::kJmicron);
        std::string error;
        ASSERT_TRUE(sim::InstallMachine(m, &error)) << error;
    }
    void TearDown() override {
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        sim::ResetMachine();
    }
    static HANDLE Open(const char16_t* path) {
        return os::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL);
    }
    static std::string ModelOf(const Bytes& identify) {
        return std::string(reinterpret_cast<const char*>(identify.data()) + 24, 20);
    }
};

// JMicron: command block with "NVME" and the Identify command at byte 8,
// then the data phase, then the completion.
TEST_F(BridgeStrictness, JmicronStagingBlockSignature) {
    HANDLE drive = Open(u"\\\\.\\PhysicalDrive2");
    ASSERT_NE(drive, INVALID_HANDLE_VALUE);
    const Bytes command = {0xA1, 0x80, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes data = {0xA1, 0x82, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes completion = {0xA1, 0x8F, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    auto staging = [] {
        Bytes s(512, 0);
        std::memcpy(s.data(), "NVME", 4);
        s[8] = 0x06;   // Identify
        s[48] = 0x01;  // CNS 1: the controller
        return s;
    };
    Bytes good = staging();
    Bytes identify(4096, 0), done(512, 0);
    ASSERT_TRUE(Send(drive, command, kScsiIoctlDataOut, good.data(), 512).ok);
    Reply r = Send(drive, data, kScsiIoctlDataIn, identify.data(), 4096);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Send(drive, completion, kScsiIoctlDataIn, done.data(), 512).ok);
    EXPECT_EQ(ModelOf(identify), "VELQORAX VX500 512GB");

    // One byte of the signature wrong: the bridge refuses the command block.
    for (size_t at = 0; at < 4; ++at) {
        Bytes bad = staging();
        bad[at] ^= 0x20;
        r = Send(drive, command, kScsiIoctlDataOut, bad.data(), 512);
        EXPECT_TRUE(r.ok) << at;
        EXPECT_EQ(r.status, 2) << at;
        EXPECT_EQ(r.sense_key, 5) << at;  // ILLEGAL REQUEST
    }
    // The length in the CDB must agree with the transfer: 0x0200 read as 0x0300.
    Bytes wrong_length = command;
    wrong_length[4] = 0x03;
    EXPECT_EQ(Send(drive, wrong_length, kScsiIoctlDataOut, good.data(), 512).status, 2);
    os::CloseHandle(drive);
}

// ASMedia: EA 5A 80 takes the 64-byte command, EB 5A 81 reads the data.
TEST_F(BridgeStrictness, AsmediaCommandPhaseBytes) {
    HANDLE drive = Open(u"\\\\.\\PhysicalDrive1");
    ASSERT_NE(drive, INVALID_HANDLE_VALUE);
    const Bytes command = {0xEA, 0x5A, 0x80, 0x00, 0x01, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x40, 0, 0};
    const Bytes data = {0xEB, 0x5A, 0x81, 0x00, 0x01, 0, 0, 0, 0, 0, 0x00, 0x00, 0x10, 0x00, 0, 0};
    Bytes nvme(64, 0);
    nvme[0] = 0x06;
    nvme[40] = 0x01;
    Bytes identify(4096, 0);
    ASSERT_EQ(Send(drive, command, kScsiIoctlDataOut, nvme.data(), 64).status, 0);
    ASSERT_EQ(Send(drive, data, kScsiIoctlDataIn, identify.data(), 4096).status, 0);
    EXPECT_EQ(ModelOf(identify), "VELQORAX VX500 512GB");

    for (size_t at : {size_t{1}, size_t{2}, size_t{13}}) {
        Bytes bad = command;
        bad[at] ^= 0x01;
        EXPECT_EQ(Send(drive, bad, kScsiIoctlDataOut, nvme.data(), 64).status, 2) << "CDB byte " << at;
    }
    // A data phase without a command before it has nothing to run.
    EXPECT_EQ(Send(drive, data, kScsiIoctlDataIn, identify.data(), 4096).status, 2);
    os::CloseHandle(drive);
}

}  // namespace
