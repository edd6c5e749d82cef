// The work folder against the real API under Wine: what its security
// descriptor says when read back, that a taken name is passed over, that the
// held folder cannot be removed or renamed, and that a folder swapped in
// under its name before the exit loses nothing. Runs in a temporary folder
// of its own (TMP and TEMP point there). Prints one line per failed check,
// "note:" lines for what this Wine cannot do, and
// "work dir probe: N checks, M failed".
#include <windows.h>
// After windows.h: these rely on its macros.
#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "package/work_dir.h"
#include "platform/os.h"

namespace {

int g_checks = 0;
int g_failed = 0;

void Check(bool ok, const char* what) {
    ++g_checks;
    if (!ok) {
        ++g_failed;
        std::printf("FAILED: %s\n", what);
    }
}

std::wstring W(const WCH* text) { return std::wstring(reinterpret_cast<const wchar_t*>(text)); }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Touch(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, "x", 1, &written, nullptr);
        CloseHandle(file);
    }
}

std::vector<BYTE> UserSid() {
    std::vector<BYTE> sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
    BYTE buffer[256];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
        sid.assign(static_cast<BYTE*>(user), static_cast<BYTE*>(user) + GetLengthSid(user));
    }
    CloseHandle(token);
    return sid;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

// What a security descriptor read back with GetFileSecurityW says.
struct Protection {
    bool read = false;
    bool dacl_protected = false;
    int aces = 0;
    int inherited = 0;        // entries with INHERITED_ACE
    int for_user = 0;         // entries naming the process's user
    int for_others = 0;       // entries for anyone but SYSTEM and the Administrators
    int passed_on = 0;        // entries given to what is made inside (OI and CI)
};

Protection ReadProtection(const std::wstring& path, const std::vector<BYTE>& user) {
    Protection p;
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0) return p;
    std::vector<BYTE> buffer(needed);
    if (!GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), needed, &needed)) return p;
    PSECURITY_DESCRIPTOR sd = buffer.data();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorControl(sd, &control, &revision) ||
        !GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) || !present || !dacl)
        return p;
    p.read = true;
    p.dacl_protected = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw)) continue;
        auto* header = static_cast<ACE_HEADER*>(raw);
        ++p.aces;
        if (header->AceFlags & INHERITED_ACE) ++p.inherited;
        if ((header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) ==
            (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE))
            ++p.passed_on;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            ++p.for_others;
            continue;
        }
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(raw)->SidStart;
        if (!user.empty() && EqualSid(sid, const_cast<BYTE*>(user.data()))) ++p.for_user;
        if (!IsWellKnown(sid, WinLocalSystemSid) && !IsWellKnown(sid, WinBuiltinAdministratorsSid)) ++p.for_others;
    }
    return p;
}

// Whether this Wine keeps a descriptor given at creation. Wine 8 does not:
// it turns the DACL into Unix mode bits and reads back one made from them,
// with the Unix owner (the process's user) and Everyone for the "other" bits.
bool KeepsDescriptors(const std::wstring& dir, const std::vector<BYTE>& user) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;BA)", SDDL_REVISION_1, &sd, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
    std::wstring path = dir + L"\\descriptor-kept";
    CreateDirectoryW(path.c_str(), &attributes);
    LocalFree(sd);
    Protection p = ReadProtection(path, user);
    RemoveDirectoryW(path.c_str());
    return p.read && p.dacl_protected && p.for_user == 0;
}

int g_keeps_descriptors = -1;

void ChecksOnProtection(const std::wstring& path, const std::vector<BYTE>& user, const char* what, bool own) {
    Protection p = ReadProtection(path, user);
    std::string w(what);
    Check(p.read, (w + ": GetFileSecurityW reads a DACL back").c_str());
    Check(p.aces >= 1, (w + ": the DACL has entries (it is no open door)").c_str());
    if (g_keeps_descriptors) {
        Check(p.for_user == 0, (w + ": no entry for the user").c_str());
        Check(p.for_others == 0, (w + ": entries only for SYSTEM and the Administrators").c_str());
        if (own) {
            Check(p.dacl_protected, (w + ": the DACL is protected (nothing inherited from the parent)").c_str());
            Check(p.inherited == 0, (w + ": no inherited entries").c_str());
        }
        return;
    }
    // What this Wine can show: the descriptor reached the file system as an
    // owner-only mode; the one entry besides SYSTEM's is the Unix owner.
    Check(p.for_others - p.for_user == 0, (w + ": no entry for Everyone or anyone but SYSTEM and the owner").c_str());
    Check(p.inherited == 0, (w + ": no inherited entries").c_str());
}

