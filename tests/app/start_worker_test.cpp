// Starting the update worker: one at a time; the worker gets the slot and
// finds its own handle in it, and the slot it clears at its end stays clear.
// (The host runs tool threads in turns, so the start-up race itself cannot
// be provoked here; this pins the contract the suspended start gives.)
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "app/eligibility.h"
#include "core/app_state.h"
#include "platform/host/host_control.h"
#include "platform/os.h"

namespace {

std::atomic<HANDLE> g_seen{nullptr};
std::atomic<int> g_runs{0};

// What a worker's end does to the slot, done at once.
DWORD EndAtOnce(void* parameter) {
    HANDLE* slot = static_cast<HANDLE*>(parameter);
    g_seen = *slot;
    g_runs++;
    *slot = nullptr;
    return 0;
}

class StartWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostResetAll();
        g_seen = nullptr;
        g_runs = 0;
    }
    void TearDown() override {
        GetAppState()->bDebug = 0;
        EXPECT_EQ(HostLiveThreads(), 0);
    }
};

TEST_F(StartWorkerTest, WorkerThatEndsAtOnceFindsItsHandleStored) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        HANDLE slot = nullptr;
        g_seen = nullptr;
        ASSERT_EQ(StartWorker(&slot, EndAtOnce), 1);
        ASSERT_EQ(HostWaitIdle(), kHostIdle);
        ASSERT_EQ(g_runs.load(), round + 1);
        HANDLE seen = g_seen.load();
        ASSERT_NE(seen, nullptr) << "the worker ran before its handle was stored";
        EXPECT_EQ(os::WaitForSingleObject(seen, INFINITE), WAIT_OBJECT_0);
        EXPECT_TRUE(os::CloseHandle(seen));
        // The worker's clearing is not overwritten by a late store.
        EXPECT_EQ(slot, nullptr);
    }
}

TEST_F(StartWorkerTest, SecondStartWhileOneRunsIsRefusedAndLogged) {
    GetAppState()->bDebug = 1;
    HostDebugClear();
    HANDLE busy = reinterpret_cast<HANDLE>(0x77);
    HANDLE slot = busy;
    EXPECT_EQ(StartWorker(&slot, EndAtOnce), 0);
    EXPECT_EQ(slot, busy);
    EXPECT_EQ(g_runs.load(), 0);
    std::vector<std::u16string> lines = HostDebugLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::u16string text = u"Thread is Running";
    ASSERT_GE(lines[0].size(), text.size());
    EXPECT_EQ(lines[0].substr(lines[0].size() - text.size()), text);
}

}  // namespace
