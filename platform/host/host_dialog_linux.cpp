// The headless dialog: os::DialogBoxParamW and the window functions.
//
// The dialog is built from the same control table as the Windows resource
// (res/dialog_template.h). One modal dialog at a time. Its thread handles
// one queue, first in first out, holding posted messages, messages sent
// from other threads (the sender waits) and the driver's user actions; a
// message sent on the dialog's own thread is handled at once. Changes to
// windows asked for on other threads (texts, control messages, enabling,
// moving) are carried out on the dialog's thread, as Windows does by
// sending messages. The queue keeps one order for posted and sent messages:
// with the host's turn-taking (host_sched.h) the dialog handles what a
// worker posts before the worker goes on, so nothing depends on timing.
#include <map>

#include "platform/host/host_dialog.h"
#include "res/dialog_template.h"

namespace {

constexpr DWORD kErrorControlIdNotFound = 1421;

std::unique_ptr<HostDialog> g_dialog;
std::map<HWND, HostWindow*> g_windows;
uintptr_t g_next_hwnd = 0x20010;
uintptr_t g_next_icon = 0x30010;
bool g_manual = false;

std::deque<int> g_box_script;
std::vector<HostMessageBox> g_boxes;

int MulDiv(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>(product >= 0 ? (product + denominator / 2) / denominator
                                         : (product - denominator / 2) / denominator);
}

int ClassOf(const char16_t* name) {
    std::u16string n(name);
    if (n == u"Static") return kClassStatic;
    if (n == u"Button") return kClassButton;
    if (n == u"ComboBox") return kClassCombo;
    if (n == u"msctls_progress32") return kClassProgress;
    return kClassOther;
}

HostWindow* NewWindow(HostDialog* dialog) {
    auto window = std::make_unique<HostWindow>();
    window->hwnd = reinterpret_cast<HWND>(g_next_hwnd);
    g_next_hwnd += 0x10;
    HostWindow* raw = window.get();
    g_windows[raw->hwnd] = raw;
    dialog->windows.push_back(std::move(window));
    return raw;
}

void BuildDialog(HostDialog* dialog) {
    const DialogTemplate& t = kMainDialogTemplate;
    HostWindow* frame = NewWindow(dialog);
    frame->id = 0;
    frame->cls = kClassDialog;
    frame->text = t.caption;
    frame->style = t.style;
    int width = MulDiv(t.width, kHostBaseUnitX, 4) + 2 * kHostFrame;
    int height = MulDiv(t.height, kHostBaseUnitY, 8) + 2 * kHostFrame + kHostCaption;
    // DS_CENTER: centred on the screen whatever the template's position.
    int x = (kHostScreenWidth - width) / 2;
    int y = (kHostScreenHeight - height) / 2;
    frame->rect = RECT{x, y, x + width, y + height};
    for (size_t i = 0; i < t.control_count; i++) {
        const DialogControlTemplate& c = t.controls[i];
        HostWindow* w = NewWindow(dialog);
        w->id = c.id;
        w->cls = ClassOf(c.class_name);
        w->text = c.text;
        w->style = c.style;
        int left = MulDiv(c.x, kHostBaseUnitX, 4);
        int top = MulDiv(c.y, kHostBaseUnitY, 8);
        w->rect = RECT{left, top, left + MulDiv(c.width, kHostBaseUnitX, 4), top + MulDiv(c.height, kHostBaseUnitY, 8)};
    }
}

bool OnDialogThread(HostDialog* dialog) { return dialog && HostSelfManaged() && HostSelfManaged() == dialog->thread; }

// Sends to a window of the dialog: directly on its thread, else through
// its queue, waiting for the answer.
LRESULT Send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    std::unique_lock<std::mutex> lock(HostMutex());
    HostWindow* window = HostFindWindow(hwnd);
    HostDialog* dialog = HostCurrentDialog();
    if (!window || !dialog) {
        os::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (OnDialogThread(dialog)) {
        lock.unlock();
        return HostDeliver(hwnd, message, wparam, lparam);
    }
    HostThread external;
    external.external = true;
    HostSendSlot slot;
    slot.waiter = HostSelfManaged() ? HostSelfManaged() : &external;
    HostQueueItem item;
    item.kind = kQueueSent;
    item.hwnd = hwnd;
    item.message = message;
    item.wparam = wparam;
    item.lparam = lparam;
    item.slot = &slot;
    dialog->queue.push_back(item);
    HostWakeDialog(dialog);
    while (!slot.done) HostBlock(lock, slot.waiter, false, 0);
    return slot.result;
}

// Runs a driver action on the dialog's thread.
void RunAction(const HostQueueItem& item) {
    HWND dialog_hwnd = nullptr;
    HWND control_hwnd = nullptr;
    WPARAM wparam = 0;
    {
        std::lock_guard<std::mutex> lock(HostMutex());
        HostDialog* dialog = HostCurrentDialog();
        if (!dialog) return;
        dialog_hwnd = dialog->windows[0]->hwnd;
        if (item.kind == kQueueClose) {
            wparam = IDCANCEL;
        } else {
            HostWindow* control = HostFindControl(dialog, item.control_id);
            // The user cannot reach a disabled control.
            if (!control || !control->enabled) return;
            control_hwnd = control->hwnd;
            if (item.kind == kQueueSelect) {
                if (control->cls != kClassCombo || item.index < 0 ||
                    item.index >= static_cast<int>(control->items.size()))
                    return;
                HostControlMessage(control, CB_SETCURSEL, static_cast<WPARAM>(item.index), 0);
                wparam = static_cast<WPARAM>(item.control_id & 0xFFFF) | (static_cast<WPARAM>(CBN_SELENDOK) << 16);
            } else {
                wparam = static_cast<WPARAM>(item.control_id & 0xFFFF) | (static_cast<WPARAM>(BN_CLICKED) << 16);
            }
        }
        *item.outcome = kHostDone;
    }
    HostFlushEvents();
    HostDeliver(dialog_hwnd, WM_COMMAND, wparam, reinterpret_cast<LPARAM>(control_hwnd));
}

void RunLoop(HostDialog* dialog, std::unique_lock<std::mutex>& lock) {
    for (;;) {
        while (!dialog->ended && (dialog->queue.empty() || (g_manual && dialog->grants == 0))) {
            dialog->waiting = true;
            HostBlock(lock, dialog->thread, false, 0);
            dialog->waiting = false;
        }
        if (dialog->ended) return;
        if (g_manual) dialog->grants--;
        HostQueueItem item = dialog->queue.front();
        dialog->queue.pop_front();
        lock.unlock();
        LRESULT result = 0;
        if (item.kind == kQueuePosted || item.kind == kQueueSent)
            result = HostDeliver(item.hwnd, item.message, item.wparam, item.lparam);
        else
            RunAction(item);
        lock.lock();
        if (item.slot) {
            item.slot->result = result;
            item.slot->done = true;
            HostWake(item.slot->waiter);
        }
        HostNotifyChanged();
    }
}

HostWindow* Window(HWND hwnd) {
    HostWindow* w = HostFindWindow(hwnd);
    if (!w) os::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

bool CarriesPointer(UINT message) {
    return message == WM_SETTEXT || message == WM_GETTEXT || message == CB_ADDSTRING || message == CB_GETLBTEXT;
}

}  // namespace

HostDialog* HostCurrentDialog() { return g_dialog && g_dialog->alive ? g_dialog.get() : nullptr; }
HostDialog* HostLastDialog() { return g_dialog.get(); }

HostWindow* HostFindWindow(HWND hwnd) {
    auto it = g_windows.find(hwnd);
    return it == g_windows.end() ? nullptr : it->second;
}

HostWindow* HostFindControl(HostDialog* dialog, int id) {
    if (!dialog) return nullptr;
    if (id == 0) return dialog->windows[0].get();
    for (size_t i = 1; i < dialog->windows.size(); i++)
        if (dialog->windows[i]->id == id) return dialog->windows[i].get();
    return nullptr;
}

bool HostManualPump() { return g_manual; }
void HostSetManualPumpLocked(bool on) { g_manual = on; }

void HostWakeDialog(HostDialog* dialog) {
    if (dialog->waiting) HostWake(dialog->thread);
    HostNotifyChanged();
}

LRESULT HostDeliver(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    std::unique_lock<std::mutex> lock(HostMutex());
    HostWindow* window = Window(hwnd);
    HostDialog* dialog = HostCurrentDialog();
    if (!window || !dialog) return 0;
    bool to_procedure = window == dialog->windows[0].get() && message != kHostMsgEnable && message != kHostMsgMove;
    LRESULT result = 0;
    if (to_procedure) {
        os::DialogProc proc = dialog->proc;
        lock.unlock();
        result = proc(hwnd, message, wparam, lparam);
        if (result || (message != WM_SETTEXT && message != WM_GETTEXT)) return result;
        lock.lock();
        window = HostFindWindow(hwnd);
        if (!window) return 0;
    }
    result = HostControlMessage(window, message, wparam, lparam);
    lock.unlock();
    HostFlushEvents();
    return result;
}

void HostResetDialogRecords() {
    g_box_script.clear();
    g_boxes.clear();
    g_manual = false;
    if (g_dialog && !g_dialog->alive) g_dialog.reset();
}

void HostScriptMessageBoxAnswer(int answer) {
    std::lock_guard<std::mutex> lock(HostMutex());
    g_box_script.push_back(answer);
}

void HostClearMessageBoxScript() {
    std::lock_guard<std::mutex> lock(HostMutex());
    g_box_script.clear();
}

std::vector<HostMessageBox> HostMessageBoxes() {
    std::lock_guard<std::mutex> lock(HostMutex());
    return g_boxes;
}

void HostClearMessageBoxes() {
    std::lock_guard<std::mutex> lock(HostMutex());
    g_boxes.clear();
}

namespace os {

INT_PTR DialogBoxParamW(HINSTANCE, unsigned template_id, HWND, DialogProc proc, LPARAM param) {
    std::unique_lock<std::mutex> lock(HostMutex());
    if (template_id != kMainDialogTemplate.id) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    if (!proc || HostCurrentDialog()) {
        SetLastError(ERROR_INVALID_PARAMETER);  // one modal dialog at a time
        return -1;
    }
    g_dialog = std::make_unique<HostDialog>();
    HostDialog* dialog = g_dialog.get();
    dialog->proc = proc;
    BuildDialog(dialog);
    if (HostSelfManaged()) {
        dialog->thread = HostSelfManaged();
    } else {
        dialog->own_thread = std::make_unique<HostThread>();
        dialog->thread = dialog->own_thread.get();
        HostEnterManaged(lock, dialog->thread);
    }
    HWND hwnd = dialog->windows[0]->hwnd;
    lock.unlock();
    HostDeliver(hwnd, WM_INITDIALOG, 0, param);
    lock.lock();
    RunLoop(dialog, lock);

    // Gone: the windows, what was posted, and senders get 0.
    dialog->alive = false;
    for (auto& window : dialog->windows) g_windows.erase(window->hwnd);
    for (HostQueueItem& item : dialog->queue) {
        if (!item.slot) continue;
        item.slot->done = true;
        item.slot->result = 0;
        HostWake(item.slot->waiter);
    }
    dialog->queue.clear();
    INT_PTR result = dialog->result;
    if (dialog->own_thread) HostLeaveManaged(lock, dialog->thread);
    HostNotifyChanged();
    return result;
}

BOOL EndDialog(HWND hwnd, INT_PTR result) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostDialog* dialog = HostCurrentDialog();
    if (!dialog || hwnd != dialog->windows[0]->hwnd) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!dialog->ended) {
        dialog->ended = true;
        dialog->result = result;
    }
    HostWakeDialog(dialog);
    return TRUE;
}

