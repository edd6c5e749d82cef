// Device handles of the simulated machine on top of the host's handle table.
#include "platform/sim/sim_objects.h"

#include <atomic>

#include "platform/os.h"
#include "platform/sim/sim_state.h"

namespace sim {

namespace {
std::atomic<int> g_open{0};
}

BOOL DeviceObject::Close() {
    if (epoch == Machine().epoch) --g_open;
    return TRUE;
}

HANDLE OpenObject(DeviceObject* object) {
    object->epoch = Machine().epoch;
    ++g_open;
    return HostRegister(object);
}

DeviceObject* LookupObject(HANDLE handle) {
    HostObject* object = HostLookup(handle, kSimDeviceKind);
    DeviceObject* device = static_cast<DeviceObject*>(object);
    if (!device || device->epoch != Machine().epoch) {
        os::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return device;
}

int OpenObjectCount() { return g_open; }

void DropAllObjects() { g_open = 0; }

}  // namespace sim
