#include "tools/package-lint/lint_files.h"

#include "package/files.h"
#include "package/image.h"

bool ToolReadFile(const WCH* path, std::vector<BYTE>* bytes) {
    bytes->clear();
    if (!PathExists(path)) return false;
    DWORD size = ReadWholeFile(path, 0, nullptr);
    bytes->resize(size);
    if (size == 0) return true;
    return ReadWholeFile(path, size, bytes->data()) == size;
}

int ToolChecksumVariant(const BYTE* data, size_t size) {
    ImageLayout l;
    if (!GetImageLayout(data, size, &l)) return -1;
    uint32_t stored = GetLe32(data + l.trailer + image::kTrailerCrc);
    if (ComputeImageChecksum(data, &l, 1) == stored) return 1;
    if (ComputeImageChecksum(data, &l, 0) == stored) return 0;
    return -1;
}
