#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "GSRoot/UniString.hpp"
#include "LeakCheck.hpp"
#include "Support/Memory.hpp"


namespace {

std::u16string UnitsOf(const GS::UniString& text)
{
    return std::u16string(text.ToUStr(), text.GetLength());
}

std::string BytesOf(const GS::UniString::CStr& text)
{
    return std::string(text.Get(), text.GetLength());
}

class UniString : public LeakCheckedTest {};

}  // namespace

TEST_F(UniString, Utf8RoundTripsThroughUtf16)
{
    struct Case {
        const char* utf8;
        std::u16string units;
    };
    const Case cases[] = {
        {"IFC-SG", u"IFC-SG"},
        {"Caf\xC3\xA9", u"Caf\u00E9"},
        {"\xE5\xBB\xBA\xE7\xAD\x91", u"\u5EFA\u7B51"},                           // 建筑
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},                                   // U+1F600 as a pair
        {"a\xC2\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", u"a\u0080\uD7FF\uE000\uFFFF"},  // range edges
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\xD800\xDC00\xDBFF\xDFFF"},        // U+10000, U+10FFFF
    };
    for (const Case& c : cases) {
        const GS::UniString text(c.utf8);
        EXPECT_EQ(UnitsOf(text), c.units) << c.utf8;
        EXPECT_EQ(text.ToUStr()[text.GetLength()], 0) << "terminated";
        EXPECT_EQ(BytesOf(text.ToCStr()), c.utf8);
        EXPECT_EQ(text.ToCStr().GetLength(), std::char_traits<char>::length(c.utf8));
    }
}

TEST_F(UniString, InvalidUtf8BecomesOneReplacementPerBadByte)
{
    struct Case {
        const char* utf8;
        std::u16string units;
    };
    const Case cases[] = {
        {"\x80", u"\uFFFD"},                                       // stray continuation byte
        {"a\xFF" "b\xFE", u"a\uFFFDb\uFFFD"},                      // bytes never used
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                             // overlong '/'
        {"\xC1\xBF", u"\uFFFD\uFFFD"},
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},                   // overlong in three bytes
        {"\xF0\x82\x82\xAC", u"\uFFFD\uFFFD\uFFFD\uFFFD"},         // overlong euro sign
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},                   // U+D800 encoded
        {"\xED\xBF\xBFx", u"\uFFFD\uFFFD\uFFFDx"},                 // U+DFFF encoded
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},         // U+110000
        {"\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xE5\xBB", u"\uFFFD\uFFFD"},                             // truncated at the end
        {"\xE5\xBBx\xE7\xAD\x91", u"\uFFFD\uFFFDx\u7B51"},         // truncated before a valid one
        {"\xF0\x9F\x98", u"\uFFFD\uFFFD\uFFFD"},
        {"\xC3", u"\uFFFD"},
        {"\xC3\xC3\xA9", u"\uFFFD\u00E9"},                         // bad lead, then a good pair
    };
    for (const Case& c : cases) {
        GS::UniString text(c.utf8);
        EXPECT_EQ(UnitsOf(text), c.units) << testing::PrintToString(std::string(c.utf8));
        text = c.utf8;  // assignment converts the same way
        EXPECT_EQ(UnitsOf(text), c.units);
        // Every replacement comes back as the UTF-8 of U+FFFD.
        std::string expected;
        for (char16_t unit : c.units)
            expected += unit == 0xFFFD ? std::string("\xEF\xBF\xBD") : GS::UniString(&unit, 1).ToCStr().Get();
        EXPECT_EQ(BytesOf(text.ToCStr()), expected);
    }
}

TEST_F(UniString, EmptyTextsHoldNoBlockAndStillGiveTerminatedUnits)
{
    const GS::UniString fromDefault;
    const GS::UniString fromNull(static_cast<const char*>(nullptr));
    const GS::UniString fromEmpty("");
    const GS::UniString fromNoUnits(nullptr, 0);
    EXPECT_EQ(BlocksSinceStart(), 0u);
    for (const GS::UniString* text : {&fromDefault, &fromNull, &fromEmpty, &fromNoUnits}) {
        EXPECT_TRUE(text->IsEmpty());
        ASSERT_NE(text->ToUStr(), nullptr);
        EXPECT_EQ(text->ToUStr()[0], 0);
        EXPECT_STREQ(text->ToCStr().Get(), "");
        EXPECT_EQ(*text, fromDefault);
    }
}

