// GetPrivateProfileStringW and GetPrivateProfileIntW on the Linux host: the
// file is read whole through the host's own file functions (so paths mean
// the same as everywhere else) and parsed by profile_parse_linux.cpp.
#include <vector>

#include "platform/host/profile_parse.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

enum ReadResult { kRead, kNoFile, kFailed };

ReadResult ReadProfileFile(const WCH* path, std::vector<BYTE>* bytes) {
    HANDLE file = os::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return os::GetLastError() == ERROR_FILE_NOT_FOUND ? kNoFile : kFailed;
    DWORD size = os::GetFileSize(file, nullptr);
    ReadResult result = kRead;
    if (size == 0xFFFFFFFFu) {
        result = kFailed;
    } else {
        bytes->resize(size);
        DWORD got = 0;
        if (size && (!os::ReadFile(file, bytes->data(), size, &got) || got != size)) result = kFailed;
    }
    os::CloseHandle(file);
    return result;
}

}  // namespace

namespace os {

DWORD GetPrivateProfileStringW(const WCH* section, const WCH* key, const WCH* fallback, WCH* out, DWORD capacity,
                               const WCH* file) {
    if (!out || capacity == 0) return 0;
    // Trailing spaces of the default are dropped before anything else.
    WCH trimmed[1024];
    const WCH* def = fallback ? fallback : u"";
    size_t n = WLen(def);
    if (n < sizeof trimmed / sizeof trimmed[0]) {
        while (n > 1 && def[n - 1] == u' ') --n;  // a lone blank stays, as on Windows
        for (size_t i = 0; i < n; ++i) trimmed[i] = def[i];
        trimmed[n] = 0;
        def = trimmed;
    }
    std::vector<BYTE> bytes;
    switch (ReadProfileFile(file, &bytes)) {
        case kRead:
            return host::ProfileGetString(bytes.data(), bytes.size(), section, key, def, out, capacity);
        case kNoFile:
            // A file that does not exist reads as an empty profile.
            return host::ProfileGetString(nullptr, 0, section, key, def, out, capacity);
        case kFailed:
        default:
            // An unreadable file gives the default as it stands.
            WCopy(out, capacity, def);
            return DWORD(WLen(out));
    }
}

UINT GetPrivateProfileIntW(const WCH* section, const WCH* key, int fallback, const WCH* file) {
    // The value is read into 30 units, so longer numbers are cut first.
    WCH text[30];
    if (GetPrivateProfileStringW(section, key, u"", text, 30, file) == 0) return UINT(fallback);
    return host::ProfileTextToInt(text);
}

}  // namespace os