HWND GetDlgItem(HWND hwnd, int id) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostDialog* dialog = HostCurrentDialog();
    if (!dialog || hwnd != dialog->windows[0]->hwnd) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HostWindow* control = id == 0 ? nullptr : HostFindControl(dialog, id);
    if (!control) {
        SetLastError(kErrorControlIdNotFound);
        return nullptr;
    }
    return control->hwnd;
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return Send(hwnd, message, wparam, lparam);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam) {
    HWND control = GetDlgItem(dialog, id);
    return control ? Send(control, message, wparam, lparam) : 0;
}

BOOL SetWindowTextW(HWND hwnd, const WCH* text) {
    return Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u"")) ? TRUE : FALSE;
}

BOOL SetDlgItemTextW(HWND dialog, int id, const WCH* text) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextW(control, text) : FALSE;
}

int GetWindowTextW(HWND hwnd, WCH* text, int capacity) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* window = Window(hwnd);
    if (!window || !text || capacity <= 0) return 0;
    const std::u16string* source = &window->text;
    if (window->cls == kClassCombo) {
        static const std::u16string kEmpty;
        source = window->cursel >= 0 ? &window->items[static_cast<size_t>(window->cursel)].text : &kEmpty;
    }
    size_t n = source->size() < static_cast<size_t>(capacity - 1) ? source->size() : static_cast<size_t>(capacity - 1);
    for (size_t i = 0; i < n; i++) text[i] = (*source)[i];
    text[n] = 0;
    return static_cast<int>(n);
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    std::unique_lock<std::mutex> lock(HostMutex());
    HostDialog* dialog = HostCurrentDialog();
    if (!Window(hwnd) || !dialog) return FALSE;
    if (CarriesPointer(message)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    HostQueueItem item;
    item.kind = kQueuePosted;
    item.hwnd = hwnd;
    item.message = message;
    item.wparam = wparam;
    item.lparam = lparam;
    dialog->queue.push_back(item);
    HostWakeDialog(dialog);
    // Another thread lets the dialog catch up before it goes on.
    if (HostSelfManaged() && !OnDialogThread(dialog)) HostYield(lock);
    return TRUE;
}

