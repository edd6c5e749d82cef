// The package lint: everything in a firmware package that would make the
// tool refuse a drive, misread a value or misbehave. quillon-tool prints the
// findings as its report (errors fail it); quillon-sim prints them as
// warnings before a rehearsal and runs the package anyway.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/os_types.h"

// One line of the report, in the order it was found.
struct LintFinding {
    enum Kind { kError, kWarning, kNote, kImage } kind;
    std::u16string text;     // the message; for kImage the file name
    std::u16string version;  // kImage: the version the tool reads
};

struct PackageLint {
    std::u16string dir;             // the package folder being read
    std::u16string ini;             // its QuillonInfo.ini
    std::vector<unsigned> methods;  // per zip entry, when linting a zip
    bool plain_image = false;       // an image without the CMFG magic
    std::u16string plain_name;
    int errors = 0;
    int warnings = 0;
    std::vector<LintFinding> findings;
};

// A package folder: its sub-folders, QuillonInfo.ini and the images it names.
void LintPackageFolder(const WCH* dir, PackageLint* lint);
// QuillonInfo.ini and the images of lint->dir, without the folder check (an
// unpacked zip's sub-folders are found among its entries).
void LintPackageFiles(PackageLint* lint);

// Adds one finding of each kind, the text composed by FormatW.
void LintError(PackageLint* lint, const WCH* format, const WCH* a = u"", const WCH* b = u"");
void LintWarn(PackageLint* lint, const WCH* format, const WCH* a = u"", const WCH* b = u"");

// Whether the bytes are a zip archive by its signatures: a local header or an
// empty archive's end record at the start, or an end record near the end.
bool LooksLikeZip(const BYTE* data, size_t size);

// A zip archive unpacked into a scratch folder of its own under the
// temporary folder, linted, and the scratch removed. zip_path names the
// archive on disk; when null, the bytes are written beside the scratch folder
// first (a package carried in memory). data/size are the archive's bytes
// either way (its entries' methods are read from them). False, with why,
// when no scratch folder or copy could be made: nothing was linted then.
bool LintZipArchive(const WCH* zip_path, const BYTE* data, size_t size, const WCH* shown_name, PackageLint* lint,
                    std::u16string* why);
