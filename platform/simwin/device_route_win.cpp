// QuillonSim.exe: device paths open on the simulated machine, everything
// else on Windows; closes go where the handle came from.
#include "platform/host/host_objects.h"
#include "platform/host/sim_hooks.h"
#include "platform/os.h"
#include "platform/simwin/sim_bridge.h"
#include "platform/simwin/win32_real.h"

namespace {

// "\\.\PhysicalDrive0", "\\.\C:", "\\.\scsi3:" and the "\\?\" interface paths.
bool IsDevicePath(const WCH* path) {
    return path && path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'.' || path[2] == u'?') && path[3] == u'\\';
}

}  // namespace

namespace os {

HANDLE CreateFileW(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    if (IsDevicePath(path)) return SimCreateFile(path, access, share, disposition, flags);
    return os_win32::CreateFileW(path, access, share, disposition, flags);
}

BOOL CloseHandle(HANDLE handle) {
    if (IsSimHandle(handle)) return HostCloseHandle(handle, kHostKindAny);
    return os_win32::CloseHandle(handle);
}

}  // namespace os
