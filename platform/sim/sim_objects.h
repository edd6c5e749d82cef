// Handles the machine hands out for "\\.\" and "\\?\" paths. They live in
// the host's handle table (platform/host/host_objects.h) as one kind of
// object; each remembers what it was opened on and for which machine.
#pragma once

#include <string>

#include "platform/host/host_objects.h"
#include "platform/os_types.h"

namespace sim {

enum class Opened : int { kDisk, kVolume, kPort, kInterface };

constexpr int kSimDeviceKind = kHostSimFirst;

struct DeviceObject : HostObject {
    DeviceObject() : HostObject(kSimDeviceKind) {}
    BOOL Close() override;
    Opened what = Opened::kDisk;
    uint32_t epoch = 0;
    int drive = -1;            // disk and volume handles
    uint32_t generation = 0;   // the drive's generation when opened
    int volume = -1;           // MachineDesc::volumes index
    int port = -1;             // SCSI port handles
    DEVINST node = 0;          // interface handles
    DWORD access = 0;
    std::u16string path;       // as the caller gave it
};

// Register an object of the current machine; counted until closed.
HANDLE OpenObject(DeviceObject* object);
// The device object behind a handle, or null (ERROR_INVALID_HANDLE set) when
// the handle is not one of ours or belongs to a machine installed before.
DeviceObject* LookupObject(HANDLE handle);
// Open objects of the current machine.
int OpenObjectCount();
// A new machine: objects of the old one stop counting and stop working.
void DropAllObjects();

}  // namespace sim
