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
// missing); with delete_archive the archive file is deleted afterwards.
void UnzipToDirectory(const WCH* archive, const WCH* directory, bool delete_archive);

// The same extraction, with each entry's outcome reported to on_entry (may be
// null). The result: the open's result when the archive cannot be opened,
// else ZR_OK; *failed counts the entries whose description or extraction failed.
typedef void (*UnzipEntryReport)(const ZipEntryInfo* info, ZRESULT described, ZRESULT extracted, void* context);
ZRESULT UnzipAll(const WCH* archive, const WCH* directory, int* failed, UnzipEntryReport on_entry, void* context);
