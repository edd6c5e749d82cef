// The diagnostic log: line format, the debug switch and the 1023-unit bound.
#include "core/log.h"

#include <gtest/gtest.h>

#include <string>

#include "core/app_state.h"
#include "platform/host/host_control.h"

namespace {

const std::u16string kPrefix = u"[VX]          [middle] ";

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        *GetAppState() = AppState{};
        GetAppState()->bDebug = 1;
        HostDebugClear();
    }
    void TearDown() override { *GetAppState() = AppState{}; }
};

TEST_F(LogTest, NothingIsWrittenUnlessDebugIsExactlyOne) {
    GetAppState()->bDebug = 0;
    LogMsg(u"DISKLIB_NVME_FWActive IN");
    LogMsg(u"%s %d", u"x", 1);
    LogText(u"text");
    GetAppState()->bDebug = 2;
    LogMsg(u"DISKLIB_NVME_FWActive IN");
    LogText(u"text");
    EXPECT_TRUE(HostDebugLines().empty());
}

TEST_F(LogTest, EachCallIsOneLineAfterThePrefix) {
    ASSERT_EQ(kPrefix.size(), 23u);
    LogMsg(u"DISKLIB_NVME_FWActive IN");
    LogMsg(u"DISKLIB_NVME_FWActive Success OUT ");
    LogMsg(u"%s iCmdType=%d iPort=%I64d SoC=%04X %3d%%", u"Model", 2, -1LL, 0x2263u, 7);
    LogMsg(u"");
    auto lines = HostDebugLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], u"[VX]          [middle] DISKLIB_NVME_FWActive IN");
    EXPECT_EQ(lines[1], u"[VX]          [middle] DISKLIB_NVME_FWActive Success OUT ");
    EXPECT_EQ(lines[2], kPrefix + u"Model iCmdType=2 iPort=-1 SoC=2263   7%");
    EXPECT_EQ(lines[3], kPrefix);  // the prefix alone, trailing blank included
}

TEST_F(LogTest, LongMessagesAreCutToExactly1023Units) {
    std::u16string long_text(1500, u'x');
    LogMsg(u"%s", long_text.c_str());
    LogText(long_text.c_str());
    std::u16string exact(1000, u'y');  // just fits after the prefix
    LogMsg(exact.c_str());
    auto lines = HostDebugLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], kPrefix + std::u16string(1000, u'x'));
    EXPECT_EQ(lines[0].size(), 1023u);
    EXPECT_EQ(lines[1], lines[0]);
    EXPECT_EQ(lines[2], kPrefix + exact);
}

TEST_F(LogTest, AComposedTextIsLoggedUnchanged) {
    // Model names and configuration values may hold '%': never a format.
    LogText(u"Model 100%s %d %I64d %n [50%]");
    LogText(u"");
    auto lines = HostDebugLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], kPrefix + u"Model 100%s %d %I64d %n [50%]");
    EXPECT_EQ(lines[1], kPrefix);
}

}  // namespace
