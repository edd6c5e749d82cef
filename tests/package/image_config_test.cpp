// The configuration block's version text and resealing an image in memory.
#include <cstring>
#include <vector>

#include "package/image.h"
#include "tests/package/config_fixture.h"

namespace {

std::vector<BYTE> Block(const char* version) {
    std::vector<BYTE> b(4096);
    for (size_t i = 0; i < b.size(); ++i) b[i] = BYTE(i * 13 + 5);
    std::memset(b.data() + 0x428, 0, 8);
    std::memcpy(b.data() + 0x428, version, std::strlen(version) < 8 ? std::strlen(version) : 8);
    return b;
}

std::vector<BYTE> MadeImage(int crc32c, const char* config_version = "VX5A0100") {
    std::vector<BYTE> fw(5000);
    for (size_t i = 0; i < fw.size(); ++i) fw[i] = BYTE(i ^ (i >> 8));
    std::vector<BYTE> block = Block(config_version);
    ImageDesc desc{};
    desc.firmware = fw.data();
    desc.firmware_size = fw.size();
    desc.config = block.data();
    desc.config_size = block.size();
    ParseVersionParts(u"1A2B3C5E", desc.version);
    desc.crc32c = crc32c;
    std::vector<BYTE> img(ImageSizeFor(fw.size()));
    EXPECT_EQ(MakeImage(&desc, img.data(), img.size()), img.size());
    return img;
}

// Where MadeImage puts the configuration block and the trailer (5000 bytes
// of firmware: two firmware pages).
constexpr size_t kConfigPage = 3 * 4096;
constexpr size_t kTrailer = 4 * 4096;

class ImageConfig : public ConfigFixture {};

TEST_F(ImageConfig, SetConfigVersionWritesEightBytesAndItsCrc) {
    std::vector<BYTE> b = Block("VX5A0100");
    uint32_t crc = 0;
    EXPECT_EQ(SetConfigVersion(b.data(), u"VX5A0200", 1, &crc), 1);
    EXPECT_EQ(std::memcmp(b.data() + 0x428, "VX5A0200", 8), 0);
    EXPECT_EQ(crc, ImageCrc(b.data(), 4096, 0, 1));
    EXPECT_TRUE(Logged(u"Now[VX5A0100],New[VX5A0200]"));

    EXPECT_EQ(SetConfigVersion(b.data(), u"V2", 0, &crc), 1);
    const BYTE shorter[8] = {'V', '2', 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b.data() + 0x428, shorter, 8), 0);
    EXPECT_EQ(crc, ImageCrc(b.data(), 4096, 0, 0));

    EXPECT_EQ(SetConfigVersion(b.data(), u"ABCDEFGHIJ", 0, nullptr), 1);
    EXPECT_EQ(std::memcmp(b.data() + 0x428, "ABCDEFGH", 8), 0);
    EXPECT_EQ(b[0x430], BYTE(0x430 * 13 + 5)) << "the byte after the version text is left alone";
}

TEST_F(ImageConfig, SetConfigVersionNoChangeAndKeep) {
    std::vector<BYTE> b = Block("VX5A0100");
    const std::vector<BYTE> before = b;
    uint32_t crc = 0xDEADBEEF;
    EXPECT_EQ(SetConfigVersion(b.data(), u"VX5A0100", 1, &crc), 0);
    EXPECT_EQ(b, before);
    EXPECT_EQ(crc, 0xDEADBEEFu);
    EXPECT_TRUE(Logged(u"Now[VX5A0100],New[VX5A0100]"));
    HostDebugClear();
    EXPECT_EQ(SetConfigVersion(b.data(), u"keep", 1, &crc), 0);
    EXPECT_EQ(SetConfigVersion(b.data(), u"KeEp", 1, &crc), 0);
    EXPECT_EQ(b, before);
    EXPECT_TRUE(HostDebugLines().empty()) << "KEEP returns before logging";
    // KEEP only as the whole text.
    EXPECT_EQ(SetConfigVersion(b.data(), u"KEEP2", 1, nullptr), 1);
}

