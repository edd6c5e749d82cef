// What tests and quillon-sim use to run the tool on the Linux host and to
// look at what it did: the virtual clock, the debugger output stream, the
// embedded resources, memory accounting, the headless dialog driver, message
// box answers, the shutdown calls and the command line. docs/host.md has the
// whole picture; the comments here give each call's contract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/os_types.h"

// ---- virtual clock ---------------------------------------------------------
// os::GetTickCount64 reads it; os::Sleep waits on it. It starts at one hour
// after "boot" so tick-count texts look like a machine that has been up a while.
constexpr ULONGLONG kHostClockStart = 3600000;
ULONGLONG HostClockNow();
// Moves time forward and wakes the sleepers that are due.
void HostClockAdvance(ULONGLONG milliseconds);
// Back to kHostClockStart (pending deadlines keep their absolute times).
void HostClockReset();
// On (the default): when no thread can run, time jumps to the next deadline.
// Off: time moves only by HostClockAdvance or an external thread's Sleep, so
// a test can act "during" a worker's wait.
void HostClockSetAutoAdvance(bool on);

// ---- debugger output stream (OutputDebugStringW) ----------------------------
std::vector<std::u16string> HostDebugLines();  // one entry per call, in order
void HostDebugClear();
// Called with each text too, on the calling thread (quillon-sim prints them).
void HostDebugSetForward(std::function<void(const WCH* text)> forward);

// ---- resources of the running executable -------------------------------------
// Adds a resource FindResourceW can find: type a text ("FWPACKAGEZIP",
// compared without case, as Windows does) and an integer id. The bytes are
// copied. Registering the same type and id again replaces the bytes.
void HostRegisterResource(const WCH* type, unsigned id, const void* bytes, size_t size);
void HostClearResources();

// ---- accounting ----------------------------------------------------------------
int HostMemoryBlocks();        // VirtualAlloc blocks not yet released
size_t HostMemoryBytes();      // their requested sizes added up
size_t HostKeptMemoryBytes();  // released blocks kept for reuse, with their guard pages
int HostLiveThreads();         // threads made by os::CreateThread that have not ended
// Open handles per kind: HostOpenHandleCount in platform/host/host_objects.h.

// ---- message boxes ----------------------------------------------------------------
struct HostMessageBox {
    std::u16string caption;
    std::u16string text;
    UINT style;
    int answer;
    ULONGLONG tick;   // virtual time when it was shown
};
// Answers for the next boxes, first in first out. With none queued a box gets
// its first button: IDOK for MB_OK and MB_OKCANCEL, IDYES for MB_YESNO and
// MB_YESNOCANCEL, IDABORT, IDRETRY for the others.
void HostScriptMessageBoxAnswer(int answer);
void HostClearMessageBoxScript();
std::vector<HostMessageBox> HostMessageBoxes();
void HostClearMessageBoxes();

// ---- shutdown, GDI+, common controls: recorded, nothing happens -----------------
// Names: "GdiplusStartup" (value: token), "GdiplusShutdown" (value: token),
// "InitCommonControls", "OpenProcessToken" (value: access), "LookupPrivilegeValueW"
// (text: privilege name, text2: system name), "AdjustTokenPrivileges" (value:
// attributes, value2: LUID low part), "ExitWindowsEx" (value: flags, value2: reason).
struct HostSystemCall {
    std::string name;
    std::u16string text;
    std::u16string text2;
    uint64_t value;
    uint64_t value2;
    ULONGLONG tick;
};
std::vector<HostSystemCall> HostSystemCalls();
void HostClearSystemCalls();
// What os::GetCommandLineNarrow returns (copied); "Quillon.exe" until set.
void HostSetCommandLine(const char* command_line);

// ---- headless dialog: observers ----------------------------------------------------
enum HostListEventKind : int { kListAdd, kListReset, kListSelect, kListSetData };
struct HostListEvent {
    int kind;
    int index;             // entry added / selected (-1: no selection); -1 for reset
    std::u16string text;   // entry text (add, select)
    LPARAM data;           // item data (set data)
};
// Called on the thread that changes the control (always the dialog's thread),
// outside the host lock, in the order the changes happen.
struct HostObservers {
    std::function<void(int id, int position)> progress;  // PBM_SETPOS, the new position
    std::function<void(int id, const HostListEvent& event)> list;
    std::function<void(int id, const std::u16string& text)> text;  // window text set (id 0: the dialog)
    std::function<void(int id, bool enabled)> enabled;
    std::function<void(const HostMessageBox& box)> message_box;
};
void HostSetObservers(const HostObservers& observers);

