// Ownership of group names and the names the value backup gives saved values.
#include <gtest/gtest.h>

#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "Common/OwnedGroups.hpp"
#include "Common/XmlName.hpp"
#include "ConfigurationImport/GroupRemoval.hpp"
#include "ValueBackup/ValueBackupFile.hpp"

using namespace Quillmere;

TEST(OwnedGroupName, MarkerAnywhereCaseSensitive)
{
    EXPECT_TRUE(IsOwnedGroupName(GS::UniString("SGPset_Wall")));
    EXPECT_TRUE(IsOwnedGroupName(GS::UniString("Office SGPset_Door copy")));
    EXPECT_TRUE(IsOwnedGroupName(GS::UniString("SGPset_")));
    EXPECT_TRUE(IsOwnedGroupName(GS::UniString("建筑 SGPset_Space")));

    EXPECT_FALSE(IsOwnedGroupName(GS::UniString("sgpset_Wall")));
    EXPECT_FALSE(IsOwnedGroupName(GS::UniString("SGPSET_Wall")));
    EXPECT_FALSE(IsOwnedGroupName(GS::UniString("SGPsetWall")));
    EXPECT_FALSE(IsOwnedGroupName(GS::UniString("SGP set_Wall")));
    EXPECT_FALSE(IsOwnedGroupName(GS::UniString("SGPset")));
    EXPECT_FALSE(IsOwnedGroupName(GS::UniString("Pset_WallCommon")));
    EXPECT_FALSE(IsOwnedGroupName(GS::UniString("")));
}

TEST(OwnedGroupName, MarkerAfterNonAsciiText)
{
    // The marker is found in the 8-bit form, whatever precedes it.
    const char16_t units[] = u"\u00e9\u4e2d\U0001F3E0SGPset_X";
    EXPECT_TRUE(IsOwnedGroupName(GS::UniString(units, static_cast<USize>(std::char_traits<char16_t>::length(units)))));
}

TEST(ExpressionKeyAndValueKey, JoinNamesAsTheyStand)
{
    EXPECT_TRUE(MakeExpressionKey(GS::UniString("SGPset_Wall"), GS::UniString(" Fire Rating ")) ==
                GS::UniString("SGPset_Wall; Fire Rating "));
    EXPECT_EQ(MakeValueKey(GS::UniString("SGPset_Wall"), GS::UniString("FireRating")), "SGPset_Wall-FireRating");
    EXPECT_EQ(MakeValueKey(GS::UniString("SGPset_Raum"), GS::UniString("Fläche")), "SGPset_Raum-Fl\xC3\xA4" "che");
}

TEST(XmlName, AcceptsNamesTheBackupMayCarryAsTheyStand)
{
    for (const char* name : {"SGPset_Wall-FireRating", "SGPset_Door-Width2", "_a", "a.b-c", "SGPset_Raum-Fl\xC3\xA4" "che",
                             "SGPset_\xE5\xBB\xBA\xE7\xAD\x91-x", "SGPset_Door-Fire:Rating", ":a"})
        EXPECT_TRUE(IsXmlName(name)) << name;
}

TEST(XmlName, RejectsNamesThatWouldBreakTheFile)
{
    for (const char* name : {"", "SGPset_Wall-Fire Rating", "SGPset_Wall-A<B", "SGPset_Wall-A>B", "SGPset_Wall-A\"B",
                             "SGPset_Wall-A'B", "SGPset_Wall-A/B", "SGPset_Wall-A=B", "SGPset_Wall-A&B",
                             "1SGPset_Wall-A", "-SGPset_Wall-A", ".SGPset_Wall-A", "SGPset_Wall-A\tB",
                             "SGPset_Wall-A\xC3\x97" "B" /* multiplication sign */, "SGPset_Wall-\xED\xA0\x80" /* lone surrogate */,
                             "SGPset_Wall-\xFF" /* not UTF-8 */})
        EXPECT_FALSE(IsXmlName(name)) << name;
}

TEST(BackupFileTables, ValueAndMeasureTypeNames)
{
    EXPECT_STREQ(ValueTypeName(0), "Undefined");
    EXPECT_STREQ(ValueTypeName(1), "Integer");
    EXPECT_STREQ(ValueTypeName(2), "Real");
    EXPECT_STREQ(ValueTypeName(3), "String");
    EXPECT_STREQ(ValueTypeName(4), "Boolean");
    EXPECT_STREQ(ValueTypeName(5), "");
    EXPECT_STREQ(ValueTypeName(-1), "");
    EXPECT_STREQ(MeasureTypeName(0), "");
    EXPECT_STREQ(MeasureTypeName(1), "Default");
    EXPECT_STREQ(MeasureTypeName(2), "Length");
    EXPECT_STREQ(MeasureTypeName(3), "Area");
    EXPECT_STREQ(MeasureTypeName(4), "Volume");
    EXPECT_STREQ(MeasureTypeName(5), "Angle");
    EXPECT_STREQ(MeasureTypeName(6), "");
}
