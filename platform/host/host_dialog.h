// Inside the Linux host: the headless dialog's windows and queue, shared by
// the window functions (host_dialog_linux.cpp), the controls
// (host_controls_linux.cpp) and the driver (host_driver_linux.cpp).
// Everything here is guarded by HostMutex().
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_sched.h"
#include "platform/os.h"

// Private messages that carry a window change made on another thread over
// to the dialog's thread (Windows sends messages for these too).
enum : UINT {
    kHostMsgEnable = 0x7F01,  // wparam: enable
    kHostMsgMove = 0x7F02,    // lparam: const RECT* (x, y, width, height in left, top, right, bottom)
};

enum HostControlClass : int { kClassDialog, kClassStatic, kClassButton, kClassCombo, kClassProgress, kClassOther };

struct HostWindow {
    HWND hwnd = nullptr;
    int id = 0;
    int cls = kClassOther;
    std::u16string text;
    uint32_t style = 0;
    bool enabled = true;
    // The dialog: its window rectangle on the screen. A control: its
    // rectangle in the dialog's client area.
    RECT rect = {0, 0, 0, 0};
    std::vector<HostComboItem> items;
    int cursel = -1;
    int pos = 0;
    int range_low = 0;
    int range_high = 100;
    HICON image = nullptr;
};

enum HostQueueKind : int { kQueuePosted, kQueueSent, kQueueSelect, kQueuePress, kQueueClose };

struct HostSendSlot {
    bool done = false;
    LRESULT result = 0;
    HostThread* waiter = nullptr;
};

struct HostQueueItem {
    int kind = kQueuePosted;
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
    HostSendSlot* slot = nullptr;           // sent messages
    int control_id = 0;                     // driver actions
    int index = 0;
    std::shared_ptr<int> outcome;           // driver actions: kHostDone or kHostRefused
};

struct HostDialog {
    std::vector<std::unique_ptr<HostWindow>> windows;  // [0] is the dialog
    os::DialogProc proc = nullptr;
    std::deque<HostQueueItem> queue;
    std::unique_ptr<HostThread> own_thread;  // when DialogBoxParamW made its caller managed
    HostThread* thread = nullptr;            // the dialog's thread
    bool waiting = false;                    // blocked waiting for a message
    bool alive = true;                       // windows exist
    bool ended = false;
    INT_PTR result = 0;
    int grants = 0;                          // manual pumping: messages it may handle
    HICON class_icon = nullptr;
};

HostDialog* HostCurrentDialog();        // the live dialog or null
HostDialog* HostLastDialog();           // the live or the last ended dialog, or null
HostWindow* HostFindWindow(HWND hwnd);  // live windows only
HostWindow* HostFindControl(HostDialog* dialog, int id);  // id 0: the dialog
bool HostManualPump();
void HostSetManualPumpLocked(bool on);
void HostWakeDialog(HostDialog* dialog);

// A control's own handling of a message (the dialog's default handling for
// the dialog window). Queues observer calls for HostFlushEvents.
LRESULT HostControlMessage(HostWindow* window, UINT message, WPARAM wparam, LPARAM lparam);
// Observer calls collected under the lock, made after it is released.
void HostQueueEvent(std::function<void(const HostObservers&)> event);
void HostFlushEvents();
// Delivers a message on the dialog's thread: the dialog procedure for the
// dialog (then the default handling of texts), the control's handling otherwise.
LRESULT HostDeliver(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// The message box records (host_dialog_linux.cpp) and observers.
void HostResetDialogRecords();
