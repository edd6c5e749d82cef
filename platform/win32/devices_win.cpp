// Device requests, device setup and the configuration manager.
#include "platform/os.h"
#include "platform/win32/wide_win.h"

namespace os {

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) {
    DWORD count = 0;
    BOOL ok = ::DeviceIoControl(device, code, in, in_size, out, out_size, &count, nullptr);
    if (returned) *returned = count;
    return ok;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const WCH* enumerator, HWND parent, DWORD flags) {
    return ::SetupDiGetClassDevsW(class_guid, Wide(enumerator), parent, flags);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) { return ::SetupDiDestroyDeviceInfoList(set); }

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    return ::SetupDiEnumDeviceInfo(set, index, data);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* interface_guid, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* data) {
    return ::SetupDiEnumDeviceInterfaces(set, device, interface_guid, index, data);
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, void* detail, DWORD detail_size,
                                      DWORD* required, SP_DEVINFO_DATA* device) {
    return ::SetupDiGetDeviceInterfaceDetailW(set, data, static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(detail),
                                              detail_size, required, device);
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                       BYTE* buffer, DWORD size, DWORD* required) {
    return ::SetupDiGetDeviceRegistryPropertyW(set, device, property, type, buffer, size, required);
}

BOOL SetupDiGetDevicePropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key, DEVPROPTYPE* type,
                               BYTE* buffer, DWORD size, DWORD* required, DWORD flags) {
    return ::SetupDiGetDevicePropertyW(set, device, key, type, buffer, size, required, flags);
}

CONFIGRET CM_Get_Parent(DEVINST* parent, DEVINST device, ULONG flags) { return ::CM_Get_Parent(parent, device, flags); }

CONFIGRET CM_Get_Device_IDW(DEVINST device, WCH* buffer, ULONG capacity, ULONG flags) {
    return ::CM_Get_Device_IDW(device, Wide(buffer), capacity, flags);
}

}  // namespace os
