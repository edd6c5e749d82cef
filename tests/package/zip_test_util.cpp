#include "tests/package/zip_test_util.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <zlib.h>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    char pattern[] = "/tmp/qn-zip-XXXXXX";
    const char* made = mkdtemp(pattern);
    path = made != nullptr ? made : "/tmp/qn-zip-failed";
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    // Extracted read-only files and folders must not stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path, ec);
}

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

int RunPython(const std::string& script, const std::vector<std::string>& args) {
    char pattern[] = "/tmp/qn-zip-py-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) return -1;
    FILE* f = fdopen(fd, "w");
    std::fwrite(script.data(), 1, script.size(), f);
    std::fclose(f);
    std::string command = "cd /tmp && python3 " + ShellQuote(pattern);
    for (const std::string& a : args) command += " " + ShellQuote(a);
    const int rc = RunCommand(command);
    std::remove(pattern);
    return rc;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string rel = fs::relative(it->path(), root).generic_string();
        if (it->is_directory() && !it->is_symlink()) rel += "/";
        out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string PatternBytes(size_t size, uint32_t seed) {
    std::string out;
    out.reserve(size);
    uint32_t x = seed * 2654435761u + 1;
    while (out.size() < size) {
        x = x * 1103515245u + 12345u;
        char line[64];
        const int n = std::snprintf(line, sizeof line, "line %u of the package %08X\n", static_cast<unsigned>(out.size()),
                                    (x >> 8) & 0xFFFFu);
        out.append(line, static_cast<size_t>(n));
        out.push_back(static_cast<char>(x >> 24));  // some noise so it is not trivial
    }
    out.resize(size);
    return out;
}

std::u16string U16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        uint32_t cp = b;
        size_t n = 1;
        if (b >= 0xF0) cp = b & 0x07, n = 4;
        else if (b >= 0xE0) cp = b & 0x0F, n = 3;
        else if (b >= 0xC0) cp = b & 0x1F, n = 2;
        for (size_t k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string U8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

uint64_t Ticks(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
uint64_t TicksFromUnix(int64_t seconds) { return static_cast<uint64_t>(seconds * 10000000LL + 116444736000000000LL); }

std::string Le16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(static_cast<uint16_t>(v)) + Le16(static_cast<uint16_t>(v >> 16)); }
std::string ExtraBlock(const std::string& id, const std::string& data) {
    return id + Le16(static_cast<uint16_t>(data.size())) + data;
}

namespace {

std::string RawDeflate(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

uint32_t Pick(int64_t override_value, uint32_t actual) {
    return override_value >= 0 ? static_cast<uint32_t>(override_value) : actual;
}

}  // namespace

std::string BuildZip(const std::vector<BuildEntry>& entries, const BuildOptions& options) {
    std::string body;
    std::string central;
    for (const BuildEntry& e : entries) {
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        std::string packed = e.deflate ? RawDeflate(e.data) : e.data;
        const uint32_t comp = static_cast<uint32_t>(packed.size());
        const uint32_t unc = static_cast<uint32_t>(e.data.size());
        if (e.stored_data_len >= 0) packed.resize(static_cast<size_t>(e.stored_data_len));
        if (e.flip_data_byte >= 0) packed[static_cast<size_t>(e.flip_data_byte)] ^= static_cast<char>(0xFF);
        if (e.or_first_data_byte != 0 && !packed.empty()) packed[0] |= static_cast<char>(e.or_first_data_byte);
        const uint16_t method = e.deflate ? 8 : 0;
        const uint16_t flags = static_cast<uint16_t>(e.flags | (e.descriptor ? 0x0008 : 0));
        const uint32_t offset = static_cast<uint32_t>(body.size());

        body += Le32(e.local_signature) + Le16(20) + Le16(flags);
        body += Le16(static_cast<uint16_t>(Pick(e.local_method, method)));
        body += Le16(static_cast<uint16_t>(e.dos_time)) + Le16(static_cast<uint16_t>(e.dos_time >> 16));
        body += Le32(Pick(e.local_crc, e.descriptor ? 0 : crc));
        body += Le32(Pick(e.local_comp, e.descriptor ? 0 : comp));
        body += Le32(Pick(e.local_unc, e.descriptor ? 0 : unc));
        body += Le16(static_cast<uint16_t>(Pick(e.local_name_len, static_cast<uint32_t>(e.name.size()))));
        body += Le16(static_cast<uint16_t>(e.local_extra.size()));
        body += e.name + e.local_extra + packed;
        if (e.descriptor) body += Le32(0x08074B50) + Le32(crc) + Le32(comp) + Le32(unc);

        central += Le32(0x02014B50) + Le16(e.made_by) + Le16(20) + Le16(flags) + Le16(method);
        central += Le16(static_cast<uint16_t>(e.dos_time)) + Le16(static_cast<uint16_t>(e.dos_time >> 16));
        central += Le32(Pick(e.central_crc, crc)) + Le32(Pick(e.central_comp, comp)) + Le32(Pick(e.central_unc, unc));
        central += Le16(static_cast<uint16_t>(e.name.size())) + Le16(static_cast<uint16_t>(e.central_extra.size()));
        central += Le16(0) + Le16(0) + Le16(0) + Le32(e.external) + Le32(Pick(e.local_offset, offset));
        central += e.name + e.central_extra;
    }
    const uint32_t cd_offset = static_cast<uint32_t>(body.size());
    const uint16_t count = static_cast<uint16_t>(entries.size());
    std::string out = options.prefix + body + central;
    if (!options.no_end_record) {
        out += Le32(0x06054B50) + Le16(static_cast<uint16_t>(options.this_disk)) +
               Le16(static_cast<uint16_t>(options.cd_disk));
        out += Le16(static_cast<uint16_t>(Pick(options.entries_here, count)));
        out += Le16(static_cast<uint16_t>(Pick(options.entries_total, count)));
        out += Le32(Pick(options.cd_size, static_cast<uint32_t>(central.size())));
        out += Le32(Pick(options.cd_offset, cd_offset));
        out += Le16(static_cast<uint16_t>(options.comment.size())) + options.comment;
    }
    return out;
}

ZipHandle* OpenZip(const std::string& path) { return ZipReaderOpen(U16(path).c_str(), nullptr); }

ZRESULT ExtractTo(ZipHandle* zip, int index, const std::string& target) {
    return ZipReaderExtract(zip, index, U16(target).c_str());
}

std::string EntryName(const ZipEntryInfo& info) { return U8(info.name); }
