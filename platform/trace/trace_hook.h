// Where the platform's device functions meet the trace recorder (and, on
// the Linux host, the trace player).
//
// Each implementation of a device function (platform/win32, platform/sim)
// runs its own body directly while no hooks are set, which is always unless
// the command line asked for a trace: one test of one pointer. With hooks
// set, the call goes to the hook together with the implementation's own
// body, so a recorder can call it and write down what it answered, and a
// player can answer instead of it.
#pragma once

#include "platform/os.h"

namespace trace {

using OpenFn = HANDLE (*)(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
using IoctlFn = decltype(&os::DeviceIoControl);
using ClassDevsFn = decltype(&os::SetupDiGetClassDevsW);
using DestroySetFn = decltype(&os::SetupDiDestroyDeviceInfoList);
using EnumDeviceFn = decltype(&os::SetupDiEnumDeviceInfo);
using EnumInterfaceFn = decltype(&os::SetupDiEnumDeviceInterfaces);
using InterfaceDetailFn = decltype(&os::SetupDiGetDeviceInterfaceDetailW);
using RegistryPropertyFn = decltype(&os::SetupDiGetDeviceRegistryPropertyW);
using DevicePropertyFn = decltype(&os::SetupDiGetDevicePropertyW);
using CmParentFn = decltype(&os::CM_Get_Parent);
using CmDeviceIdFn = decltype(&os::CM_Get_Device_IDW);

struct DeviceHooks {
    // CreateFileW of a "\\.\" or "\\?\" path only.
    HANDLE (*open)(OpenFn real, const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
    BOOL (*ioctl)(IoctlFn real, HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                  DWORD* returned);
    HDEVINFO (*class_devs)(ClassDevsFn real, const GUID* class_guid, const WCH* enumerator, HWND parent, DWORD flags);
    BOOL (*destroy_set)(DestroySetFn real, HDEVINFO set);
    BOOL (*enum_device)(EnumDeviceFn real, HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
    BOOL (*enum_interface)(EnumInterfaceFn real, HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* interface_guid,
                           DWORD index, SP_DEVICE_INTERFACE_DATA* data);
    BOOL (*interface_detail)(InterfaceDetailFn real, HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, void* detail,
                             DWORD detail_size, DWORD* required, SP_DEVINFO_DATA* device);
    BOOL (*registry_property)(RegistryPropertyFn real, HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                              DWORD* type, BYTE* buffer, DWORD size, DWORD* required);
    BOOL (*device_property)(DevicePropertyFn real, HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key,
                            DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required, DWORD flags);
    CONFIGRET (*cm_parent)(CmParentFn real, DEVINST* parent, DEVINST device, ULONG flags);
    CONFIGRET (*cm_device_id)(CmDeviceIdFn real, DEVINST device, WCH* buffer, ULONG capacity, ULONG flags);
    // After the tool's Sleep returned (may be null).
    void (*slept)(DWORD milliseconds);
    // After a message box was answered (may be null).
    void (*message_box)(const WCH* text, const WCH* caption, UINT style, int answer);
};

// Null unless a trace is being recorded or replayed. Set before the tool's
// threads start, cleared after they ended.
extern const DeviceHooks* g_device_hooks;

// The call through the hook when there is one, else the body itself.
template <typename Hook, typename Real, typename... Args>
inline auto Traced(Hook DeviceHooks::*hook, Real real, Args... args) -> decltype(real(args...)) {
    const DeviceHooks* hooks = g_device_hooks;
    if (hooks) return (hooks->*hook)(real, args...);
    return real(args...);
}

// "\\.\..." and "\\?\...": the paths whose opens are traced.
inline bool IsDevicePath(const WCH* path) {
    return path && path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'.' || path[2] == u'?') && path[3] == u'\\';
}

}  // namespace trace