TEST_F(ImageConfig, PatchWithoutDriveBlockResealsAndVerifies) {
    std::vector<BYTE> img = MadeImage(1);
    ASSERT_EQ(VerifyImageCrc(img.data(), img.size()), 1);
    PutLe32(img.data() + kTrailer + 8, 0x77777777);
    PatchImageConfig(img.data(), img.size(), nullptr, u"VX5A0200");
    EXPECT_EQ(std::memcmp(img.data() + kConfigPage + 0x428, "VX5A0200", 8), 0);
    EXPECT_EQ(GetLe32(img.data() + kTrailer + 8), 0u);
    EXPECT_EQ(VerifyImageCrc(img.data(), img.size()), 1) << "a CRC-32C image stays CRC-32C";
}

TEST_F(ImageConfig, PatchWithDriveBlockCopiesItWhole) {
    std::vector<BYTE> img = MadeImage(1);
    std::vector<BYTE> drive(4096, 0xC3);
    std::memcpy(drive.data() + 0x428, "DRIVE001", 8);
    PatchImageConfig(img.data(), img.size(), drive.data(), u"KEEP");
    EXPECT_EQ(std::memcmp(img.data() + kConfigPage, drive.data(), 4096), 0);
    EXPECT_EQ(VerifyImageCrc(img.data(), img.size()), 1);
    PatchImageConfig(img.data(), img.size(), drive.data(), u"NEW00001");
    EXPECT_EQ(std::memcmp(img.data() + kConfigPage + 0x428, "NEW00001", 8), 0);
    EXPECT_EQ(img[kConfigPage], 0xC3);
    EXPECT_EQ(VerifyImageCrc(img.data(), img.size()), 1);
}

TEST_F(ImageConfig, Crc32ImagesAndBadChecksumsAreResealedWithCrc32) {
    std::vector<BYTE> img = MadeImage(0);
    EXPECT_EQ(VerifyImageCrc(img.data(), img.size()), 0);
    PatchImageConfig(img.data(), img.size(), nullptr, u"VX5A0200");
    ImageLayout l;
    ASSERT_EQ(GetImageLayout(img.data(), img.size(), &l), 1);
    EXPECT_EQ(GetLe32(img.data() + kTrailer + 0xC), ComputeImageChecksum(img.data(), &l, 0));

    std::vector<BYTE> bad = MadeImage(1);
    PutLe32(bad.data() + kTrailer + 0xC, 0x01020304);  // matches neither variant
    PatchImageConfig(bad.data(), bad.size(), nullptr, u"KEEP");
    EXPECT_EQ(GetLe32(bad.data() + kTrailer + 0xC), ComputeImageChecksum(bad.data(), &l, 0));
    EXPECT_EQ(VerifyImageCrc(bad.data(), bad.size()), 0);
}

TEST_F(ImageConfig, ImagesThatAreNotConfigurationImagesAreLeftAlone) {
    std::vector<BYTE> plain(3 * 4096, 0x41);
    const std::vector<BYTE> plain_before = plain;
    PatchImageConfig(plain.data(), plain.size(), nullptr, u"VX5A0200");
    EXPECT_EQ(plain, plain_before);
    EXPECT_EQ(VerifyImageCrc(plain.data(), plain.size()), 0);
    EXPECT_TRUE(Logged(u"Not Config FW"));

    // Magic but a trailer beyond the end, or region 2 outside the file: the
    // exact-size buffers make any stray read or write an ASan failure.
    std::vector<BYTE> img = MadeImage(1);
    std::vector<BYTE> short_img(img.begin(), img.begin() + kTrailer + 100);
    const std::vector<BYTE> short_before = short_img;
    HostDebugClear();
    PatchImageConfig(short_img.data(), short_img.size(), nullptr, u"VX5A0200");
    EXPECT_EQ(short_img, short_before);
    EXPECT_EQ(VerifyImageCrc(short_img.data(), short_img.size()), 0);
    EXPECT_TRUE(Logged(u"Not Config FW"));

    std::vector<BYTE> wild = MadeImage(1);
    PutLe32(wild.data() + 0x20, 0xFFFFFFF0u);
    PutLe32(wild.data() + 0x24, 0xFFFFFFF0u);
    const std::vector<BYTE> wild_before = wild;
    std::vector<BYTE> drive(4096, 1);
    PatchImageConfig(wild.data(), wild.size(), drive.data(), u"VX5A0200");
    EXPECT_EQ(wild, wild_before);
}

}  // namespace
