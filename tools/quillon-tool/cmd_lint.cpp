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
#include "tools/quillon-tool/pe_resource.h"
#include "tools/quillon-tool/tool_args.h"
#include "tools/quillon-tool/tool_commands.h"
#include "tools/quillon-tool/zip_methods.h"

namespace {

// One line of the report, in the order it was found.
struct Finding {
    enum Kind { kError, kWarning, kNote, kImage } kind;
    std::u16string text;     // the message; for kImage the file name
    std::u16string version;  // kImage: the version the tool reads
};

struct Lint {
    std::u16string dir;
    std::u16string ini;
    std::vector<unsigned> methods;  // per zip entry, when linting a zip
    bool plain_image = false;       // an image without the CMFG magic
    std::u16string plain_name;
    int errors = 0;
    int warnings = 0;
    std::vector<Finding> findings;
};

void Error(Lint* l, const WCH* format, const WCH* a = u"", const WCH* b = u"") {
    WCH text[1024];
    FormatW(text, 1024, format, a, b);
    l->findings.push_back({Finding::kError, text, u""});
    ++l->errors;
}

void Warn(Lint* l, const WCH* format, const WCH* a = u"", const WCH* b = u"") {
    WCH text[1024];
    FormatW(text, 1024, format, a, b);
    l->findings.push_back({Finding::kWarning, text, u""});
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

// The tool reads QuillonInfo.ini without a byte-order mark in the system
// code page, so UTF-8 text in a value the window shows comes out garbled.
// Found in the raw bytes: the profile reader has already widened them.
void CheckShownText(Lint* l) {
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
                Warn(l, u"%s", text);
                break;
            }
        }
        line = end + 1;
    }
}

// KEEP is honoured only where the tool patches a configuration image's
// block; on an NVMe drive without vendor drive information the version
// goes through the MP-information block as written.
void CheckKeepWithPlainImages(Lint* l) {
    std::u16string nv, sata;
    ReadKey(*l, u"UPDATEINFO", u"NEWVERSION", &nv);
    ReadKey(*l, u"UPDATEINFO", u"bIsSATA", &sata);
    if (WCompareNoCase(nv.c_str(), u"KEEP") != 0 || sata == u"1" || !l->plain_image) return;
    Warn(l, u"UPDATEINFO: NEWVERSION=%s with plain image %s (not a configuration image): the drive is given the "
            u"text \"KEEP\" as its version instead of keeping the one it has",
         nv.c_str(), l->plain_name.c_str());
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
        if (!l->plain_image) l->plain_name = name;
        l->plain_image = true;
        Error(l, u"%s: no CMFG magic: no checksum, configuration block or build number", name.c_str());
    } else if (!GetImageLayout(img.data(), img.size(), nullptr)) {
        Error(l, u"%s: a region or the trailer page lies outside the file", name.c_str());
    } else if (ToolChecksumVariant(img.data(), img.size()) < 0) {
        Error(l, u"%s: the checksum matches neither CRC-32C nor CRC-32", name.c_str());
    }
    if (!version[0]) Error(l, u"%s: no version text the tool can read", name.c_str());
    else l->findings.push_back({Finding::kImage, name, version});
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
    CheckShownText(l);
    CheckUnknownKeys(l);
    CheckNandMap(l);
    CheckKeepWithPlainImages(l);
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
    WCH method_text[128];
    // The reader's own text for a method it lacks is an inflate error; the
    // method itself is the reason worth telling.
    if (reason == nullptr && info->index >= 0 && size_t(info->index) < l->methods.size() &&
        UnsupportedMethodText(l->methods[size_t(info->index)], method_text, 128)) {
        Error(l, u"zip entry %s cannot be extracted: %s", info->name, method_text);
        return;
    }
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

}  // namespace