// ---- headless dialog: driver -------------------------------------------------------
// Results of the waits and actions below.
enum HostDriveResult : int {
    kHostTimeout = -2,   // 20 s of real time passed (a thread is stuck outside the host)
    kHostNoDialog = -1,  // action: no dialog is up
    kHostRefused = 0,    // action: the control is disabled / there is no such entry
    kHostDone = 1,       // action: delivered and handled, system idle again
    kHostIdle = 1,       // wait: nothing runs, nothing is ready, nothing queued, no deadline pending
    kHostStalled = 2,    // wait or action: nothing can run but messages are still queued
                         // (a deadlock, a wait with the clock stopped, or manual pumping)
};

// The driver is for threads outside the tool (the test's own thread, a
// driver thread); called from the dialog's thread or a worker its waits
// return kHostTimeout at once instead of waiting for themselves.

// Runs body on a thread of its own (it calls AppMain or os::DialogBoxParamW);
// returns at once. One at a time.
void HostStartDialogThread(std::function<int()> body);
// Waits until a dialog is up and the system idle (its WM_INITDIALOG done);
// the dialog, or null when the body ended without showing one.
HWND HostWaitForDialog();
// Waits until the body returned; its result.
int HostJoinDialogThread();

// Waits until the whole system is idle.
int HostWaitIdle();
// The user's actions, each delivered through the dialog's queue after what is
// already queued, handled on the dialog's thread; they return once the system
// is idle again (with manual pumping: at once, after queueing).
// Select entry index of a combo box: sets the selection, then WM_COMMAND
// (id, CBN_SELENDOK). Refused when the control is disabled or index is out of range.
int HostSelectListEntry(int id, int index);
// Click a button: WM_COMMAND (id, BN_CLICKED). Refused when it is disabled.
int HostPressButton(int id);
// Close box / Escape: WM_COMMAND IDCANCEL.
int HostCloseDialog();

// Step by step: with manual pumping on, the dialog handles a queued message
// only when HostPumpOne lets it. HostPumpOne returns 1 after one message was
// handled and the system settled again, 0 when nothing was queued.
void HostSetManualPump(bool on);
int HostPumpOne();
int HostQueuedMessages();

// ---- headless dialog: state (of the current dialog, or of the last one after it ended) ----
// Windows' dialog units become pixels with the font's base units 7 x 16:
// x px = dlu x 7 / 4, y px = dlu x 16 / 8 (rounded as MulDiv rounds). The window
// frame adds 3 px on each side and a 23 px caption. The screen is 1920 x 1080.
constexpr int kHostBaseUnitX = 7;
constexpr int kHostBaseUnitY = 16;
constexpr int kHostFrame = 3;
constexpr int kHostCaption = 23;
constexpr int kHostScreenWidth = 1920;
constexpr int kHostScreenHeight = 1080;

bool HostDialogUp();
HWND HostDialogWindow();
// True once the dialog ended; its EndDialog result in *result.
bool HostDialogEnded(INT_PTR* result);
std::u16string HostControlText(int id);  // id 0: the dialog's caption
bool HostControlEnabled(int id);
struct HostComboItem {
    std::u16string text;
    LPARAM data;
};
std::vector<HostComboItem> HostComboItems(int id);
int HostComboSelection(int id);  // -1: none
int HostProgressPosition(int id);
HICON HostControlImage(int id);  // STM_SETIMAGE
HICON HostDialogClassIcon();     // SetClassIcon
RECT HostWindowRectOf(int id);   // screen pixels; id 0: the dialog

// Test fixtures: message boxes and their script, debug lines, system calls,
// observers, clock (back to the start, auto-advance on), manual pumping off,
// the last dialog's state. Handles, memory and resources are left alone.
void HostResetAll();
