// The headless dialog: message order across threads, user actions, idle
// detection over virtual time, message box answers, layout numbers.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_objects.h"
#include "platform/os.h"

namespace {

constexpr int kList = 500;
constexpr int kProgress = 1003;
constexpr UINT kPing = WM_APP + 1;

struct Seen {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    ULONGLONG tick;
    std::thread::id thread;
};

// What the test dialog procedure saw and does. Written on the dialog thread;
// read by the test after the host reports idle (the host lock orders them).
std::vector<Seen> g_seen;
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_handler;
HWND g_dialog = nullptr;
int g_stage_start = 0;
int g_stage_end = 0;

INT_PTR TestProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    g_seen.push_back(Seen{message, wparam, lparam, os::GetTickCount64(), std::this_thread::get_id()});
    if (message == WM_INITDIALOG) g_dialog = dialog;
    if (g_handler) {
        INT_PTR handled = g_handler(dialog, message, wparam, lparam);
        if (handled) return handled;
    }
    if (message == WM_UPDATE_PROGRESS) {
        int p = static_cast<int>(lparam);
        int end = g_stage_end ? g_stage_end : 100;
        int pos = p == 0 ? g_stage_start : g_stage_start + (end - g_stage_start) * p / 100;
        os::SendDlgItemMessageW(dialog, kProgress, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
    }
    if (message == WM_COMMAND && (wparam & 0xFFFF) == IDCANCEL) {
        os::EndDialog(dialog, 7);
        return TRUE;
    }
    return 0;
}

std::vector<UINT> Messages(UINT only) {
    std::vector<UINT> out;
    for (const Seen& s : g_seen)
        if (!only || s.message == only) out.push_back(s.message);
    return out;
}

class DialogHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostResetAll();
        g_seen.clear();
        g_handler = nullptr;
        g_dialog = nullptr;
        g_stage_start = g_stage_end = 0;
        positions_.clear();
        HostObservers observers;
        observers.progress = [this](int id, int pos) {
            if (id == kProgress) positions_.push_back(pos);
        };
        HostSetObservers(observers);
    }
    void TearDown() override {
        if (HostDialogUp()) {
            g_handler = nullptr;
            HostClockSetAutoAdvance(true);
            HostSetManualPump(false);
            HostCloseDialog();
        }
        if (started_) HostJoinDialogThread();
        HostResetAll();
        EXPECT_EQ(HostLiveThreads(), 0);
    }
    HWND Start(LPARAM param = 0) {
        started_ = true;
        HostStartDialogThread([param] {
            return static_cast<int>(os::DialogBoxParamW(nullptr, 102, nullptr, TestProc, param));
        });
        return HostWaitForDialog();
    }
    bool started_ = false;
    std::vector<int> positions_;
};

