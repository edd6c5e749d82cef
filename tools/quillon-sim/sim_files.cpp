#include "tools/quillon-sim/sim_files.h"

#include <errno.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/sim/sim_read_file.h"

bool ReadInputFile(const std::string& path, std::string* bytes, std::string* error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = path + ": cannot be read (" + strerror(errno) + ")";
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = path + ": is a directory";
        return false;
    }
    if (!sim::ReadWholeFile(path, bytes)) {
        *error = path + ": cannot be read (" + strerror(errno ? errno : EIO) + ")";
        return false;
    }
    if (bytes->empty()) {
        *error = path + ": empty file";
        return false;
    }
    return true;
}

namespace {

uint32_t Le(const std::string& b, size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

bool SignatureAt(const std::string& b, size_t at, uint32_t signature) {
    return at + 4 <= b.size() && Le(b, at, 4) == signature;
}

}  // namespace

std::string ZipProblem(const std::string& b) {
    // The end record is the last 22 bytes, or earlier by a comment of up to 65535.
    constexpr uint32_t kEnd = 0x06054B50, kCentral = 0x02014B50, kLocal = 0x04034B50;
    if (b.size() < 22) return "not a zip archive (" + std::to_string(b.size()) + " bytes)";
    size_t end = b.size() - 22;
    size_t lowest = b.size() > 22 + 65535 ? b.size() - 22 - 65535 : 0;
    while (!SignatureAt(b, end, kEnd)) {
        if (end == lowest) {
            // A zip cut short has its local headers but lost its directory.
            if (SignatureAt(b, 0, kLocal)) return "truncated (no end of central directory)";
            return "not a zip archive (no end of central directory)";
        }
        --end;
    }
    uint32_t entries = Le(b, end + 10, 2);
    uint32_t size = Le(b, end + 12, 4);
    uint32_t offset = Le(b, end + 16, 4);
    if (uint64_t{offset} + size > end) return "truncated (central directory past the end)";
    size_t at = offset;
    for (uint32_t i = 0; i < entries; ++i) {
        if (at + 46 > end || !SignatureAt(b, at, kCentral))
            return "truncated (central directory entry " + std::to_string(i + 1) + " broken)";
        uint32_t compressed = Le(b, at + 20, 4);
        uint32_t local = Le(b, at + 42, 4);
        size_t name = Le(b, at + 28, 2), extra = Le(b, at + 30, 2), comment = Le(b, at + 32, 2);
        if (!SignatureAt(b, local, kLocal) || local + 30 > offset)
            return "truncated (entry " + std::to_string(i + 1) + " has no local header)";
        uint64_t data_end = uint64_t{local} + 30 + Le(b, local + 26, 2) + Le(b, local + 28, 2) + compressed;
        if (data_end > offset) return "truncated (entry " + std::to_string(i + 1) + " runs past its data)";
        at += 46 + name + extra + comment;
    }
    return "";
}

bool MakePrivateTemp(std::string* folder, std::string* error) {
    const char* tmpdir = getenv("TMPDIR");
    std::string base = (tmpdir && *tmpdir) ? tmpdir : "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::string pattern = base + "/quillon-sim-XXXXXX";
    std::vector<char> text(pattern.begin(), pattern.end());
    text.push_back(0);
    if (!mkdtemp(text.data())) {
        *error = base + ": cannot create a temporary folder (" + strerror(errno) + ")";
        return false;
    }
    *folder = text.data();
    return true;
}

namespace {
// A file that cannot go is left behind; the walk goes on with the rest.
int RemoveOne(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
}
}  // namespace

void RemoveTree(const std::string& folder) {
    if (!folder.empty()) nftw(folder.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}
