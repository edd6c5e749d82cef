// Fuzzes the firmware image readers the eligibility checks and the update
// worker use: the layout check, the version text (trailer and fallback
// scan), the build number, the checksum check, the comparison of version
// parts, and the in-place patch of the configuration block with a reseal.
//   input: byte 0 flags (bit 0: a drive block is given, bits 1-3 the new
//   version, bits 4-7 the part count); the rest is the image file.
#include <cstring>
#include <vector>

#include "core/app_state.h"
#include "core/text_search.h"
#include "fuzz/fuzz_util.h"
#include "package/image.h"
#include "platform/host/host_control.h"
#include "platform/wtext.h"

namespace {

const WCH* const kNewVersions[] = {u"KEEP",     u"keep",   u"1A2B3C4D", u"1.2.3.4",
                                   u"",         u"X",      u"ABCDEFGHIJKLMNOP", u"\u00e9\u00e8\u4e2d\u6587"};
const WCH* const kDriveVersions[] = {u"1A2B3C4D", u"1.2.3.4", u"", u"1.2", u"..", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    const BYTE* file = data + 1;
    const size_t file_size = size - 1;
    GetAppState()->bDebug = 1;  // the readers log what they find

    // Exactly the file's bytes on the heap: any read past the end is seen.
    std::vector<BYTE> image(file, file + file_size);
    BYTE* bytes = image.empty() ? nullptr : image.data();

    WCH version[32];
    int found = ReadImageVersionFromBytes(bytes, image.size(), version);
    fuzz::Check(fuzz::Terminated(version, 32), "image version not terminated");
    fuzz::Check((found != 0) == (version[0] != 0), "version result disagrees with the text");

    ImageLayout layout;
    int has_layout = GetImageLayout(bytes, image.size(), &layout);
    int crc32c = VerifyImageCrc(bytes, image.size());
    fuzz::Check(!crc32c || has_layout, "checksum verified without a layout");

    // The file routines read the same bytes from a file. Files are slow:
    // every fourth input size takes this path, with one comparison of
    // version parts, its drive version chosen by the input too.
    if ((file_size & 3) == 0) {
        const std::string path = fuzz::ScratchDir("image") + "/image.bin";
        fuzz::WriteFile(path, file, file_size);
        const std::u16string wpath = fuzz::Wide(path);
        WCH from_file[32];
        ReadImageVersion(wpath.c_str(), from_file);
        fuzz::Check(WCompare(from_file, version) == 0, "file and memory versions differ");
        uint32_t build = ReadFtlBuildNum(wpath.c_str());
        fuzz::Check(has_layout || build == 0, "build number of an image without a layout");
        WCH image_version[32];
        const int parts = (flags >> 4) - 2;  // -2 to 13
        const WCH* drive = kDriveVersions[(flags ^ (file_size ? file[file_size - 1] : 0)) % 6];
        CompareVersionParts(drive, parts, wpath.c_str(), image_version);
        fuzz::Check(fuzz::Terminated(image_version, 32), "compared image version not terminated");
        fuzz::Check(WCompare(image_version, version) == 0, "compared image version differs from the read one");
    }

    // The worker's patch: the drive's block (the first 4096 bytes of the
    // input, zero-padded) over region 2, the new version, the reseal.
    std::vector<BYTE> block(image::kConfigBlock, 0);
    memcpy(block.data(), file, file_size < block.size() ? file_size : block.size());
    const WCH* new_version = kNewVersions[(flags >> 1) & 7];
    PatchImageConfig(bytes, image.size(), (flags & 1) ? block.data() : nullptr, new_version);
    if (has_layout) {
        uint32_t stored = GetLe32(bytes + layout.trailer + image::kTrailerCrc);
        // Resealed with the variant it had (CRC-32 when it matched neither).
        fuzz::Check(stored == ComputeImageChecksum(bytes, &layout, crc32c), "patched image not resealed");
        if (crc32c) fuzz::Check(VerifyImageCrc(bytes, image.size()) == 1, "CRC-32C image fails after the patch");
    } else {
        fuzz::Check(image.empty() || memcmp(bytes, file, file_size) == 0, "image without a layout changed");
    }

    uint32_t crc = 0;
    SetConfigVersion(block.data(), new_version, flags & 1, &crc);
    WCH trimmed[1000];
    WCopy(trimmed, 1000, version);
    TrimBlanks(trimmed);
    HostDebugClear();
    return 0;
}
