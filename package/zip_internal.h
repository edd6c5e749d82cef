// Internals of the zip reader shared by its files (not for other subsystems).
#pragma once

#include <cstdint>

#include <zlib.h>

#include "package/zip_reader.h"

constexpr DWORD kZipBufferSize = 16384;
constexpr unsigned kZipNameBytes = 260;  // stored name bytes kept per entry
constexpr unsigned kZipPathChars = 260;  // wide paths, terminator included

// Central-directory fields of one entry, as read.
struct ZipCentralEntry {
    WORD version_made_by;
    WORD version_needed;
    WORD flags;
    WORD method;
    DWORD dos_time;  // date in the high half
    DWORD crc;
    uint64_t comp_size;  // sizes and offset are held in 64 bits from here on
    uint64_t unc_size;
    WORD name_len;
    WORD extra_len;
    WORD comment_len;
    WORD disk_start;
    WORD internal_attr;
    DWORD external_attr;
    uint64_t local_offset;
    BYTE name[kZipNameBytes];  // the first name_len bytes (at most kZipNameBytes)
};

struct ZipReaderState {
    // archive access
    HANDLE file;
    bool seekable;
    uint64_t start_offset;
    uint64_t archive_size;  // bytes from start_offset to the end of the file
    // from the end record
    WORD entry_count;
    uint64_t cd_size;
    uint64_t cd_offset;
    uint64_t prefix_bytes;  // bytes in front of the archive, added to every offset
    // the current entry
    int current_index;
    uint64_t current_pos;
    ZipCentralEntry current;
    bool current_valid;
    // the entry open for reading
    bool entry_open;
    BYTE* in_buf;
    z_stream stream;
    bool inflating;
    DWORD crc;
    DWORD expected_crc;
    uint64_t comp_left;
    uint64_t unc_left;
    uint64_t data_pos;
    DWORD in_avail;  // stored entries: unread bytes at in_next
    BYTE* in_next;
    WORD method;
    bool stream_ended;  // inflate reported the end of the deflate stream
    // the scan at open (zip_overlap.cpp)
    bool scanned;              // false: the scan could not allocate; nothing is extracted
    BYTE* overlapping;         // per entry: 1 when its local record overlaps another entry's
    uint64_t declared_total;   // the uncompressed sizes of every entry, summed
    // the last description
    ZipEntryInfo cache;
    int cache_index;
    // extraction
    BYTE* out_buf;
    WCH base_dir[kZipPathChars];  // ends in a separator
    bool base_ok;                 // false: relative targets are refused
};

// Results: every operation ends through this.
ZRESULT ZipSetResult(ZRESULT code);
// Null handle: ZR_ARGS; not a reader handle: ZR_ZMODE.
ZRESULT ZipCheckHandle(ZipHandle* handle, ZipReaderState** state);

// Archive access (zip_archive.cpp).
bool ZipReadAt(ZipReaderState* s, uint64_t pos, void* buffer, DWORD size);
DWORD ZipReadSome(ZipReaderState* s, uint64_t pos, void* buffer, DWORD size);
// End record search and checks; fills counts, central directory and prefix.
bool ZipReadEndRecord(ZipReaderState* s);
bool ZipGotoFirstEntry(ZipReaderState* s);
bool ZipGotoEntry(ZipReaderState* s, int index);
// Checks the local header of the current entry against its central fields;
// gives the position and length of the local extra field.
bool ZipCheckLocalHeader(ZipReaderState* s, uint64_t* extra_pos, WORD* extra_len);

// Names (zip_names.cpp).
void ZipDecodeUtf8(const BYTE* in, size_t length, WCH* out, size_t capacity);
void ZipCleanName(WCH* name);
// A cleaned entry name that may be written below the target folder.
bool ZipEntryNameIsSafe(const WCH* name, bool directory);
// A target path: absolute or relative, but no parent steps, streams or
// characters that Windows refuses in file names.
bool ZipTargetIsSafe(const WCH* target);
bool ZipIsSeparator(WCH c);

// Descriptions (zip_describe.cpp).
DWORD ZipAttributes(WORD version_made_by, DWORD external_attr);
// DOS date and time (date in the high half) as local time, to UTC. False when
// the date does not convert.
bool ZipDosTimeToFileTime(DWORD dos_time, FILETIME* utc);
// Applies the first "UT" block of an extra field to the entry's times.
void ZipApplyExtendedTime(const BYTE* extra, size_t length, ZipEntryInfo* info);
// Positions on the entry and describes it (cached).
ZRESULT ZipDescribe(ZipReaderState* s, int index, ZipEntryInfo* info);

// Reading entry data (zip_entry_data.cpp).
ZRESULT ZipOpenEntryData(ZipReaderState* s);
// Up to size bytes of output; *ended when the entry's data is complete.
// Returns false on a read or inflate failure.
bool ZipReadEntryData(ZipReaderState* s, BYTE* out, DWORD size, DWORD* produced, bool* ended);
void ZipCloseEntryData(ZipReaderState* s);
// After the declared size came out: false when the entry's data would give
// more (a stored entry whose data is longer, a deflate stream that goes on).
bool ZipEntryDataEndsHere(ZipReaderState* s);

// The scan at open (zip_overlap.cpp): every entry's local record (header,
// name, extra field and data) from the central directory and its local
// header; entries whose records overlap are marked, declared sizes summed.
// Leaves the reader on its first entry.
void ZipScanEntries(ZipReaderState* s);

// Folders (zip_extract.cpp).
void EnsureDirectory(const WCH* base, const WCH* folder);
