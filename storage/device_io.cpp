#include "storage/device_io.h"

#include "platform/os.h"

static BOOL ForwardToOs(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                        DWORD* returned) {
    return os::DeviceIoControl(device, code, in, in_size, out, out_size, returned);
}

static DeviceIoFn g_device_io = ForwardToOs;

BOOL DeviceIo(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) {
    return g_device_io(device, code, in, in_size, out, out_size, returned);
}

DeviceIoFn SetDeviceIoForTest(DeviceIoFn fn) {
    DeviceIoFn previous = g_device_io;
    g_device_io = fn ? fn : ForwardToOs;
    return previous;
}
