// quillon-tool package list / package extract: the reader as the tool uses it.
#include <cstdint>
#include <string>

#include "package/package_extract.h"
#include "package/zip_reader.h"
#include "platform/os.h"
#include "platform/wtext.h"
#include "tools/quillon-tool/tool_args.h"
#include "tools/quillon-tool/tool_commands.h"

namespace {

void TimeText(const FILETIME& t, WCH* out, size_t capacity) {
    SYSTEMTIME st;
    if ((t.dwLowDateTime == 0 && t.dwHighDateTime == 0) || !os::FileTimeToSystemTime(&t, &st)) {
        WCopy(out, capacity, u"-");
        return;
    }
    FormatW(out, capacity, u"%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
            st.wSecond);
}

void ReportOpenFailure(const WCH* archive) {
    WCH text[80];
    ZipResultText(kZipMostRecentResult, text, 80);
    ToolErrorLine(u"%s: %08X %s", archive, ZipLastResult(), text);
}

void ReportExtracted(const ZipEntryInfo* info, ZRESULT described, ZRESULT extracted, void* context) {
    int* done = static_cast<int*>(context);
    if (extracted == ZR_OK && described == ZR_OK) {
        ++*done;
        return;
    }
    // The extraction's code says what happened to the file; a description that
    // failed alone is shown with its own code.
    const ZRESULT code = extracted != ZR_OK ? extracted : described;
    WCH text[80];
    ZipResultText(code, text, 80);
    ToolErrorLine(u"entry %d\t%s\t%08X %s", info->index, info->name, code, text);
}

// A pipe or device given as the archive would block its open for ever.
bool ToolArchiveIsPlainFile(const WCH* archive) {
    const DWORD attributes = os::GetFileAttributesW(archive);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DEVICE)) {
        return true;  // a missing file is the open's to report
    }
    ToolErrorLine(u"%s: not a regular file", archive);
    return false;
}

}  // namespace

int ToolPackageList(int argc, const WCH* const* argv) {
    static const ToolOptionDesc kSpecs[] = {{u"--json", false}};
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, kSpecs, 1, 1, 1, &args)) return kToolUsage;
    const WCH* archive = args.words[0];
    const bool json = args.values[0] != nullptr;
    if (!ToolArchiveIsPlainFile(archive)) return kToolFailed;
    ZipHandle* zip = ZipReaderOpen(archive, nullptr);
    if (zip == nullptr) {
        ReportOpenFailure(archive);
        return kToolFailed;
    }
    ZipEntryInfo info;
    ZipReaderGetEntry(zip, -1, &info);
    const int count = info.index;
    std::string doc = "{\"archive\": " + ToolJsonText(archive) + ", \"entries\": [";
    if (!json) {
        ToolPrintLine(u"entries %d", count);
        ToolPrintLine(u"index\tname\tattributes\tlast write (UTC)\tcompressed\tsize\tresult");
    }
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const ZRESULT r = ZipReaderGetEntry(zip, i, &info);
        if (r != ZR_OK) ++failed;
        WCH when[32];
        TimeText(info.mtime, when, 32);
        WCH text[80];
        ZipResultText(r, text, 80);
        if (json) {
            doc += std::string(i ? ", " : "") + "{\"index\": " + std::to_string(i) + ", \"name\": " +
                   ToolJsonText(info.name) + ", \"attributes\": " + std::to_string(info.attr) + ", \"last_write\": " +
                   (when[0] == u'-' ? std::string("null") : ToolJsonText(when)) +
                   ", \"compressed\": " + std::to_string(info.comp_size) + ", \"size\": " +
                   std::to_string(info.unc_size) + ", \"result\": " + std::to_string(r) +
                   ", \"result_text\": " + ToolJsonText(text) + "}";
        } else {
            ToolPrintLine(u"%d\t%s\t%08X\t%s\t%I64u\t%I64u\t%08X %s", i, info.name, info.attr, when, info.comp_size,
                          info.unc_size, r, text);
        }
    }
    ZipReaderClose(zip);
    if (json) ToolPrintRaw((doc + "], \"failed\": " + std::to_string(failed) + "}\n").c_str());
    return failed == 0 ? kToolOk : kToolFailed;
}

namespace {

// "--max-size BYTES": a decimal count of bytes.
bool ParseByteCount(const WCH* text, uint64_t* out) {
    uint64_t v = 0;
    if (!*text) return false;
    for (; *text; ++text) {
        if (*text < u'0' || *text > u'9') return false;
        const uint64_t digit = uint64_t(*text - u'0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
    }
    *out = v;
    return true;
}

}  // namespace

int ToolPackageExtract(int argc, const WCH* const* argv) {
    static const ToolOptionDesc kSpecs[] = {{u"--max-size", true}};
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, kSpecs, 1, 2, 2, &args)) return kToolUsage;
    uint64_t max_bytes = kUnzipDefaultMaxBytes;
    if (args.values[0] != nullptr && !ParseByteCount(args.values[0], &max_bytes)) {
        return ToolUsageError(u"--max-size %s: not a number of bytes", args.values[0]);
    }
    const WCH* archive = args.words[0];
    if (!ToolArchiveIsPlainFile(archive)) return kToolFailed;
    int done = 0;
    UnzipOutcome outcome;
    UnzipAll(archive, args.words[1], max_bytes, ReportExtracted, &done, &outcome);
    if (outcome.open != ZR_OK) {
        ReportOpenFailure(archive);
        return kToolFailed;
    }
    if (outcome.over_bound) {
        ToolErrorLine(u"%s: the entries declare %I64u bytes, more than --max-size %I64u; nothing was written", archive,
                      outcome.declared, max_bytes);
        return kToolFailed;
    }
    if (outcome.stopped_at >= 0) {
        ToolErrorLine(u"stopped at entry %d: a write failed, no later entry was written", outcome.stopped_at);
    }
    ToolPrintLine(u"extracted %d entries, %d failed", done, outcome.failed);
    return outcome.failed == 0 ? kToolOk : kToolFailed;
}
