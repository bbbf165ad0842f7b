#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GSRoot/GSRoot.hpp"
#include "LeakCheck.hpp"

using GS::UniString;

namespace {

class GSRoot : public LeakCheckedTest {};

// Parses `text` into a value that starts at 1234, so an untouched value is visible.
std::pair<bool, Int32> Parse(const char* text, Int32 toValueMode = 1, Int32 whiteSpaceMode = 0)
{
    Int32 value = 1234;
    const bool parsed = GS::strtovalue(UniString(text), value, toValueMode, whiteSpaceMode);
    return {parsed, value};
}

}  // namespace

TEST_F(GSRoot, StrToValueReadsWholeTextAsOneDecimalInteger)
{
    using Result = std::pair<bool, Int32>;
    EXPECT_EQ(Parse("-42"), Result(true, -42));
    EXPECT_EQ(Parse("+7"), Result(true, 7));
    EXPECT_EQ(Parse("0"), Result(true, 0));
    EXPECT_EQ(Parse("-0"), Result(true, 0));
    EXPECT_EQ(Parse("007"), Result(true, 7));
    EXPECT_EQ(Parse("2147483647"), Result(true, 2147483647));
    EXPECT_EQ(Parse("-2147483648"), Result(true, -2147483647 - 1));
    EXPECT_EQ(Parse("00000000000000000000002147483647"), Result(true, 2147483647));
}

TEST_F(GSRoot, StrToValueFailsWithoutTouchingTheValue)
{
    const char* bad[] = {
        "2147483648",  "-2147483649", "99999999999999999999", "4294967296", // overflow
        " 1",          "1 ",          "1\t",          "\n1",   "- 1",       // white space
        "",            "-",           "+",            "+-1",   "--1",
        "12a",         "a12",         "1.5",          "1e3",   "0x10",     "1,000",
    };
    for (const char* text : bad)
        EXPECT_EQ(Parse(text), std::make_pair(false, 1234)) << '"' << text << '"';

    // Digits outside ASCII are not decimal digits here.
    Int32 value = 1234;
    EXPECT_FALSE(GS::strtovalue(UniString("\xEF\xBC\x91"), value));  // FULLWIDTH DIGIT ONE
    const char16_t withNul[] = {u'1', 0, u'2'};
    EXPECT_FALSE(GS::strtovalue(UniString(withNul, 3), value));
    EXPECT_EQ(value, 1234);

    // Only to-value mode 1 with white-space mode 0 is known.
    EXPECT_EQ(Parse("5", 0, 0), std::make_pair(false, 1234));
    EXPECT_EQ(Parse("5", 2, 0), std::make_pair(false, 1234));
    EXPECT_EQ(Parse("5", 1, 1), std::make_pair(false, 1234));
    EXPECT_EQ(Parse("5", -1, 0), std::make_pair(false, 1234));
}

namespace {

struct CapturedLines {
    std::vector<std::string> texts;
};

void CaptureText(const char* text, void* userData)
{
    static_cast<CapturedLines*>(userData)->texts.emplace_back(text);
}

}  // namespace

TEST_F(GSRoot, DBPrintfFormatsIntoTheInstalledSink)
{
    CapturedLines captured;
    const DBPrintSink previous = DBSetPrintSink(CaptureText, &captured);
    EXPECT_EQ(previous, nullptr);  // the standard error sink

    DBPrintf("Abnormal add-on termination (\"%s\")", "/opt/host/Quillmere.so");
    DBPrintf("\n");
    DBPrintf("%d|%05.1f|%c|%x", -3, 2.25, 'q', 255u);
    const std::string longPath(1000, 'p');
    DBPrintf("path %s end", longPath.c_str());
    DBPrintf("%s", "");

    ASSERT_EQ(captured.texts.size(), 5u);
    EXPECT_EQ(captured.texts[0], "Abnormal add-on termination (\"/opt/host/Quillmere.so\")");
    EXPECT_EQ(captured.texts[1], "\n");
    EXPECT_EQ(captured.texts[2], "-3|002.2|q|ff");
    EXPECT_EQ(captured.texts[3], "path " + longPath + " end");  // longer than any fixed buffer
    EXPECT_EQ(captured.texts[4], "");

    EXPECT_EQ(DBSetPrintSink(nullptr, nullptr), &CaptureText);
    testing::internal::CaptureStderr();
    DBPrintf("to stderr %d\n", 42);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr 42\n");
    EXPECT_EQ(captured.texts.size(), 5u);
}
