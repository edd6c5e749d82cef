// The one hook pointer the platform's device functions test.
#include "platform/trace/trace_hook.h"

namespace trace {

const DeviceHooks* g_device_hooks = nullptr;

}  // namespace trace
