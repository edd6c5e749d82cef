// QuillonSim.exe: the transcript of what the real window did, in the JSON
// lines quillon-sim writes ({"t": virtual ms, "event": ...}, docs/simulator.md).
//
// Each recorded os:: function calls the real one (win32_real.h) and writes
// down what it saw: message boxes with the button the person pressed, every
// position the progress bar was given, the log lines (debug mode). The
// dialog procedure is wrapped so that the list and the five information
// lines are written when the dialog is at rest after each thing a person did,
// the points at which quillon-sim writes them: after start-up, after a
// choice in the list, after RUN when no update started (a refusal or No),
// when an update's result has been handled, after a refused close.
//
// Two departures from a plain pass-through, both for the simulated machine:
// - a worker that posts a progress step waits until the dialog has handled
//   it (and then pace_ms more), as the Linux host makes it wait. Without
//   this a stage change, which is sent and so overtakes posted steps in a
//   real message queue, could place a late step in the next stage;
// - ExitWindowsEx is recorded, not carried out: the machine being shut down
//   is the simulated one.
#include <cstdio>
#include <string>

#include "platform/os.h"
#include "platform/simwin/sim_bridge.h"
#include "platform/simwin/win32_real.h"
#include "platform/trace/trace_recorder.h"
#include "res/dialog_controls.h"

namespace {

CRITICAL_SECTION g_file_lock;
FILE* g_file = nullptr;
RecordOptions g_options;

os::DialogProc g_app_proc = nullptr;
HWND g_dialog = nullptr;
DWORD g_dialog_thread = 0;
volatile LONG g_posted_steps = 0;   // progress steps posted to the dialog
volatile LONG g_handled_steps = 0;  // of those, handled by the dialog

std::string Utf8(const WCH* text, int units = -1) {
    if (!text) return std::string();
    if (units < 0) units = static_cast<int>(std::char_traits<char16_t>::length(text));
    if (units == 0) return std::string();
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide, units, &out[0], bytes, nullptr, nullptr);
    return out;
}

std::string Json(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// fields: ", \"key\": value ..." as in quillon-sim.
void Event(const char* kind, const std::string& fields) {
    // A field trace (/record:) holds the dialog's events too; the message
    // boxes it has from the win32 layer already.
    if (std::string(kind) != "msgbox") TraceDialogEvent(kind, fields.c_str());
    if (!g_file) return;
    EnterCriticalSection(&g_file_lock);
    fprintf(g_file, "{\"t\": %llu, \"event\": \"%s\"%s}\n", static_cast<unsigned long long>(SimClockNow()), kind,
            fields.c_str());
    fflush(g_file);  // the GUI test reads the transcript while the tool runs
    LeaveCriticalSection(&g_file_lock);
}

std::string ControlText(HWND dialog, int id) {
    wchar_t text[1024];
    int n = ::GetDlgItemTextW(dialog, id, text, 1024);
    return Utf8(reinterpret_cast<const WCH*>(text), n);
}

bool Enabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }

// The list and the information lines as the real controls hold them.
void RecordDialog(HWND dialog) {
    std::string entries = "[";
    LRESULT count = ::SendDlgItemMessageW(dialog, QN_IDC_DRIVE_LIST, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = ::SendDlgItemMessageW(dialog, QN_IDC_DRIVE_LIST, CB_GETLBTEXTLEN, i, 0);
        if (length < 0) length = 0;
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        LRESULT got = ::SendDlgItemMessageW(dialog, QN_IDC_DRIVE_LIST, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        if (entries.size() > 1) entries += ", ";
        entries += Json(Utf8(reinterpret_cast<const WCH*>(text.c_str()), got > 0 ? static_cast<int>(got) : 0));
    }
    entries += "]";
    LRESULT selected = ::SendDlgItemMessageW(dialog, QN_IDC_DRIVE_LIST, CB_GETCURSEL, 0, 0);
    Event("list", ",\"entries\": " + entries + ", \"selected\": " + std::to_string(static_cast<long long>(selected)) +
                      ", \"run_enabled\": " + (Enabled(dialog, QN_IDC_RUN) ? "true" : "false") +
                      ", \"list_enabled\": " + (Enabled(dialog, QN_IDC_DRIVE_LIST) ? "true" : "false"));
    std::string lines = "[";
    for (int id : {QN_IDC_MODEL, QN_IDC_SERIAL, QN_IDC_INTERFACE, QN_IDC_FIRMWARE, QN_IDC_CAPACITY}) {
        if (lines.size() > 1) lines += ", ";
        lines += Json(ControlText(dialog, id));
    }
    Event("info", ",\"lines\": " + lines + "]");
}

void RecordProgress(HWND bar) {
    LRESULT position = ::SendMessageW(bar, PBM_GETPOS, 0, 0);
    Event("progress", ",\"position\": " + std::to_string(static_cast<long long>(position)));
}

unsigned LowWord(WPARAM value) { return static_cast<unsigned>(value & 0xFFFF); }
unsigned HighWord(WPARAM value) { return static_cast<unsigned>((value >> 16) & 0xFFFF); }

INT_PTR RecordingDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    // Sent steps (stage changes, the last step of a wait) are not counted:
    // only posted ones are waited for.
    bool posted_step = message == WM_UPDATE_PROGRESS && !::InSendMessage();
    if (message == WM_INITDIALOG) {
        g_dialog = dialog;
        g_dialog_thread = ::GetCurrentThreadId();
    }
    INT_PTR result = g_app_proc(dialog, message, wparam, lparam);
    switch (message) {
        case WM_INITDIALOG:
            RecordDialog(dialog);
            break;
        case WM_COMMAND:
            if (LowWord(wparam) == QN_IDC_DRIVE_LIST && HighWord(wparam) == CBN_SELENDOK) RecordDialog(dialog);
            // RUN that started an update left the button disabled; the update's
            // result ends that step instead.
            if (LowWord(wparam) == IDOK && Enabled(dialog, QN_IDC_RUN)) RecordDialog(dialog);
            if (LowWord(wparam) == IDCANCEL && !result) RecordDialog(dialog);
            break;
        case WM_UPDATE_RESULT:
            Event("result", ",\"code\": " + std::to_string(static_cast<long long>(lparam)));
            RecordDialog(dialog);
            break;
        case WM_UPDATE_PROGRESS:
            if (posted_step) InterlockedIncrement(&g_handled_steps);
            break;
        default:
            break;
    }
    return result;
}