TEST_F(DialogHostTest, BuildsTheTemplateRunsInitFirstAndEndsWithTheResult) {
    HWND dialog = Start(1234);
    ASSERT_NE(dialog, nullptr);
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(g_seen[0].lparam, 1234);
    EXPECT_EQ(HostControlText(0), u"Dialog");
    EXPECT_EQ(HostControlText(501), u"Model ");
    EXPECT_EQ(HostControlText(IDOK), u"RUN");
    EXPECT_TRUE(HostControlEnabled(IDOK));
    EXPECT_EQ(HostComboSelection(kList), -1);

    // 340 x 117 dialog units with base units 7 x 16: a 595 x 234 client,
    // a 601 x 263 window centred on the 1920 x 1080 screen.
    RECT frame = HostWindowRectOf(0);
    EXPECT_EQ(frame.left, 659);
    EXPECT_EQ(frame.top, 408);
    EXPECT_EQ(frame.right - frame.left, 601);
    EXPECT_EQ(frame.bottom - frame.top, 263);
    RECT client;
    ASSERT_TRUE(os::GetClientRect(dialog, &client));
    EXPECT_EQ(client.right, 595);
    EXPECT_EQ(client.bottom, 234);
    // Status line 510 at 65, 100, 258 x 8 dialog units.
    RECT status = HostWindowRectOf(510);
    EXPECT_EQ(status.left, 659 + 3 + 114);
    EXPECT_EQ(status.top, 408 + 3 + 23 + 200);
    EXPECT_EQ(status.bottom - status.top, 16);
    HWND bar = os::GetDlgItem(dialog, kProgress);
    EXPECT_EQ(os::GetParent(bar), dialog);
    EXPECT_EQ(os::GetParent(dialog), nullptr);
    EXPECT_EQ(os::GetDlgItem(dialog, 4242), nullptr);
    EXPECT_EQ(os::GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(os::GetSystemMetrics(SM_CYSCREEN), 1080);

    // A child moves in client coordinates, the dialog in screen coordinates.
    ASSERT_TRUE(os::MoveWindow(bar, 0, client.bottom - 5, client.right, 5, TRUE));
    RECT moved = HostWindowRectOf(kProgress);
    EXPECT_EQ(moved.top, 408 + 3 + 23 + 229);
    EXPECT_EQ(moved.right - moved.left, 595);

    EXPECT_EQ(HostCloseDialog(), kHostDone);
    EXPECT_EQ(HostJoinDialogThread(), 7);
    INT_PTR result = 0;
    EXPECT_TRUE(HostDialogEnded(&result));
    EXPECT_EQ(result, 7);
    // The windows are gone.
    EXPECT_FALSE(os::PostMessageW(dialog, kPing, 0, 0));
    EXPECT_EQ(os::GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(os::SendMessageW(dialog, kPing, 0, 0), 0);
    EXPECT_EQ(HostCloseDialog(), kHostNoDialog);
}

DWORD SendFromWorker(void*) {
    // Control changes asked for on a worker are carried out by the dialog's thread.
    LRESULT index = os::SendDlgItemMessageW(g_dialog, kList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Drive A"));
    os::SetDlgItemTextW(g_dialog, 501, u"From the worker");
    os::EnableWindow(os::GetDlgItem(g_dialog, IDOK), FALSE);
    LRESULT answer = os::SendMessageW(g_dialog, kPing, 5, 0);
    return static_cast<DWORD>(index * 1000 + answer);
}

TEST_F(DialogHostTest, SendFromAnotherThreadRunsOnTheDialogThreadAndWaitsForTheAnswer) {
    std::vector<std::thread::id> text_threads;
    HostObservers observers;
    observers.text = [&](int id, const std::u16string&) {
        if (id == 501) text_threads.push_back(std::this_thread::get_id());
    };
    HostSetObservers(observers);
    HANDLE worker = nullptr;
    g_handler = [&](HWND dialog, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            // On its own thread SendMessageW calls the procedure at once.
            size_t before = g_seen.size();
            LRESULT r = os::SendMessageW(dialog, kPing, 1, 0);
            EXPECT_EQ(r, 2);
            EXPECT_EQ(g_seen.size(), before + 1);
        }
        if (message == kPing) return static_cast<INT_PTR>(wparam + 1);
        if (message == WM_COMMAND && (wparam & 0xFFFF) == IDOK) worker = os::CreateThread(SendFromWorker, nullptr, 0, nullptr);
        return 0;
    };
    ASSERT_NE(Start(), nullptr);
    EXPECT_EQ(HostPressButton(IDOK), kHostDone);
    ASSERT_NE(worker, nullptr);
    DWORD code = 0;
    ASSERT_TRUE(os::GetExitCodeThread(worker, &code));
    EXPECT_EQ(code, 6u);  // entry 0, and the procedure's answer 6
    EXPECT_TRUE(os::CloseHandle(worker));

    std::thread::id dialog_thread = g_seen[0].thread;
    for (const Seen& s : g_seen) EXPECT_EQ(s.thread, dialog_thread);
    ASSERT_EQ(text_threads.size(), 1u);
    EXPECT_EQ(text_threads[0], dialog_thread);
    ASSERT_EQ(HostComboItems(kList).size(), 1u);
    EXPECT_EQ(HostComboItems(kList)[0].text, u"Drive A");
    EXPECT_EQ(HostControlText(501), u"From the worker");
    EXPECT_FALSE(HostControlEnabled(IDOK));
}

// A worker that reports like a timed wait: posts per second, sends the end.
DWORD TimedWaitWorker(void*) {
    g_stage_start = 30;
    g_stage_end = 40;
    os::SendMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, 0);
    os::Sleep(1000);
    os::PostMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, 33);
    os::Sleep(1000);
    os::PostMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, 66);
    os::Sleep(1000);
    os::SendMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, 100);
    // The next stage: posts still queued would be read against it.
    g_stage_start = 40;
    g_stage_end = 60;
    os::SendMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, 0);
    return 1;
}

