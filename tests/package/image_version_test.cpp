// Version texts of image files, the version compare and the build number.
#include <cstring>
#include <string>
#include <vector>

#include "core/text_search.h"
#include "package/image.h"
#include "tests/package/config_fixture.h"

namespace {

class ImageVersion : public ConfigFixture {
protected:
    // A made image whose trailer carries the eight version bytes given.
    std::u16string ImageWith(const char16_t* name, const BYTE version[8], const std::string& firmware = "") {
        ImageDesc desc{};
        desc.firmware = reinterpret_cast<const BYTE*>(firmware.data());
        desc.firmware_size = firmware.size();
        std::memcpy(desc.version, version, 8);
        desc.ftl_build = 0xA5A50001;
        desc.crc32c = 1;
        std::vector<BYTE> img(ImageSizeFor(firmware.size()));
        EXPECT_EQ(MakeImage(&desc, img.data(), img.size()), img.size());
        return Write(name, img);
    }
    std::u16string Version(const std::u16string& path) {
        WCH out[32];
        std::memset(out, 0x55, sizeof out);
        int found = ReadImageVersion(path.c_str(), out);
        EXPECT_EQ(found != 0, out[0] != 0);
        return out;
    }
};

TEST_F(ImageVersion, TwoCharacterPartsGiveTheCompactForm) {
    const BYTE v[8] = {'1', 'A', '2', 'B', '3', 'C', '4', 'D'};
    EXPECT_EQ(Version(ImageWith(u"a.bin", v)), u"1A2B3C4D");
    EXPECT_TRUE(Logged(u"1A2B3C4D"));
}

TEST_F(ImageVersion, OneCharacterPartsStayDotted) {
    const BYTE v[8] = {0, '1', 0, '2', 0, '3', 0, '4'};
    EXPECT_EQ(Version(ImageWith(u"a.bin", v)), u"1.2.3.4");
    // Mixed: 1A.2.3.4 is 8 characters, still dotted; 1A.2B.3.4 is 9, compact
    // with the short parts padded by a leading zero.
    const BYTE eight[8] = {'1', 'A', 0, '2', 0, '3', 0, '4'};
    EXPECT_EQ(Version(ImageWith(u"b.bin", eight)), u"1A.2.3.4");
    const BYTE nine[8] = {'1', 'A', '2', 'B', 0, '3', 0, '4'};
    EXPECT_EQ(Version(ImageWith(u"c.bin", nine)), u"1A2B0304");
    // A part ending in a zero byte is one character long.
    const BYTE early[8] = {'1', 0, '2', 0, '3', 0, '4', 0};
    EXPECT_EQ(Version(ImageWith(u"d.bin", early)), u"1.2.3.4");
}

TEST_F(ImageVersion, ShortHeaderTextFallsBackToTheScan) {
    const BYTE v[8] = {0, '1', 0, '2', 0, '3', 0, 0};  // "1.2.3." : 6 characters
    EXPECT_EQ(Version(ImageWith(u"a.bin", v, std::string("junk FW7.8.9.1\0 tail", 20))), u"7.8.9.1");
    EXPECT_EQ(Version(ImageWith(u"b.bin", v, "no dotted text here")), u"");
}

TEST_F(ImageVersion, ScanOfFilesWithoutTheMagic) {
    EXPECT_EQ(Version(Write(u"a.bin", std::string("FW1.2.3.4\0", 10))), u"1.2.3.4");
    // Two dots in a row stop the walk; the search goes on 7 bytes after the
    // dot, past the rest of that run.
    EXPECT_EQ(Version(Write(u"b.bin", std::string("1..2.3.4"))), u"");
    EXPECT_EQ(Version(Write(u"c.bin", std::string("xx1..2.3.4yyyyyy 5.6.7.8\0", 25))), u"5.6.7.8");
    // The window starts one byte before the dot: multi-digit first parts lose digits.
    EXPECT_EQ(Version(Write(u"d.bin", std::string("V10.20.30.40"))), u"0.20.30.");
    // Windows that would run past the end, or start before the file, are not taken.
    EXPECT_EQ(Version(Write(u"e.bin", std::string("abc1.2.3"))), u"");
    EXPECT_EQ(Version(Write(u"f.bin", std::string(".1.2.3.4"))), u"");
    EXPECT_EQ(Version(Path(u"missing.bin")), u"");
}

TEST_F(ImageVersion, BrokenRegionsAreScannedNotFollowed) {
    const BYTE v[8] = {'1', 'A', '2', 'B', '3', 'C', '4', 'D'};
    std::u16string good = ImageWith(u"a.bin", v, std::string("FW1.2.3.4\0", 10));
    std::vector<BYTE> img(ImageSizeFor(10));
    ASSERT_EQ(ReadWholeFile(good.c_str(), DWORD(img.size()), img.data()), img.size());
    PutLe32(img.data() + 0x24, 0x00100000);  // region 2 far beyond the file
    std::u16string broken = Write(u"b.bin", img);
    EXPECT_EQ(Version(broken), u"1.2.3.4");
    EXPECT_EQ(ReadFtlBuildNum(broken.c_str()), 0u);
    EXPECT_EQ(ReadFtlBuildNum(good.c_str()), 0xA5A50001u);
}

TEST_F(ImageVersion, BuildNumberNeedsTheMagic) {
    EXPECT_EQ(ReadFtlBuildNum(Write(u"a.bin", std::string(3 * 4096, 'x')).c_str()), 0u);
    EXPECT_EQ(ReadFtlBuildNum(Path(u"missing.bin").c_str()), 0u);
}

TEST_F(ImageVersion, CompareVersionPartsCompactDrive) {
    const BYTE v[8] = {'1', 'A', '2', 'B', '3', 'C', '5', 'E'};
    std::u16string path = ImageWith(u"a.bin", v);
    WCH image_version[32];
    EXPECT_EQ(CompareVersionParts(u"1A2B3C4D", 2, path.c_str(), image_version), 1);
    EXPECT_EQ(std::u16string(image_version), u"1A2B3C5E");
    EXPECT_EQ(CompareVersionParts(u"1A2B3C4D", 3, path.c_str(), image_version), 1);
    HostDebugClear();
    EXPECT_EQ(CompareVersionParts(u"1A2B3C4D", 4, path.c_str(), image_version), 0);
    EXPECT_TRUE(Logged(u"DrvInfoVersion = 1A2B3C4D, BinFWVersion = 1A2B3C5E, iCheckPart = 4"));
    // Case counts.
    EXPECT_EQ(CompareVersionParts(u"1a2B3C4D", 2, path.c_str(), image_version), 0);
    // Part counts whose cut falls outside the texts compare them whole.
    EXPECT_EQ(CompareVersionParts(u"1A2B3C4D", 16, path.c_str(), image_version), 0);
    EXPECT_EQ(CompareVersionParts(u"1A2B3C5E", 16, path.c_str(), image_version), 1);
    EXPECT_EQ(CompareVersionParts(u"1A2B3C4D", -1, path.c_str(), image_version), 0);
}

TEST_F(ImageVersion, CompareVersionPartsDottedDrive) {
    const BYTE v[8] = {0, '1', 0, '2', 0, '9', 0, '9'};
    std::u16string path = ImageWith(u"a.bin", v);
    WCH image_version[32];
    // 1.2.3.4 with two parts compares "1.2" with the image's first three characters.
    EXPECT_EQ(CompareVersionParts(u"1.2.3.4", 2, path.c_str(), image_version), 1);
    EXPECT_EQ(CompareVersionParts(u"1.2.3.4", 3, path.c_str(), image_version), 0);
    // Fewer dots than parts: nothing is cut.
    EXPECT_EQ(CompareVersionParts(u"1.2", 3, path.c_str(), image_version), 0);
    // A missing image has no version and matches nothing but an empty cut.
    EXPECT_EQ(CompareVersionParts(u"1.2.3.4", 2, Path(u"missing.bin").c_str(), image_version), 0);
    EXPECT_EQ(image_version[0], 0);
}

TEST(TrimBlanksTest, SpacesAndTabsOnBothEnds) {
    WCH t[32] = u" \t 1.2.3.4 \t";
    TrimBlanks(t);
    EXPECT_EQ(std::u16string(t), u"1.2.3.4");
    WCH blank[8] = u" \t ";
    TrimBlanks(blank);
    EXPECT_EQ(blank[0], 0);
    WCH inner[16] = u"a b\tc";
    TrimBlanks(inner);
    EXPECT_EQ(std::u16string(inner), u"a b\tc");
}

}  // namespace
