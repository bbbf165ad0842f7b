#include <gtest/gtest.h>

#include "GSRoot/Guid.hpp"
#include "LeakCheck.hpp"

using GS::UniString;

namespace {

const UInt8 SampleData4[8] = {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5, 0x06, 0x17};
const GS::Guid Sample(0x0123ABCD, 0x4567, 0x89EF, SampleData4);

class Guid : public LeakCheckedTest {};

}  // namespace

TEST_F(Guid, FormatsUpperCaseWithFieldsInOrder)
{
    EXPECT_EQ(Sample.ConvertToString(), UniString("0123ABCD-4567-89EF-A0B1-C2D3E4F50617"));
    EXPECT_EQ(GS::Guid().ConvertToString(), UniString("00000000-0000-0000-0000-000000000000"));
    const UInt8 ones[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(GS::Guid(0xFFFFFFFF, 0xFFFF, 0xFFFF, ones).ConvertToString(),
              UniString("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"));
    const UInt8 small[8] = {0, 1, 0, 0, 0, 0, 0, 2};
    EXPECT_EQ(GS::Guid(1, 2, 3, small).ConvertToString(), UniString("00000001-0002-0003-0001-000000000002"));
}

TEST_F(Guid, ParsesEitherCaseAndRoundTrips)
{
    EXPECT_EQ(GS::Guid("0123ABCD-4567-89EF-A0B1-C2D3E4F50617"), Sample);
    EXPECT_EQ(GS::Guid("0123abcd-4567-89ef-a0b1-c2d3e4f50617"), Sample);
    EXPECT_EQ(GS::Guid("0123aBcD-4567-89Ef-a0B1-c2D3e4F50617"), Sample);
    EXPECT_EQ(GS::Guid(UniString("0123abcd-4567-89ef-a0b1-c2d3e4f50617")), Sample);
    EXPECT_EQ(GS::Guid(Sample.ConvertToString()), Sample);
    EXPECT_FALSE(Sample.IsNull());

    const GS::Guid fromText("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    EXPECT_EQ(fromText.data1, 0x3F2504E0u);
    EXPECT_EQ(fromText.data2, 0x4F89u);
    EXPECT_EQ(fromText.data3, 0x11D3u);
    const UInt8 data4[8] = {0x9A, 0x0C, 0x03, 0x05, 0xE8, 0x2C, 0x33, 0x01};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(fromText.data4[i], data4[i]) << i;
}

TEST_F(Guid, AnyOtherTextGivesTheNilGuid)
{
    const char* bad[] = {
        nullptr,
        "",
        "{0123ABCD-4567-89EF-A0B1-C2D3E4F50617}",
        "0123ABCD-4567-89EF-A0B1-C2D3E4F5061",    // 35 characters
        "0123ABCD-4567-89EF-A0B1-C2D3E4F506170",  // 37 characters
        "0123ABCD-4567-89EF-A0B1-C2D3E4F50617 ",
        " 0123ABCD-4567-89EF-A0B1-C2D3E4F50617",
        "0123ABCD4567-89EF-A0B1-C2D3E4F50617-",   // hyphen moved
        "0123ABC-D4567-89EF-A0B1-C2D3E4F50617",
        "0123ABCD-4567-89EF-A0B1C-2D3E4F50617",
        "0123ABCG-4567-89EF-A0B1-C2D3E4F50617",   // not hexadecimal
        "0123ABCD-4567-89EF-A0B1-C2D3E4F5061Z",
        "0123ABCD-+567-89EF-A0B1-C2D3E4F50617",
        "0x23ABCD-4567-89EF-A0B1-C2D3E4F50617",
        "0123ABCD_4567_89EF_A0B1_C2D3E4F50617",
        "0123ABCDE4567E89EFEA0B1EC2D3E4F50617",
    };
    for (const char* text : bad) {
        EXPECT_TRUE(GS::Guid(text).IsNull()) << (text ? text : "nullptr");
        if (text != nullptr) {
            EXPECT_TRUE(GS::Guid(UniString(text)).IsNull()) << text;
        }
    }
    // Wide forms that narrow to a valid text must not be taken for it.
    char16_t units[36];
    const UniString valid("0123ABCD-4567-89EF-A0B1-C2D3E4F50617");
    for (int i = 0; i < 36; ++i)
        units[i] = valid.ToUStr()[i];
    units[0] = 0xFF10;  // FULLWIDTH DIGIT ZERO
    EXPECT_TRUE(GS::Guid(UniString(units, 36)).IsNull());
    units[0] = 0x0130;  // low byte '0'
    EXPECT_TRUE(GS::Guid(UniString(units, 36)).IsNull());
    units[0] = 0;  // an embedded NUL
    EXPECT_TRUE(GS::Guid(UniString(units, 36)).IsNull());
}

TEST_F(Guid, ComparesByValue)
{
    const UInt8 zeros[8] = {};
    const UInt8 lastByte[8] = {0, 0, 0, 0, 0, 0, 0, 1};
    const UInt8 firstByte[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    const GS::Guid nil;
    const GS::Guid byData1(1, 0, 0, zeros);
    const GS::Guid byData2(0, 1, 0, zeros);
    const GS::Guid byData3(0, 0, 1, zeros);
    const GS::Guid byLastByte(0, 0, 0, lastByte);
    const GS::Guid byFirstByte(0, 0, 0, firstByte);

    EXPECT_TRUE(nil.IsNull());
    for (const GS::Guid* other : {&byData1, &byData2, &byData3, &byLastByte, &byFirstByte}) {
        EXPECT_FALSE(other->IsNull());
        EXPECT_NE(*other, nil);
        EXPECT_TRUE(nil < *other);
        EXPECT_FALSE(*other < nil);
    }
    EXPECT_TRUE(byLastByte < byFirstByte);
    EXPECT_TRUE(byFirstByte < byData3);
    EXPECT_TRUE(byData3 < byData2);
    EXPECT_TRUE(byData2 < byData1);
    EXPECT_FALSE(Sample < Sample);
    EXPECT_EQ(Sample, GS::Guid(0x0123ABCD, 0x4567, 0x89EF, SampleData4));
}