// A fresh temporary folder for the tool's code: GetTempPathW reads TMP.
std::wstring FreshTemp(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring dir = std::wstring(base) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", dir.c_str());
    SetEnvironmentVariableW(L"TEMP", dir.c_str());
    return dir;
}

void Protected(const std::vector<BYTE>& user) {
    std::wstring temp = FreshTemp(L"qn-workdir-probe-sd");
    AppState* state = GetAppState();
    *state = AppState{};
    Check(CreateWorkDir(state) == 1, "CreateWorkDir makes a work folder");
    if (!state->bWorkDirCreated) return;
    std::wstring work = W(state->szWorkDir);
    // Held without delete sharing: the empty folder cannot be removed under the tool.
    if (RemoveDirectoryW(work.c_str()))
        std::printf("note: this Wine lets a folder held open without delete sharing be removed (Windows refuses "
                    "with a sharing violation); it goes when the tool lets go of it\n");
    g_keeps_descriptors = KeepsDescriptors(temp, user) ? 1 : 0;
    if (!g_keeps_descriptors)
        std::printf("note: this Wine keeps no security descriptor of a file (it maps the DACL to Unix mode bits and "
                    "reads back the Unix owner): the user's entry, the protected flag and what is inherited inside "
                    "are not visible here\n");
    ChecksOnProtection(work, user, "work folder", true);
    ChecksOnProtection(temp + L"\\Quillon", user, "Quillon folder made by this run", true);
    // The same folder made without the descriptor lets Everyone in: the check above can fail.
    std::wstring plain = temp + L"\\plain";
    CreateDirectoryW(plain.c_str(), nullptr);
    Protection open_door = ReadProtection(plain, user);
    Check(open_door.for_others > open_door.for_user, "a folder made the plain way has entries for others (the check can fail)");
    RemoveDirectoryW(plain.c_str());
    // What the extraction writes inside takes the folder's entries, never the user's.
    os::CreateDirectoryW(state->szWorkDir);  // as the extraction does: fails, the folder is there
    Touch(work + L"\\VX500_B17A.bin");
    if (g_keeps_descriptors) ChecksOnProtection(work + L"\\VX500_B17A.bin", user, "a file made inside the work folder", false);

    // The archive of the package: made the same way.
    std::wstring archive = temp + L"\\~ReleasePackage.a";
    HANDLE file = os::CreateFileAdminOnlyW(reinterpret_cast<const WCH*>(archive.c_str()), GENERIC_WRITE, 0, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL);
    Check(file != INVALID_HANDLE_VALUE, "CreateFileAdminOnlyW makes the archive");
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    ChecksOnProtection(archive, user, "~ReleasePackage.a", true);
    DeleteFileW(archive.c_str());

    // Held without delete sharing: not renamed under the tool.
    if (MoveFileW(work.c_str(), (work + L".moved").c_str())) {
        std::printf("note: this Wine renames a folder held open without delete sharing\n");
        MoveFileW((work + L".moved").c_str(), work.c_str());
    }

    RemoveWorkDir(state);
    Check(!Exists(work), "the exit removes the work folder and its files");
    Check(Exists(temp + L"\\Quillon"), "the exit leaves the Quillon folder");
}

void TakenNamesArePassedOver() {
    std::wstring temp = FreshTemp(L"qn-workdir-probe-taken");
    std::wstring base = temp + L"\\Quillon";
    CreateDirectoryW(base.c_str(), nullptr);
    constexpr ULONGLONG kPlanted = 900;  // fewer than the 1000 names the tool tries
    // The names are planted ahead of the clock, then the probe waits for the
    // clock to reach them and calls at once; should planting take longer
    // than the lead, or the call come too late, it tries again further on.
    for (ULONGLONG lead = 5000; lead <= 40000; lead *= 2) {
        const ULONGLONG from = GetTickCount64() + lead;
        for (ULONGLONG n = from; n <= from + kPlanted; ++n) {
            std::wstring taken = base + L"\\" + std::to_wstring(n);
            CreateDirectoryW(taken.c_str(), nullptr);
            if (n % 50 == 0) Touch(taken + L"\\theirs.bin");
        }
        ULONGLONG now = GetTickCount64();
        if (now > from) continue;
        Sleep(static_cast<DWORD>(from - now));
        while (GetTickCount64() < from) Sleep(1);
        AppState* state = GetAppState();
        *state = AppState{};
        const int made = CreateWorkDir(state);
        if (GetTickCount64() > from + kPlanted) {
            if (made) RemoveWorkDir(state);
            continue;
        }
        Check(made == 1, "CreateWorkDir makes a folder past the taken names");
        std::wstring expected = base + L"\\" + std::to_wstring(from + kPlanted + 1);
        Check(W(state->szWorkDir) == expected, "the first free number after the taken ones is used");
        RemoveWorkDir(state);
        bool all_kept = true;
        for (ULONGLONG n = from; n <= from + kPlanted; ++n)
            if (n % 50 == 0) all_kept = all_kept && Exists(base + L"\\" + std::to_wstring(n) + L"\\theirs.bin");
        Check(all_kept, "no file in a taken folder is deleted");
        return;
    }
    Check(false, "the clock could not be caught on the planted names");
}