TEST_F(DialogHostTest, WorkerMessagesAreHandledInOrderAsTheyComeAndTheIdleWaitCoversTheWorker) {
    HANDLE worker = nullptr;
    g_handler = [&](HWND, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && (wparam & 0xFFFF) == IDOK)
            worker = os::CreateThread(TimedWaitWorker, nullptr, 0, nullptr);
        return 0;
    };
    ASSERT_NE(Start(), nullptr);
    ULONGLONG t0 = HostClockNow();
    EXPECT_EQ(HostPressButton(IDOK), kHostDone);
    // The press returns only once the worker has ended and the queue is empty.
    EXPECT_EQ(HostLiveThreads(), 0);
    EXPECT_EQ(HostQueuedMessages(), 0);
    EXPECT_EQ(positions_, (std::vector<int>{30, 33, 36, 40, 40}));
    EXPECT_EQ(HostClockNow(), t0 + 3000);
    // Each progress message was handled at the virtual time it was posted.
    std::vector<ULONGLONG> ticks;
    for (const Seen& s : g_seen)
        if (s.message == WM_UPDATE_PROGRESS) ticks.push_back(s.tick - t0);
    EXPECT_EQ(ticks, (std::vector<ULONGLONG>{0, 1000, 2000, 3000, 3000}));
    EXPECT_EQ(os::WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(os::CloseHandle(worker));
}

DWORD DownloadLikeWorker(void*) {
    // Progress posted without any wait in between, then the next stage.
    g_stage_start = 0;
    g_stage_end = 30;
    os::PostMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, 50);
    os::PostMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, 90);
    g_stage_start = 30;
    g_stage_end = 40;
    os::SendMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, 0);
    return 0;
}

TEST_F(DialogHostTest, TheDialogKeepsUpWithPostsSoEachIsReadAgainstItsOwnStage) {
    HANDLE worker = nullptr;
    g_handler = [&](HWND, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && (wparam & 0xFFFF) == IDOK)
            worker = os::CreateThread(DownloadLikeWorker, nullptr, 0, nullptr);
        return 0;
    };
    ASSERT_NE(Start(), nullptr);
    EXPECT_EQ(HostPressButton(IDOK), kHostDone);
    // 90 % of stage 0..30 is 27; had the dialog lagged it would read 39.
    EXPECT_EQ(positions_, (std::vector<int>{15, 27, 30}));
    os::CloseHandle(worker);
}

TEST_F(DialogHostTest, MessagesPostedWhileTheDialogIsBusyWaitForItsHandlerToReturn) {
    g_handler = [&](HWND dialog, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && (wparam & 0xFFFF) == IDOK) {
            // Like a re-identification on the dialog's thread: it sleeps and
            // posts progress that can only be handled afterwards.
            for (int i = 1; i <= 3; i++) {
                os::Sleep(1000);
                os::PostMessageW(dialog, WM_UPDATE_PROGRESS, 0, i * 10);
            }
            os::SendDlgItemMessageW(dialog, kProgress, PBM_SETPOS, 0, 0);
            EXPECT_EQ(HostQueuedMessages(), 3);
        }
        return 0;
    };
    ASSERT_NE(Start(), nullptr);
    ULONGLONG t0 = HostClockNow();
    EXPECT_EQ(HostPressButton(IDOK), kHostDone);
    EXPECT_EQ(positions_, (std::vector<int>{0, 10, 20, 30}));
    EXPECT_EQ(HostProgressPosition(kProgress), 30);
    EXPECT_EQ(HostClockNow(), t0 + 3000);
}

