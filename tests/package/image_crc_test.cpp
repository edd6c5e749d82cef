// The two CRC variants of the image checksum, and the image layout check.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "package/image.h"

namespace {

const char kCheck[] = "123456789";

TEST(ImageCrc, CheckValuesOfBothVariants) {
    EXPECT_EQ(ImageCrc(kCheck, 9, 0, 1), 0xE3069283u);  // CRC-32C
    EXPECT_EQ(ImageCrc(kCheck, 9, 0, 0), 0xCBF43926u);  // CRC-32, as zip has it
}

TEST(ImageCrc, PiecesChainToOneCrc) {
    for (int variant = 0; variant < 2; ++variant) {
        const uint32_t whole = ImageCrc(kCheck, 9, 0, variant);
        for (size_t cut = 0; cut <= 9; ++cut) {
            uint32_t first = ImageCrc(kCheck, cut, 0, variant);
            EXPECT_EQ(ImageCrc(kCheck + cut, 9 - cut, first, variant), whole) << variant << " cut " << cut;
        }
        // A zero length hands the previous value back, whatever it is.
        EXPECT_EQ(ImageCrc(kCheck, 0, 0x12345678u, variant), 0x12345678u);
    }
}

TEST(ImageCrc, SingleBytesAgreeWithTheStandardTables) {
    // Entry 128 of each reflected table is the polynomial itself: one byte
    // 0x80 through an all-zero register (previous 0xFFFFFFFF, undone after).
    BYTE b = 0x80;
    EXPECT_EQ(ImageCrc(&b, 1, 0xFFFFFFFFu, 1) ^ 0xFFFFFFFFu, 0x82F63B78u);
    EXPECT_EQ(ImageCrc(&b, 1, 0xFFFFFFFFu, 0) ^ 0xFFFFFFFFu, 0xEDB88320u);
}

std::vector<BYTE> Image(size_t firmware_size, int crc32c) {
    std::vector<BYTE> fw(firmware_size);
    for (size_t i = 0; i < fw.size(); ++i) fw[i] = BYTE(i * 7 + 1);
    ImageDesc desc{};
    desc.firmware = fw.data();
    desc.firmware_size = fw.size();
    ParseVersionParts(u"1A2B3C5E", desc.version);
    desc.ftl_build = 0x12345;
    desc.crc32c = crc32c;
    std::vector<BYTE> out(ImageSizeFor(fw.size()));
    EXPECT_EQ(MakeImage(&desc, out.data(), out.size()), out.size());
    return out;
}

TEST(ImageLayoutCheck, MadeImageHasTheDocumentedLayout) {
    std::vector<BYTE> img = Image(3 * 4096 + 10, 1);
    ASSERT_EQ(img.size(), 7u * 4096);  // header, 4 firmware pages, config, trailer
    EXPECT_EQ(std::memcmp(img.data(), "CMFG", 4), 0);
    ImageLayout l;
    ASSERT_EQ(GetImageLayout(img.data(), img.size(), &l), 1);
    EXPECT_EQ(l.first[0], 1u);
    EXPECT_EQ(l.last[1], 4u);
    EXPECT_EQ(l.first[2], 5u);
    EXPECT_EQ(l.last[2], 5u);
    EXPECT_EQ(l.trailer, 6u * 4096);
    EXPECT_EQ(std::memcmp(img.data() + 6 * 4096 + 0x10, "1A2B3C5E", 8), 0);
    EXPECT_EQ(GetLe32(img.data() + 6 * 4096 + 0xFF8), 0x12345u);

    // The stored checksum recomputed from its definition: header bytes, 4016
    // zeros for the rest of page 0, then the region pages in order.
    std::vector<BYTE> covered(img.begin(), img.begin() + 0x50);
    covered.resize(4096, 0);
    covered.insert(covered.end(), img.begin() + 4096, img.begin() + 6 * 4096);
    EXPECT_EQ(GetLe32(img.data() + 6 * 4096 + 0xC), ImageCrc(covered.data(), covered.size(), 0, 1));
}

TEST(ImageLayoutCheck, BrokenLayoutsAreNotConfigurationImages) {
    const std::vector<BYTE> good = Image(4096, 1);
    struct Case {
        const char* what;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {"region 0 last page beyond the file", 0x14, 100},
        {"region 1 first page after its last", 0x18, 3},
        {"region 2 last page wraps in 32 bits", 0x24, 0xFFFFFFFFu},
        {"trailer page beyond the end", 0x24, 4},
        {"region 2 ends at the last page, no trailer", 0x20, 4},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> img = good;
        PutLe32(img.data() + c.offset, c.value);
        if (c.offset == 0x20) PutLe32(img.data() + 0x24, 4);
        EXPECT_EQ(GetImageLayout(img.data(), img.size(), nullptr), 0) << c.what;
    }
    std::vector<BYTE> cut(good.begin(), good.end() - 1);
    EXPECT_EQ(GetImageLayout(cut.data(), cut.size(), nullptr), 0) << "file one byte short";
    std::vector<BYTE> no_magic = good;
    no_magic[0] = 'X';
    EXPECT_EQ(GetImageLayout(no_magic.data(), no_magic.size(), nullptr), 0);
    EXPECT_EQ(GetImageLayout(good.data(), 100, nullptr), 0);
}

TEST(ImageVersionParts, TextFormsAndRefusals) {
    BYTE v[8];
    ASSERT_EQ(ParseVersionParts(u"1.2.3.4", v), 1);
    const BYTE dotted[8] = {0, '1', 0, '2', 0, '3', 0, '4'};
    EXPECT_EQ(std::memcmp(v, dotted, 8), 0);
    ASSERT_EQ(ParseVersionParts(u"1A.2.3C.4", v), 1);
    const BYTE mixed[8] = {'1', 'A', 0, '2', '3', 'C', 0, '4'};
    EXPECT_EQ(std::memcmp(v, mixed, 8), 0);
    EXPECT_EQ(ParseVersionParts(u"1A2B3C", v), 0);
    EXPECT_EQ(ParseVersionParts(u"1.2.3", v), 0);
    EXPECT_EQ(ParseVersionParts(u"1..2.3", v), 0);
    EXPECT_EQ(ParseVersionParts(u"123.1.2.3", v), 0);
    EXPECT_EQ(ParseVersionParts(u"1A2B-C4D", v), 0);
}

}  // namespace
