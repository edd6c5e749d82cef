#include "tools/quillon-sim/sim_lint.h"

#include <cstdio>

#include "platform/host/host_path.h"
#include "tools/package-lint/package_lint.h"

void WarnAboutPackage(const std::string& path, const std::string& shown, const void* data, size_t size) {
    PackageLint lint;
    std::u16string wide_path = HostUtf16(path), wide_shown = HostUtf16(shown), why;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    if (!LintZipArchive(path.empty() ? nullptr : wide_path.c_str(), bytes, size, wide_shown.c_str(), &lint, &why)) {
        fprintf(stderr, "quillon-sim: warning: %s: not linted: %s\n", shown.c_str(), HostUtf8(why).c_str());
        return;
    }
    for (const LintFinding& f : lint.findings) {
        if (f.kind != LintFinding::kError && f.kind != LintFinding::kWarning) continue;
        fprintf(stderr, "quillon-sim: warning: %s: lint %s: %s\n", shown.c_str(),
                f.kind == LintFinding::kError ? "error" : "warning", HostUtf8(f.text).c_str());
    }
}
