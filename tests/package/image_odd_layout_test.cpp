// Images whose regions overlap the header, each other or the trailer, as the
// image harness (fuzz/image_fuzzer.cpp) produced them: the patch must leave
// a sealed image or none at all.
#include <cstring>
#include <vector>

#include "package/image.h"
#include "tests/package/config_fixture.h"

namespace {

// pages pages of 4096 bytes: magic, the three region descriptors as given,
// a version "1A2B3C4D" in the trailer and the CRC-32C seal when the layout
// allows one.
std::vector<BYTE> OddImage(size_t pages, const uint32_t regions[3][2]) {
    std::vector<BYTE> img(pages * image::kPage);
    for (size_t i = 0x50; i < img.size(); ++i) img[i] = BYTE(i * 31 + (i >> 12));
    PutLe32(img.data(), image::kMagic);
    std::memset(img.data() + 4, 0, 0x4C);
    for (int r = 0; r < 3; ++r) {
        PutLe32(img.data() + image::kRegionTable + 8 * r, regions[r][0]);
        PutLe32(img.data() + image::kRegionTable + 8 * r + 4, regions[r][1]);
    }
    size_t trailer = (regions[2][1] + 1) * image::kPage;
    std::memcpy(img.data() + trailer + image::kTrailerVersion, "1A2B3C4D", 8);
    ImageLayout layout;
    if (GetImageLayout(img.data(), img.size(), &layout))
        PutLe32(img.data() + trailer + image::kTrailerCrc, ComputeImageChecksum(img.data(), &layout, 1));
    return img;
}

class ImageOddLayout : public ConfigFixture {};

TEST_F(ImageOddLayout, ConfigurationPageInsideAnotherRegionIsResealedAfterThePatch) {
    // Region 1 holds pages 1-2 and region 2 is page 2: the drive's block
    // lands inside region 1 too. The seal used to be summed before the copy.
    const uint32_t regions[3][2] = {{0, 0}, {1, 2}, {2, 2}};
    std::vector<BYTE> img = OddImage(4, regions);
    ASSERT_EQ(VerifyImageCrc(img.data(), img.size()), 1);
    std::vector<BYTE> block(4096, 0xC3);
    PatchImageConfig(img.data(), img.size(), block.data(), u"NEWVER01");
    EXPECT_EQ(std::memcmp(img.data() + 2 * image::kPage + image::kConfigVersion, "NEWVER01", 8), 0);
    EXPECT_EQ(VerifyImageCrc(img.data(), img.size()), 1) << "the patched image carries a stale checksum";
    EXPECT_EQ(GetLe32(img.data() + 3 * image::kPage + image::kTrailerZero), 0u);
}

TEST_F(ImageOddLayout, ConfigurationPageOnTheHeaderIsNotAnImage) {
    // All three regions on page 0, trailer page 1 (the first crash of the
    // harness): the drive's block would have replaced the header.
    const uint32_t regions[3][2] = {{0, 0}, {0, 0}, {0, 0}};
    std::vector<BYTE> img = OddImage(2, regions);
    const std::vector<BYTE> before = img;
    EXPECT_EQ(GetImageLayout(img.data(), img.size(), nullptr), 0);
    EXPECT_EQ(VerifyImageCrc(img.data(), img.size()), 0);
    std::vector<BYTE> block(4096, 0xC3);
    HostDebugClear();
    PatchImageConfig(img.data(), img.size(), block.data(), u"NEWVER01");
    EXPECT_EQ(img, before);
    EXPECT_TRUE(Logged(u"Not Config FW"));
}

TEST_F(ImageOddLayout, RegionOverTheTrailerIsNotAnImage) {
    // Region 0 runs over page 3, the trailer after region 2 (page 2): its
    // checksum would cover itself.
    const uint32_t regions[3][2] = {{1, 4}, {1, 1}, {2, 2}};
    std::vector<BYTE> img = OddImage(5, regions);
    EXPECT_EQ(GetImageLayout(img.data(), img.size(), nullptr), 0);
    const uint32_t sound[3][2] = {{1, 1}, {1, 2}, {2, 2}};
    img = OddImage(5, sound);
    EXPECT_EQ(GetImageLayout(img.data(), img.size(), nullptr), 1) << "overlapping regions alone are allowed";
    EXPECT_EQ(VerifyImageCrc(img.data(), img.size()), 1);
}

}  // namespace
