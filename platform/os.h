// The one seam between the tool and the operating system.
//
// Every Windows function the tool calls is declared here, in namespace os,
// with the Windows name and argument order. Text arguments are char16_t.
// The implementation is chosen at link time:
//   platform/win32/  forwards to the real Windows API (Windows builds);
//   platform/host/   files, threads, virtual clock, profile reads and the
//                    headless dialog on Linux;
//   platform/sim/    the simulated storage machine behind CreateFileW on
//                    "\\.\..." paths, DeviceIoControl, SetupDi* and CM_*.
// Nothing outside platform/ may include <windows.h> functions directly.
#pragma once

#include "platform/os_types.h"

namespace os {

// ---- errors -------------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD error);

// ---- files and folders --------------------------------------------------
HANDLE CreateFileW(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileSize(HANDLE file, DWORD* high);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write);
BOOL CreateDirectoryW(const WCH* path);
BOOL RemoveDirectoryW(const WCH* path);
BOOL DeleteFileW(const WCH* path);
DWORD GetFileAttributesW(const WCH* path);
BOOL SetFileAttributesW(const WCH* path, DWORD attributes);
BOOL SetCurrentDirectoryW(const WCH* path);
DWORD GetTempPathW(DWORD capacity, WCH* buffer);
// Moves the file pointer (method FILE_BEGIN, FILE_CURRENT or FILE_END); the new
// position goes to new_position when it is not null. Fails on files that cannot seek.
BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* new_position, DWORD method);
DWORD GetCurrentDirectoryW(DWORD capacity, WCH* buffer);

// FindFirstFileW / FindNextFileW with the parts of WIN32_FIND_DATAW we use.
struct FindData {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    WCH cFileName[260];
};
HANDLE FindFirstFileW(const WCH* pattern, FindData* data);
BOOL FindNextFileW(HANDLE find, FindData* data);
BOOL FindClose(HANDLE find);

// ---- folders and files only the administrators may use ------------------
// CreateDirectoryW and CreateFileW with a security descriptor of their own
// instead of the parent's entries: full control for SYSTEM and the
// Administrators, inherited by what is made inside, and no entry inherited
// from above. The user's other processes can then neither read, write nor
// replace what is inside (Linux: modes 0700 and 0600).
BOOL CreateDirectoryAdminOnlyW(const WCH* path);
HANDLE CreateFileAdminOnlyW(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// GetFileInformationByHandle with the parts of BY_HANDLE_FILE_INFORMATION
// that say which file a handle names: volume and file index together are its
// identity, and the attributes tell a link (FILE_ATTRIBUTE_REPARSE_POINT).
struct FileInformation {
    DWORD dwFileAttributes;
    DWORD dwVolumeSerialNumber;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
    DWORD nNumberOfLinks;
};
BOOL GetFileInformationByHandle(HANDLE file, FileInformation* info);

// ---- times --------------------------------------------------------------
BOOL SystemTimeToFileTime(const SYSTEMTIME* system, FILETIME* file);
BOOL FileTimeToSystemTime(const FILETIME* file, SYSTEMTIME* system);
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);

// ---- resources of the running executable -------------------------------
HMODULE GetModuleHandleW(const WCH* name);
// type and name as Windows takes them: a text, or an integer id (MAKEINTRESOURCE).
HRSRC FindResourceW(HMODULE module, const WCH* name, const WCH* type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
const void* LockResource(HGLOBAL loaded);
inline const WCH* MakeIntResource(unsigned id) { return reinterpret_cast<const WCH*>(static_cast<uintptr_t>(id)); }

// ---- profile (INI) reads ------------------------------------------------
DWORD GetPrivateProfileStringW(const WCH* section, const WCH* key, const WCH* fallback, WCH* out, DWORD capacity,
                               const WCH* file);
UINT GetPrivateProfileIntW(const WCH* section, const WCH* key, int fallback, const WCH* file);

// ---- memory ---------------------------------------------------------------
void* VirtualAlloc(void* address, size_t size, DWORD type, DWORD protect);
BOOL VirtualFree(void* address, size_t size, DWORD type);

// ---- text -----------------------------------------------------------------
int MultiByteToWideChar(UINT codepage, DWORD flags, const char* in, int in_len, WCH* out, int out_len);
int WideCharToMultiByte(UINT codepage, DWORD flags, const WCH* in, int in_len, char* out, int out_len);
WCH* CharLowerW(WCH* text);

// ---- threads, time and the debugger stream --------------------------------
typedef DWORD (*ThreadProc)(void* parameter);
HANDLE CreateThread(ThreadProc proc, void* parameter, DWORD flags, DWORD* thread_id);
DWORD ResumeThread(HANDLE thread);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE thread, DWORD* code);
void Sleep(DWORD milliseconds);
ULONGLONG GetTickCount64();
void OutputDebugStringW(const WCH* text);

// ---- user interface -------------------------------------------------------
typedef INT_PTR (*DialogProc)(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR DialogBoxParamW(HINSTANCE instance, unsigned template_id, HWND owner, DialogProc proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
BOOL SetDlgItemTextW(HWND dialog, int id, const WCH* text);
BOOL SetWindowTextW(HWND window, const WCH* text);
int GetWindowTextW(HWND window, WCH* text, int capacity);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int MessageBoxW(HWND owner, const WCH* text, const WCH* caption, UINT style);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
HWND GetParent(HWND window);
int GetSystemMetrics(int index);
HICON LoadIconImage(HINSTANCE instance, unsigned id, int cx, int cy);  // LoadImageW(IMAGE_ICON, LR_DEFAULTCOLOR)
void SetClassIcon(HWND window, HICON icon);                            // SetClassLongW / SetClassLongPtrW, GCL(P)_HICON
void InitCommonControls();
BOOL GdiplusStartup(ULONG_PTR* token);
void GdiplusShutdown(ULONG_PTR token);
// The command line as the process got it (narrow, as WinMain receives it).
const char* GetCommandLineNarrow();

// ---- process token and shutdown -------------------------------------------
BOOL OpenProcessTokenOfCurrentProcess(DWORD access, HANDLE* token);
BOOL LookupPrivilegeValueW(const WCH* system, const WCH* name, LUID* luid);
// One privilege with the given attributes; previous state into a 16-byte buffer.
BOOL AdjustTokenPrivilege(HANDLE token, LUID luid, DWORD attributes);
BOOL ExitWindowsEx(UINT flags, DWORD reason);

// ---- storage devices --------------------------------------------------------
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned);

// ---- device setup and configuration manager -------------------------------
HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCH* enumerator, HWND parent, DWORD flags);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* interface_guid, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* data);
// detail: a buffer whose first DWORD is cbSize (kInterfaceDetailFixedSize) and whose
// device path (char16_t) starts at kInterfaceDetailPathOffset.
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, void* detail, DWORD detail_size,
                                      DWORD* required, SP_DEVINFO_DATA* device);
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                       BYTE* buffer, DWORD size, DWORD* required);
BOOL SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key, DEVPROPTYPE* type,
                               BYTE* buffer, DWORD size, DWORD* required, DWORD flags);
CONFIGRET CM_Get_Parent(DEVINST* parent, DEVINST device, ULONG flags);
CONFIGRET CM_Get_Device_IDW(DEVINST device, WCH* buffer, ULONG capacity, ULONG flags);

}  // namespace os
