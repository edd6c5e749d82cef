// quillon-tool package lint: everything in a package that would make the
// tool refuse a drive, misread a value or misbehave. Errors fail the lint
// (and the build that embeds the package); warnings are reported only.
#include <cstring>
#include <string>
#include <vector>

#include "package/config.h"
#include "package/files.h"
#include "package/image.h"
#include "package/package_extract.h"
#include "platform/os.h"
#include "platform/wtext.h"
#include "tools/quillon-tool/config_commands.h"
#include "tools/quillon-tool/tool_commands.h"

namespace {

struct Lint {
    std::u16string dir;
    std::u16string ini;
    int errors = 0;
    int warnings = 0;
};

void Error(Lint* l, const WCH* format, const WCH* a = u"", const WCH* b = u"") {
    WCH text[1024];
    FormatW(text, 1024, format, a, b);
    ToolPrintLine(u"error: %s", text);
    ++l->errors;
}

void Warn(Lint* l, const WCH* format, const WCH* a = u"", const WCH* b = u"") {
    WCH text[1024];
    FormatW(text, 1024, format, a, b);
    ToolPrintLine(u"warning: %s", text);
    ++l->warnings;
}

// A value no file can hold, so an absent key can be told from an empty one.
const WCH kAbsent[] = u"\u0001absent\u0001";

bool ReadKey(const Lint& l, const WCH* section, const WCH* key, std::u16string* value, DWORD capacity = 2048) {
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

void CheckTitle(Lint* l) {
    std::u16string v;
    if (!ReadKey(*l, u"UPDATEINFO", u"TITLE", &v)) {
        Error(l, u"UPDATEINFO: TITLE is missing (the window shows \"Package Error\")");
        return;
    }
    if (v.size() > 259) Error(l, u"UPDATEINFO: TITLE is longer than 259 characters and is cut");
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
    if (bad) Error(l, u"UPDATEINFO: TITLE must be hexadecimal bytes separated by spaces (\"55 00 70 00\")");
    if (tokens > 100) Error(l, u"UPDATEINFO: TITLE has more than 100 bytes; the rest is ignored");
    if (tokens % 2) Warn(l, u"UPDATEINFO: TITLE has an odd number of bytes");
    if (tokens == 0) Warn(l, u"UPDATEINFO: TITLE is empty");
}

void CheckSocId(Lint* l) {
    std::u16string v;
    ReadKey(*l, u"UPDATEINFO", u"SOCID", &v);
    if (v.empty()) {
        Error(l, u"UPDATEINFO: SOCID is missing or empty: no drive is admitted");
        return;
    }
    if (v == u"*" || v == u"VELQORAX") return;
    bool ok = v.size() == 6 && v[0] == u'0' && v[1] == u'x';
    for (size_t i = 2; ok && i < 6; ++i) ok = IsUpperHex(v[i]);
    if (!ok)
        Error(l, u"UPDATEINFO: SOCID %s is none of \"*\", \"VELQORAX\" or 0x followed by four upper-case hex digits",
              v.c_str());
    if (v.size() > 63) Error(l, u"UPDATEINFO: SOCID is longer than 63 characters");
}

void CheckList(Lint* l, const WCH* key) {
    std::u16string v;
    ReadKey(*l, u"UPDATEINFO", key, &v);
    if (v.empty()) {
        Warn(l, WCompare(key, u"ModelName") == 0 ? u"UPDATEINFO: %s is empty: every model is admitted"
                                                 : u"UPDATEINFO: %s is empty: every revision may be updated",
             key);
        return;
    }
    if (v.size() > 259) Error(l, u"UPDATEINFO: %s is longer than 259 characters and is cut", key);
    if (v.size() < 2 || v.front() != u'|' || v.back() != u'|')
        Error(l, u"UPDATEINFO: %s must be written |a|b|: starting and ending with a bar", key);
    else if (v.find(u"||") != std::u16string::npos)
        Warn(l, u"UPDATEINFO: %s has an empty item (two bars in a row): an empty value matches", key);
}

bool IsDecimal(const std::u16string& v) {
    size_t i = (!v.empty() && (v[0] == u'-' || v[0] == u'+')) ? 1 : 0;
    if (i >= v.size()) return false;
    for (; i < v.size(); ++i)
        if (v[i] < u'0' || v[i] > u'9') return false;
    return v.size() < 11;
}

void CheckInt(Lint* l, const WCH* key, long low, long high) {
    std::u16string v;
    if (!ReadKey(*l, u"UPDATEINFO", key, &v)) return;
    if (!IsDecimal(v)) {
        Error(l, u"UPDATEINFO: %s=%s is not a plain decimal number", key, v.c_str());
        return;
    }
    long n = std::stol(std::string(v.begin(), v.end()));
    if (n < low || n > high) Error(l, u"UPDATEINFO: %s=%s is out of range", key, v.c_str());
}

void CheckMessages(Lint* l) {
    for (const WCH* key : {u"BeforeMessage", u"AfterMessage"}) {
        std::u16string v;
        ReadKey(*l, u"UPDATEINFO", key, &v);
        if (v.size() > 999) Error(l, u"UPDATEINFO: %s is longer than 999 characters and is cut", key);
        std::u16string lower = v;
        for (WCH& c : lower) c = (c >= u'A' && c <= u'Z') ? WCH(c + 32) : c;
        size_t all = 0, upper = 0;
        for (size_t p = lower.find(u"<br>"); p != std::u16string::npos; p = lower.find(u"<br>", p + 1)) ++all;
        for (size_t p = v.find(u"<BR>"); p != std::u16string::npos; p = v.find(u"<BR>", p + 1)) ++upper;
        if (all != upper) Warn(l, u"UPDATEINFO: %s has a line break not written <BR> in capitals; it is shown as is", key);
    }
    std::u16string nv;
    ReadKey(*l, u"UPDATEINFO", u"NEWVERSION", &nv);
    if (nv.empty()) Warn(l, u"UPDATEINFO: NEWVERSION is empty: the drive's configured version is erased");
    else if (nv.size() > 8 && WCompareNoCase(nv.c_str(), u"KEEP") != 0)
        Warn(l, u"UPDATEINFO: NEWVERSION %s is longer than 8 characters; only 8 are written", nv.c_str());
}

// A key the tool does not read is most often a misspelt one: the value the
// author meant then never takes effect.
void CheckUnknownKeys(Lint* l) {
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
        if (!known) Warn(l, u"UPDATEINFO: key %s is not one the tool reads (misspelt?)", k);
    }
}

// The tool reads only files at the top of the package; a sub-folder is never
// used and keeps the work directory from being removed at exit.
void CheckFolders(Lint* l) {
    os::FindData found;
    std::u16string pattern = l->dir + u"\\*";
    HANDLE find = os::FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (WCompare(found.cFileName, u".") == 0 || WCompare(found.cFileName, u"..") == 0) continue;
        Warn(l, u"folder %s is not at the top level: the tool never reads it, and the work directory is left "
                u"behind at exit",
             found.cFileName);
    } while (os::FindNextFileW(find, &found));
    os::FindClose(find);
}

