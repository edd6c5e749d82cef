// The package lint of a zip archive: its entries as the reader unpacks
// them, then the unpacked folder, all in a scratch folder of the lint's own.
#include <string>
#include <vector>

#include "package/files.h"
#include "package/package_extract.h"
#include "platform/os.h"
#include "platform/wtext.h"
#include "tools/package-lint/package_lint.h"
#include "tools/package-lint/zip_methods.h"

namespace {

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
    PackageLint* l = static_cast<PackageLint*>(context);
    if (described == ZR_OK && extracted == ZR_OK) {
        const size_t n = WLen(info->name);
        bool nested = (info->attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
        for (size_t i = 0; i < n; ++i) nested |= IsNameSeparator(info->name[i]);
        if (nested)
            LintWarn(l, u"zip entry %s is not at the top level: the tool never reads it, and the work directory "
                        u"is left behind at exit",
                     info->name);
        else if (n > kLongName)
            LintWarn(l, u"zip entry %s has a long name: under a deep temporary folder its path passes 259 characters "
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
        LintError(l, u"zip entry %s cannot be extracted: %s", info->name, method_text);
        return;
    }
    if (reason != nullptr) FormatW(why, 512, u"%s; %08X %s", reason, code, text);
    else FormatW(why, 512, u"%08X %s", code, text);
    LintError(l, u"zip entry %s cannot be extracted: %s", info->name, why);
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

bool MakeScratch(WCH* scratch, size_t capacity, std::u16string* why) {
    WCH temp[260];
    temp[0] = 0;
    GetTempDir(temp, 260);
    if (temp[0] == 0) {
        *why = u"no temporary folder to unpack the package into";
        return false;
    }
    // A folder this run creates itself: two lints at once (the clock of a
    // test host starts at the same tick) never share or delete each other's copy.
    const ULONGLONG tick = os::GetTickCount64();
    for (ULONGLONG n = tick; n < tick + 1000; ++n) {
        if (FormatW(scratch, capacity, u"%s\\quillon-lint-%I64u", temp, n) < 0) break;
        if (os::CreateDirectoryW(scratch) != 0) return true;
    }
    WCH text[400];
    FormatW(text, 400, u"cannot create a scratch folder in %s", temp);
    *why = text;
    return false;
}

}  // namespace

bool LooksLikeZip(const BYTE* data, size_t size) {
    if (size >= 4 && data[0] == 'P' && data[1] == 'K' &&
        ((data[2] == 3 && data[3] == 4) || (data[2] == 5 && data[3] == 6)))
        return true;
    return !ZipEntryMethods(data, size).empty();
}

bool LintZipArchive(const WCH* zip_path, const BYTE* data, size_t size, const WCH* shown_name, PackageLint* l,
                    std::u16string* why) {
    WCH scratch[260] = {};
    if (!MakeScratch(scratch, 260, why)) return false;
    l->methods = ZipEntryMethods(data, size);
    std::u16string copy;
    if (zip_path == nullptr) {
        // The archive carried in memory, copied out beside the scratch folder.
        copy = std::u16string(scratch) + u".zip";
        if (!WriteWholeFile(copy.c_str(), data, DWORD(size))) {
            *why = u"cannot write " + copy;
            RemoveTree(scratch);
            return false;
        }
        zip_path = copy.c_str();
    }
    UnzipOutcome outcome;
    UnzipAll(zip_path, scratch, kUnzipDefaultMaxBytes, ReportEntry, l, &outcome);
    if (outcome.open != ZR_OK) {
        LintError(l, u"%s is not a zip archive the tool can open", shown_name);
    } else if (outcome.over_bound) {
        static_assert(kUnzipDefaultMaxBytes == 4294967296ull, "the message names the bound");
        WCH declared[32];
        FormatW(declared, 32, u"%I64u", outcome.declared);
        LintError(l, u"%s: the entries declare %s bytes, more than the 4294967296 the tool unpacks", shown_name,
                  declared);
    } else {
        if (outcome.stopped_at >= 0) {
            WCH entry[16];
            FormatW(entry, 16, u"%d", outcome.stopped_at);
            LintError(l, u"%s: unpacking stopped at entry %s, whose write failed", shown_name, entry);
        }
        l->dir = scratch;
        LintPackageFiles(l);
    }
    if (!copy.empty()) os::DeleteFileW(copy.c_str());
    RemoveTree(scratch);
    return true;
}
