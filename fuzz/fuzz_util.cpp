#include "fuzz/fuzz_util.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fuzz {

const std::string& ScratchDir(const char* name) {
    static std::string dir = [name] {
        // Memory-backed when the machine has it: the harnesses write and
        // read files on every input, and folders made and removed again by
        // the thousand make a disk file system slow to find free inodes.
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/qn-fuzz-" + name + "-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) abort();
        return pattern;
    }();
    // Gone again when the run ends (a crash leaves it for a look).
    static bool registered = [] { return atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }) == 0; }();
    (void)registered;
    return dir;
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string WideFromBytes(const uint8_t* data, size_t size, size_t max_units) {
    std::u16string out;
    for (size_t i = 0; i + 1 < size && out.size() < max_units; i += 2) {
        char16_t c = char16_t(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        out.push_back(c);
    }
    return out;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

bool Terminated(const WCH* text, size_t capacity) {
    for (size_t i = 0; i < capacity; ++i)
        if (text[i] == 0) return true;
    return false;
}

}  // namespace fuzz
