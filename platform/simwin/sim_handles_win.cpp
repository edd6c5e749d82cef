// The handle table the simulated machine registers its device handles in
// (platform/host/host_objects.h), for QuillonSim.exe on real Windows.
//
// Each simulated handle is backed by a real, unnamed event object: its value
// is then one Windows itself handed out, so it can never collide with a file,
// thread or token handle of the same process, and os::CloseHandle can tell
// the two apart by looking the value up here first.
#include <map>
#include <memory>

#include "platform/host/host_objects.h"
#include "platform/os.h"
#include "platform/simwin/sim_bridge.h"

namespace {

struct Table {
    Table() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    std::map<HANDLE, std::unique_ptr<HostObject>> objects;
    int bad_closes = 0;
};

Table& TheTable() {
    static Table* table = new Table;  // lives as long as the process; never destroyed under a late close
    return *table;
}

struct Locked {
    explicit Locked(Table& t) : table(t) { EnterCriticalSection(&table.lock); }
    ~Locked() { LeaveCriticalSection(&table.lock); }
    Table& table;
};

}  // namespace

HANDLE HostRegister(HostObject* object) {
    HANDLE value = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!value) {
        // Out of kernel objects: the caller reports the open as failed.
        delete object;
        return INVALID_HANDLE_VALUE;
    }
    Locked held(TheTable());
    held.table.objects[value].reset(object);
    return value;
}

HostObject* HostLookup(HANDLE handle, int kind) {
    Locked held(TheTable());
    auto it = held.table.objects.find(handle);
    if (it == held.table.objects.end()) return nullptr;
    if (kind != kHostKindAny && it->second->kind != kind) return nullptr;
    return it->second.get();
}

BOOL HostCloseHandle(HANDLE handle, int kind) {
    std::unique_ptr<HostObject> object;
    {
        Locked held(TheTable());
        auto it = held.table.objects.find(handle);
        if (it == held.table.objects.end() || (kind != kHostKindAny && it->second->kind != kind)) {
            held.table.bad_closes++;
            os::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        held.table.objects.erase(it);
    }
    ::CloseHandle(handle);
    return object->Close();
}

int HostOpenHandleCount(int kind) {
    Locked held(TheTable());
    int n = 0;
    for (const auto& entry : held.table.objects)
        if (kind == kHostKindAny || entry.second->kind == kind) ++n;
    return n;
}

int HostBadCloseCount() {
    Locked held(TheTable());
    return held.table.bad_closes;
}

void HostResetBadCloseCount() {
    Locked held(TheTable());
    held.table.bad_closes = 0;
}

bool IsSimHandle(HANDLE handle) { return HostLookup(handle, kHostKindAny) != nullptr; }