int MessageBoxW(HWND, const WCH* text, const WCH* caption, UINT style) {
    HostMessageBox box;
    {
        std::lock_guard<std::mutex> lock(HostMutex());
        int answer;
        if (!g_box_script.empty()) {
            answer = g_box_script.front();
            g_box_script.pop_front();
        } else {
            switch (style & MB_TYPEMASK) {
                case MB_YESNO:
                case MB_YESNOCANCEL: answer = IDYES; break;
                case MB_ABORTRETRYIGNORE: answer = IDABORT; break;
                case MB_RETRYCANCEL: answer = IDRETRY; break;
                default: answer = IDOK; break;
            }
        }
        box.caption = caption ? caption : u"";
        box.text = text ? text : u"";
        box.style = style;
        box.answer = answer;
        box.tick = HostClockLocked();
        g_boxes.push_back(box);
    }
    HostQueueEvent([box](const HostObservers& o) {
        if (o.message_box) o.message_box(box);
    });
    HostFlushEvents();
    return box.answer;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    return static_cast<BOOL>(Send(hwnd, kHostMsgEnable, enable ? 1 : 0, 0));
}

BOOL IsWindowEnabled(HWND hwnd) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* window = Window(hwnd);
    return window && window->enabled ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* window = Window(hwnd);
    HostDialog* dialog = HostCurrentDialog();
    if (!window || !dialog || !rect) return FALSE;
    if (window->cls == kClassDialog) {
        *rect = window->rect;
        return TRUE;
    }
    const RECT& frame = dialog->windows[0]->rect;
    int dx = frame.left + kHostFrame;
    int dy = frame.top + kHostFrame + kHostCaption;
    *rect = RECT{window->rect.left + dx, window->rect.top + dy, window->rect.right + dx, window->rect.bottom + dy};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* window = Window(hwnd);
    if (!window || !rect) return FALSE;
    LONG width = window->rect.right - window->rect.left;
    LONG height = window->rect.bottom - window->rect.top;
    if (window->cls == kClassDialog) {
        width -= 2 * kHostFrame;
        height -= 2 * kHostFrame + kHostCaption;
    }
    *rect = RECT{0, 0, width > 0 ? width : 0, height > 0 ? height : 0};
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
    RECT place = {x, y, width, height};
    return static_cast<BOOL>(Send(hwnd, kHostMsgMove, 0, reinterpret_cast<LPARAM>(&place)));
}

HWND GetParent(HWND hwnd) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostWindow* window = Window(hwnd);
    HostDialog* dialog = HostCurrentDialog();
    if (!window || !dialog || window->cls == kClassDialog) return nullptr;  // the dialog has no owner
    return dialog->windows[0]->hwnd;
}

int GetSystemMetrics(int index) {
    if (index == SM_CXSCREEN) return kHostScreenWidth;
    if (index == SM_CYSCREEN) return kHostScreenHeight;
    return 0;
}

HICON LoadIconImage(HINSTANCE, unsigned id, int, int) {
    if (id != QN_ICON_APP) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(HostMutex());
    HICON icon = reinterpret_cast<HICON>(g_next_icon);
    g_next_icon += 0x10;
    return icon;
}

void SetClassIcon(HWND hwnd, HICON icon) {
    std::lock_guard<std::mutex> lock(HostMutex());
    HostDialog* dialog = HostCurrentDialog();
    if (dialog && hwnd == dialog->windows[0]->hwnd) dialog->class_icon = icon;
}

}  // namespace os