TEST_F(DialogHostTest, MessageBoxesTakeScriptedAnswersThenTheFirstButtonAndAreRecorded) {
    std::vector<int> answers;
    g_handler = [&](HWND dialog, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && (wparam & 0xFFFF) == IDOK) {
            answers.push_back(os::MessageBoxW(dialog, u"Go on?", u"Title", MB_YESNO | MB_ICONWARNING));
            os::Sleep(500);
            answers.push_back(os::MessageBoxW(dialog, u"Power off?", u"Title", MB_OKCANCEL | MB_ICONINFORMATION));
            answers.push_back(os::MessageBoxW(dialog, u"Sure?", u"Title", MB_YESNO));
            answers.push_back(os::MessageBoxW(dialog, u"Done", u"Title", MB_OK));
        }
        return 0;
    };
    std::vector<std::u16string> observed;
    HostObservers observers;
    observers.message_box = [&](const HostMessageBox& box) { observed.push_back(box.text); };
    HostSetObservers(observers);
    HostScriptMessageBoxAnswer(IDNO);
    HostScriptMessageBoxAnswer(IDCANCEL);
    ASSERT_NE(Start(), nullptr);
    ULONGLONG t0 = HostClockNow();
    EXPECT_EQ(HostPressButton(IDOK), kHostDone);
    EXPECT_EQ(answers, (std::vector<int>{IDNO, IDCANCEL, IDYES, IDOK}));
    std::vector<HostMessageBox> boxes = HostMessageBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].caption, u"Title");
    EXPECT_EQ(boxes[0].text, u"Go on?");
    EXPECT_EQ(boxes[0].style, MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(boxes[0].answer, IDNO);
    EXPECT_EQ(boxes[0].tick, t0);
    EXPECT_EQ(boxes[1].tick, t0 + 500);
    EXPECT_EQ(observed, (std::vector<std::u16string>{u"Go on?", u"Power off?", u"Sure?", u"Done"}));
    HostClearMessageBoxes();
    EXPECT_TRUE(HostMessageBoxes().empty());
}

TEST_F(DialogHostTest, UserActionsReachOnlyEnabledControlsAndExistingEntries) {
    std::vector<HostListEvent> events;
    HostObservers observers;
    observers.list = [&](int id, const HostListEvent& e) {
        if (id == kList) events.push_back(e);
    };
    HostSetObservers(observers);
    LRESULT selection_seen = -5;
    g_handler = [&](HWND dialog, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            os::SendDlgItemMessageW(dialog, kList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"First"));
            os::SendDlgItemMessageW(dialog, kList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Second"));
            os::SendDlgItemMessageW(dialog, kList, CB_SETITEMDATA, 1, 17);
            os::EnableWindow(os::GetDlgItem(dialog, IDOK), FALSE);
        }
        if (message == WM_COMMAND && (wparam & 0xFFFF) == kList && (wparam >> 16) == CBN_SELENDOK)
            selection_seen = os::SendDlgItemMessageW(dialog, kList, CB_GETCURSEL, 0, 0);
        return 0;
    };
    HWND dialog = Start();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(HostPressButton(IDOK), kHostRefused);
    EXPECT_TRUE(Messages(WM_COMMAND).empty());
    EXPECT_EQ(HostSelectListEntry(kList, 2), kHostRefused);
    EXPECT_EQ(HostSelectListEntry(kList, 1), kHostDone);
    EXPECT_EQ(selection_seen, 1);
    EXPECT_EQ(HostComboSelection(kList), 1);
    EXPECT_EQ(HostControlText(kList), u"Second");
    ASSERT_EQ(g_seen.back().message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(g_seen.back().wparam, static_cast<WPARAM>(kList | (CBN_SELENDOK << 16)));
    EXPECT_EQ(g_seen.back().lparam, reinterpret_cast<LPARAM>(os::GetDlgItem(dialog, kList)));
    EXPECT_EQ(HostComboItems(kList)[1].data, 17);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].kind, kListAdd);
    EXPECT_EQ(events[2].kind, kListSetData);
    EXPECT_EQ(events[3].kind, kListSelect);
    EXPECT_EQ(events[3].text, u"Second");

    os::EnableWindow(os::GetDlgItem(dialog, kList), FALSE);
    EXPECT_EQ(HostSelectListEntry(kList, 0), kHostRefused);
    EXPECT_EQ(HostComboSelection(kList), 1);
}

