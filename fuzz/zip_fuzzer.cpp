// Fuzzes the zip reader through the calls the package extraction makes: open,
// the count, every description and every extraction, into a folder inside a
// sandbox. Anything that appears in the sandbox beside the target folder is a
// file written outside the target: that aborts the run, as does more written
// than the entries declare.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_util.h"
#include "package/zip_reader.h"

namespace fs = std::filesystem;

namespace {

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

const std::string& Root() { return fuzz::ScratchDir("zip"); }

void MakeWritable(const fs::path& dir) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string archive = Root() + "/in.zip";
    const std::string sandbox = Root() + "/sandbox";
    const std::string target = sandbox + "/target";
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    fs::create_directories(target);

    ZipHandle* zip = ZipReaderOpen(Wide(archive).c_str(), nullptr);
    uint64_t declared = 0;
    if (zip != nullptr) {
        ZipReaderDeclaredTotal(zip, &declared);
        ZipReaderSetBaseDir(zip, Wide(target).c_str());
        ZipEntryInfo info;
        ZipReaderGetEntry(zip, -1, &info);
        const int count = info.index < 64 ? info.index : 64;
        for (int i = 0; i < count; ++i) {
            ZipReaderGetEntry(zip, i, &info);
            ZipReaderExtract(zip, i, info.name);
            // Asking again answers from the cache or reads afresh; both must hold.
            ZipReaderGetEntry(zip, count - 1 - i, &info);
        }
        ZipReaderClose(zip);
    }
    WCH text[64];
    ZipResultText(kZipMostRecentResult, text, 64);

    std::error_code ec;
    // Entries are held to their declared sizes: what was written never
    // exceeds what the archive declares.
    uint64_t written = 0;
    for (auto it = fs::recursive_directory_iterator(target, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file(ec)) written += it->file_size(ec);
    }
    if (written > declared) {
        std::fprintf(stderr, "wrote %llu bytes, the entries declare %llu\n", static_cast<unsigned long long>(written),
                     static_cast<unsigned long long>(declared));
        abort();
    }
    for (const auto& item : fs::directory_iterator(sandbox, ec)) {
        if (item.path().filename() != "target") {
            std::fprintf(stderr, "written outside the target: %s\n", item.path().c_str());
            abort();
        }
    }
    MakeWritable(sandbox);
    fs::remove_all(sandbox, ec);
    return 0;
}
