// quillon-tool package lint: the package lint's report on a folder, a zip
// or the package inside a built executable. Errors fail the lint (and the
// build that embeds the package); warnings are reported only.
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/wtext.h"
#include "tools/package-lint/package_lint.h"
#include "tools/quillon-tool/config_commands.h"
#include "tools/quillon-tool/pe_resource.h"
#include "tools/quillon-tool/tool_args.h"
#include "tools/quillon-tool/tool_commands.h"

namespace {

// The report: text lines as they were found, or one JSON document.
void PrintReport(const PackageLint& l, const WCH* target, const WCH* kind, const PeResourceSpot* resource, bool json) {
    if (!json) {
        for (const LintFinding& f : l.findings) {
            if (f.kind == LintFinding::kError) ToolPrintLine(u"error: %s", f.text.c_str());
            else if (f.kind == LintFinding::kWarning) ToolPrintLine(u"warning: %s", f.text.c_str());
            else if (f.kind == LintFinding::kNote) ToolPrintLine(u"%s", f.text.c_str());
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
    for (const LintFinding& f : l.findings) {
        if (f.kind != LintFinding::kError && f.kind != LintFinding::kWarning) continue;
        doc += std::string(first ? "" : ", ") + "{\"severity\": \"" + (f.kind == LintFinding::kError ? "error" : "warning") +
               "\", \"message\": " + ToolJsonText(f.text.c_str()) + "}";
        first = false;
    }
    doc += "], \"images\": [";
    first = true;
    for (const LintFinding& f : l.findings) {
        if (f.kind != LintFinding::kImage) continue;
        doc += std::string(first ? "" : ", ") + "{\"file\": " + ToolJsonText(f.text.c_str()) +
               ", \"version\": " + ToolJsonText(f.version.c_str()) + "}";
        first = false;
    }
    ToolPrintRaw((doc + "]}\n").c_str());
}

}  // namespace

int ToolPackageLint(int argc, const WCH* const* argv) {
    static const ToolOptionDesc kSpecs[] = {{u"--json", false}};
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, kSpecs, 1, 1, 1, &args)) return kToolUsage;
    const WCH* target = args.words[0];
    const bool json = args.values[0] != nullptr;
    PackageLint l;

    // What it is goes by what it holds, not by its name.
    const DWORD attributes = os::GetFileAttributesW(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        ToolErrorLine(u"%s: no such file or folder", target);
        return kToolFailed;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        LintPackageFolder(target, &l);
        PrintReport(l, target, u"folder", nullptr, json);
        return l.errors ? kToolFailed : kToolOk;
    }
    std::vector<BYTE> bytes;
    if (!ToolReadInput(target, u"", &bytes)) return kToolFailed;
    const bool zip = LooksLikeZip(bytes.data(), bytes.size());
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
    std::u16string why;
    bool linted;
    if (zip) {
        linted = LintZipArchive(target, bytes.data(), bytes.size(), target, &l, &why);
    } else {
        WCH note[600];
        FormatW(note, 600, u"%s: resource FWPACKAGEZIP %u, %u bytes", target, spot.id, unsigned(spot.size));
        l.findings.push_back({LintFinding::kNote, note, u""});
        linted = LintZipArchive(nullptr, bytes.data() + spot.offset, spot.size, target, &l, &why);
    }
    if (!linted) {
        ToolErrorLine(u"%s", why.c_str());
        return kToolFailed;
    }
    PrintReport(l, target, zip ? u"zip" : u"executable", zip ? nullptr : &spot, json);
    return l.errors ? kToolFailed : kToolOk;
}
