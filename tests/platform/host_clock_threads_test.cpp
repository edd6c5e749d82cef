// The virtual clock and the threads that take turns over it.
#include <gtest/gtest.h>

#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_objects.h"
#include "platform/os.h"

namespace {

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override { HostResetAll(); }
    void TearDown() override {
        HostResetAll();
        EXPECT_EQ(HostLiveThreads(), 0);
    }
};

TEST_F(ClockTest, StartsAtTheFixedValueAndSleepCostsNoWallTime) {
    EXPECT_EQ(os::GetTickCount64(), kHostClockStart);
    os::Sleep(30 * 1000);
    EXPECT_EQ(os::GetTickCount64(), kHostClockStart + 30000);
    HostClockAdvance(5);
    EXPECT_EQ(HostClockNow(), kHostClockStart + 30005);
    HostClockReset();
    EXPECT_EQ(os::GetTickCount64(), kHostClockStart);
}

struct Trace {
    std::vector<int> order;
    std::vector<ULONGLONG> ticks;
};
Trace g_trace;

DWORD SleepThenMark(void* parameter) {
    int ms = static_cast<int>(reinterpret_cast<intptr_t>(parameter));
    os::Sleep(static_cast<DWORD>(ms));
    g_trace.order.push_back(ms);
    g_trace.ticks.push_back(os::GetTickCount64());
    return static_cast<DWORD>(ms + 1);
}

