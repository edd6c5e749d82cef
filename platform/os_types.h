// The Windows types and constants the tool uses.
//
// On Windows they come from the SDK headers that mingw-w64 ships; on Linux
// (headless host and simulated machine) we define the same names with the
// 64-bit Windows sizes, so structure layouts follow the x86_64 Windows ABI.
// Text inside the tool is always char16_t; only the win32 layer converts.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <commctrl.h>

#else  // Linux host

typedef void* HANDLE;
typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint8_t UCHAR;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORDLONG;
typedef unsigned int UINT;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uint32_t DEVINST;
typedef uint32_t DEVPROPTYPE;
typedef uint32_t CONFIGRET;
typedef int32_t HRESULT;

struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HICON__;
typedef HICON__* HICON;
struct HRSRC__;
typedef HRSRC__* HRSRC;
typedef void* HGLOBAL;
typedef void* HDEVINFO;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define MAX_PATH 260
#define CP_ACP 0
#define CP_UTF8 65001

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};

struct RECT {
    LONG left, top, right, bottom;
};

struct DEVPROPKEY {
    GUID fmtid;
    ULONG pid;
};

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};

// Generic access and file constants.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

// Memory.
#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_RELEASE 0x00008000u
#define PAGE_READWRITE 0x04u

// Threads.
#define CREATE_SUSPENDED 0x00000004u
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define STILL_ACTIVE 259u

// Win32 error codes the tool and the simulator use.
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NO_MORE_FILES 18
#define ERROR_NOT_READY 21
#define ERROR_CRC 23
#define ERROR_GEN_FAILURE 31
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_ALREADY_EXISTS 183
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_IO_DEVICE 1117
#define ERROR_DEVICE_NOT_CONNECTED 1167
#define ERROR_NOT_FOUND 1168
#define ERROR_INVALID_DATA 13
#define ERROR_SEM_TIMEOUT 121

// Window messages and controls.
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_CLOSE 0x0010
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_APP 0x8000
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNO 0x00000004u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONINFORMATION 0x00000040u
#define CB_ERR (-1)
#define CB_ADDSTRING 0x0143
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151
#define CBN_SELENDOK 9
#define PBM_SETRANGE 0x0401
#define PBM_SETPOS 0x0402
#define PBM_GETPOS 0x0408
#define STM_SETIMAGE 0x0172
#define IMAGE_ICON 1
#define LR_DEFAULTCOLOR 0x0000
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define EWX_REBOOT 0x00000002u
#define EWX_POWEROFF 0x00000008u
#define TOKEN_ADJUST_PRIVILEGES 0x0020u
#define TOKEN_QUERY 0x0008u
#define SE_PRIVILEGE_ENABLED 0x00000002u

// Device setup.
#define DIGCF_PRESENT 0x00000002u
#define DIGCF_ALLCLASSES 0x00000004u
#define DIGCF_PROFILE 0x00000008u
#define DIGCF_DEVICEINTERFACE 0x00000010u
#define SPDRP_SERVICE 0x00000004u
#define SPDRP_LOCATION_INFORMATION 0x0000000Du
#define SPDRP_BUSNUMBER 0x00000015u
#define CR_SUCCESS 0x00000000u
#define CR_NO_SUCH_DEVNODE 0x0000000Du
#define CR_BUFFER_SMALL 0x0000001Au
#define DEVPROP_TYPE_UINT32 0x00000007u
#define MAX_DEVICE_ID_LEN 200

// More of the same, for the Linux host (errors it reports, message box
// buttons, the rest of the combo box and progress bar messages).
#define FILE_SHARE_DELETE 0x00000004u
#define FILE_READ_ATTRIBUTES 0x00000080u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u
#define TRUNCATE_EXISTING 5
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define MEM_DECOMMIT 0x00004000u
#define PAGE_READONLY 0x02u
#define WAIT_FAILED 0xFFFFFFFFu
#define MB_ERR_INVALID_CHARS 0x00000008u
#define ERROR_SHARING_VIOLATION 32
#define ERROR_DISK_FULL 112
#define ERROR_INVALID_NAME 123
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_DIRECTORY 267
#define ERROR_INVALID_ADDRESS 487
#define ERROR_INVALID_FLAGS 1004
#define ERROR_NO_UNICODE_TRANSLATION 1113
#define ERROR_MESSAGE_SYNC_ONLY 1159
#define ERROR_NOT_ALL_ASSIGNED 1300
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814
#define WM_USER 0x0400
#define BN_CLICKED 0
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_RETRYCANCEL 0x00000005u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONERROR 0x00000010u
#define MB_ICONWARNING 0x00000030u
#define CB_GETLBTEXTLEN 0x0149
#define CB_OKAY 0
#define PBM_GETRANGE 0x0407
#define EWX_LOGOFF 0x00000000u
#define EWX_SHUTDOWN 0x00000001u

#endif  // _WIN32

// Text inside the tool.
typedef char16_t WCH;

// Window messages of this tool.
enum : unsigned {
    WM_UPDATE_RESULT = 0x8025,
    WM_UPDATE_PROGRESS = 0x8030,
};

// Our own spelling of the fixed size of SP_DEVICE_INTERFACE_DETAIL_DATA_W:
// the header packs it to 6 bytes in 32-bit builds, 8 in 64-bit builds (and on
// the Linux host, which follows the 64-bit layout). DevicePath is at byte 4.
#if defined(_WIN32) && !defined(_WIN64)
constexpr DWORD kInterfaceDetailFixedSize = 6;
#else
constexpr DWORD kInterfaceDetailFixedSize = 8;
#endif
constexpr DWORD kInterfaceDetailPathOffset = 4;
