// Device requests, device setup and the configuration manager. Each goes
// through the trace hooks when a trace is recorded (platform/trace/trace_hook.h).
#include "platform/os.h"
#include "platform/trace/trace_hook.h"
#include "platform/win32/wide_win.h"

namespace {

BOOL Ioctl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) {
    DWORD count = 0;
    BOOL ok = ::DeviceIoControl(device, code, in, in_size, out, out_size, &count, nullptr);
    if (returned) *returned = count;
    return ok;
}

HDEVINFO ClassDevs(const GUID* class_guid, const WCH* enumerator, HWND parent, DWORD flags) {
    return ::SetupDiGetClassDevsW(class_guid, Wide(enumerator), parent, flags);
}

BOOL DestroySet(HDEVINFO set) { return ::SetupDiDestroyDeviceInfoList(set); }

BOOL EnumDevice(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) { return ::SetupDiEnumDeviceInfo(set, index, data); }

BOOL EnumInterface(HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* interface_guid, DWORD index,
                   SP_DEVICE_INTERFACE_DATA* data) {
    return ::SetupDiEnumDeviceInterfaces(set, device, interface_guid, index, data);
}

BOOL InterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, void* detail, DWORD detail_size, DWORD* required,
                     SP_DEVINFO_DATA* device) {
    return ::SetupDiGetDeviceInterfaceDetailW(set, data, static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(detail),
                                              detail_size, required, device);
}

BOOL RegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type, BYTE* buffer, DWORD size,
                      DWORD* required) {
    return ::SetupDiGetDeviceRegistryPropertyW(set, device, property, type, buffer, size, required);
}

BOOL DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key, DEVPROPTYPE* type, BYTE* buffer,
                    DWORD size, DWORD* required, DWORD flags) {
    return ::SetupDiGetDevicePropertyW(set, device, key, type, buffer, size, required, flags);
}

CONFIGRET CmParent(DEVINST* parent, DEVINST device, ULONG flags) { return ::CM_Get_Parent(parent, device, flags); }

CONFIGRET CmDeviceId(DEVINST device, WCH* buffer, ULONG capacity, ULONG flags) {
    return ::CM_Get_Device_IDW(device, Wide(buffer), capacity, flags);
}

}  // namespace

namespace os {

using trace::DeviceHooks;
using trace::Traced;

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) {
    return Traced(&DeviceHooks::ioctl, Ioctl, device, code, in, in_size, out, out_size, returned);
}

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCH* enumerator, HWND parent, DWORD flags) {
    return Traced(&DeviceHooks::class_devs, ClassDevs, class_guid, enumerator, parent, flags);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) { return Traced(&DeviceHooks::destroy_set, DestroySet, set); }

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    return Traced(&DeviceHooks::enum_device, EnumDevice, set, index, data);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* interface_guid, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* data) {
    return Traced(&DeviceHooks::enum_interface, EnumInterface, set, device, interface_guid, index, data);
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, void* detail, DWORD detail_size,
                                      DWORD* required, SP_DEVINFO_DATA* device) {
    return Traced(&DeviceHooks::interface_detail, InterfaceDetail, set, data, detail, detail_size, required, device);
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                       BYTE* buffer, DWORD size, DWORD* required) {
    return Traced(&DeviceHooks::registry_property, RegistryProperty, set, device, property, type, buffer, size,
                  required);
}

BOOL SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key, DEVPROPTYPE* type,
                               BYTE* buffer, DWORD size, DWORD* required, DWORD flags) {
    return Traced(&DeviceHooks::device_property, DeviceProperty, set, device, key, type, buffer, size, required, flags);
}

CONFIGRET CM_Get_Parent(DEVINST* parent, DEVINST device, ULONG flags) {
    return Traced(&DeviceHooks::cm_parent, CmParent, parent, device, flags);
}

CONFIGRET CM_Get_Device_IDW(DEVINST device, WCH* buffer, ULONG capacity, ULONG flags) {
    return Traced(&DeviceHooks::cm_device_id, CmDeviceId, device, buffer, capacity, flags);
}

}  // namespace os