bool IsProgressBar(HWND window) {
    return g_dialog && ::GetParent(window) == g_dialog && ::GetDlgCtrlID(window) == QN_IDC_PROGRESS;
}

}  // namespace

bool RecordStart(const std::string& path, const RecordOptions& options) {
    InitializeCriticalSection(&g_file_lock);
    g_options = options;
    if (path.empty()) return true;
    g_file = fopen(path.c_str(), "w");
    return g_file != nullptr;
}

void RecordExit(int code) {
    Event("exit", ",\"code\": " + std::to_string(code));
    if (g_file) fclose(g_file);
    g_file = nullptr;
}

namespace os {

INT_PTR DialogBoxParamW(HINSTANCE instance, unsigned template_id, HWND owner, DialogProc proc, LPARAM param) {
    g_app_proc = proc;
    INT_PTR result = os_win32::DialogBoxParamW(instance, template_id, owner, RecordingDialogProc, param);
    g_dialog = nullptr;
    return result;
}

int MessageBoxW(HWND owner, const WCH* text, const WCH* caption, UINT style) {
    int answer = os_win32::MessageBoxW(owner, text, caption, style);
    Event("msgbox", ",\"caption\": " + Json(Utf8(caption)) + ", \"text\": " + Json(Utf8(text)) +
                        ", \"style\": " + std::to_string(style) + ", \"answer\": " + std::to_string(answer));
    return answer;
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = os_win32::SendDlgItemMessageW(dialog, id, message, wparam, lparam);
    if (message == PBM_SETPOS && id == QN_IDC_PROGRESS && dialog == g_dialog) RecordProgress(::GetDlgItem(dialog, id));
    return result;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = os_win32::SendMessageW(window, message, wparam, lparam);
    if (message == PBM_SETPOS && IsProgressBar(window)) RecordProgress(window);
    return result;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // Every posted step is counted (the dialog counts every one it handles);
    // only a worker waits, the dialog's own thread could not.
    bool step_to_dialog = message == WM_UPDATE_PROGRESS && g_dialog && window == g_dialog;
    LONG step = step_to_dialog ? InterlockedIncrement(&g_posted_steps) : 0;
    BOOL ok = os_win32::PostMessageW(window, message, wparam, lparam);
    if (step_to_dialog && !ok) InterlockedDecrement(&g_posted_steps);
    if (!step_to_dialog || !ok || ::GetCurrentThreadId() == g_dialog_thread) return ok;
    // Bounded: a dialog that stopped handling messages must not hang the worker for ever.
    for (int waited = 0; g_handled_steps < step && waited < 10000; ++waited) ::Sleep(1);  // not the win32 layer's: that one is traced
    if (g_options.pace_ms) ::Sleep(g_options.pace_ms);
    return ok;
}

void OutputDebugStringW(const WCH* text) {
    // The tool writes log lines only in debug mode.
    Event("log", ",\"text\": " + Json(Utf8(text)));
    os_win32::OutputDebugStringW(text);
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
    (void)reason;
    Event("shutdown", ",\"flags\": " + std::to_string(flags));
    return TRUE;
}

}  // namespace os
