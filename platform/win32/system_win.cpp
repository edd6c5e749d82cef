// Resources, profile reads, committed memory, code-page conversion, threads,
// time and the debugger stream.
#include <new>

#include "platform/os.h"
#include "platform/trace/trace_hook.h"
#include "platform/win32/wide_win.h"

namespace os {

HMODULE GetModuleHandleW(const WCH* name) { return ::GetModuleHandleW(Wide(name)); }

HRSRC FindResourceW(HMODULE module, const WCH* name, const WCH* type) {
    // Integer ids (MakeIntResource) pass through the cast unchanged.
    return ::FindResourceW(module, Wide(name), Wide(type));
}

DWORD SizeofResource(HMODULE module, HRSRC resource) { return ::SizeofResource(module, resource); }
HGLOBAL LoadResource(HMODULE module, HRSRC resource) { return ::LoadResource(module, resource); }
const void* LockResource(HGLOBAL loaded) { return ::LockResource(loaded); }

DWORD GetPrivateProfileStringW(const WCH* section, const WCH* key, const WCH* fallback, WCH* out, DWORD capacity,
                               const WCH* file) {
    return ::GetPrivateProfileStringW(Wide(section), Wide(key), Wide(fallback), Wide(out), capacity, Wide(file));
}

UINT GetPrivateProfileIntW(const WCH* section, const WCH* key, int fallback, const WCH* file) {
    return ::GetPrivateProfileIntW(Wide(section), Wide(key), fallback, Wide(file));
}

void* VirtualAlloc(void* address, size_t size, DWORD type, DWORD protect) {
    return ::VirtualAlloc(address, size, type, protect);
}

BOOL VirtualFree(void* address, size_t size, DWORD type) { return ::VirtualFree(address, size, type); }

int MultiByteToWideChar(UINT codepage, DWORD flags, const char* in, int in_len, WCH* out, int out_len) {
    return ::MultiByteToWideChar(codepage, flags, in, in_len, Wide(out), out_len);
}

int WideCharToMultiByte(UINT codepage, DWORD flags, const WCH* in, int in_len, char* out, int out_len) {
    return ::WideCharToMultiByte(codepage, flags, Wide(in), in_len, out, out_len, nullptr, nullptr);
}

WCH* CharLowerW(WCH* text) { return Ours(::CharLowerW(Wide(text))); }

// Our thread procedures use the default calling convention; Windows calls a
// WINAPI one (they differ on 32-bit). The start block carries the procedure
// across and is freed by the new thread, or here when no thread came up.
namespace {
struct ThreadStart {
    ThreadProc proc;
    void* parameter;
};

DWORD WINAPI ThreadTrampoline(LPVOID raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return start.proc(start.parameter);
}
}  // namespace

HANDLE CreateThread(ThreadProc proc, void* parameter, DWORD flags, DWORD* thread_id) {
    ThreadStart* start = new (std::nothrow) ThreadStart{proc, parameter};
    if (!start) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, ThreadTrampoline, start, flags, &id);
    if (!thread) {
        DWORD error = ::GetLastError();
        delete start;
        ::SetLastError(error);
        return nullptr;
    }
    if (thread_id) *thread_id = id;
    return thread;
}

DWORD ResumeThread(HANDLE thread) { return ::ResumeThread(thread); }
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) { return ::WaitForSingleObject(object, milliseconds); }
BOOL GetExitCodeThread(HANDLE thread, DWORD* code) { return ::GetExitCodeThread(thread, code); }
void Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
    const trace::DeviceHooks* hooks = trace::g_device_hooks;
    if (hooks && hooks->slept) hooks->slept(milliseconds);
}
ULONGLONG GetTickCount64() { return ::GetTickCount64(); }
void OutputDebugStringW(const WCH* text) { ::OutputDebugStringW(Wide(text)); }

}  // namespace os