TEST_F(ClockTest, SleepersWakeInDeadlineOrderAtTheirOwnTimes) {
    g_trace = Trace();
    HANDLE a = os::CreateThread(SleepThenMark, reinterpret_cast<void*>(3000), 0, nullptr);
    HANDLE b = os::CreateThread(SleepThenMark, reinterpret_cast<void*>(1000), 0, nullptr);
    HANDLE c = os::CreateThread(SleepThenMark, reinterpret_cast<void*>(2000), 0, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(os::WaitForSingleObject(a, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(os::WaitForSingleObject(b, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(os::WaitForSingleObject(c, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(g_trace.order, (std::vector<int>{1000, 2000, 3000}));
    EXPECT_EQ(g_trace.ticks, (std::vector<ULONGLONG>{kHostClockStart + 1000, kHostClockStart + 2000,
                                                     kHostClockStart + 3000}));
    DWORD code = 0;
    EXPECT_TRUE(os::GetExitCodeThread(c, &code));
    EXPECT_EQ(code, 2001u);
    for (HANDLE h : {a, b, c}) EXPECT_TRUE(os::CloseHandle(h));
}

TEST_F(ClockTest, ASuspendedThreadWaitsForResumeAndATimedWaitExpiresInVirtualTime) {
    g_trace = Trace();
    DWORD id = 0;
    HANDLE t = os::CreateThread(SleepThenMark, reinterpret_cast<void*>(10), CREATE_SUSPENDED, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(id, 0u);
    DWORD code = 0;
    EXPECT_TRUE(os::GetExitCodeThread(t, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(os::WaitForSingleObject(t, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // Nothing else can run, so the wait's own deadline is the next event.
    EXPECT_EQ(os::WaitForSingleObject(t, 2500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(HostClockNow(), kHostClockStart + 2500);
    EXPECT_TRUE(g_trace.order.empty());
    EXPECT_EQ(HostLiveThreads(), 1);
    EXPECT_EQ(os::ResumeThread(t), 1u);
    EXPECT_EQ(os::WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(g_trace.ticks, (std::vector<ULONGLONG>{kHostClockStart + 2510}));
    EXPECT_EQ(os::ResumeThread(t), 0u);
    EXPECT_TRUE(os::CloseHandle(t));
    EXPECT_EQ(os::ResumeThread(t), static_cast<DWORD>(-1));
    EXPECT_EQ(os::WaitForSingleObject(t, 0), WAIT_FAILED);
}

DWORD CloseOwnHandleLater(void*) {
    os::Sleep(100);
    return 5;
}

TEST_F(ClockTest, ClosingAThreadHandleDoesNotEndTheThread) {
    HANDLE t = os::CreateThread(CloseOwnHandleLater, nullptr, CREATE_SUSPENDED, nullptr);
    EXPECT_EQ(HostOpenHandleCount(kHostThread), 1);
    os::ResumeThread(t);
    EXPECT_TRUE(os::CloseHandle(t));
    EXPECT_EQ(HostOpenHandleCount(kHostThread), 0);
    os::Sleep(100);  // the clock reaches the thread's deadline
    EXPECT_EQ(HostWaitIdle(), kHostIdle);
    EXPECT_EQ(HostLiveThreads(), 0);
}

TEST_F(ClockTest, DebugStreamKeepsEachCallAndForwards) {
    std::vector<std::u16string> forwarded;
    HostDebugSetForward([&](const WCH* text) { forwarded.push_back(text); });
    os::OutputDebugStringW(u"one\r\n");
    os::OutputDebugStringW(u"two");
    EXPECT_EQ(HostDebugLines(), (std::vector<std::u16string>{u"one\r\n", u"two"}));
    EXPECT_EQ(forwarded, HostDebugLines());
    HostDebugClear();
    EXPECT_TRUE(HostDebugLines().empty());
}

TEST_F(ClockTest, ShutdownCallsAreRecordedAndNothingHappens) {
    HostSetCommandLine("Quillon.exe /DEBUG");
    EXPECT_STREQ(os::GetCommandLineNarrow(), "Quillon.exe /DEBUG");
    ULONG_PTR gdiplus = 0;
    EXPECT_TRUE(os::GdiplusStartup(&gdiplus));
    os::InitCommonControls();
    HANDLE token = nullptr;
    ASSERT_TRUE(os::OpenProcessTokenOfCurrentProcess(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    LUID luid = {};
    ASSERT_TRUE(os::LookupPrivilegeValueW(u"", u"SeShutdownPrivilege", &luid));
    EXPECT_TRUE(os::AdjustTokenPrivilege(token, luid, SE_PRIVILEGE_ENABLED));
    os::Sleep(250);
    EXPECT_TRUE(os::ExitWindowsEx(EWX_POWEROFF, 0));
    os::GdiplusShutdown(gdiplus);
    EXPECT_EQ(HostOpenHandleCount(kHostToken), 1);
    EXPECT_TRUE(os::CloseHandle(token));

    std::vector<HostSystemCall> calls = HostSystemCalls();
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[0].name, "GdiplusStartup");
    EXPECT_EQ(calls[2].name, "OpenProcessToken");
    EXPECT_EQ(calls[2].value, static_cast<uint64_t>(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY));
    EXPECT_EQ(calls[3].text, u"SeShutdownPrivilege");
    EXPECT_EQ(calls[4].value, static_cast<uint64_t>(SE_PRIVILEGE_ENABLED));
    EXPECT_EQ(calls[5].name, "ExitWindowsEx");
    EXPECT_EQ(calls[5].value, static_cast<uint64_t>(EWX_POWEROFF));
    EXPECT_EQ(calls[5].tick, kHostClockStart + 250);
    EXPECT_EQ(calls[6].value, static_cast<uint64_t>(gdiplus));
    HostSetCommandLine("Quillon.exe");
}

TEST(HandleTable, CountsKindsAndRefusesStaleAndWrongKindCloses) {
    HostResetBadCloseCount();
    int before = HostOpenHandleCount(kHostKindAny);
    struct Probe : HostObject {
        explicit Probe(int* closed) : HostObject(kHostSimFirst + 1), closed_(closed) {}
        BOOL Close() override {
            (*closed_)++;
            return TRUE;
        }
        int* closed_;
    };
    int closed = 0;
    HANDLE h = HostRegister(new Probe(&closed));
    EXPECT_NE(h, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(HostOpenHandleCount(kHostSimFirst + 1), 1);
    EXPECT_EQ(HostOpenHandleCount(kHostKindAny), before + 1);
    EXPECT_NE(HostLookup(h, kHostSimFirst + 1), nullptr);
    EXPECT_EQ(HostLookup(h, kHostFile), nullptr);
    EXPECT_FALSE(os::FindClose(h));  // not a find handle
    EXPECT_TRUE(os::CloseHandle(h));
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(os::CloseHandle(h));  // closed twice
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(os::CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(HostBadCloseCount(), 3);
    // A new handle never reuses a closed value.
    HANDLE again = HostRegister(new Probe(&closed));
    EXPECT_NE(again, h);
    EXPECT_TRUE(os::CloseHandle(again));
    EXPECT_EQ(HostOpenHandleCount(kHostKindAny), before);
    HostResetBadCloseCount();
}

}  // namespace
