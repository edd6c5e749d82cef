// The test and quillon-sim side of the headless dialog: start it on its own
// thread, wait until the system is idle, act as the user, read the controls.
#include <chrono>
#include <thread>

#include "platform/host/host_dialog.h"

namespace {

constexpr int kWallLimitMs = 20000;

std::thread g_dialog_thread;
bool g_body_done = false;
int g_body_result = 0;

using Clock = std::chrono::steady_clock;

// Waits with the host lock held until ready() or the wall-time limit.
// A tool thread (one that takes turns) waiting for the system to settle
// would wait for itself: the driver is refused there at once.
template <typename Ready>
bool WaitFor(std::unique_lock<std::mutex>& lock, Ready ready) {
    if (HostSelfManaged()) return false;
    auto limit = Clock::now() + std::chrono::milliseconds(kWallLimitMs);
    HostExternalWaitBegin();
    bool ok = true;
    while (!ready()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now()).count();
        if (left <= 0) {
            ok = false;
            break;
        }
        HostWaitChanged(lock, static_cast<int>(left < 50 ? left : 50));
    }
    HostExternalWaitEnd();
    return ok;
}

int IdleResult() {
    HostDialog* dialog = HostCurrentDialog();
    return dialog && !dialog->queue.empty() ? kHostStalled : kHostIdle;
}

int WaitIdleLocked(std::unique_lock<std::mutex>& lock) {
    if (!WaitFor(lock, [] { return HostQuiescent(); })) return kHostTimeout;
    return IdleResult();
}

int Act(int kind, int id, int index) {
    std::unique_lock<std::mutex> lock(HostMutex());
    HostDialog* dialog = HostCurrentDialog();
    if (!dialog || dialog->ended) return kHostNoDialog;
    HostQueueItem item;
    item.kind = kind;
    item.control_id = id;
    item.index = index;
    item.outcome = std::make_shared<int>(kHostRefused);
    std::shared_ptr<int> outcome = item.outcome;
    dialog->queue.push_back(item);
    HostWakeDialog(dialog);
    if (HostManualPump()) return kHostDone;
    int state = WaitIdleLocked(lock);
    if (state != kHostIdle) return state;
    return *outcome;
}

HostWindow* Control(int id) { return HostFindControl(HostLastDialog(), id); }

}  // namespace

void HostStartDialogThread(std::function<int()> body) {
    // One at a time: a body still running from before is waited for first.
    if (g_dialog_thread.joinable()) g_dialog_thread.join();
    {
        std::lock_guard<std::mutex> lock(HostMutex());
        g_body_done = false;
        g_body_result = 0;
    }
    g_dialog_thread = std::thread([body] {
        int result = body();
        std::lock_guard<std::mutex> lock(HostMutex());
        g_body_done = true;
        g_body_result = result;
        HostNotifyChanged();
    });
}

HWND HostWaitForDialog() {
    std::unique_lock<std::mutex> lock(HostMutex());
    bool ok = WaitFor(lock, [] {
        HostDialog* dialog = HostCurrentDialog();
        return g_body_done || (dialog && HostQuiescent());
    });
    HostDialog* dialog = HostCurrentDialog();
    return ok && dialog ? dialog->windows[0]->hwnd : nullptr;
}

int HostJoinDialogThread() {
    if (g_dialog_thread.joinable()) g_dialog_thread.join();
    std::lock_guard<std::mutex> lock(HostMutex());
    return g_body_result;
}

int HostWaitIdle() {
    std::unique_lock<std::mutex> lock(HostMutex());
    return WaitIdleLocked(lock);
}

int HostSelectListEntry(int id, int index) { return Act(kQueueSelect, id, index); }
int HostPressButton(int id) { return Act(kQueuePress, id, 0); }
int HostCloseDialog() { return Act(kQueueClose, IDCANCEL, 0); }

void HostSetManualPump(bool on) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostSetManualPumpLocked(on);
    HostDialog* dialog = HostCurrentDialog();
    if (dialog) {
        dialog->grants = 0;
        HostWakeDialog(dialog);
    }
}

int HostPumpOne() {
    std::unique_lock<std::mutex> lock(HostMutex());
    if (!WaitFor(lock, [] { return HostQuiescent(); })) return kHostTimeout;
    HostDialog* dialog = HostCurrentDialog();
    if (!dialog || dialog->queue.empty()) return 0;
    dialog->grants = 1;
    HostWakeDialog(dialog);
    if (!WaitFor(lock, [dialog] { return HostQuiescent() && (dialog->grants == 0 || !HostCurrentDialog()); }))
        return kHostTimeout;
    if (HostCurrentDialog() && dialog->grants > 0) {
        // The dialog's thread is stuck elsewhere and did not take the message.
        dialog->grants = 0;
        return kHostStalled;
    }
    return 1;
}

int HostQueuedMessages() {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostDialog* dialog = HostCurrentDialog();
    return dialog ? static_cast<int>(dialog->queue.size()) : 0;
}

bool HostDialogUp() {
    std::lock_guard<std::mutex> lock(HostMutex());
    return HostCurrentDialog() != nullptr;
}

HWND HostDialogWindow() {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostDialog* dialog = HostCurrentDialog();
    return dialog ? dialog->windows[0]->hwnd : nullptr;
}

bool HostDialogEnded(INT_PTR* result) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostDialog* dialog = HostLastDialog();
    if (!dialog || !dialog->ended) return false;
    if (result) *result = dialog->result;
    return true;
}

std::u16string HostControlText(int id) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* w = Control(id);
    if (!w) return u"";
    if (w->cls == kClassCombo) return w->cursel >= 0 ? w->items[static_cast<size_t>(w->cursel)].text : u"";
    return w->text;
}

bool HostControlEnabled(int id) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* w = Control(id);
    return w && w->enabled;
}

std::vector<HostComboItem> HostComboItems(int id) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* w = Control(id);
    return w ? w->items : std::vector<HostComboItem>();
}

int HostComboSelection(int id) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* w = Control(id);
    return w ? w->cursel : -1;
}

int HostProgressPosition(int id) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* w = Control(id);
    return w ? w->pos : 0;
}

HICON HostControlImage(int id) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* w = Control(id);
    return w ? w->image : nullptr;
}

HICON HostDialogClassIcon() {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostDialog* dialog = HostLastDialog();
    return dialog ? dialog->class_icon : nullptr;
}

RECT HostWindowRectOf(int id) {
    HWND hwnd = nullptr;
    RECT rect = {0, 0, 0, 0};
    {
        std::lock_guard<std::mutex> lock(HostMutex());
        HostWindow* w = HostFindControl(HostCurrentDialog(), id);
        if (!w) return rect;
        hwnd = w->hwnd;
    }
    os::GetWindowRect(hwnd, &rect);
    return rect;
}

void HostResetAll() {
    {
        std::lock_guard<std::mutex> lock(HostMutex());
        HostResetDialogRecords();
    }
    HostSetObservers(HostObservers());
    HostDebugClear();
    HostDebugSetForward(nullptr);
    HostClearSystemCalls();
    HostClockSetAutoAdvance(true);
    HostClockReset();
}
