// The test support's owned values by names.
#include <gtest/gtest.h>

#include "Support/OwnedValues.hpp"
#include "Support/Projects.hpp"

TEST(OwnedValues, OnlyOwnedGroupsByNamesAndRealsBitForBit)
{
    EXPECT_TRUE(Support::IsOwnedGroup("SGPset_Wall"));
    EXPECT_TRUE(Support::IsOwnedGroup("Office SGPset_Door"));
    EXPECT_FALSE(Support::IsOwnedGroup("sgpset_Wall"));
    EXPECT_FALSE(Support::IsOwnedGroup("Pset_WallCommon"));

    TestHost::Project project;
    Support::ImportConfiguration(project, R"(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/></classificationSystem>
  <propertyGroup name="SGPset_Wall"><property name="Thickness" type="Real"><appliesTo item="IfcWall"/></property></propertyGroup>
  <propertyGroup name="Pset_WallCommon"><property name="Reference" type="String"><appliesTo item="IfcWall"/></property></propertyGroup>
</configuration>)");
    const API_Guid wall = project.AddElement("W", "IfcWall", project.FindItemById("IfcWall")->guid);
    const auto definition = [&](const char* group, const char* name) {
        return project.FindDefinitionByName(project.FindGroupByName(group)->guid, name)->guid;
    };
    ASSERT_EQ(project.SetElementValue(wall, definition("SGPset_Wall", "Thickness"), TestHost::MakeRealValue(0.0)), 0);
    ASSERT_EQ(project.SetElementValue(wall, definition("Pset_WallCommon", "Reference"), TestHost::MakeStringValue("R")), 0);

    const Support::ValueMap zero = Support::OwnedValues(project);
    ASSERT_EQ(zero.size(), 1u);
    EXPECT_EQ(zero.begin()->first, (Support::ValueName{TestHost::GuidToText(wall), "SGPset_Wall", "Thickness"}));
    EXPECT_TRUE(Support::SameValues(zero, Support::OwnedValues(project)));

    ASSERT_EQ(project.SetElementValue(wall, definition("SGPset_Wall", "Thickness"), TestHost::MakeRealValue(-0.0)), 0);
    const Support::ValueMap negativeZero = Support::OwnedValues(project);
    EXPECT_TRUE(negativeZero.begin()->second == zero.begin()->second);  // equal as numbers ...
    EXPECT_FALSE(Support::SameValue(negativeZero.begin()->second, zero.begin()->second));  // ... not as bits
    EXPECT_FALSE(Support::SameValues(negativeZero, zero));
    EXPECT_FALSE(Support::SameValues(zero, {}));
    EXPECT_FALSE(Support::SameValues(zero, {{{"other", "SGPset_Wall", "Thickness"}, zero.begin()->second}}));
}