namespace {

// The report: text lines as they were found, or one JSON document.
void PrintReport(const Lint& l, const WCH* target, const WCH* kind, const PeResourceSpot* resource, bool json) {
    if (!json) {
        for (const Finding& f : l.findings) {
            if (f.kind == Finding::kError) ToolPrintLine(u"error: %s", f.text.c_str());
            else if (f.kind == Finding::kWarning) ToolPrintLine(u"warning: %s", f.text.c_str());
            else if (f.kind == Finding::kNote) ToolPrintLine(u"%s", f.text.c_str());
            else ToolPrintLine(u"image %s: version %s", f.text.c_str(), f.version.c_str());
        }
        ToolPrintLine(u"%s: %d errors, %d warnings", target, l.errors, l.warnings);
        return;
    }
    std::string doc = "{\"target\": " + ToolJsonText(target) + ", \"kind\": " + ToolJsonText(kind) + ", \"resource\": ";
    if (resource) {
        doc += "{\"type\": \"FWPACKAGEZIP\", \"id\": " + std::to_string(resource->id) +
               ", \"offset\": " + std::to_string(resource->offset) + ", \"size\": " + std::to_string(resource->size) + "}";
    } else {
        doc += "null";
    }
    doc += ", \"errors\": " + std::to_string(l.errors) + ", \"warnings\": " + std::to_string(l.warnings) +
           ", \"findings\": [";
    bool first = true;
    for (const Finding& f : l.findings) {
        if (f.kind != Finding::kError && f.kind != Finding::kWarning) continue;
        doc += std::string(first ? "" : ", ") + "{\"severity\": \"" + (f.kind == Finding::kError ? "error" : "warning") +
               "\", \"message\": " + ToolJsonText(f.text.c_str()) + "}";
        first = false;
    }
    doc += "], \"images\": [";
    first = true;
    for (const Finding& f : l.findings) {
        if (f.kind != Finding::kImage) continue;
        doc += std::string(first ? "" : ", ") + "{\"file\": " + ToolJsonText(f.text.c_str()) +
               ", \"version\": " + ToolJsonText(f.version.c_str()) + "}";
        first = false;
    }
    ToolPrintRaw((doc + "]}\n").c_str());
}

// A zip by its signatures: a local header or an empty archive's end record at
// the start, or an end record where one belongs near the end.
bool LooksLikeZip(const std::vector<BYTE>& b) {
    if (b.size() >= 4 && b[0] == 'P' && b[1] == 'K' && ((b[2] == 3 && b[3] == 4) || (b[2] == 5 && b[3] == 6)))
        return true;
    return !ZipEntryMethods(b.data(), b.size()).empty();
}

// Unpacks the archive at zip_path into the scratch folder and lints that.
void LintZip(Lint* l, const WCH* zip_path, const WCH* shown_name, const WCH* scratch) {
    ZipReport report{l};
    int failed = 0;
    if (UnzipAll(zip_path, scratch, &failed, ReportEntry, &report) != ZR_OK) {
        Error(l, u"%s is not a zip archive the tool can open", shown_name);
    } else {
        l->dir = scratch;
        LintDirectory(l);
    }
}

bool MakeScratch(WCH* scratch, size_t capacity) {
    WCH temp[260];
    temp[0] = 0;
    GetTempDir(temp, 260);
    if (temp[0] == 0) {
        ToolErrorLine(u"no temporary folder to unpack the package into");
        return false;
    }
    // A folder this run creates itself: two lints at once (the clock of a
    // test host starts at the same tick) never share or delete each other's copy.
    const ULONGLONG tick = os::GetTickCount64();
    for (ULONGLONG n = tick; n < tick + 1000; ++n) {
        if (FormatW(scratch, capacity, u"%s\\quillon-lint-%I64u", temp, n) < 0) break;
        if (os::CreateDirectoryW(scratch) != 0) return true;
    }
    ToolErrorLine(u"cannot create a scratch folder in %s", temp);
    return false;
}

}  // namespace

int ToolPackageLint(int argc, const WCH* const* argv) {
    static const ToolOptionDesc kSpecs[] = {{u"--json", false}};
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, kSpecs, 1, 1, 1, &args)) return kToolUsage;
    const WCH* target = args.words[0];
    const bool json = args.values[0] != nullptr;
    Lint l;

    // What it is goes by what it holds, not by its name.
    const DWORD attributes = os::GetFileAttributesW(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        ToolErrorLine(u"%s: no such file or folder", target);
        return kToolFailed;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        l.dir = target;
        CheckFolders(&l);
        LintDirectory(&l);
        PrintReport(l, target, u"folder", nullptr, json);
        return l.errors ? kToolFailed : kToolOk;
    }
    std::vector<BYTE> bytes;
    if (!ToolReadInput(target, u"", &bytes)) return kToolFailed;
    const bool zip = LooksLikeZip(bytes);
    PeResourceSpot spot{};
    if (!zip) {
        if (!LooksLikePe(bytes.data(), bytes.size())) {
            ToolErrorLine(u"%s: neither a zip archive, a Windows executable nor a folder", target);
            return kToolFailed;
        }
        const int found = FindPeResource(bytes.data(), bytes.size(), u"FWPACKAGEZIP", &spot);
        if (found <= 0) {
            ToolErrorLine(found == 0 ? u"%s: a Windows executable without a FWPACKAGEZIP resource"
                                     : u"%s: a Windows executable whose resources cannot be read",
                          target);
            return kToolFailed;
        }
    }
    WCH scratch[260] = {};
    if (!MakeScratch(scratch, 260)) return kToolFailed;
    std::u16string zip_path = target;
    if (zip) {
        l.methods = ZipEntryMethods(bytes.data(), bytes.size());
    } else {
        // The package the executable carries, copied out beside the scratch folder.
        WCH note[600];
        FormatW(note, 600, u"%s: resource FWPACKAGEZIP %u, %u bytes", target, spot.id, unsigned(spot.size));
        l.findings.push_back({Finding::kNote, note, u""});
        zip_path = std::u16string(scratch) + u".zip";
        const BYTE* package = bytes.data() + spot.offset;
        l.methods = ZipEntryMethods(package, spot.size);
        if (!WriteWholeFile(zip_path.c_str(), package, DWORD(spot.size))) {
            ToolErrorLine(u"cannot write %s", zip_path.c_str());
            RemoveTree(scratch);
            return kToolFailed;
        }
    }
    LintZip(&l, zip_path.c_str(), target, scratch);
    if (!zip) os::DeleteFileW(zip_path.c_str());
    RemoveTree(scratch);
    PrintReport(l, target, zip ? u"zip" : u"executable", zip ? nullptr : &spot, json);
    return l.errors ? kToolFailed : kToolOk;
}
