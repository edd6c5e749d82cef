// Unpacking the embedded firmware package into the work directory.
#include "package/package_extract.h"

#include "package/files.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

constexpr DWORD kPathChars = 260;

// The temporary folder is writable by the user while the tool runs elevated:
// whatever sits under the archive's name (an old archive, or a link to some
// other file) is removed, and the archive is created only as a new file that
// only SYSTEM and the Administrators may open. Its identity goes to *written.
bool WriteNewFile(const WCH* path, const void* bytes, DWORD size, os::FileInformation* written_file) {
    os::DeleteFileW(path);
    HANDLE file = os::CreateFileAdminOnlyW(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = os::WriteFile(file, bytes, size, &written) != 0 && written == size &&
                    os::GetFileInformationByHandle(file, written_file) != 0;
    os::CloseHandle(file);
    if (!ok) os::DeleteFileW(path);
    return ok;
}

// Opens the archive again for the unpacking, without write or delete
// sharing, so that from here on nobody can change, delete or replace it;
// INVALID_HANDLE_VALUE unless it is still the file just written.
HANDLE HoldWrittenFile(const WCH* path, const os::FileInformation& written) {
    HANDLE file = os::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE) return file;
    os::FileInformation now;
    if (os::GetFileInformationByHandle(file, &now) && !(now.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        now.dwVolumeSerialNumber == written.dwVolumeSerialNumber && now.nFileIndexHigh == written.nFileIndexHigh &&
        now.nFileIndexLow == written.nFileIndexLow)
        return file;
    os::CloseHandle(file);
    return INVALID_HANDLE_VALUE;
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
    os::FileInformation identity = {};
    const bool written = bytes != nullptr && size > 0 && WriteNewFile(archive, bytes, size, &identity);
    os::CreateDirectoryW(work_dir);
    if (!written) return;
    // Only this run's archive is unpacked, never a file left or put under
    // that name; it is held from before the unpacking until it is deleted.
    HANDLE held = HoldWrittenFile(archive, identity);
    if (held != INVALID_HANDLE_VALUE) {
        UnzipOutcome outcome;
        UnzipAll(archive, work_dir, kUnzipDefaultMaxBytes, nullptr, nullptr, &outcome);
        os::CloseHandle(held);
    }
    os::DeleteFileW(archive);
}
