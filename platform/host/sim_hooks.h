// What the host's file code asks of the simulated machine (platform/sim/).
#pragma once

#include "platform/os_types.h"

// os::CreateFileW hands every path beginning with "\\.\" or "\\?\" here
// unchanged. Returns a handle registered in the host's table
// (platform/host/host_objects.h) or INVALID_HANDLE_VALUE with the last error set.
HANDLE SimCreateFile(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