void CheckImage(Lint* l, const std::u16string& name, const std::u16string& path) {
    std::vector<BYTE> img;
    if (!ToolReadFile(path.c_str(), &img)) {
        Error(l, u"%s: cannot be read", name.c_str());
        return;
    }
    WCH version[32];
    ReadImageVersionFromBytes(img.data(), img.size(), version);
    if (img.size() < 4 || GetLe32(img.data()) != image::kMagic) {
        Error(l, u"%s: no CMFG magic: no checksum, configuration block or build number", name.c_str());
    } else if (!GetImageLayout(img.data(), img.size(), nullptr)) {
        Error(l, u"%s: a region or the trailer page lies outside the file", name.c_str());
    } else if (ToolChecksumVariant(img.data(), img.size()) < 0) {
        Error(l, u"%s: the checksum matches neither CRC-32C nor CRC-32", name.c_str());
    }
    if (!version[0]) Error(l, u"%s: no version text the tool can read", name.c_str());
    else ToolPrintLine(u"image %s: version %s", name.c_str(), version);
}

void CheckNandMap(Lint* l) {
    std::vector<WCH> keys(16384);
    DWORD n = os::GetPrivateProfileStringW(u"NandMap", nullptr, u"", keys.data(), DWORD(keys.size()), l->ini.c_str());
    if (n == 0) {
        Error(l, u"NandMap: no entries: no drive can find an image");
        return;
    }
    std::vector<std::u16string> seen;
    for (const WCH* k = keys.data(); *k; k += WLen(k) + 1) {
        std::u16string key = k;
        size_t us = key.find(u'_');
        bool ok = us == 12 || us == 10;
        for (size_t i = 0; ok && i < us; ++i) ok = IsHex(key[i]);
        ok = ok && key.size() == us + 2 && (key[us + 1] == u'1' || key[us + 1] == u'2');
        if (!ok) Error(l, u"NandMap: key %s is neither 12 nor 10 hex digits followed by _1 or _2", key.c_str());
        std::u16string folded = key;
        for (WCH& c : folded) c = (c >= u'a' && c <= u'z') ? WCH(c - 32) : c;
        bool duplicate = false;
        for (const std::u16string& s : seen) duplicate |= s == folded;
        if (duplicate) Warn(l, u"NandMap: key %s appears more than once; the first wins", key.c_str());
        seen.push_back(folded);
        std::u16string value;
        ReadKey(*l, u"NandMap", key.c_str(), &value, 260);
        if (value.empty()) {
            Error(l, u"NandMap: %s has no file name", key.c_str());
            continue;
        }
        if (!IsPlainFileName(value.c_str())) {
            Error(l, u"NandMap: %s=%s is not a plain file name", key.c_str(), value.c_str());
            continue;
        }
        std::u16string path = l->dir + u"\\" + value;
        if (!PathExists(path.c_str())) {
            Warn(l, u"NandMap: %s=%s names no file in the package (a placeholder: such drives are refused)",
                 key.c_str(), value.c_str());
            continue;
        }
        CheckImage(l, value, path);
    }
}

