// Test-side helpers for the zip reader: scratch folders, running the archive
// tools of the system, and a small archive builder with knobs to break each
// field (for the damaged archives no tool would write).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/zip_reader.h"

// A fresh folder under /tmp, removed with everything in it at the end.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string path;
    std::string Sub(const std::string& name) const { return path + "/" + name; }
};

// Runs a shell command; its exit status (-1 when it could not run).
int RunCommand(const std::string& command);
// Runs a python3 script given as text, with the arguments (shell-quoted).
int RunPython(const std::string& script, const std::vector<std::string>& args);
std::string ShellQuote(const std::string& text);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);  // lstat: links count too
// Every path below root (relative, sorted), folders with a trailing '/'.
std::vector<std::string> ListTree(const std::string& root);
// Bytes that deflate to something but not too well: a repeated text with a counter.
std::string PatternBytes(size_t size, uint32_t seed);

std::u16string U16(const std::string& utf8);
std::string U8(const std::u16string& text);

// FILETIME as 100 ns units since 1601, and from Unix seconds.
uint64_t Ticks(const FILETIME& t);
uint64_t TicksFromUnix(int64_t seconds);

// One entry of a built archive. Sizes and CRC are computed from data unless
// an override is given; the local header repeats the central fields unless
// its own overrides say otherwise.
struct BuildEntry {
    std::string name;
    std::string data;
    bool deflate = false;
    uint16_t made_by = 0x031E;             // Unix host, version 3.0
    uint32_t external = 0100644u << 16;    // regular file, rw-r--r--
    uint32_t dos_time = 0x52A46C21;        // 2021-05-04 13:33:02
    uint16_t flags = 0;
    bool descriptor = false;               // flag bit 3, zero local sizes, descriptor after the data
    std::string local_extra;
    std::string central_extra;
    int64_t stored_data_len = -1;          // keep only this many bytes of the (compressed) data
    int64_t central_crc = -1, central_comp = -1, central_unc = -1;
    int64_t local_crc = -1, local_comp = -1, local_unc = -1, local_method = -1, local_name_len = -1;
    int64_t local_offset = -1;             // central directory's offset of the local header
    uint32_t local_signature = 0x04034B50;
    int flip_data_byte = -1;               // xor 0xFF into this byte of the stored data
    uint8_t or_first_data_byte = 0;        // or into the first data byte
};

struct BuildOptions {
    std::string prefix;    // bytes in front of the archive (offsets not adjusted)
    std::string comment;
    int64_t entries_here = -1, entries_total = -1, this_disk = 0, cd_disk = 0;
    int64_t cd_offset = -1, cd_size = -1;
    bool no_end_record = false;
};

std::string BuildZip(const std::vector<BuildEntry>& entries, const BuildOptions& options = BuildOptions());

// Extra-field blocks.
std::string ExtraBlock(const std::string& id, const std::string& data);
std::string Le16(uint16_t v);
std::string Le32(uint32_t v);

// Reader calls with std::string paths.
ZipHandle* OpenZip(const std::string& path);
ZRESULT ExtractTo(ZipHandle* zip, int index, const std::string& target);
std::string EntryName(const ZipEntryInfo& info);
