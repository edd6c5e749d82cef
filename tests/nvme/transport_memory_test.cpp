// The native and RST transports stage their requests in committed pages:
// every one is released again, whether the request went through or failed.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "io_mock.h"
#include "nvme/nvme_commands.h"
#include "nvme/transport.h"
#include "platform/host/host_control.h"

namespace {

HANDLE const kDrive = reinterpret_cast<HANDLE>(0x1234);
HANDLE const kPort = reinterpret_cast<HANDLE>(0x5678);

// Every native and RST operation once, each answered by the mock in turn.
void EveryOperation() {
    std::vector<uint8_t> buf(4096, 0x11);
    NvmeCommand identify = BuildIdentifyCommand(1, 0);
    NativeIdentify(kDrive, 1, 0, buf.data(), 4096);
    NativeGetLogPage(kDrive, 0xE1, buf.data(), 4096);
    NativeVendorCommand(kDrive, kNvmeRead, 0xFE, 0, 0, 0, 0, buf.data(), 4096);
    NativeVendorCommand(kDrive, kNvmeWrite, 0xFD, 0, 0, 0, 0, buf.data(), 4096);
    NativeFwDownload(kDrive, 4096, buf.data(), 4096);
    NativeFwActivate(kDrive, 1, 1);
    RstNvmePassThrough(kPort, 2, &identify, buf.data(), 4096);
    RstFwDownload(kPort, 2, 0, buf.data(), 4096);
    RstFwActivate(kPort, 2);
}

TEST(TransportMemory, StagingPagesReleasedOnSuccessAndFailure) {
    HostResetAll();
    int before = HostMemoryBlocks();
    {
        IoMock io;
        io.ExpectOk(9);
        EveryOperation();
        EXPECT_EQ(io.calls.size(), 9u);
    }
    EXPECT_EQ(HostMemoryBlocks(), before) << "success path";
    {
        IoMock io;
        for (int i = 0; i < 9; ++i) io.ExpectFail();
        EveryOperation();
        EXPECT_EQ(io.calls.size(), 9u);
    }
    EXPECT_EQ(HostMemoryBlocks(), before) << "failure path";
}

}  // namespace
