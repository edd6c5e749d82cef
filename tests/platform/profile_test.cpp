// Profile reads on the Linux host, on bytes (the full cross-check against
// Wine is tests/profile-wine/run.sh; these run with every ctest).
#include <gtest/gtest.h>

#include <string>

#include "platform/host/profile_parse.h"

namespace {

std::u16string Get(const std::string& file, const char16_t* section, const char16_t* key, const char16_t* def,
                   DWORD capacity = 64, DWORD* ret = nullptr) {
    WCH out[300];
    DWORD n = host::ProfileGetString(reinterpret_cast<const BYTE*>(file.data()), file.size(), section, key, def, out,
                                     capacity);
    if (ret) *ret = n;
    return out;
}

TEST(ProfileParse, SectionsKeysAndBlanks) {
    const std::string ini = "[UpdateInfo]\r\n  Title  =  41 00 \r\nk=first\r\nK=second\r\n[ updateinfo ]\r\nlate=1\r\n";
    EXPECT_EQ(Get(ini, u" UPDATEINFO ", u"TITLE", u""), u"41 00");
    EXPECT_EQ(Get(ini, u"UPDATEINFO", u"k", u""), u"first");
    EXPECT_EQ(Get(ini, u"UPDATEINFO", u"late", u"absent"), u"absent") << "only the first section of a name";
    EXPECT_EQ(Get("", u"S", u"k", u"'q'"), u"q") << "an empty profile gives the default, unquoted";
}

TEST(ProfileParse, QuotesAndCutting) {
    const std::string ini = "[S]\nq=\"abc\"\nm=\"abc'\nlong=0123456789\n";
    EXPECT_EQ(Get(ini, u"S", u"q", u""), u"abc");
    EXPECT_EQ(Get(ini, u"S", u"m", u""), u"\"abc'");
    DWORD n = 0;
    EXPECT_EQ(Get(ini, u"S", u"long", u"", 5, &n), u"0123");
    EXPECT_EQ(n, 4u);
}

TEST(ProfileParse, Utf16WithByteOrderMarks) {
    std::string le = "\xFF\xFE";
    std::string be = "\xFE\xFF";
    for (char c : std::string("[S]\r\nk=v\r\n")) {
        le += c, le += '\0';
        be += '\0', be += c;
    }
    EXPECT_EQ(Get(le, u"S", u"k", u""), u"v");
    EXPECT_EQ(Get(be, u"S", u"k", u""), u"v");
    EXPECT_EQ(Get(le + "x", u"S", u"k", u""), u"v") << "an odd trailing byte is ignored";
}

TEST(ProfileParse, IntegersAsTheReaderTakesThem) {
    EXPECT_EQ(host::ProfileTextToInt(u"42abc"), 42u);
    EXPECT_EQ(host::ProfileTextToInt(u"-7"), 4294967289u);
    EXPECT_EQ(host::ProfileTextToInt(u"0x1F"), 31u);
    EXPECT_EQ(host::ProfileTextToInt(u"0X1F"), 0u) << "only a lower-case prefix";
    EXPECT_EQ(host::ProfileTextToInt(u"4294967297"), 1u) << "wraps modulo 2^32";
    EXPECT_EQ(host::ProfileTextToInt(u"abc"), 0u);
}

TEST(ProfileParse, KeyListOfASection) {
    const std::string ini = "[N]\na=1\nnovalue\n;c=2\nbb=\n[M]\n";
    WCH out[16];
    DWORD n = host::ProfileGetString(reinterpret_cast<const BYTE*>(ini.data()), ini.size(), u"N", nullptr, u"", out, 16);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(std::u16string(out, 6), std::u16string(u"a\0bb\0\0", 6));
    EXPECT_EQ(Get(ini, u"M", nullptr, u"none"), u"none");
}

}  // namespace
