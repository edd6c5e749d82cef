// quillon-tool package list / package extract: the reader as the tool uses it.
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

}  // namespace

int ToolPackageList(int argc, const WCH* const* argv) {
    static const ToolOptionDesc kSpecs[] = {{u"--json", false}};
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, kSpecs, 1, 1, 1, &args)) return kToolUsage;
    const WCH* archive = args.words[0];
    const bool json = args.values[0] != nullptr;
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
            ToolPrintLine(u"%d\t%s\t%08X\t%s\t%u\t%u\t%08X %s", i, info.name, info.attr, when, info.comp_size,
                          info.unc_size, r, text);
        }
    }
    ZipReaderClose(zip);
    if (json) ToolPrintRaw((doc + "], \"failed\": " + std::to_string(failed) + "}\n").c_str());
    return failed == 0 ? kToolOk : kToolFailed;
}

int ToolPackageExtract(int argc, const WCH* const* argv) {
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, nullptr, 0, 2, 2, &args)) return kToolUsage;
    int done = 0;
    int failed = 0;
    const ZRESULT r = UnzipAll(args.words[0], args.words[1], &failed, ReportExtracted, &done);
    if (r != ZR_OK) {
        ReportOpenFailure(args.words[0]);
        return kToolFailed;
    }
    ToolPrintLine(u"extracted %d entries, %d failed", done, failed);
    return failed == 0 ? kToolOk : kToolFailed;
}
