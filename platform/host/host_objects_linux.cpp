// The process-wide handle table and os::CloseHandle.
#include "platform/host/host_objects.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/os.h"

namespace {

std::mutex g_table_mutex;
std::map<uintptr_t, std::unique_ptr<HostObject>> g_table;
uintptr_t g_next_handle = 0x100;
int g_open_by_kind[kHostKindCount] = {};
int g_bad_closes = 0;

}  // namespace

HANDLE HostRegister(HostObject* object) {
    std::lock_guard<std::mutex> lock(g_table_mutex);
    uintptr_t value = g_next_handle;
    g_next_handle += 4;
    if (object->kind > 0 && object->kind < kHostKindCount) g_open_by_kind[object->kind]++;
    g_table[value].reset(object);
    return reinterpret_cast<HANDLE>(value);
}

HostObject* HostLookup(HANDLE handle, int kind) {
    std::lock_guard<std::mutex> lock(g_table_mutex);
    auto it = g_table.find(reinterpret_cast<uintptr_t>(handle));
    if (it == g_table.end()) return nullptr;
    if (kind != kHostKindAny && it->second->kind != kind) return nullptr;
    return it->second.get();
}

BOOL HostCloseHandle(HANDLE handle, int kind) {
    std::unique_ptr<HostObject> object;
    {
        std::lock_guard<std::mutex> lock(g_table_mutex);
        auto it = g_table.find(reinterpret_cast<uintptr_t>(handle));
        bool fits = it != g_table.end() &&
                    (kind == kHostKindAny ? it->second->kind != kHostFind : it->second->kind == kind);
        if (!fits) {
            g_bad_closes++;
            os::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        g_table.erase(it);
        if (object->kind > 0 && object->kind < kHostKindCount) g_open_by_kind[object->kind]--;
    }
    // Outside the lock: a closing object may itself look up other handles.
    return object->Close();
}

int HostOpenHandleCount(int kind) {
    std::lock_guard<std::mutex> lock(g_table_mutex);
    if (kind == kHostKindAny) return static_cast<int>(g_table.size());
    if (kind <= 0 || kind >= kHostKindCount) return 0;
    return g_open_by_kind[kind];
}

int HostBadCloseCount() {
    std::lock_guard<std::mutex> lock(g_table_mutex);
    return g_bad_closes;
}

void HostResetBadCloseCount() {
    std::lock_guard<std::mutex> lock(g_table_mutex);
    g_bad_closes = 0;
}

namespace os {

namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_last_error; }
void SetLastError(DWORD error) { t_last_error = error; }

BOOL CloseHandle(HANDLE handle) { return HostCloseHandle(handle, kHostKindAny); }

}  // namespace os
