// The test support's configurations imported and project of walls.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "Support/OwnedValues.hpp"
#include "Support/Projects.hpp"

TEST(Projects, AFailedImportSaysWhichAndWhy)
{
    TestHost::Project project;
    try {
        Support::ImportConfiguration(project, "<configuration><unknown/></configuration>");
        ADD_FAILURE() << "an unknown element was imported";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("the classification import failed with ", 0), 0u) << error.what();
    }
    // Classifications import, the property group names an item that does not exist.
    EXPECT_THROW(Support::ImportConfiguration(project, R"(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/></classificationSystem>
  <propertyGroup name="SGPset_Wall"><property name="P" type="String"><appliesTo item="IfcDoor"/></property></propertyGroup>
</configuration>)"),
                 std::runtime_error);
}

TEST(Projects, TheWallProjectHoldsWhatItSays)
{
    TestHost::Project project;
    Support::MakeWallProject(project, 3, true);
    const Support::ValueMap values = Support::OwnedValues(project);
    EXPECT_EQ(values.size(), 6u);
    EXPECT_EQ(project.Elements().size(), 3u);
    const API_Guid group = project.FindGroupByName("SGPset_Wall")->guid;
    EXPECT_EQ(project.FindDefinitionByName(group, "Thickness")->expressions, std::vector<std::string>{"{Wall.Width}"});
    std::string last;
    for (const TestHost::Element& element : project.Elements())
        if (element.name == "W2")
            last = TestHost::GuidToText(element.guid);
    EXPECT_EQ(values.at({last, "SGPset_Wall", "FireRating"}), TestHost::MakeStringValue("REI 2"));
    EXPECT_TRUE(Support::SameValue(values.at({last, "SGPset_Wall", "Thickness"}), TestHost::MakeRealValue(0.1 * 2)));

    TestHost::Project withoutThickness;
    Support::MakeWallProject(withoutThickness, 2, false);
    EXPECT_EQ(Support::OwnedValues(withoutThickness).size(), 2u);
}
