// The package lint's checks of a package folder: QuillonInfo.ini key by key,
// the NandMap and the images it names, and the folder's own layout.
#include <string>
#include <vector>

#include "package/config.h"
#include "package/files.h"
#include "package/image.h"
#include "platform/os.h"
#include "platform/wtext.h"
#include "tools/package-lint/lint_files.h"
#include "tools/package-lint/package_lint.h"

void LintError(PackageLint* l, const WCH* format, const WCH* a, const WCH* b) {
    WCH text[1024];
    FormatW(text, 1024, format, a, b);
    l->findings.push_back({LintFinding::kError, text, u""});
    ++l->errors;
}

void LintWarn(PackageLint* l, const WCH* format, const WCH* a, const WCH* b) {
    WCH text[1024];
    FormatW(text, 1024, format, a, b);
    l->findings.push_back({LintFinding::kWarning, text, u""});
    ++l->warnings;
}

namespace {

// A value no file can hold, so an absent key can be told from an empty one.
const WCH kAbsent[] = u"\u0001absent\u0001";

bool ReadKey(const PackageLint& l, const WCH* section, const WCH* key, std::u16string* value, DWORD capacity = 2048) {
    std::vector<WCH> buffer(capacity);
    os::GetPrivateProfileStringW(section, key, kAbsent, buffer.data(), capacity, l.ini.c_str());
    *value = buffer.data();
    if (*value == kAbsent) {
        value->clear();
        return false;
    }
    return true;
}

bool IsHex(WCH c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }
bool IsUpperHex(WCH c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); }

void CheckTitle(PackageLint* l) {
    std::u16string v;
    if (!ReadKey(*l, u"UPDATEINFO", u"TITLE", &v)) {
        LintError(l, u"UPDATEINFO: TITLE is missing (the window shows \"Package Error\")");
        return;
    }
    if (v.size() > 259) LintError(l, u"UPDATEINFO: TITLE is longer than 259 characters and is cut");
    size_t tokens = 0;
    bool bad = false;
    for (size_t i = 0; i < v.size();) {
        if (v[i] == u' ') {
            ++i;
            continue;
        }
        size_t n = 0;
        while (i + n < v.size() && v[i + n] != u' ') ++n;
        if (n > 2) bad = true;
        for (size_t k = 0; k < n; ++k) bad |= !IsHex(v[i + k]);
        ++tokens;
        i += n;
    }
    if (bad) LintError(l, u"UPDATEINFO: TITLE must be hexadecimal bytes separated by spaces (\"55 00 70 00\")");
    if (tokens > 100) LintError(l, u"UPDATEINFO: TITLE has more than 100 bytes; the rest is ignored");
    if (tokens % 2) LintWarn(l, u"UPDATEINFO: TITLE has an odd number of bytes");
    if (tokens == 0) LintWarn(l, u"UPDATEINFO: TITLE is empty");
}

void CheckSocId(PackageLint* l) {
    std::u16string v;
    ReadKey(*l, u"UPDATEINFO", u"SOCID", &v);
    if (v.empty()) {
        LintError(l, u"UPDATEINFO: SOCID is missing or empty: no drive is admitted");
        return;
    }
    if (v == u"*" || v == u"VELQORAX") return;
    bool ok = v.size() == 6 && v[0] == u'0' && v[1] == u'x';
    for (size_t i = 2; ok && i < 6; ++i) ok = IsUpperHex(v[i]);
    if (!ok)
        LintError(l, u"UPDATEINFO: SOCID %s is none of \"*\", \"VELQORAX\" or 0x followed by four upper-case hex digits",
                  v.c_str());
    if (v.size() > 63) LintError(l, u"UPDATEINFO: SOCID is longer than 63 characters");
}

void CheckList(PackageLint* l, const WCH* key) {
    std::u16string v;
    ReadKey(*l, u"UPDATEINFO", key, &v);
    if (v.empty()) {
        LintWarn(l, WCompare(key, u"ModelName") == 0 ? u"UPDATEINFO: %s is empty: every model is admitted"
                                                     : u"UPDATEINFO: %s is empty: every revision may be updated",
                 key);
        return;
    }
    if (v.size() > 259) LintError(l, u"UPDATEINFO: %s is longer than 259 characters and is cut", key);
    if (v.size() < 2 || v.front() != u'|' || v.back() != u'|')
        LintError(l, u"UPDATEINFO: %s must be written |a|b|: starting and ending with a bar", key);
    else if (v.find(u"||") != std::u16string::npos)
        LintWarn(l, u"UPDATEINFO: %s has an empty item (two bars in a row): an empty value matches", key);
}

