// Profile reads the profile harness (fuzz/profile_fuzzer.cpp) broke: key
// listings into buffers of one or two units, and zero bytes inside values.
// (Wine guesses that an 8-bit file with zero bytes is UTF-16 and finds
// nothing in it; the host reads it as 8-bit text, so the second case is not
// in the Wine comparison. What holds on both: the length returned is that of
// the text written.)
#include <gtest/gtest.h>

#include <cstring>

#include "platform/host/profile_parse.h"

namespace {

const char kList[] = "[UPDATEINFO]\r\nTITLE=55 00\r\nSOCID=0x1203\r\n";

DWORD List(const char* text, WCH* out, DWORD capacity) {
    return host::ProfileGetString(reinterpret_cast<const BYTE*>(text), strlen(text), u"UPDATEINFO", nullptr, u"",
                                  out, capacity);
}

TEST(ProfileEdge, KeyListingIntoOneOrTwoUnitsStaysInsideTheBuffer) {
    // The listing used to end itself one unit before the buffer when no
    // name fitted.
    WCH guard[6];
    for (WCH& c : guard) c = u'#';
    EXPECT_EQ(List(kList, guard + 1, 1), 0u);
    EXPECT_EQ(guard[0], u'#') << "written before the buffer";
    EXPECT_EQ(guard[1], 0);
    EXPECT_EQ(guard[2], u'#') << "written after the buffer";

    for (WCH& c : guard) c = u'#';
    EXPECT_EQ(List(kList, guard + 1, 2), 0u);
    EXPECT_EQ(guard[0], u'#') << "written before the buffer";
    EXPECT_EQ(guard[1], 0);
    EXPECT_EQ(guard[2], u'#') << "the Windows reader writes the one zero only";
    EXPECT_EQ(guard[3], u'#') << "written after the buffer";

    // Three units hold a cut first name and the list's two terminators.
    for (WCH& c : guard) c = u'#';
    EXPECT_EQ(List(kList, guard + 1, 3), 1u);
    EXPECT_EQ(guard[0], u'#');
    EXPECT_EQ(guard[1], u'T');
    EXPECT_EQ(guard[2], 0);
    EXPECT_EQ(guard[3], 0);
    EXPECT_EQ(guard[4], u'#');
}

TEST(ProfileEdge, ZeroByteEndsAValueAndItsLength) {
    // From the harness: "TITLE=55 00 70" followed by zero bytes; the length
    // returned used to count past the zero.
    static const char kFile[] = "[UPDATEINFO]\r\nTITLE=55 00 70\xca\0\0\0\0\0\0ID=0x1203\r\nq=\"a\0b\"\r\n";
    const BYTE* bytes = reinterpret_cast<const BYTE*>(kFile);
    WCH out[64];
    EXPECT_EQ(host::ProfileGetString(bytes, sizeof kFile - 1, u"UPDATEINFO", u"TITLE", u"", out, 64), 9u);
    EXPECT_EQ(std::u16string(out), u"55 00 70\u00ca");
    // The quotes are not a pair once the value ends at the zero.
    EXPECT_EQ(host::ProfileGetString(bytes, sizeof kFile - 1, u"UPDATEINFO", u"q", u"", out, 64), 2u);
    EXPECT_EQ(std::u16string(out), u"\"a");
}

}  // namespace
