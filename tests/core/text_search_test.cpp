// FindNoCase finds the debug switch and the list entries of the checks.
#include "core/text_search.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FindNoCase, FindsTheDebugSwitchInAnyCaseAndPosition) {
    const WCH* line = u"\"C:\\Tools\\Quillon.exe\" /DEBUG";
    EXPECT_EQ(FindNoCase(line, u"/debug"), line + 23);
    const WCH* inside = u"x/DeBuGging";
    EXPECT_EQ(FindNoCase(inside, u"/debug"), inside + 1);
    EXPECT_EQ(FindNoCase(u"-debug", u"/debug"), nullptr);
    EXPECT_EQ(FindNoCase(u"/debu", u"/debug"), nullptr);
    EXPECT_EQ(FindNoCase(u"", u"/debug"), nullptr);
}

TEST(FindNoCase, PointsIntoTheCallersTextAtTheFirstMatch) {
    const WCH* list = u"|MODEL A|Model B|model b|";
    EXPECT_EQ(FindNoCase(list, u"|model b|"), list + 8);
    EXPECT_EQ(FindNoCase(list, u"|MODEL C|"), nullptr);
    EXPECT_EQ(FindNoCase(list, u""), list);  // an empty pattern matches at the start
    EXPECT_EQ(FindNoCase(nullptr, u"a"), nullptr);
    EXPECT_EQ(FindNoCase(list, nullptr), nullptr);
}

TEST(FindNoCase, SearchesOnlyTheFirst1023UnitsOfTheText) {
    std::u16string text(1018, u'.');
    text += u"/Debug";  // ends at unit 1024: one unit beyond the copy
    EXPECT_EQ(FindNoCase(text.c_str(), u"/debug"), nullptr);
    text.erase(0, 1);   // now it ends exactly at unit 1023
    EXPECT_EQ(FindNoCase(text.c_str(), u"/debug"), text.c_str() + 1017);
}

TEST(FindNoCase, AnOverLongPatternIsNeverFound) {
    std::u16string text = std::u16string(511, u'a') + u"b";
    std::u16string fits = std::u16string(510, u'A') + u"B";
    EXPECT_EQ(FindNoCase(text.c_str(), fits.c_str()), text.c_str() + 1);
    // Cut to its first 511 units this pattern would match the text although
    // the whole of it does not: over-long patterns are not searched at all.
    std::u16string too_long = std::u16string(511, u'A') + u"C";
    EXPECT_EQ(FindNoCase(text.c_str(), too_long.c_str()), nullptr);
}

}  // namespace