bool IsDecimal(const std::u16string& v) {
    size_t i = (!v.empty() && (v[0] == u'-' || v[0] == u'+')) ? 1 : 0;
    if (i >= v.size()) return false;
    for (; i < v.size(); ++i)
        if (v[i] < u'0' || v[i] > u'9') return false;
    return v.size() < 11;
}

void CheckInt(PackageLint* l, const WCH* key, long low, long high) {
    std::u16string v;
    if (!ReadKey(*l, u"UPDATEINFO", key, &v)) return;
    if (!IsDecimal(v)) {
        LintError(l, u"UPDATEINFO: %s=%s is not a plain decimal number", key, v.c_str());
        return;
    }
    long n = std::stol(std::string(v.begin(), v.end()));
    if (n < low || n > high) LintError(l, u"UPDATEINFO: %s=%s is out of range", key, v.c_str());
}

void CheckMessages(PackageLint* l) {
    for (const WCH* key : {u"BeforeMessage", u"AfterMessage"}) {
        std::u16string v;
        ReadKey(*l, u"UPDATEINFO", key, &v);
        if (v.size() > 999) LintError(l, u"UPDATEINFO: %s is longer than 999 characters and is cut", key);
        std::u16string lower = v;
        for (WCH& c : lower) c = (c >= u'A' && c <= u'Z') ? WCH(c + 32) : c;
        size_t all = 0, upper = 0;
        for (size_t p = lower.find(u"<br>"); p != std::u16string::npos; p = lower.find(u"<br>", p + 1)) ++all;
        for (size_t p = v.find(u"<BR>"); p != std::u16string::npos; p = v.find(u"<BR>", p + 1)) ++upper;
        if (all != upper) LintWarn(l, u"UPDATEINFO: %s has a line break not written <BR> in capitals; it is shown as is", key);
    }
    std::u16string nv;
    ReadKey(*l, u"UPDATEINFO", u"NEWVERSION", &nv);
    if (nv.empty()) LintWarn(l, u"UPDATEINFO: NEWVERSION is empty: the drive's configured version is erased");
    else if (nv.size() > 8 && WCompareNoCase(nv.c_str(), u"KEEP") != 0)
        LintWarn(l, u"UPDATEINFO: NEWVERSION %s is longer than 8 characters; only 8 are written", nv.c_str());
}

// The tool reads QuillonInfo.ini without a byte-order mark in the system
// code page, so UTF-8 text in a value the window shows comes out garbled.
// Found in the raw bytes: the profile reader has already widened them.
void CheckShownText(PackageLint* l) {
    std::vector<BYTE> raw;
    if (!ToolReadFile(l->ini.c_str(), &raw)) return;
    const size_t n = raw.size();
    if ((n >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF) ||
        (n >= 2 && ((raw[0] == 0xFF && raw[1] == 0xFE) || (raw[0] == 0xFE && raw[1] == 0xFF))))
        return;  // a marked encoding is read as such
    std::u16string section;
    for (size_t line = 0; line < n;) {
        size_t end = line;
        while (end < n && raw[end] != '\n') ++end;
        size_t a = line;
        while (a < end && (raw[a] == ' ' || raw[a] == '\t')) ++a;
        if (a < end && raw[a] == '[') {
            section.clear();
            for (size_t k = a + 1; k < end && raw[k] != ']'; ++k) section += WCH(raw[k]);
        } else if (WCompareNoCase(section.c_str(), u"UPDATEINFO") == 0) {
            size_t equals = a;
            while (equals < end && raw[equals] != '=') ++equals;
            std::u16string key;
            for (size_t k = a; k < equals; ++k) key += WCH(raw[k]);
            while (!key.empty() && (key.back() == u' ' || key.back() == u'\t')) key.pop_back();
            bool shown = false;
            for (const WCH* name : {u"TITLE", u"BeforeMessage", u"AfterMessage"})
                shown |= WCompareNoCase(key.c_str(), name) == 0;
            for (size_t k = equals + 1; shown && k < end; ++k) {
                if (raw[k] < 0x80) continue;
                // What the window shows: the value's first bytes as the code page widens them.
                WCH garbled[48];
                const size_t from = k - equals - 1 > 16 ? k - 16 : equals + 1;
                WidenAnsi(garbled, 48, reinterpret_cast<const char*>(raw.data() + from), end - from < 40 ? end - from : 40);
                for (WCH* g = garbled; *g; ++g)
                    if (*g == u'\r') *g = 0;
                WCH offset[16];
                FormatW(offset, 16, u"%u", unsigned(k));
                WCH text[400];
                FormatW(text, 400,
                        u"UPDATEINFO: %s has non-ASCII text at byte offset %s of QuillonInfo.ini: the tool reads the "
                        u"file in the system code page, so UTF-8 shows as \"%s\"; write ASCII, or save the file "
                        u"as UTF-16 with a byte-order mark",
                        key.c_str(), offset, garbled);
                LintWarn(l, u"%s", text);
                break;
            }
        }
        line = end + 1;
    }
}

