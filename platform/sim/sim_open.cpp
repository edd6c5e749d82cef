// Opening devices of the simulated machine: "\\.\PhysicalDriveN",
// "\\.\X:", "\\.\scsiN:" and device interface paths "\\?\...". The host's
// CreateFileW hands every "\\.\" and "\\?\" path here.
#include <cstring>

#include "platform/host/sim_hooks.h"
#include "platform/os.h"
#include "platform/sim/sim_objects.h"
#include "platform/sim/sim_state.h"
#include "platform/trace/trace_hook.h"

namespace sim {

namespace {

bool StartsNoCase(const std::u16string& text, const char* prefix, size_t* after) {
    size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    if (!SameNoCase(text.substr(0, n), Widen(prefix))) return false;
    *after = n;
    return true;
}

// Decimal digits from pos to the end (or to the one character stop); no sign, no blanks.
bool NumberAt(const std::u16string& text, size_t pos, char16_t stop, int* value) {
    size_t end = text.size();
    if (stop) {
        if (end == pos || text[end - 1] != stop) return false;
        --end;
    }
    if (end == pos || end - pos > 6) return false;
    int v = 0;
    for (size_t i = pos; i < end; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return false;
        v = v * 10 + (text[i] - u'0');
    }
    *value = v;
    return true;
}

HANDLE Fail(DWORD error) {
    os::SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE OpenDevice(const WCH* path_text, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    (void)share;
    (void)flags;
    if (!path_text) return Fail(ERROR_INVALID_PARAMETER);
    std::u16string path(path_text);
    MachineState& m = Machine();
    sim::MachineLock lock(m.mutex);
    CatchUp(m);
    // Devices exist already: anything but opening them is refused, as Windows
    // refuses to create or truncate a device.
    if (disposition != OPEN_EXISTING) return Fail(ERROR_ACCESS_DENIED);

    DeviceObject object;
    size_t at = 0;
    int n = 0;
    if (StartsNoCase(path, "\\\\.\\PhysicalDrive", &at)) {
        if (!NumberAt(path, at, 0, &n)) return Fail(ERROR_FILE_NOT_FOUND);
        int drive = FindDriveByNumber(m, n);
        if (drive < 0) return Fail(ERROR_FILE_NOT_FOUND);
        object.what = Opened::kDisk;
        object.drive = drive;
    } else if (StartsNoCase(path, "\\\\.\\scsi", &at)) {
        if (!NumberAt(path, at, u':', &n)) return Fail(ERROR_FILE_NOT_FOUND);
        bool known = false;
        for (const DriveState& d : m.drives) known = known || d.desc.scsi.port == n;
        if (!known) return Fail(ERROR_FILE_NOT_FOUND);
        object.what = Opened::kPort;
        object.port = n;
    } else if (path.size() == 6 && StartsNoCase(path, "\\\\.\\", &at) && path[5] == u':') {
        char16_t letter = path[4] >= u'a' && path[4] <= u'z' ? static_cast<char16_t>(path[4] - 32) : path[4];
        int volume = -1;
        for (size_t i = 0; i < m.desc.volumes.size(); ++i)
            if (m.desc.volumes[i].letter == letter) volume = static_cast<int>(i);
        if (volume < 0) return Fail(ERROR_FILE_NOT_FOUND);
        int drive = FindDriveByName(m, m.desc.volumes[volume].drive);
        if (drive < 0 || !m.drives[drive].present) return Fail(ERROR_FILE_NOT_FOUND);
        object.what = Opened::kVolume;
        object.volume = volume;
        object.drive = drive;
    } else if (StartsNoCase(path, "\\\\?\\", &at)) {
        DEVINST found = 0;
        for (size_t i = 0; i < m.nodes.size(); ++i)
            if (m.nodes[i].interfaces && SameNoCase(m.nodes[i].interface_path, path) && NodePresent(m, m.nodes[i]))
                found = static_cast<DEVINST>(i + 1);
        if (!found) return Fail(ERROR_FILE_NOT_FOUND);
        const Node& node = m.nodes[found - 1];
        if (node.interfaces & kIfDisk) {
            object.what = Opened::kDisk;
            object.drive = node.drive;
        } else {
            object.what = Opened::kInterface;
            object.node = found;
        }
    } else {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    DeviceObject* opened = new DeviceObject(object);
    if (opened->drive >= 0) opened->generation = m.drives[opened->drive].generation;
    opened->access = access;
    opened->path = path;
    return OpenObject(opened);
}

}  // namespace sim

HANDLE SimCreateFile(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    if (trace::g_device_hooks)
        return trace::g_device_hooks->open(sim::OpenDevice, path, access, share, disposition, flags);
    return sim::OpenDevice(path, access, share, disposition, flags);
}
