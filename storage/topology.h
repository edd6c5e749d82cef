// Where a disk is attached, and finding the disk at such a place again.
//
// The port identity is a signed 64-bit number: the USB port path (host
// controller index, root-hub port, further hub ports, the drive's own port,
// two decimal digits each), a PCI bus pair (9 000 000 000 000 000 000 +
// 99 x grandparent bus + parent bus), or the SCSI PathId. -1 means none.
// Every operation builds and destroys its own device information sets and
// closes every handle it opened, except the one GetPortDeviceHandle returns.
#pragma once

#include "platform/os_types.h"

constexpr int64_t kNoPortId = -1;
constexpr uint64_t kPciPairBase = 9000000000000000000ull;

// STORAGE_BUS_TYPE of an open disk; 0 (BusTypeUnknown) when the query fails.
uint32_t GetStorageBusType(HANDLE disk);
// The device interface at index of the set, opened for reading and writing;
// INVALID_HANDLE_VALUE when there is none or it cannot be opened.
HANDLE OpenDeviceInterface(const GUID* interface_class, HDEVINFO set, DWORD index);
// The parent (storage controller or USB bridge) of the disk with that
// "\\.\PhysicalDrive%d" path (any case); 0 when not found.
DEVINST GetDiskParentDevInst(const WCH* physical_drive_path);
// SPDRP_BUSNUMBER of the device's parent / grandparent, taken as signed; 0 when unavailable.
int32_t GetParentBusNumber(DEVINST device);
int32_t GetGrandParentBusNumber(DEVINST device);
// 1-based position of a USB host controller in the host controller set; one
// more than their number when it is not among them.
int64_t GetHostControllerIndex(const WCH* host_controller_id);
// Extends a path value by the port of each hub from this one up to the host
// controller (whose index comes last).
uint64_t GetHubChainPortPath(const WCH* hub_id, uint64_t value);
// Unreversed path value of a USB device (its port first); 0 when it is not present.
uint64_t GetUsbPortPath(const WCH* usb_device_id);
// The base-100 digit pairs in reverse order.
uint64_t ReversePortPath(uint64_t value);
// Port identity of the disk with that device number, by its bus type; -1 when none.
int64_t GetDiskPortID(uint32_t bus_type, uint32_t device_number);
// Open handle of the first disk of that bus type whose identity (chosen by
// command type) equals port; the caller closes it. INVALID_HANDLE_VALUE when none.
HANDLE GetPortDeviceHandle(int32_t cmd_type, uint32_t bus_type, int64_t port);
// The physical drive number of the disk GetPortDeviceHandle finds, its handle
// closed again; -1 when there is none or its device number cannot be read
// (a missing number must never stand for some other drive).
int FindDiskNumberAtPort(int32_t cmd_type, uint32_t bus_type, int64_t port);
