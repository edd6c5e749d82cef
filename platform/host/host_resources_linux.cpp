// The resources of "the executable" on Linux: whatever the program
// registered (quillon-sim and tests register the firmware package as
// FWPACKAGEZIP/1000), found through the usual FindResourceW /
// LoadResource / LockResource / SizeofResource steps.
#include <memory>
#include <mutex>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/os.h"

namespace {

struct Resource {
    std::u16string type;  // upper case
    unsigned id;
    std::vector<unsigned char> bytes;
};

std::mutex g_resource_mutex;
// Kept for the life of the process once registered (a resource handle stays
// valid, like the mapped image of a module); clearing only hides them.
std::vector<std::unique_ptr<Resource>> g_resources;
std::vector<Resource*> g_visible;

HMODULE const kExeModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));

std::u16string Upper(const WCH* text) {
    std::u16string out;
    for (; *text; text++) {
        WCH c = *text;
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c -= 32;
        out.push_back(c);
    }
    return out;
}

bool IsIntResource(const WCH* name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }

Resource* FromHandle(HRSRC handle) {
    Resource* resource = reinterpret_cast<Resource*>(handle);
    for (Resource* r : g_visible)
        if (r == resource) return r;
    return nullptr;
}

}  // namespace

void HostRegisterResource(const WCH* type, unsigned id, const void* bytes, size_t size) {
    std::lock_guard<std::mutex> lock(g_resource_mutex);
    std::u16string key = Upper(type);
    auto resource = std::make_unique<Resource>();
    resource->type = key;
    resource->id = id;
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    resource->bytes.assign(p, p + size);
    for (Resource*& r : g_visible) {
        if (r->type == key && r->id == id) {
            r = resource.get();
            g_resources.push_back(std::move(resource));
            return;
        }
    }
    g_visible.push_back(resource.get());
    g_resources.push_back(std::move(resource));
}

void HostClearResources() {
    std::lock_guard<std::mutex> lock(g_resource_mutex);
    g_visible.clear();
}

namespace os {

HMODULE GetModuleHandleW(const WCH* name) {
    if (name) {
        SetLastError(ERROR_FILE_NOT_FOUND);  // no other modules are loaded
        return nullptr;
    }
    return kExeModule;
}

HRSRC FindResourceW(HMODULE module, const WCH* name, const WCH* type) {
    if (module && module != kExeModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Only integer ids are registered; a type is a text (integer types such
    // as RT_ICON are not kept on the host).
    if (!type || IsIntResource(type)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_resource_mutex);
    std::u16string key = Upper(type);
    bool type_found = false;
    for (Resource* r : g_visible) {
        if (r->type != key) continue;
        type_found = true;
        if (IsIntResource(name) && r->id == static_cast<unsigned>(reinterpret_cast<uintptr_t>(name)))
            return reinterpret_cast<HRSRC>(r);
    }
    SetLastError(type_found ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

DWORD SizeofResource(HMODULE, HRSRC handle) {
    std::lock_guard<std::mutex> lock(g_resource_mutex);
    Resource* r = FromHandle(handle);
    if (!r) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    return static_cast<DWORD>(r->bytes.size());
}

HGLOBAL LoadResource(HMODULE, HRSRC handle) {
    std::lock_guard<std::mutex> lock(g_resource_mutex);
    Resource* r = FromHandle(handle);
    if (!r) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    // An empty resource still needs a non-null address.
    static const unsigned char kEmpty = 0;
    return r->bytes.empty() ? const_cast<unsigned char*>(&kEmpty) : r->bytes.data();
}

const void* LockResource(HGLOBAL loaded) { return loaded; }

}  // namespace os
