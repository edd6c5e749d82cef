// Dialogs, controls, message boxes, icons, common controls and GDI+.
#include "platform/os.h"
#include "platform/trace/trace_hook.h"
#include "platform/win32/entry_win.h"
#include "platform/win32/wide_win.h"

#include <objidl.h>
#include <gdiplus.h>

namespace os {

namespace {

// Our dialog procedures use the default calling convention; Windows calls a
// CALLBACK one (they differ on 32-bit). The procedure travels in the
// WM_INITDIALOG parameter and is kept in the dialog's DWLP_USER slot.
struct DialogStart {
    DialogProc proc;
    LPARAM param;
};

INT_PTR CALLBACK DialogTrampoline(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        const DialogStart* start = reinterpret_cast<const DialogStart*>(lparam);
        ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(start->proc));
        return start->proc(dialog, message, wparam, start->param);
    }
    DialogProc proc = reinterpret_cast<DialogProc>(::GetWindowLongPtrW(dialog, DWLP_USER));
    // Messages before WM_INITDIALOG (WM_SETFONT) go to the default handling.
    return proc ? proc(dialog, message, wparam, lparam) : FALSE;
}

const char* g_command_line = "";

}  // namespace

INT_PTR DialogBoxParamW(HINSTANCE instance, unsigned template_id, HWND owner, DialogProc proc, LPARAM param) {
    DialogStart start = {proc, param};
    return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(template_id), owner, DialogTrampoline,
                             reinterpret_cast<LPARAM>(&start));
}

BOOL EndDialog(HWND dialog, INT_PTR result) { return ::EndDialog(dialog, result); }
HWND GetDlgItem(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }
BOOL SetDlgItemTextW(HWND dialog, int id, const WCH* text) { return ::SetDlgItemTextW(dialog, id, Wide(text)); }
BOOL SetWindowTextW(HWND window, const WCH* text) { return ::SetWindowTextW(window, Wide(text)); }
int GetWindowTextW(HWND window, WCH* text, int capacity) { return ::GetWindowTextW(window, Wide(text), capacity); }

LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return ::SendMessageW(window, message, wparam, lparam);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam) {
    return ::SendDlgItemMessageW(dialog, id, message, wparam, lparam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return ::PostMessageW(window, message, wparam, lparam);
}

int MessageBoxW(HWND owner, const WCH* text, const WCH* caption, UINT style) {
    int answer = ::MessageBoxW(owner, Wide(text), Wide(caption), style);
    const trace::DeviceHooks* hooks = trace::g_device_hooks;
    if (hooks && hooks->message_box) hooks->message_box(text, caption, style, answer);
    return answer;
}

BOOL EnableWindow(HWND window, BOOL enable) { return ::EnableWindow(window, enable); }
BOOL IsWindowEnabled(HWND window) { return ::IsWindowEnabled(window); }
BOOL GetWindowRect(HWND window, RECT* rect) { return ::GetWindowRect(window, rect); }
BOOL GetClientRect(HWND window, RECT* rect) { return ::GetClientRect(window, rect); }

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    return ::MoveWindow(window, x, y, width, height, repaint);
}

HWND GetParent(HWND window) { return ::GetParent(window); }
int GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

HICON LoadIconImage(HINSTANCE instance, unsigned id, int cx, int cy) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
}

void SetClassIcon(HWND window, HICON icon) {
#ifdef _WIN64
    ::SetClassLongPtrW(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
#else
    ::SetClassLongW(window, GCL_HICON, static_cast<LONG>(reinterpret_cast<LONG_PTR>(icon)));
#endif
}

void InitCommonControls() { ::InitCommonControls(); }

BOOL GdiplusStartup(ULONG_PTR* token) {
    // Version 1, no debug callback, background thread and codecs left on.
    Gdiplus::GdiplusStartupInput input;
    return Gdiplus::GdiplusStartup(token, &input, nullptr) == Gdiplus::Ok;
}

void GdiplusShutdown(ULONG_PTR token) { Gdiplus::GdiplusShutdown(token); }

void StoreCommandLineNarrow(const char* command_line) { g_command_line = command_line ? command_line : ""; }
const char* GetCommandLineNarrow() { return g_command_line; }

}  // namespace os
