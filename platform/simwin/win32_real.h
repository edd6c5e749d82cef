// The real Windows implementation of the os:: functions that QuillonSim.exe
// puts something in front of. The build copies platform/win32 into a library
// whose definitions of exactly these functions are renamed from os:: to
// os_win32:: (reroute_symbols.py), so the simulator's versions in
// platform/simwin can be the os:: ones and still reach Windows.
#pragma once

#include "platform/os.h"

namespace os_win32 {

HANDLE CreateFileW(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
BOOL CloseHandle(HANDLE handle);
void Sleep(DWORD milliseconds);
ULONGLONG GetTickCount64();
void OutputDebugStringW(const WCH* text);
INT_PTR DialogBoxParamW(HINSTANCE instance, unsigned template_id, HWND owner, os::DialogProc proc, LPARAM param);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int MessageBoxW(HWND owner, const WCH* text, const WCH* caption, UINT style);
BOOL ExitWindowsEx(UINT flags, DWORD reason);
HRSRC FindResourceW(HMODULE module, const WCH* name, const WCH* type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
const void* LockResource(HGLOBAL loaded);

}  // namespace os_win32
