// FindImageForNand: the NandMap keys and the image file in the work directory.
#include <string>

#include "package/config.h"
#include "tests/package/config_fixture.h"

namespace {

class NandMap : public ConfigFixture {
protected:
    void SetUp() override {
        ConfigFixture::SetUp();
        WCopy(GetAppState()->szWorkDir, 260, dir_);
        WCopy(GetAppState()->szIniPath, 260, Path(u"QuillonInfo.ini").c_str());
        Write(u"QuillonInfo.ini",
              "[NandMap]\n"
              "89C40832A600_1=twelve.bin\n"
              "2CC30832EA_2=ten.bin\n"
              "2CC30832EA_1=ten1.bin\n"
              "453C98B37672_1=NONE\n"
              "AAAAAAAAAAAA_1=..\\outside.bin\n"
              "BBBBBBBBBBBB_1=sub/twelve.bin\n"
              "CCCCCCCCCCCC_1=*.bin\n"
              "DDDDDDDDDDDD_1=C:twelve.bin\n"
              "EEEEEEEEEEEE_0=zero.bin\n");
        for (const char16_t* f : {u"twelve.bin", u"ten.bin", u"ten1.bin", u"zero.bin"}) Write(f, "image");
    }
    static DiskInfo Disk(std::initializer_list<BYTE> id, uint32_t luns) {
        DiskInfo d{};
        int i = 0;
        for (BYTE b : id) d.NandId[i++] = b;
        d.iLunCount = luns;
        return d;
    }
    std::u16string Find(const DiskInfo& d) {
        WCH path[260] = u"untouched";
        return FindImageForNand(&d, path) ? std::u16string(path) : std::u16string();
    }
};

TEST_F(NandMap, TwelveDigitKey) {
    EXPECT_EQ(Find(Disk({0x89, 0xC4, 0x08, 0x32, 0xA6, 0x00}, 1)), Path(u"twelve.bin"));
    EXPECT_TRUE(Logged(u"Item=89C40832A600_1"));
    EXPECT_FALSE(Logged(u"Item Retry=89C40832A6_1"));
}

TEST_F(NandMap, TenDigitRetryKeepsTheSuffix) {
    EXPECT_EQ(Find(Disk({0x2C, 0xC3, 0x08, 0x32, 0xEA, 0x30}, 2)), Path(u"ten.bin"));
    EXPECT_TRUE(Logged(u"Item=2CC30832EA30_2"));
    EXPECT_TRUE(Logged(u"Item Retry=2CC30832EA_2"));
    HostDebugClear();
    EXPECT_EQ(Find(Disk({0x2C, 0xC3, 0x08, 0x32, 0xEA, 0x99}, 1)), Path(u"ten1.bin"));
    EXPECT_TRUE(Logged(u"Item Retry=2CC30832EA_1"));
}

TEST_F(NandMap, LunCountSuffixes) {
    // Three or more LUNs use _2; none uses _0.
    EXPECT_EQ(Find(Disk({0x2C, 0xC3, 0x08, 0x32, 0xEA, 0x30}, 3)), Path(u"ten.bin"));
    EXPECT_TRUE(Logged(u"Item=2CC30832EA30_2"));
    EXPECT_EQ(Find(Disk({0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 0)), Path(u"zero.bin"));
    EXPECT_TRUE(Logged(u"Item=EEEEEEEEEEEE_0"));
}

TEST_F(NandMap, MissingKeysPlaceholdersAndMissingFiles) {
    EXPECT_EQ(Find(Disk({1, 2, 3, 4, 5, 6}, 1)), u"");
    EXPECT_TRUE(Logged(u"Item Retry=0102030405_1"));
    EXPECT_EQ(Find(Disk({0x45, 0x3C, 0x98, 0xB3, 0x76, 0x72}, 1)), u"");  // NONE: no such file
    DeleteFilesInDir(dir_, u"twelve.bin");
    EXPECT_EQ(Find(Disk({0x89, 0xC4, 0x08, 0x32, 0xA6, 0x00}, 1)), u"");
    WCH path[260] = u"untouched";
    DiskInfo d = Disk({1, 2, 3, 4, 5, 6}, 1);
    EXPECT_EQ(FindImageForNand(&d, path), 0);
    EXPECT_EQ(std::u16string(path), u"untouched");
}

TEST_F(NandMap, OnlyPlainFileNamesAreUsed) {
    Write(u"x.bin", "image");
    EXPECT_EQ(Find(Disk({0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}, 1)), u"");
    EXPECT_EQ(Find(Disk({0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB}, 1)), u"");
    EXPECT_EQ(Find(Disk({0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC}, 1)), u"");
    EXPECT_EQ(Find(Disk({0xDD, 0xDD, 0xDD, 0xDD, 0xDD, 0xDD}, 1)), u"");
    EXPECT_EQ(IsPlainFileName(u"VX500_B17A.bin"), 1);
    EXPECT_EQ(IsPlainFileName(u"a..b.bin"), 1);
    for (const char16_t* bad :
         {u"", u".", u"..", u"...", u". .", u" ", u"a\\b", u"a/b", u"c:x", u"a?.bin", u"a|b", u"a\tb"})
        EXPECT_EQ(IsPlainFileName(bad), 0) << std::string(bad, bad + WLen(bad));
}

}  // namespace
