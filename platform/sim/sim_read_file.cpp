// Reads a file in 1 MiB pieces into one string, sized from the file's length
// up front when it has one (a pipe does not, and grows as it is read).
#include "platform/sim/sim_read_file.h"

#include <sys/stat.h>

#include <cstdio>

namespace sim {

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    struct stat st {};
    if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes->reserve(static_cast<size_t>(st.st_size));
    constexpr size_t kPiece = 1 << 20;
    size_t used = 0;
    for (;;) {
        bytes->resize(used + kPiece);
        size_t got = std::fread(&(*bytes)[used], 1, kPiece, file);
        used += got;
        if (got < kPiece) break;
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    bytes->resize(failed ? 0 : used);
    return !failed;
}

}  // namespace sim