TEST_F(DialogHostTest, ControlMessagesFollowTheWindowsContracts) {
    LRESULT r[12] = {};
    WCH text[8] = {};
    g_handler = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message != WM_INITDIALOG) return 0;
        HWND list = os::GetDlgItem(dialog, kList);
        HWND bar = os::GetDlgItem(dialog, kProgress);
        os::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Only"));
        r[0] = os::SendMessageW(list, CB_SETCURSEL, 3, 0);     // out of range
        r[1] = os::SendMessageW(list, CB_GETCURSEL, 0, 0);
        r[2] = os::SendMessageW(list, CB_GETITEMDATA, 1, 0);
        r[3] = os::SendMessageW(list, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
        r[4] = os::SendMessageW(bar, PBM_SETPOS, 150, 0);      // clamped to 100
        r[5] = os::SendMessageW(bar, PBM_SETPOS, 20, 0);       // returns the previous position
        r[6] = os::SendMessageW(list, CB_RESETCONTENT, 0, 0);
        r[7] = os::SendMessageW(list, CB_GETCOUNT, 0, 0);
        r[8] = os::SendMessageW(os::GetDlgItem(dialog, 1004), STM_SETIMAGE, IMAGE_ICON,
                                reinterpret_cast<LPARAM>(os::LoadIconImage(nullptr, 105, 64, 64)));
        os::SetWindowTextW(dialog, u"Quillon");
        WCH shortbuf[4];
        r[9] = os::GetWindowTextW(dialog, shortbuf, 4);
        r[10] = shortbuf[3] == 0 && shortbuf[0] == u'Q';
        r[11] = os::PostMessageW(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"x"));
        return 0;
    };
    ASSERT_NE(Start(), nullptr);
    EXPECT_EQ(r[0], CB_ERR);
    EXPECT_EQ(r[1], CB_ERR);
    EXPECT_EQ(r[2], CB_ERR);
    EXPECT_EQ(r[3], 4);
    EXPECT_EQ(std::u16string(text), u"Only");
    EXPECT_EQ(r[4], 0);
    EXPECT_EQ(r[5], 100);
    EXPECT_EQ(HostProgressPosition(kProgress), 20);
    EXPECT_EQ(r[6], CB_OKAY);
    EXPECT_EQ(r[7], 0);
    EXPECT_EQ(r[8], 0);
    EXPECT_NE(HostControlImage(1004), nullptr);
    EXPECT_EQ(HostControlText(0), u"Quillon");
    EXPECT_EQ(r[9], 3);
    EXPECT_EQ(r[10], 1);
    EXPECT_EQ(r[11], FALSE);  // pointers cannot be posted
    EXPECT_EQ(os::LoadIconImage(nullptr, 999, 64, 64), nullptr);
}

HANDLE g_blocked_worker = nullptr;

DWORD PingWorker(void*) { return static_cast<DWORD>(os::SendMessageW(g_dialog, kPing, 0, 0)); }

TEST_F(DialogHostTest, AWaitThatBlocksTheDialogShowsAsStalledUntilTimeMoves) {
    g_handler = [&](HWND, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && (wparam & 0xFFFF) == IDOK) {
            // Waiting on a thread that waits for us: stuck until the timeout.
            g_blocked_worker = os::CreateThread(PingWorker, nullptr, 0, nullptr);
            EXPECT_EQ(os::WaitForSingleObject(g_blocked_worker, 5000), WAIT_TIMEOUT);
        }
        if (message == kPing) return 9;
        return 0;
    };
    ASSERT_NE(Start(), nullptr);
    HostClockSetAutoAdvance(false);
    ULONGLONG t0 = HostClockNow();
    EXPECT_EQ(HostPressButton(IDOK), kHostStalled);
    EXPECT_EQ(HostQueuedMessages(), 1);
    EXPECT_EQ(HostLiveThreads(), 1);
    HostClockAdvance(5000);
    EXPECT_EQ(HostWaitIdle(), kHostIdle);
    EXPECT_EQ(HostClockNow(), t0 + 5000);
    DWORD code = 0;
    os::GetExitCodeThread(g_blocked_worker, &code);
    EXPECT_EQ(code, 9u);
    os::CloseHandle(g_blocked_worker);
}