// KEEP is honoured only where the tool patches a configuration image's
// block; on an NVMe drive without vendor drive information the version
// goes through the MP-information block as written.
void CheckKeepWithPlainImages(PackageLint* l) {
    std::u16string nv, sata;
    ReadKey(*l, u"UPDATEINFO", u"NEWVERSION", &nv);
    ReadKey(*l, u"UPDATEINFO", u"bIsSATA", &sata);
    if (WCompareNoCase(nv.c_str(), u"KEEP") != 0 || sata == u"1" || !l->plain_image) return;
    LintWarn(l, u"UPDATEINFO: NEWVERSION=%s with plain image %s (not a configuration image): the drive is given the "
                u"text \"KEEP\" as its version instead of keeping the one it has",
             nv.c_str(), l->plain_name.c_str());
}

// A key the tool does not read is most often a misspelt one: the value the
// author meant then never takes effect.
void CheckUnknownKeys(PackageLint* l) {
    static const WCH* const kKeys[] = {u"TITLE",
                                       u"SOCID",
                                       u"ModelName",
                                       u"FWVersion",
                                       u"NEWVERSION",
                                       u"iInternalFWVersionCheckPart",
                                       u"bIsSATA",
                                       u"bRemoveFtlBuildNumCheck",
                                       u"bSetVersionBeforeQuillon",
                                       u"BeforeMessage",
                                       u"AfterMessage",
                                       u"PowerCtrl"};
    std::vector<WCH> keys(16384);
    os::GetPrivateProfileStringW(u"UPDATEINFO", nullptr, u"", keys.data(), DWORD(keys.size()), l->ini.c_str());
    for (const WCH* k = keys.data(); *k; k += WLen(k) + 1) {
        bool known = false;
        for (const WCH* name : kKeys) known |= WCompareNoCase(k, name) == 0;
        if (!known) LintWarn(l, u"UPDATEINFO: key %s is not one the tool reads (misspelt?)", k);
    }
}

// The tool reads only files at the top of the package; a sub-folder is never
// used and keeps the work directory from being removed at exit.
void CheckFolders(PackageLint* l) {
    os::FindData found;
    std::u16string pattern = l->dir + u"\\*";
    HANDLE find = os::FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (WCompare(found.cFileName, u".") == 0 || WCompare(found.cFileName, u"..") == 0) continue;
        LintWarn(l, u"folder %s is not at the top level: the tool never reads it, and the work directory is left "
                    u"behind at exit",
                 found.cFileName);
    } while (os::FindNextFileW(find, &found));
    os::FindClose(find);
}