int LintDirectory(Lint* l) {
    l->ini = l->dir + u"\\QuillonInfo.ini";
    if (!PathExists(l->ini.c_str())) {
        Error(l, u"QuillonInfo.ini is missing: every key takes its default and no drive is admitted");
        return 0;
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
    CheckUnknownKeys(l);
    CheckNandMap(l);
    return 1;
}

struct ZipReport {
    Lint* lint;
};

// Room a name has in a 260-character path below a temporary folder of about
// 80 characters, "\\Quillon" and the tick count.
constexpr size_t kLongName = 160;

bool IsNameSeparator(WCH c) { return c == u'\\' || c == u'/'; }

// Why the reader refuses an entry by its (cleaned) name, or null when the
// name is not the reason. The reader writes nothing for a name with a "." or
// ".." component, a colon or a character Windows forbids in file names.
const WCH* NameRefusal(const WCH* name) {
    if (name[0] == 0) return u"its name is empty";
    const WCH* start = name;
    for (const WCH* p = name;; ++p) {
        if (*p == 0 || IsNameSeparator(*p)) {
            bool dots = p != start;
            for (const WCH* q = start; q != p; ++q) dots &= *q == u'.' || *q == u' ';
            if (dots && p - start == 1)
                return u"its name has a \".\" component (an archive made from \".\" names its entries \"./x\": "
                       u"add the files by name)";
            if (dots) return u"its name has a \"..\" component: it would lead out of the work directory";
            if (*p == 0) break;
            start = p + 1;
            continue;
        }
        if (*p == u':') return u"its name holds a colon (a drive or a stream)";
        if (*p < 0x20 || *p == u'<' || *p == u'>' || *p == u'"' || *p == u'|' || *p == u'?' || *p == u'*')
            return u"its name holds a character Windows forbids in file names";
    }
    return nullptr;
}

// Entries the reader refuses are errors (the file is missing at start-up);
// entries below the top level are warnings: the tool reads only top-level
// files, and a sub-folder keeps the work directory from being removed at exit.
void ReportEntry(const ZipEntryInfo* info, ZRESULT described, ZRESULT extracted, void* context) {
    Lint* l = static_cast<ZipReport*>(context)->lint;
    if (described == ZR_OK && extracted == ZR_OK) {
        const size_t n = WLen(info->name);
        bool nested = (info->attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
        for (size_t i = 0; i < n; ++i) nested |= IsNameSeparator(info->name[i]);
        if (nested)
            Warn(l, u"zip entry %s is not at the top level: the tool never reads it, and the work directory "
                    u"is left behind at exit",
                 info->name);
        else if (n > kLongName)
            Warn(l, u"zip entry %s has a long name: under a deep temporary folder its path passes 259 characters "
                    u"and the entry is refused",
                 info->name);
        return;
    }
    const ZRESULT code = extracted != ZR_OK ? extracted : described;
    WCH text[128];
    ZipResultText(code, text, 128);
    WCH why[512];
    const WCH* reason = code == ZR_NOFILE ? NameRefusal(info->name) : nullptr;
    if (reason != nullptr) FormatW(why, 512, u"%s; %08X %s", reason, code, text);
    else FormatW(why, 512, u"%08X %s", code, text);
    Error(l, u"zip entry %s cannot be extracted: %s", info->name, why);
}

// The lint's own scratch copy, sub-folders included (the application's exit
// deliberately leaves sub-folders; the lint should not leave litter behind).
void RemoveTree(const std::u16string& dir) {
    os::FindData found;
    std::u16string pattern = dir + u"\\*";
    HANDLE find = os::FindFirstFileW(pattern.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (WCompare(found.cFileName, u".") == 0 || WCompare(found.cFileName, u"..") == 0) continue;
            std::u16string path = dir + u"\\" + found.cFileName;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else os::DeleteFileW(path.c_str());
        } while (os::FindNextFileW(find, &found));
        os::FindClose(find);
    }
    os::RemoveDirectoryW(dir.c_str());
}

bool EndsWithNoCase(const WCH* text, const WCH* tail) {
    size_t a = WLen(text), b = WLen(tail);
    return a >= b && WCompareNoCase(text + a - b, tail) == 0;
}

}  // namespace

