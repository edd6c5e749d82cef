// The wide formatter writes every log line and every path of the tool, so
// its output is checked unit by unit against what wsprintfW produces.
#include "platform/wtext.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace {

// Formats into a guarded buffer and returns the text; fails the test when
// anything was written past the capacity.
struct Formatted {
    std::u16string text;
    int result;
};

template <typename... Args>
Formatted Fmt(size_t capacity, const char16_t* format, Args... args) {
    WCH buffer[2100];
    for (auto& c : buffer) c = u'#';
    int r = FormatW(buffer, capacity, format, args...);
    for (size_t i = capacity; i < sizeof(buffer) / sizeof(buffer[0]); ++i) {
        EXPECT_EQ(buffer[i], u'#') << "written beyond capacity at " << i;
        if (buffer[i] != u'#') break;
    }
    Formatted f;
    f.result = r;
    if (capacity > 0) f.text.assign(buffer, WLen(buffer));
    return f;
}

template <typename... Args>
std::u16string F(const char16_t* format, Args... args) {
    Formatted f = Fmt(1024, format, args...);
    EXPECT_EQ(f.result, static_cast<int>(f.text.size()));
    return f.text;
}

TEST(FormatW, TextConversionsFollowTheWideConventions) {
    EXPECT_EQ(F(u"[%s]", u"wide"), u"[wide]");
    EXPECT_EQ(F(u"[%S]", "narrow"), u"[narrow]");
    EXPECT_EQ(F(u"%ls|%hs", u"w", "n"), u"w|n");
    EXPECT_EQ(F(u"%lS|%hS", u"w", "n"), u"w|n");
    EXPECT_EQ(F(u"%s (RAW)", u"Model X"), u"Model X (RAW)");
    EXPECT_EQ(F(u"%s [%s]", u"M", u"C: D: "), u"M [C: D: ]");
    EXPECT_EQ(F(u"%s", static_cast<const WCH*>(nullptr)), u"(null)");
    EXPECT_EQ(F(u"%S", static_cast<const char*>(nullptr)), u"(null)");
    EXPECT_EQ(F(u"[%6s][%-6s][%06s]", u"ab", u"cd", u"ef"), u"[    ab][cd    ][    ef]");
    EXPECT_EQ(F(u"[%.3s][%.2S]", u"abcdef", "xyz"), u"[abc][xy]");
    EXPECT_EQ(F(u"%s", u"\u5FAE\u8EDF"), u"\u5FAE\u8EDF");
    // Narrow text is widened as Windows-1252.
    EXPECT_EQ(F(u"%S", "\x80\x81\x9F\xA0\xE9\xFF"), u"\u20AC\u0081\u0178\u00A0\u00E9\u00FF");
}

TEST(FormatW, Characters) {
    EXPECT_EQ(F(u"%c%c", u'A', u'\u00DF'), u"A\u00DF");
    EXPECT_EQ(F(u"%c:", u'C'), u"C:");
    EXPECT_EQ(F(u"%C%hc%lc", 'a', '\x80', u'\u20AC'), u"a\u20AC\u20AC");
    EXPECT_EQ(F(u"[%3c][%-3c]", u'x', u'y'), u"[  x][y  ]");
    EXPECT_EQ(F(u"a%cb", 0), u"ab");
}

TEST(FormatW, SignedAndUnsignedDecimal) {
    EXPECT_EQ(F(u"%d", 0), u"0");
    EXPECT_EQ(F(u"%d|%i", -17, 42), u"-17|42");
    EXPECT_EQ(F(u"%d", INT_MIN), u"-2147483648");
    EXPECT_EQ(F(u"%d", INT_MAX), u"2147483647");
    EXPECT_EQ(F(u"%u", -1), u"4294967295");
    EXPECT_EQ(F(u"%u", 0x80000000u), u"2147483648");
    EXPECT_EQ(F(u"%ld|%lu", -5, 7u), u"-5|7");
    // Integers are 32 bits whatever the h or l prefix says, as on Windows.
    EXPECT_EQ(F(u"%hd|%hu", 0x12345, -1), u"74565|4294967295");
    EXPECT_EQ(F(u"%d GB", 476), u"476 GB");
}