DWORD SleepyWorker(void*) {
    os::Sleep(3000);
    os::PostMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, 50);
    os::Sleep(3000);
    return 0;
}

TEST_F(DialogHostTest, WithTheClockStoppedTheTestActsDuringAWorkersWait) {
    HANDLE worker = nullptr;
    g_handler = [&](HWND dialog, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && (wparam & 0xFFFF) == IDOK) worker = os::CreateThread(SleepyWorker, nullptr, 0, nullptr);
        if (message == WM_COMMAND && (wparam & 0xFFFF) == IDCANCEL) {
            DWORD code = 0;
            os::GetExitCodeThread(worker, &code);
            if (code == STILL_ACTIVE) {
                os::MessageBoxW(dialog, u"busy", u"t", MB_OK);
                return TRUE;  // refused
            }
        }
        return 0;
    };
    ASSERT_NE(Start(), nullptr);
    HostClockSetAutoAdvance(false);
    ULONGLONG t0 = HostClockNow();
    EXPECT_EQ(HostPressButton(IDOK), kHostDone);
    EXPECT_EQ(HostLiveThreads(), 1);
    EXPECT_EQ(HostCloseDialog(), kHostDone);
    EXPECT_TRUE(HostDialogUp());
    EXPECT_EQ(HostMessageBoxes().size(), 1u);
    HostClockAdvance(2999);
    EXPECT_EQ(HostWaitIdle(), kHostIdle);
    EXPECT_TRUE(positions_.empty());
    HostClockAdvance(1);
    EXPECT_EQ(HostWaitIdle(), kHostIdle);
    EXPECT_EQ(positions_, (std::vector<int>{50}));
    HostClockSetAutoAdvance(true);
    EXPECT_EQ(HostWaitIdle(), kHostIdle);
    EXPECT_EQ(HostLiveThreads(), 0);
    EXPECT_EQ(HostClockNow(), t0 + 6000);
    os::CloseHandle(worker);
}

DWORD PostThreeWorker(void*) {
    for (int i = 1; i <= 3; i++) os::PostMessageW(g_dialog, WM_UPDATE_PROGRESS, 0, i * 25);
    return 0;
}

TEST_F(DialogHostTest, ManualPumpingHandlesOneMessageAtATime) {
    HANDLE worker = nullptr;
    g_handler = [&](HWND, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && (wparam & 0xFFFF) == IDOK) worker = os::CreateThread(PostThreeWorker, nullptr, 0, nullptr);
        return 0;
    };
    ASSERT_NE(Start(), nullptr);
    HostSetManualPump(true);
    EXPECT_EQ(HostPressButton(IDOK), kHostDone);  // queued only
    EXPECT_EQ(HostQueuedMessages(), 1);
    EXPECT_EQ(HostWaitIdle(), kHostStalled);
    EXPECT_EQ(HostPumpOne(), 1);
    // The worker ran to its end meanwhile; its posts wait in the queue.
    EXPECT_EQ(HostLiveThreads(), 0);
    EXPECT_EQ(HostQueuedMessages(), 3);
    EXPECT_EQ(HostPumpOne(), 1);
    EXPECT_EQ(positions_, (std::vector<int>{25}));
    EXPECT_EQ(HostPumpOne(), 1);
    EXPECT_EQ(HostPumpOne(), 1);
    EXPECT_EQ(HostPumpOne(), 0);
    EXPECT_EQ(positions_, (std::vector<int>{25, 50, 75}));
    HostSetManualPump(false);
    os::CloseHandle(worker);
}

}  // namespace
