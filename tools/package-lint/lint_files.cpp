#include "tools/package-lint/lint_files.h"

#include "package/image.h"

int ToolReadPlainFile(const WCH* path, std::vector<BYTE>* bytes, uint64_t* size) {
    bytes->clear();
    ImageFile file;
    const int read = ReadPlainFile(path, kMaxImageFile, &file, size);
    if (read == kPlainFileRead) bytes->assign(file.data, file.data + file.size);
    FreeImageFile(&file);
    return read;
}

bool ToolReadFile(const WCH* path, std::vector<BYTE>* bytes) {
    uint64_t size = 0;
    return ToolReadPlainFile(path, bytes, &size) == kPlainFileRead;
}

int ToolChecksumVariant(const BYTE* data, size_t size) {
    ImageLayout l;
    if (!GetImageLayout(data, size, &l)) return -1;
    uint32_t stored = GetLe32(data + l.trailer + image::kTrailerCrc);
    if (ComputeImageChecksum(data, &l, 1) == stored) return 1;
    if (ComputeImageChecksum(data, &l, 0) == stored) return 0;
    return -1;
}