TEST(FormatW, SixtyFourBitValues) {
    EXPECT_EQ(F(u"%I64d", static_cast<long long>(INT64_MIN)), u"-9223372036854775808");
    EXPECT_EQ(F(u"%I64d", static_cast<long long>(1234567890123LL)), u"1234567890123");
    EXPECT_EQ(F(u"%I64u", static_cast<unsigned long long>(UINT64_MAX)), u"18446744073709551615");
    EXPECT_EQ(F(u"%I64x|%I64X", 0xABCDEF0123ULL, 0xABCDEF0123ULL), u"abcdef0123|ABCDEF0123");
    EXPECT_EQ(F(u"%016I64X", 0x1ULL), u"0000000000000001");
    EXPECT_EQ(F(u"%I64i", -1LL), u"-1");
    EXPECT_EQ(F(u"%I64X", static_cast<long long>(-0x12345)), u"FFFFFFFFFFFEDCBB");
    EXPECT_EQ(F(u"%I32x", -0x12345), u"fffedcbb");
    // Argument sizes must be taken right, or the values after shift.
    EXPECT_EQ(F(u"%d %I64d %d %I64u %d", 1, -2LL, 3, 4ULL, 5), u"1 -2 3 4 5");
    EXPECT_EQ(F(u"%s\\%I64d", u"C:\\Temp\\Quillon", 987654321LL), u"C:\\Temp\\Quillon\\987654321");
}

TEST(FormatW, HexadecimalWidthsAndPadding) {
    EXPECT_EQ(F(u"%x|%X", 0xbeefu, 0xbeefu), u"beef|BEEF");
    EXPECT_EQ(F(u"%02X", 5u), u"05");
    EXPECT_EQ(F(u"%02X", 0xABCu), u"ABC");
    EXPECT_EQ(F(u"%04X", 0x1Bu), u"001B");
    EXPECT_EQ(F(u"%08X", 0xDEADBEEFu), u"DEADBEEF");
    EXPECT_EQ(F(u"%08X", 0x2u), u"00000002");
    EXPECT_EQ(F(u"%08x", -1), u"ffffffff");
    EXPECT_EQ(F(u"%#x|%#X|%#x", 0x1fu, 0x1fu, 0u), u"0x1f|0X1F|0x0");
    EXPECT_EQ(F(u"[%#6x]", 0x1fu), u"[    0x1f]");
    EXPECT_EQ(F(u"%p", reinterpret_cast<void*>(0xABCDu)),
              sizeof(void*) == 8 ? u"000000000000ABCD" : u"0000ABCD");
    EXPECT_EQ(F(u"%Id|%Iu", static_cast<intptr_t>(-3), static_cast<uintptr_t>(4)), u"-3|4");
    EXPECT_EQ(F(u"%02X %02X %02X", 0xCCu, 0x0u, 0x7u), u"CC 00 07");
}

TEST(FormatW, DecimalWidthsAlignmentAndPrecision) {
    EXPECT_EQ(F(u"%3d%%", 5), u"  5%");
    EXPECT_EQ(F(u"%3d%%", 100), u"100%");
    EXPECT_EQ(F(u"%3d%%", 1000), u"1000%");
    EXPECT_EQ(F(u"%05d", -42), u"-0042");
    EXPECT_EQ(F(u"%5d|", -42), u"  -42|");
    EXPECT_EQ(F(u"%-5d|", 42), u"42   |");
    EXPECT_EQ(F(u"%-05d|", 42), u"42   |");  // '-' wins over '0'
    EXPECT_EQ(F(u"%010ld", -1), u"-000000001");
    // wsprintfW counts the sign in the precision and never drops the digit of 0.
    EXPECT_EQ(F(u"%.5d", 42), u"00042");
    EXPECT_EQ(F(u"%8.5d", -42), u"   -0042");
    EXPECT_EQ(F(u"%08.3d", 7), u"00000007");
    EXPECT_EQ(F(u"[%.0d]", 0), u"[0]");
    EXPECT_EQ(F(u"%%|%%%%"), u"%|%%");
}

TEST(FormatW, OddFormats) {
    EXPECT_EQ(F(u"100%"), u"100");          // a lone '%' at the end prints nothing
    EXPECT_EQ(F(u"%q%d", 3), u"q3");        // an unknown conversion prints its letter
    EXPECT_EQ(F(u""), u"");
    EXPECT_EQ(Fmt(8, nullptr).text, u"");
    EXPECT_EQ(F(u"%I32X|%I3", 0x1234567u), u"1234567|3");  // lone I: pointer size; 3: unknown
}

TEST(FormatW, CutsToTheCapacityAndAlwaysTerminates) {
    Formatted f = Fmt(5, u"abcdefg");
    EXPECT_EQ(f.text, u"abcd");
    EXPECT_EQ(f.result, -1);

    f = Fmt(8, u"abcdefg");  // exact fit: seven units and the terminator
    EXPECT_EQ(f.text, u"abcdefg");
    EXPECT_EQ(f.result, 7);

    f = Fmt(7, u"abcdefg");
    EXPECT_EQ(f.text, u"abcdef");
    EXPECT_EQ(f.result, -1);

    f = Fmt(4, u"%d", 123456);
    EXPECT_EQ(f.text, u"123");
    EXPECT_EQ(f.result, -1);

    f = Fmt(6, u"%s\\%s", u"C:\\Temp", u"x");
    EXPECT_EQ(f.text, u"C:\\Te");
    EXPECT_EQ(f.result, -1);

    f = Fmt(10, u"%99999999d", 1);
    EXPECT_EQ(f.text, u"         ");
    EXPECT_EQ(f.result, -1);

    f = Fmt(1, u"x");
    EXPECT_EQ(f.text, u"");
    EXPECT_EQ(f.result, -1);

    f = Fmt(1, u"");
    EXPECT_EQ(f.text, u"");
    EXPECT_EQ(f.result, 0);

    WCH untouched[2] = {u'#', u'#'};
    EXPECT_EQ(FormatW(untouched, 0, u"abc"), -1);
    EXPECT_EQ(untouched[0], u'#');
}