TEST_F(UniString, UnitsConstructorKeepsEmbeddedNulsAndLoneSurrogates)
{
    const char16_t units[] = {u'a', 0, u'b', 0xD800, u'c', 0xDC00, 0xD800};
    const GS::UniString text(units, 7);
    EXPECT_EQ(text.GetLength(), 7u);
    EXPECT_NE(text, GS::UniString("a"));
    const GS::UniString::CStr bytes = text.ToCStr();
    EXPECT_EQ(BytesOf(bytes), std::string("a\0b\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD", 13));

    // A low surrogate before a high one is no pair.
    const char16_t reversed[] = {0xDE00, 0xD83D};
    EXPECT_EQ(BytesOf(GS::UniString(reversed, 2).ToCStr()), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST_F(UniString, ToCStrConvertsTheClampedRange)
{
    // Units: 'a', U+5EFA, U+1F600 as two units, 'b'.
    const GS::UniString text("a\xE5\xBB\xBA\xF0\x9F\x98\x80" "b");
    ASSERT_EQ(text.GetLength(), 5u);
    EXPECT_EQ(BytesOf(text.ToCStr()), "a\xE5\xBB\xBA\xF0\x9F\x98\x80" "b");
    EXPECT_EQ(BytesOf(text.ToCStr(1, 1)), "\xE5\xBB\xBA");
    EXPECT_EQ(BytesOf(text.ToCStr(2, 2)), "\xF0\x9F\x98\x80");
    EXPECT_EQ(BytesOf(text.ToCStr(2, 1)), "\xEF\xBF\xBD");       // the pair cut after its first half
    EXPECT_EQ(BytesOf(text.ToCStr(3)), "\xEF\xBF\xBD" "b");      // ... and before its second half
    EXPECT_EQ(BytesOf(text.ToCStr(4, GS::UniString::MaxUSize)), "b");
    EXPECT_EQ(BytesOf(text.ToCStr(1, GS::UniString::MaxUSize - 1)), "\xE5\xBB\xBA\xF0\x9F\x98\x80" "b");
    EXPECT_EQ(BytesOf(text.ToCStr(0, 0)), "");
    EXPECT_EQ(BytesOf(text.ToCStr(5)), "");
    EXPECT_EQ(BytesOf(text.ToCStr(100, 3)), "");
    EXPECT_EQ(BytesOf(text.ToCStr(GS::UniString::MaxUSize, GS::UniString::MaxUSize)), "");

    GS::UniString::CStr moved = text.ToCStr(0, 1);
    GS::UniString::CStr target(std::move(moved));
    EXPECT_STREQ(target.Get(), "a");
    EXPECT_EQ(target.GetLength(), 1u);
}

TEST_F(UniString, OrdersAndComparesByUtf16Units)
{
    const GS::UniString empty;
    const GS::UniString a("a"), ab("ab"), b("b"), upperB("B");
    EXPECT_TRUE(empty < a);
    EXPECT_FALSE(a < empty);
    EXPECT_TRUE(a < ab);
    EXPECT_FALSE(ab < a);
    EXPECT_TRUE(ab < b);
    EXPECT_FALSE(a < a);
    EXPECT_TRUE(upperB < a);  // case-sensitive: 'B' is 0x42
    EXPECT_TRUE(GS::UniString("Z") < GS::UniString("\xC3\xA9"));
    // U+1F600 (units D83D DE00) sorts before U+FFFD by units, though after it by code point.
    EXPECT_TRUE(GS::UniString("\xF0\x9F\x98\x80") < GS::UniString("\xEF\xBF\xBD"));
    EXPECT_FALSE(GS::UniString("\xEF\xBF\xBD") < GS::UniString("\xF0\x9F\x98\x80"));

    EXPECT_EQ(GS::UniString("abc"), GS::UniString(u"abc", 3));
    EXPECT_NE(GS::UniString("abc"), GS::UniString("abd"));
    EXPECT_NE(GS::UniString("abc"), GS::UniString("ab"));
    EXPECT_NE(GS::UniString("abc"), GS::UniString("ABC"));
    EXPECT_EQ(empty, GS::UniString(""));
}

TEST_F(UniString, CopiesMovesAndAssignmentsOwnTheirUnits)
{
    GS::UniString original("Pset_WallCommon");
    GS::UniString copy(original);
    EXPECT_EQ(copy, original);
    EXPECT_NE(copy.ToUStr(), original.ToUStr());

    GS::UniString moved(std::move(copy));
    EXPECT_EQ(moved, original);
    EXPECT_TRUE(copy.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from string is empty
    EXPECT_NE(copy.ToUStr(), nullptr);

    GS::UniString assigned("short");
    assigned = original;
    EXPECT_EQ(assigned, original);
    assigned = "x";
    EXPECT_EQ(assigned, GS::UniString("x"));
    assigned = GS::UniString("SGPset_Wall");
    EXPECT_EQ(assigned, GS::UniString("SGPset_Wall"));
    assigned = assigned;  // self-assignment keeps the text
    EXPECT_EQ(assigned, GS::UniString("SGPset_Wall"));
    assigned = std::move(moved);
    EXPECT_EQ(assigned, original);
    assigned = "";
    EXPECT_TRUE(assigned.IsEmpty());
    EXPECT_EQ(assigned.ToUStr()[0], 0);
    assigned = static_cast<const char*>(nullptr);
    EXPECT_TRUE(assigned.IsEmpty());

    // Assigning the 8-bit form of the string's own text.
    GS::UniString self("Caf\xC3\xA9");
    const GS::UniString::CStr bytes = self.ToCStr();
    self = bytes.Get();
    EXPECT_EQ(self, GS::UniString("Caf\xC3\xA9"));
}

TEST_F(UniString, AppendJoinsTexts)
{
    GS::UniString text("IFC");
    text.Append(GS::UniString("-")).Append(GS::UniString("SG"));
    EXPECT_EQ(text, GS::UniString("IFC-SG"));
    text += GS::UniString();
    EXPECT_EQ(text, GS::UniString("IFC-SG"));
    text.Append(text);  // appending itself
    EXPECT_EQ(text, GS::UniString("IFC-SGIFC-SG"));
    EXPECT_EQ(text.ToUStr()[text.GetLength()], 0);

    GS::UniString empty;
    empty.Append(GS::UniString("\xF0\x9F\x98\x80"));
    EXPECT_EQ(empty.GetLength(), 2u);
    EXPECT_EQ(GS::UniString("a") + GS::UniString("\xE5\xBB\xBA"), GS::UniString("a\xE5\xBB\xBA"));

    GS::UniString grown;
    std::u16string expected;
    for (int i = 0; i < 500; ++i) {
        const char16_t unit = static_cast<char16_t>(u'a' + i % 26);
        grown += GS::UniString(&unit, 1);
        expected += unit;
    }
    EXPECT_EQ(UnitsOf(grown), expected);
    EXPECT_EQ(grown.ToUStr()[grown.GetLength()], 0);
}

TEST_F(UniString, ExhaustedMemoryThrowsAndKeepsTheOldText)
{
    GS::UniString kept("kept");
    const GS::UniString expected(kept);
    const GS::UniString more("more");
    const Support::LiveBytesLimit exhausted;
    EXPECT_THROW(GS::UniString{"new"}, std::bad_alloc);
    EXPECT_THROW(GS::UniString{kept}, std::bad_alloc);
    EXPECT_THROW(kept = "a longer text than before", std::bad_alloc);
    EXPECT_EQ(kept, expected);
    EXPECT_THROW(kept.Append(more), std::bad_alloc);
    EXPECT_EQ(kept, expected);
    EXPECT_THROW(static_cast<void>(kept.ToCStr()), std::bad_alloc);
    kept = more;  // fits the block it has: no allocation needed
    EXPECT_EQ(kept, more);
}
