// Reading the firmware package: a zip archive on disk, entry by entry.
//
// Calling order of the package extraction: open, set the base directory, get
// entry -1 (the count), then for each index get the entry and extract it to
// its cleaned name, then close. Every operation stores its result as the
// process-wide most recent result (ZipResultText with the value 1 reads it).
#pragma once

#include <cstdint>

#include "platform/os_types.h"

typedef DWORD ZRESULT;

enum : ZRESULT {
    ZR_OK = 0x00000000,
    ZR_NODUPH = 0x00000100,
    ZR_NOFILE = 0x00000200,    // open: not a readable archive; extract: target not created, or entry refused
    ZR_NOALLOC = 0x00000300,
    ZR_WRITE = 0x00000400,     // extract: a write to the target failed
    ZR_NOTFOUND = 0x00000500,
    ZR_MORE = 0x00000600,
    ZR_CORRUPT = 0x00000700,   // local header disagrees with the central directory; extract: CRC-32 mismatch,
                               // or the entry's local record overlaps another entry's
    ZR_READ = 0x00000800,      // the local extra field cannot be read
    ZR_PASSWORD = 0x00001000,  // an encrypted entry (no password is ever given)
    ZR_ARGS = 0x00010000,
    ZR_NOTMMAP = 0x00020000,
    ZR_MEMSIZE = 0x00030000,
    ZR_FAILED = 0x00040000,
    ZR_ENDED = 0x00050000,
    ZR_MISSIZE = 0x00060000,
    ZR_PARTIALUNZ = 0x00070000,
    ZR_ZMODE = 0x00080000,     // a handle that is not a reader handle
    ZR_NOTINITED = 0x01000000,
    ZR_SEEK = 0x02000000,
    ZR_NOCHANGE = 0x04000000,
    ZR_FLATE = 0x05000000,     // inflate failed, or the data ended before or went on after the entry's size
};

// Passing this value to ZipResultText asks for the text of the most recent result.
constexpr ZRESULT kZipMostRecentResult = 1;

struct ZipReaderState;

// The handle that ZipReaderOpen hands out. kind is kZipReaderKind for a reader.
struct ZipHandle {
    int kind;
    ZipReaderState* state;
};
constexpr int kZipReaderKind = 1;

struct ZipEntryInfo {
    int index;            // for index -1: the number of entries
    WCH name[260];        // the cleaned entry name
    DWORD attr;           // FILE_ATTRIBUTE_* bits
    FILETIME atime;       // last access (UTC)
    FILETIME ctime;       // creation (UTC)
    FILETIME mtime;       // last write (UTC)
    uint64_t comp_size;
    uint64_t unc_size;
};

// Null on failure; the reason is the most recent result. The password is
// accepted for the calling convention; encrypted entries are refused.
ZipHandle* ZipReaderOpen(const WCH* path, const char* password);
ZRESULT ZipReaderSetBaseDir(ZipHandle* handle, const WCH* directory);
ZRESULT ZipReaderGetEntry(ZipHandle* handle, int index, ZipEntryInfo* info);
// A relative target is taken below the base directory.
ZRESULT ZipReaderExtract(ZipHandle* handle, int index, const WCH* target);
ZRESULT ZipReaderClose(ZipHandle* handle);
// The uncompressed sizes that the entries declare, summed: an extraction
// writes at most this many bytes (an entry's data beyond its declared size
// is refused).
ZRESULT ZipReaderDeclaredTotal(ZipHandle* handle, uint64_t* total);

// Copies the code's text, cut to fit and terminated; returns the full length
// of the text. A null buffer or zero capacity only returns the length.
unsigned ZipResultText(ZRESULT code, WCH* buffer, unsigned capacity);
ZRESULT ZipLastResult();