TEST(FormatW, FillsLargeBuffersCompletely) {
    std::u16string big(1500, u'x');
    Formatted f = Fmt(1001, u"%s", big.c_str());
    EXPECT_EQ(f.text.size(), 1000u);
    EXPECT_EQ(f.result, -1);
    f = Fmt(2000, u"%s", big.c_str());
    EXPECT_EQ(f.text, big);
    EXPECT_EQ(f.result, 1500);
}

TEST(WideText, LengthAndBoundedCopy) {
    EXPECT_EQ(WLen(u""), 0u);
    EXPECT_EQ(WLen(u"abc"), 3u);
    EXPECT_EQ(WLen(nullptr), 0u);

    WCH buf[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
    EXPECT_EQ(WCopy(buf, 5, u"abcd"), 1);
    EXPECT_EQ(std::u16string(buf), u"abcd");
    EXPECT_EQ(WCopy(buf, 5, u"abcdefgh"), 0);
    EXPECT_EQ(std::u16string(buf), u"abcd");
    EXPECT_EQ(buf[5], u'#');
    EXPECT_EQ(WCopy(buf, 5, nullptr), 1);
    EXPECT_EQ(buf[0], 0);
    buf[0] = u'#';
    EXPECT_EQ(WCopy(buf, 0, u"a"), 0);
    EXPECT_EQ(buf[0], u'#');
}

TEST(WideText, Append) {
    WCH buf[8];
    WCopy(buf, 8, u"C:");
    EXPECT_EQ(WAppend(buf, 8, u"\\Temp"), 1);
    EXPECT_EQ(std::u16string(buf), u"C:\\Temp");
    EXPECT_EQ(WAppend(buf, 8, u"x"), 0);  // 7 units already: nothing more fits
    EXPECT_EQ(std::u16string(buf), u"C:\\Temp");
    WCopy(buf, 8, u"abc");
    EXPECT_EQ(WAppend(buf, 8, u"defgh"), 0);
    EXPECT_EQ(std::u16string(buf), u"abcdefg");

    // A destination without a terminator inside its capacity is terminated.
    WCH raw[4] = {u'a', u'b', u'c', u'd'};
    EXPECT_EQ(WAppend(raw, 4, u"e"), 0);
    EXPECT_EQ(std::u16string(raw), u"abc");
}

TEST(WideText, Compare) {
    EXPECT_EQ(WCompare(u"abc", u"abc"), 0);
    EXPECT_LT(WCompare(u"abc", u"abd"), 0);
    EXPECT_GT(WCompare(u"abcd", u"abc"), 0);
    EXPECT_LT(WCompare(u"", u"a"), 0);
    EXPECT_NE(WCompare(u"ABC", u"abc"), 0);
    EXPECT_EQ(WCompare(nullptr, u""), 0);

    EXPECT_EQ(WCompareNoCase(u"KEEP", u"keep"), 0);
    EXPECT_EQ(WCompareNoCase(u"/DeBuG", u"/debug"), 0);
    EXPECT_LT(WCompareNoCase(u"a", u"B"), 0);  // folded before comparing
    EXPECT_GT(WCompareNoCase(u"b", u"A"), 0);
    EXPECT_LT(WCompareNoCase(u"kee", u"KEEP"), 0);
    EXPECT_NE(WCompareNoCase(u"\u00C9", u"\u00E9"), 0);  // only the ASCII range folds
}

TEST(WideText, WidenAnsi) {
    WCH buf[16];
    WidenAnsi(buf, 16, "\x80\x82\x8C\x8D\x99\x9F\xA9", 16);
    EXPECT_EQ(std::u16string(buf), u"\u20AC\u201A\u0152\u008D\u2122\u0178\u00A9");

    // Raw drive fields: at most max_bytes, stops at a zero byte.
    WidenAnsi(buf, 16, "ABCDEFGHIJ", 8);
    EXPECT_EQ(std::u16string(buf), u"ABCDEFGH");
    WidenAnsi(buf, 16, "AB\0CD", 5);
    EXPECT_EQ(std::u16string(buf), u"AB");
    WidenAnsi(buf, 4, "ABCDEFGH", 8);
    EXPECT_EQ(std::u16string(buf), u"ABC");
    WidenAnsi(buf, 4, nullptr, 8);
    EXPECT_EQ(buf[0], 0);
}

}  // namespace
