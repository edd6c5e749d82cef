// QuillonSim.exe /package:FILE: the tool finds FILE's bytes as its embedded
// firmware package (resource type "FWPACKAGEZIP"), as quillon-sim's
// --package registers them, so one QuillonSim.exe runs any package. Every
// other resource, and the package when no file was given, is the real one.
#include <vector>

#include "platform/os.h"
#include "platform/simwin/sim_bridge.h"
#include "platform/simwin/win32_real.h"

namespace {

std::vector<unsigned char> g_package;
bool g_have_package = false;
// The handles the tool gets for the file: addresses of our own, which no real resource has.
char g_found_marker;
char g_loaded_marker;

bool IsPackageType(const WCH* type) {
    // An integer type (MAKEINTRESOURCE) is never the package's text type.
    if (!type || reinterpret_cast<uintptr_t>(type) <= 0xFFFF) return false;
    static const char16_t kType[] = u"FWPACKAGEZIP";
    for (int i = 0;; ++i) {
        if (type[i] != kType[i]) return false;
        if (!kType[i]) return true;
    }
}

}  // namespace

void SimUsePackage(const std::vector<unsigned char>& bytes) {
    g_package = bytes;
    g_have_package = true;
}

namespace os {

HRSRC FindResourceW(HMODULE module, const WCH* name, const WCH* type) {
    if (g_have_package && IsPackageType(type)) return reinterpret_cast<HRSRC>(&g_found_marker);
    return os_win32::FindResourceW(module, name, type);
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    if (resource == reinterpret_cast<HRSRC>(&g_found_marker)) return static_cast<DWORD>(g_package.size());
    return os_win32::SizeofResource(module, resource);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    if (resource == reinterpret_cast<HRSRC>(&g_found_marker)) return reinterpret_cast<HGLOBAL>(&g_loaded_marker);
    return os_win32::LoadResource(module, resource);
}

const void* LockResource(HGLOBAL loaded) {
    if (loaded == reinterpret_cast<HGLOBAL>(&g_loaded_marker)) return g_package.empty() ? nullptr : g_package.data();
    return os_win32::LockResource(loaded);
}

}  // namespace os