int ToolPackageLint(int argc, const WCH* const* argv) {
    if (argc != 1) {
        ToolErrorLine(u"usage: quillon-tool package lint PACKAGE.zip|DIR");
        return kToolUsage;
    }
    Lint l;
    WCH scratch[260] = {};
    if (EndsWithNoCase(argv[0], u".zip")) {
        WCH temp[260];
        temp[0] = 0;
        GetTempDir(temp, 260);
        if (temp[0] == 0) {
            ToolErrorLine(u"no temporary folder to unpack the package into");
            return kToolFailed;
        }
        // A folder this run creates itself: two lints at once (the clock of
        // a test host starts at the same tick) never share or delete each
        // other's copy.
        const ULONGLONG tick = os::GetTickCount64();
        bool created = false;
        for (ULONGLONG n = tick; !created && n < tick + 1000; ++n) {
            if (FormatW(scratch, 260, u"%s\\quillon-lint-%I64u", temp, n) < 0) break;
            created = os::CreateDirectoryW(scratch) != 0;
        }
        if (!created) {
            ToolErrorLine(u"cannot create a scratch folder in %s", temp);
            return kToolFailed;
        }
        ZipReport report{&l};
        int failed = 0;
        if (UnzipAll(argv[0], scratch, &failed, ReportEntry, &report) != ZR_OK) {
            Error(&l, u"%s is not a zip archive the tool can open", argv[0]);
        } else {
            l.dir = scratch;
            LintDirectory(&l);
        }
        RemoveTree(scratch);
    } else {
        l.dir = argv[0];
        CheckFolders(&l);
        LintDirectory(&l);
    }
    ToolPrintLine(u"%s: %d errors, %d warnings", argv[0], l.errors, l.warnings);
    return l.errors ? kToolFailed : kToolOk;
}
