// What the drive command tests share: the access block for a drive reached
// without a SCSI port, and a fixture that turns the debug log on and checks
// that every committed page went back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/disk_info.h"
#include "platform/host/host_control.h"

inline DiskAccess Access(int type, int vsc = 0) {
    DiskAccess a;
    std::memset(&a, 0, sizeof a);
    a.iCmdType = type;
    a.hScsiPort = INVALID_HANDLE_VALUE;
    a.iVSCType = vsc;
    return a;
}

class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostResetAll();
        GetAppState()->bDebug = 1;
        memory_before_ = HostMemoryBlocks();
    }
    void TearDown() override {
        EXPECT_EQ(HostMemoryBlocks(), memory_before_) << "a transfer buffer leaked";
        GetAppState()->bDebug = 0;
    }
    // The debug lines without their time prefix.
    static std::vector<std::u16string> Logged() {
        std::vector<std::u16string> lines;
        for (const std::u16string& l : HostDebugLines()) lines.push_back(l.substr(23));
        return lines;
    }
    static bool Has(const std::u16string& line) {
        std::vector<std::u16string> l = Logged();
        return std::find(l.begin(), l.end(), line) != l.end();
    }
    int memory_before_ = 0;
};