void CheckImage(PackageLint* l, const std::u16string& name, const std::u16string& path) {
    // The reader's own block, not a copy: quillon-sim lints before its run,
    // and an image held twice would double the run's peak memory.
    ImageFile file;
    uint64_t file_size = 0;
    if (ReadPlainFile(path.c_str(), kMaxImageFile, &file, &file_size) != kPlainFileRead) {
        FreeImageFile(&file);
        LintError(l, u"%s: cannot be read", name.c_str());
        return;
    }
    const BYTE* img = file.data;
    const size_t img_size = file.size;
    WCH version[32];
    ReadImageVersionFromBytes(img, img_size, version);
    if (img_size < 4 || GetLe32(img) != image::kMagic) {
        if (!l->plain_image) l->plain_name = name;
        l->plain_image = true;
        LintError(l, u"%s: no CMFG magic: no checksum, configuration block or build number", name.c_str());
    } else if (!GetImageLayout(img, img_size, nullptr)) {
        LintError(l, u"%s: a region or the trailer page lies outside the file", name.c_str());
    } else if (ToolChecksumVariant(img, img_size) < 0) {
        LintError(l, u"%s: the checksum matches neither CRC-32C nor CRC-32", name.c_str());
    }
    FreeImageFile(&file);
    if (!version[0]) LintError(l, u"%s: no version text the tool can read", name.c_str());
    else l->findings.push_back({LintFinding::kImage, name, version});
}

void CheckNandMap(PackageLint* l) {
    std::vector<WCH> keys(16384);
    DWORD n = os::GetPrivateProfileStringW(u"NandMap", nullptr, u"", keys.data(), DWORD(keys.size()), l->ini.c_str());
    if (n == 0) {
        LintError(l, u"NandMap: no entries: no drive can find an image");
        return;
    }
    std::vector<std::u16string> seen;
    for (const WCH* k = keys.data(); *k; k += WLen(k) + 1) {
        std::u16string key = k;
        size_t us = key.find(u'_');
        bool ok = us == 12 || us == 10;
        for (size_t i = 0; ok && i < us; ++i) ok = IsHex(key[i]);
        ok = ok && key.size() == us + 2 && (key[us + 1] == u'1' || key[us + 1] == u'2');
        if (!ok) LintError(l, u"NandMap: key %s is neither 12 nor 10 hex digits followed by _1 or _2", key.c_str());
        std::u16string folded = key;
        for (WCH& c : folded) c = (c >= u'a' && c <= u'z') ? WCH(c - 32) : c;
        bool duplicate = false;
        for (const std::u16string& s : seen) duplicate |= s == folded;
        if (duplicate) LintWarn(l, u"NandMap: key %s appears more than once; the first wins", key.c_str());
        seen.push_back(folded);
        std::u16string value;
        ReadKey(*l, u"NandMap", key.c_str(), &value, 260);
        if (value.empty()) {
            LintError(l, u"NandMap: %s has no file name", key.c_str());
            continue;
        }
        if (!IsPlainFileName(value.c_str())) {
            LintError(l, u"NandMap: %s=%s is not a plain file name", key.c_str(), value.c_str());
            continue;
        }
        std::u16string path = l->dir + u"\\" + value;
        if (!PathExists(path.c_str())) {
            LintWarn(l, u"NandMap: %s=%s names no file in the package (a placeholder: such drives are refused)",
                     key.c_str(), value.c_str());
            continue;
        }
        CheckImage(l, value, path);
    }
}

}  // namespace

void LintPackageFiles(PackageLint* l) {
    l->ini = l->dir + u"\\QuillonInfo.ini";
    if (!PathExists(l->ini.c_str())) {
        LintError(l, u"QuillonInfo.ini is missing: every key takes its default and no drive is admitted");
        return;
    }
    CheckTitle(l);
    CheckSocId(l);
    CheckList(l, u"ModelName");
    CheckList(l, u"FWVersion");
    CheckInt(l, u"iInternalFWVersionCheckPart", 0, 4);
    CheckInt(l, u"bIsSATA", 0, 1);
    CheckInt(l, u"bRemoveFtlBuildNumCheck", 0, 1);
    CheckInt(l, u"bSetVersionBeforeQuillon", 0, 1);
    CheckInt(l, u"PowerCtrl", 0, 2);
    CheckMessages(l);
    CheckShownText(l);
    CheckUnknownKeys(l);
    CheckNandMap(l);
    CheckKeepWithPlainImages(l);
}

void LintPackageFolder(const WCH* dir, PackageLint* l) {
    l->dir = dir;
    CheckFolders(l);
    LintPackageFiles(l);
}
