// Folders and files only SYSTEM and the Administrators may use, and the
// identity of an open file.
#include "platform/os.h"
#include "platform/win32/wide_win.h"

// After windows.h (through os.h): sddl.h relies on its macros.
#include <sddl.h>

namespace os {

namespace {

// D:P  a protected DACL: nothing is inherited from the parent.
// (A;OICI;FA;;;SY) (A;OICI;FA;;;BA)  full access for SYSTEM and the
// Administrators, passed on to files and folders made inside.
// No owner is named: an elevated token makes the Administrators the owner.
const wchar_t kAdminOnly[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The descriptor, or null (last error set) when Windows cannot build it;
// freed with LocalFree.
PSECURITY_DESCRIPTOR AdminOnlyDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminOnly, SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

}  // namespace

BOOL CreateDirectoryAdminOnlyW(const WCH* path) {
    PSECURITY_DESCRIPTOR descriptor = AdminOnlyDescriptor();
    if (!descriptor) return FALSE;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    BOOL ok = ::CreateDirectoryW(Wide(path), &attributes);
    DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    ::SetLastError(error);
    return ok;
}

HANDLE CreateFileAdminOnlyW(const WCH* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    PSECURITY_DESCRIPTOR descriptor = AdminOnlyDescriptor();
    if (!descriptor) return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    HANDLE file = ::CreateFileW(Wide(path), access, share, &attributes, disposition, flags, nullptr);
    DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    ::SetLastError(error);
    return file;
}

BOOL GetFileInformationByHandle(HANDLE file, FileInformation* info) {
    BY_HANDLE_FILE_INFORMATION got;
    if (!::GetFileInformationByHandle(file, &got)) return FALSE;
    info->dwFileAttributes = got.dwFileAttributes;
    info->dwVolumeSerialNumber = got.dwVolumeSerialNumber;
    info->nFileIndexHigh = got.nFileIndexHigh;
    info->nFileIndexLow = got.nFileIndexLow;
    info->nNumberOfLinks = got.nNumberOfLinks;
    return TRUE;
}

}  // namespace os
