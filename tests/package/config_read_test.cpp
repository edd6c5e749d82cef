// Reading QuillonInfo.ini into the application state.
#include <algorithm>
#include <string>

#include "package/config.h"
#include "tests/package/config_fixture.h"

namespace {

class ConfigRead : public ConfigFixture {
protected:
    void ReadIni(const std::string& text) {
        std::u16string path = Write(u"QuillonInfo.ini", text);
        WCopy(GetAppState()->szIniPath, 260, path.c_str());
        ReadUpdateConfig(nullptr);
    }
};

TEST_F(ConfigRead, EveryKeyInto_ItsField) {
    ReadIni(
        "[UPDATEINFO]\r\n"
        "TITLE=55 00 70 00 21 00\r\n"
        "SOCID=VELQORAX\r\n"
        "ModelName=|M1|M2|\r\n"
        "FWVersion=|F1|\r\n"
        "NEWVERSION=VX5A0200\r\n"
        "iInternalFWVersionCheckPart=2\r\n"
        "bIsSATA=1\r\n"
        "bRemoveFtlBuildNumCheck=1\r\n"
        "bSetVersionBeforeQuillon=1\r\n"
        "BeforeMessage=Update now?<BR>Keep power on.\r\n"
        "AfterMessage=Done<BR><BR>Restart.\r\n"
        "PowerCtrl=2\r\n");
    const AppState* s = GetAppState();
    EXPECT_EQ(std::u16string(s->szTitle), u"Up!");
    EXPECT_EQ(std::u16string(s->SOCID), u"VELQORAX");
    EXPECT_EQ(std::u16string(s->ModelName), u"|M1|M2|");
    EXPECT_EQ(std::u16string(s->FWVersion), u"|F1|");
    EXPECT_EQ(std::u16string(s->NEWVERSION), u"VX5A0200");
    EXPECT_EQ(s->iInternalFWVersionCheckPart, 2);
    EXPECT_EQ(s->bIsSATA, 1);
    EXPECT_EQ(s->bRemoveFtlBuildNumCheck, 1);
    EXPECT_EQ(s->bSetVersionBeforeQuillon, 1);
    EXPECT_EQ(std::u16string(s->BeforeMessage), u"Update now?\r\nKeep power on.");
    EXPECT_EQ(std::u16string(s->AfterMessage), u"Done\r\n\r\nRestart.");
    EXPECT_EQ(s->PowerCtrl, 2);
}

TEST_F(ConfigRead, NoFileGivesTheDefaults) {
    WCopy(GetAppState()->szIniPath, 260, Path(u"QuillonInfo.ini").c_str());
    GetAppState()->iInternalFWVersionCheckPart = 77;
    GetAppState()->PowerCtrl = 9;
    GetAppState()->SOCID[0] = u'x';
    ReadUpdateConfig(nullptr);
    const AppState* s = GetAppState();
    EXPECT_EQ(std::u16string(s->szTitle), u"Package Error");
    EXPECT_EQ(s->iInternalFWVersionCheckPart, 3);
    EXPECT_EQ(s->bIsSATA, 0);
    EXPECT_EQ(s->bRemoveFtlBuildNumCheck, 0);
    EXPECT_EQ(s->bSetVersionBeforeQuillon, 0);
    EXPECT_EQ(s->PowerCtrl, 0);
    EXPECT_EQ(s->SOCID[0], 0);
    EXPECT_EQ(s->ModelName[0], 0);
    EXPECT_EQ(s->BeforeMessage[0], 0);
}

// No work folder, so no file name: nothing is read, every key its default,
// and no image is found.
TEST_F(ConfigRead, EmptyFileNameGivesTheDefaults) {
    // A file the profile functions could find by an empty name must not be read.
    ReadIni("[UPDATEINFO]\nTITLE=41 00\nSOCID=X\nbIsSATA=1\n[NandMap]\n010203040506_1=a.bin\n");
    GetAppState()->szIniPath[0] = 0;
    ReadUpdateConfig(nullptr);
    const AppState* s = GetAppState();
    EXPECT_EQ(std::u16string(s->szTitle), u"Package Error");
    EXPECT_EQ(s->SOCID[0], 0);
    EXPECT_EQ(s->bIsSATA, 0);
    EXPECT_EQ(s->iInternalFWVersionCheckPart, 3);
    DiskInfo disk = {};
    const uint8_t nand[6] = {1, 2, 3, 4, 5, 6};
    std::copy(nand, nand + 6, disk.NandId);
    disk.iLunCount = 1;
    WCH path[260] = u"untouched";
    EXPECT_EQ(FindImageForNand(&disk, path), 0);
    EXPECT_EQ(std::u16string(path), u"untouched");
}

// A TITLE whose text happens to be the default's is still a present key, and
// is decoded like any other ("Package Error" has no hexadecimal tokens).
TEST_F(ConfigRead, TitleThatReadsLikeTheDefaultIsDecoded) {
    ReadIni("[UPDATEINFO]\nTITLE=Package Error\n");
    WCH expected[260];
    BYTE bytes[520];
    DecodeHexBytes(u"Package Error", bytes, sizeof bytes);
    for (size_t i = 0; i < 260; ++i) expected[i] = WCH(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    expected[259] = 0;
    EXPECT_EQ(std::u16string(GetAppState()->szTitle), std::u16string(expected));
    EXPECT_NE(std::u16string(GetAppState()->szTitle), u"Package Error");
    ReadIni("[UPDATEINFO]\nSOCID=*\n");  // absent: the default as it stands
    EXPECT_EQ(std::u16string(GetAppState()->szTitle), u"Package Error");
}

TEST_F(ConfigRead, PowerCtrlKeepsItsLowByte) {
    ReadIni("[UPDATEINFO]\nPowerCtrl=256\n");
    EXPECT_EQ(GetAppState()->PowerCtrl, 0);
    ReadIni("[UPDATEINFO]\nPowerCtrl=258\n");
    EXPECT_EQ(GetAppState()->PowerCtrl, 2);
    ReadIni("[UPDATEINFO]\nPowerCtrl=257\n");
    EXPECT_EQ(GetAppState()->PowerCtrl, 1);
}

TEST_F(ConfigRead, TitleForms) {
    ReadIni("[UPDATEINFO]\nTITLE=55 00 70\n");  // odd byte count: last unit's high byte is 0
    EXPECT_EQ(std::u16string(GetAppState()->szTitle), u"Up");
    ReadIni("[UPDATEINFO]\nTITLE=\n");
    EXPECT_EQ(std::u16string(GetAppState()->szTitle), u"");
    ReadIni("[UPDATEINFO]\nSOCID=*\n");
    EXPECT_EQ(std::u16string(GetAppState()->szTitle), u"Package Error");
    ReadIni("[updateinfo]\ntitle=  41   42 00 \n");  // runs of spaces, any case of names
    EXPECT_EQ(std::u16string(GetAppState()->szTitle), u"\u4241");
    ReadIni("[UPDATEINFO]\nTITLE=2D6F 0x4 -1 ff\n");  // over-long token cut to 3 characters
    EXPECT_EQ(GetAppState()->szTitle[0], char16_t(0x04D6));
    EXPECT_EQ(GetAppState()->szTitle[1], char16_t(0xFFFF));
}

TEST_F(ConfigRead, OnlyUpperCaseBrIsReplaced) {
    ReadIni("[UPDATEINFO]\nBeforeMessage=a<br>b<Br>c<BR>d\n");
    EXPECT_EQ(std::u16string(GetAppState()->BeforeMessage), u"a<br>b<Br>c\r\nd");
}

TEST_F(ConfigRead, TextValuesAreCutToTheirFields) {
    std::string socid(100, 'S');
    std::string model(400, 'M');
    ReadIni("[UPDATEINFO]\nSOCID=" + socid + "\nModelName=" + model + "\n");
    EXPECT_EQ(std::u16string(GetAppState()->SOCID), std::u16string(63, u'S'));
    EXPECT_EQ(std::u16string(GetAppState()->ModelName), std::u16string(259, u'M'));
}

TEST(ConfigText, DecodeHexBytesLimits) {
    BYTE out[520];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(DecodeHexBytes(u"41 00 42", out, sizeof out), 3);
    EXPECT_EQ(out[0], 0x41);
    EXPECT_EQ(out[2], 0x42);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[519], 0);
    // 150 tokens: only the first 100 are read.
    std::u16string many;
    for (int i = 0; i < 150; ++i) many += u"7 ";
    EXPECT_EQ(DecodeHexBytes(many.c_str(), out, sizeof out), 100);
    EXPECT_EQ(out[99], 7);
    EXPECT_EQ(out[100], 0);
    // A small limit is never passed.
    BYTE small[4];
    EXPECT_EQ(DecodeHexBytes(u"1 2 3 4 5 6", small, sizeof small), 4);
    EXPECT_EQ(small[3], 4);
}

TEST(ConfigText, SplitTokensSlots) {
    WCH slots[3][4];
    EXPECT_EQ(SplitTokens(u"  ab   cdefg h  i", u" ", &slots[0][0], 4, 3), 3);
    EXPECT_EQ(std::u16string(slots[0]), u"ab");
    EXPECT_EQ(std::u16string(slots[1]), u"cde");
    EXPECT_EQ(std::u16string(slots[2]), u"h");
    EXPECT_EQ(SplitTokens(u"   ", u" ", &slots[0][0], 4, 3), 0);
}

TEST(ConfigText, ReplaceAllNeverWritesPastTheBuffer) {
    // 1023 units with the pattern near the end: the working copies hold 1000.
    WCH text[1024];
    std::u16string long_text(1000, u'x');
    long_text += u"<BR>";
    long_text += std::u16string(19, u'y');
    WCopy(text, 1024, long_text.c_str());
    EXPECT_EQ(ReplaceAll(text, 1024, u"<BR>", u"\r\n"), 0) << "the pattern lies beyond the 999 units worked on";
    EXPECT_EQ(WLen(text), 999u);

    WCopy(text, 1024, (u"<BR>" + std::u16string(1010, u'z')).c_str());
    EXPECT_EQ(ReplaceAll(text, 1024, u"<BR>", u"\r\n"), 1);
    EXPECT_EQ(text[0], u'\r');
    EXPECT_EQ(WLen(text), 997u);

    // A replacement containing the pattern does not loop.
    WCH small[16] = u"a<BR>b";
    EXPECT_EQ(ReplaceAll(small, 16, u"<BR>", u"<BR><BR>"), 1);
    EXPECT_EQ(std::u16string(small), u"a<BR><BR>b");
    WCH tight[8] = u"<BR>";
    EXPECT_EQ(ReplaceAll(tight, 8, u"<BR>", u"0123456789"), 1);
    EXPECT_EQ(std::u16string(tight), u"0123456");
    WCH none[8] = u"abc";
    EXPECT_EQ(ReplaceAll(none, 8, u"<BR>", u"\r\n"), 0);
    EXPECT_EQ(std::u16string(none), u"abc");
}

}  // namespace
