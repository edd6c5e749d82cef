// Unpacking the embedded firmware package into the work directory.
#include "package/package_extract.h"

#include "package/files.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

constexpr DWORD kPathChars = 260;

// The temporary folder is writable by the user while the tool runs elevated:
// whatever sits under the archive's name (an old archive, or a link to some
// other file) is removed, and the archive is created only as a new file.
bool WriteNewFile(const WCH* path, const void* bytes, DWORD size) {
    os::DeleteFileW(path);
    HANDLE file = os::CreateFileW(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = os::WriteFile(file, bytes, size, &written) != 0 && written == size;
    os::CloseHandle(file);
    if (!ok) os::DeleteFileW(path);
    return ok;
}

}  // namespace

void UnzipAll(const WCH* archive, const WCH* directory, uint64_t max_bytes, UnzipEntryReport on_entry, void* context,
              UnzipOutcome* outcome) {
    *outcome = UnzipOutcome{ZR_OK, 0, -1, 0, false};
    os::CreateDirectoryW(directory);
    ZipHandle* zip = ZipReaderOpen(archive, nullptr);
    if (zip == nullptr) {
        outcome->open = ZipLastResult();
        return;
    }
    ZipReaderDeclaredTotal(zip, &outcome->declared);
    if (outcome->declared > max_bytes) {
        outcome->over_bound = true;
        ZipReaderClose(zip);
        return;
    }
    ZipReaderSetBaseDir(zip, directory);
    ZipEntryInfo info;
    ZipReaderGetEntry(zip, -1, &info);
    const int count = info.index;
    for (int i = 0; i < count; ++i) {
        const ZRESULT described = ZipReaderGetEntry(zip, i, &info);
        const ZRESULT extracted = ZipReaderExtract(zip, i, info.name);
        if (described != ZR_OK || extracted != ZR_OK) ++outcome->failed;
        if (on_entry != nullptr) on_entry(&info, described, extracted, context);
        // A full disk fails every later write too: stop at the first.
        if (extracted == ZR_WRITE) {
            outcome->stopped_at = i;
            break;
        }
    }
    ZipReaderClose(zip);
}

void UnzipToDirectory(const WCH* archive, const WCH* directory, bool delete_archive) {
    UnzipOutcome outcome;
    UnzipAll(archive, directory, kUnzipDefaultMaxBytes, nullptr, nullptr, &outcome);
    if (delete_archive) os::DeleteFileW(archive);
}

void ExtractPackage(const WCH* type, unsigned id, const WCH* work_dir) {
    HMODULE module = os::GetModuleHandleW(nullptr);
    HRSRC resource = os::FindResourceW(module, os::MakeIntResource(id), type);
    const DWORD size = resource != nullptr ? os::SizeofResource(module, resource) : 0;
    HGLOBAL loaded = resource != nullptr ? os::LoadResource(module, resource) : nullptr;
    const void* bytes = loaded != nullptr ? os::LockResource(loaded) : nullptr;

    WCH temp[kPathChars];
    temp[0] = 0;
    GetTempDir(temp, kPathChars);
    // Without a temporary folder the archive would land in the current
    // directory's root; no package then.
    if (temp[0] == 0) return;
    WCH archive[kPathChars];
    if (FormatW(archive, kPathChars, u"%s\\~ReleasePackage.a", temp) < 0) return;
    const bool written = bytes != nullptr && size > 0 && WriteNewFile(archive, bytes, size);
    os::CreateDirectoryW(work_dir);
    // Only this run's archive is unpacked, never a file left under that name.
    if (written) UnzipToDirectory(archive, work_dir, true);
}
