// Version texts and build numbers of image files, and the version compare.
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/text_search.h"
#include "package/files.h"
#include "package/image.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

// A file read whole into committed pages of its own size; size 0 when the
// file is missing, empty or unreadable.
struct FileBlock {
    BYTE* data;
    size_t size;
};

FileBlock LoadFile(const WCH* path) {
    FileBlock b{nullptr, 0};
    DWORD size = ReadWholeFile(path, 0, nullptr);
    if (size == 0) return b;
    void* mem = os::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!mem) return b;
    DWORD got = ReadWholeFile(path, size, mem);
    if (got != size) {
        os::VirtualFree(mem, 0, MEM_RELEASE);
        return b;
    }
    b.data = static_cast<BYTE*>(mem);
    b.size = size;
    return b;
}

void FreeFile(FileBlock* b) {
    if (b->data) os::VirtualFree(b->data, 0, MEM_RELEASE);
    b->data = nullptr;
    b->size = 0;
}

int IsAsciiAlnum(BYTE c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// One two-byte version part: a leading zero byte means a one-character part
// (the second byte); otherwise both bytes, ending early at a zero byte.
void PartText(const BYTE* p, char* out) {
    size_t n = 0;
    if (p[0] == 0) {
        if (p[1]) out[n++] = char(p[1]);
    } else {
        out[n++] = char(p[0]);
        if (p[1]) out[n++] = char(p[1]);
    }
    out[n] = 0;
}

// The version text of the trailer page: dotted when it fits in 8
// characters, else the compact form with every part two characters wide
// (a one-character part padded with a leading '0').
void TrailerVersion(const BYTE* v, WCH* out, size_t capacity) {
    char parts[4][3];
    for (int i = 0; i < 4; ++i) PartText(v + 2 * i, parts[i]);
    char dotted[16];
    snprintf(dotted, sizeof dotted, "%s.%s.%s.%s", parts[0], parts[1], parts[2], parts[3]);
    if (strlen(dotted) <= 8) {
        WidenAnsi(out, capacity, dotted, sizeof dotted);
        return;
    }
    char compact[9];
    size_t n = 0;
    for (int i = 0; i < 4; ++i) {
        size_t len = strlen(parts[i]);
        for (size_t k = len; k < 2; ++k) compact[n++] = '0';
        for (size_t k = 0; k < len; ++k) compact[n++] = parts[i][k];
    }
    compact[n] = 0;
    WidenAnsi(out, capacity, compact, sizeof compact);
}

// Looks through the bytes for a dotted version "a.b.c.d" in an 8-byte window
// that starts one byte before a dot. Only windows wholly inside the data are
// read.
void ScanForVersion(const BYTE* data, size_t size, WCH* out, size_t capacity) {
    size_t pos = 0;
    while (pos < size) {
        const void* hit = memchr(data + pos, '.', size - pos);
        if (!hit) return;
        size_t dot = size_t(static_cast<const BYTE*>(hit) - data);
        if (dot >= 1 && dot - 1 + 8 <= size) {
            const BYTE* w = data + dot - 1;
            int dots = 0;
            for (int i = 0; i < 8; ++i) {
                if (w[i] == '.') {
                    if (i > 0 && w[i - 1] == '.') break;
                    ++dots;
                } else if (!IsAsciiAlnum(w[i])) {
                    break;
                }
            }
            if (dots == 3) {
                WidenAnsi(out, capacity, reinterpret_cast<const char*>(w), 8);
                TrimBlanks(out);
                return;
            }
        } else if (dot >= 1) {
            return;  // every later window would run past the end too
        }
        pos = dot + 7;
    }
}

int VersionFromBytes(const BYTE* data, size_t size, WCH* out, bool log) {
    const size_t kOut = 32;
    out[0] = 0;
    ImageLayout layout;
    if (GetImageLayout(data, size, &layout)) {
        TrailerVersion(data + layout.trailer + image::kTrailerVersion, out, kOut);
        if (log) LogMsg(u"%s", out);
    }
    if (WLen(out) <= 6) {
        out[0] = 0;
        if (data) ScanForVersion(data, size, out, kOut);
    }
    return out[0] != 0;
}

}  // namespace

int ReadImageVersionFromBytes(const BYTE* data, size_t size, WCH* out) { return VersionFromBytes(data, size, out, true); }

void GetImageFacts(const BYTE* data, size_t size, ImageCheckFacts* out) {
    out->size = size;
    VersionFromBytes(data, size, out->version, false);
    out->ftl_build = 0;
    ImageLayout layout;
    if (GetImageLayout(data, size, &layout)) out->ftl_build = GetLe32(data + layout.trailer + image::kTrailerFtlBuild);
}

int ReadImageVersion(const WCH* path, WCH* out) {
    FileBlock b = LoadFile(path);
    int found = ReadImageVersionFromBytes(b.data, b.size, out);
    FreeFile(&b);
    return found;
}

int CompareVersionParts(const WCH* drive_version, int parts, const WCH* path, WCH* out_image_version) {
    WCH image_version[32];
    ReadImageVersion(path, image_version);
    WCopy(out_image_version, 32, image_version);
    return CompareVersionText(drive_version, parts, image_version);
}

int CompareVersionText(const WCH* drive_version, int parts, const WCH* image_version) {
    WCH drive_copy[32];
    WCH image_copy[32];
    WCopy(drive_copy, 32, drive_version);
    WCopy(image_copy, 32, image_version);

    long cut = -1;
    bool dotted = false;
    for (size_t i = 0; drive_version[i]; ++i)
        if (drive_version[i] == u'.') dotted = true;
    if (dotted) {
        int dots = 0;
        for (int i = 0; i < 8 && drive_version[i]; ++i) {
            if (drive_version[i] == u'.' && ++dots == parts) {
                cut = i;
                break;
            }
        }
    } else {
        cut = 2L * parts;
    }
    // A cut outside the copies (large or negative part counts) compares the
    // whole texts.
    if (cut >= 0 && cut < 32) {
        drive_copy[cut] = 0;
        image_copy[cut] = 0;
    }
    if (WCompare(drive_copy, image_copy) == 0) return 1;
    LogMsg(u"DrvInfoVersion = %s, BinFWVersion = %s, iCheckPart = %d", drive_version, image_version, parts);
    return 0;
}

uint32_t ReadFtlBuildNum(const WCH* path) {
    FileBlock b = LoadFile(path);
    uint32_t build = 0;
    ImageLayout layout;
    if (GetImageLayout(b.data, b.size, &layout)) build = GetLe32(b.data + layout.trailer + image::kTrailerFtlBuild);
    FreeFile(&b);
    return build;
}
