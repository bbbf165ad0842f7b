// Which group names are the add-on's.
#include <gtest/gtest.h>

#include <string>

#include "Common/OwnedGroups.hpp"

using namespace Quillmere;

TEST(OwnedGroups, MarkerAnywhereCaseSensitive)
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

TEST(OwnedGroups, MarkerAfterNonAsciiText)
{
    // The marker is found in the 8-bit form, whatever precedes it.
    const char16_t units[] = u"\u00e9\u4e2d\U0001F3E0SGPset_X";
    EXPECT_TRUE(IsOwnedGroupName(GS::UniString(units, static_cast<USize>(std::char_traits<char16_t>::length(units)))));
}
