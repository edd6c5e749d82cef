// Unpacking the firmware package that the executable carries as a resource.
#pragma once

#include "platform/os_types.h"
#include "package/zip_reader.h"

// Writes the resource (type name, integer id) of the running executable to
// "~ReleasePackage.a" in the temporary folder, extracts every entry into
// work_dir and deletes the archive. Nothing is reported: an entry that fails
// leaves the work directory with fewer files.
void ExtractPackage(const WCH* type, unsigned id, const WCH* work_dir);

// Extracts every entry of the archive into the directory (created when
// missing), within kUnzipDefaultMaxBytes; with delete_archive the archive
// file is deleted afterwards.
void UnzipToDirectory(const WCH* archive, const WCH* directory, bool delete_archive);

// An archive whose entries declare more than this in all is not unpacked.
constexpr uint64_t kUnzipDefaultMaxBytes = 4ull << 30;

// How an extraction went.
struct UnzipOutcome {
    ZRESULT open;       // the open's result; nothing else holds when it is not ZR_OK
    int failed;         // entries whose description or extraction failed
    int stopped_at;     // -1, or the entry whose write failed: no entry after it was tried
    uint64_t declared;  // the uncompressed sizes the entries declare, summed
    bool over_bound;    // declared > max_bytes: nothing was written
};

// The same extraction, with each entry's outcome reported to on_entry (may be
// null). Before the first write the declared sizes are summed and held to
// max_bytes; an entry is held to its own declared size as it is written; the
// first write that fails ends the whole extraction.
typedef void (*UnzipEntryReport)(const ZipEntryInfo* info, ZRESULT described, ZRESULT extracted, void* context);
void UnzipAll(const WCH* archive, const WCH* directory, uint64_t max_bytes, UnzipEntryReport on_entry, void* context,
              UnzipOutcome* outcome);
