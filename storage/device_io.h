// Every drive request of the NVMe transports and the bridge power control
// goes through DeviceIo, which forwards to os::DeviceIoControl. A test may put
// a strict recorder in front of the drive with SetDeviceIoForTest.
#pragma once

#include "platform/os_types.h"

typedef BOOL (*DeviceIoFn)(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                           DWORD* returned);

BOOL DeviceIo(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned);

// Replaces the forwarder (null restores os::DeviceIoControl); returns the previous one.
DeviceIoFn SetDeviceIoForTest(DeviceIoFn fn);