// Makes link a junction to target; false when this Wine cannot.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        std::printf("junction: made with CreateSymbolicLinkW\n");
        return true;
    }
    // FSCTL_SET_REPARSE_POINT with a mount point (junction) buffer.
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    HANDLE dir = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool ok = false;
    if (dir != INVALID_HANDLE_VALUE) {
        std::wstring substitute = L"\\??\\" + target;
        const USHORT sub_bytes = static_cast<USHORT>(substitute.size() * 2);
        const USHORT print_bytes = static_cast<USHORT>(target.size() * 2);
        std::vector<BYTE> buffer(8 + 8 + sub_bytes + 2 + print_bytes + 2, 0);
        auto put16 = [&](size_t at, USHORT v) { buffer[at] = v & 0xFF, buffer[at + 1] = v >> 8; };
        const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
        memcpy(buffer.data(), &tag, 4);
        put16(4, static_cast<USHORT>(buffer.size() - 8));
        put16(8, 0);
        put16(10, sub_bytes);
        put16(12, static_cast<USHORT>(sub_bytes + 2));
        put16(14, print_bytes);
        memcpy(buffer.data() + 16, substitute.c_str(), sub_bytes);
        memcpy(buffer.data() + 16 + sub_bytes + 2, target.c_str(), print_bytes);
        DWORD returned = 0;
        ok = DeviceIoControl(dir, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0,
                             &returned, nullptr) != 0;
        CloseHandle(dir);
    }
    if (!ok) RemoveDirectoryW(link.c_str());
    if (ok) std::printf("junction: made with FSCTL_SET_REPARSE_POINT\n");
    return ok;
}

// The held folder moved away (as if a rename had got through) and something
// else put under its name: the exit deletes nothing, neither there nor in
// the moved folder.
void SwappedFolder(bool junction) {
    std::wstring temp = FreshTemp(junction ? L"qn-workdir-probe-junction" : L"qn-workdir-probe-swap");
    std::wstring victim = temp + L"\\victim";
    CreateDirectoryW(victim.c_str(), nullptr);
    Touch(victim + L"\\precious.bin");
    AppState* state = GetAppState();
    *state = AppState{};
    if (CreateWorkDir(state) != 1) {
        Check(false, "CreateWorkDir makes a work folder to swap");
        return;
    }
    std::wstring work = W(state->szWorkDir);
    std::wstring moved = temp + L"\\moved";
    Touch(work + L"\\QuillonInfo.ini");
    // Let go of the folder, move it, and hold it again where it went: the
    // tool's handle names the same folder, its path now something else.
    CloseHandle(state->hWorkDir);
    state->hWorkDir = nullptr;
    if (!MoveFileW(work.c_str(), moved.c_str())) {
        Check(false, "the work folder can be moved once it is not held");
        return;
    }
    state->hWorkDir = CreateFileW(moved.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (junction) {
        if (!MakeJunction(work, victim)) {
            std::printf("note: this Wine makes no junctions (CreateSymbolicLinkW, FSCTL_SET_REPARSE_POINT); "
                        "the junction case is tested on the Linux host\n");
            CloseHandle(state->hWorkDir);
            state->hWorkDir = nullptr;
            return;
        }
    } else {
        CreateDirectoryW(work.c_str(), nullptr);
        Touch(work + L"\\planted.bin");
    }
    RemoveWorkDir(state);
    Check(state->hWorkDir == nullptr, "the exit lets go of the work folder");
    Check(Exists(victim + L"\\precious.bin"), junction ? "a junction swapped in: nothing deleted behind it"
                                                       : "the victim folder is untouched");
    Check(Exists(moved + L"\\QuillonInfo.ini"), "nothing deleted in the moved folder");
    if (!junction) Check(Exists(work + L"\\planted.bin"), "a folder swapped in: nothing deleted in it");
}

}  // namespace

int main() {
    std::vector<BYTE> user = UserSid();
    Check(!user.empty(), "the process's user SID is read");
    Protected(user);
    TakenNamesArePassedOver();
    SwappedFolder(false);
    SwappedFolder(true);
    std::printf("work dir probe: %d checks, %d failed\n", g_checks, g_failed);
    return g_failed ? 1 : 0;
}
