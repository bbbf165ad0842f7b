// Configurations read as the host's import reads them: what an edition holds, and each refusal.
#include <gtest/gtest.h>

#include <string>

#include "Edition.hpp"

using namespace RenameProposal;

TEST(Edition, GroupsPropertiesTypesMeasuresAndItems)
{
    const EditionReading reading = ReadEdition(R"(<?xml version="1.0" encoding="utf-8"?>
<!-- a comment --><?pi anywhere?>
<configuration>
  <classificationSystem name="IFC-SG" version="2028.1">
    <item id="IfcWall"><item id="IfcWall.PARTITIONING" name="Partition"/></item>
    <item id="IfcDoor"/>
  </classificationSystem>
  <classificationSystem name="Office"><item id="IfcDoor"/></classificationSystem>
  <propertyGroup name="SGPset_Wall" description="ignored">
    <property name="Thickness" type="Real" measure="Length" default="+0.2">
      <appliesTo item="IfcWall.PARTITIONING"/><appliesTo item="IfcWall"/><appliesTo item="IfcWall"/>
    </property>
    <property name="Door&amp;Wall &#233;" type="Boolean" default="1">
      <appliesTo item="IfcDoor"/><appliesTo item="IfcDoor" system="Office"/>
    </property>
  </propertyGroup>
  <propertyGroup name="Pset_Empty"/>
</configuration>)");
    ASSERT_EQ(reading.problem, "");
    const Edition& edition = reading.edition;
    ASSERT_EQ(edition.systems, (std::vector<std::string>{"IFC-SG 2028.1", "Office"}));
    ASSERT_EQ(edition.items.size(), 4u);
    EXPECT_EQ(edition.items[3].system, "Office");
    ASSERT_EQ(edition.groups.size(), 2u);
    EXPECT_TRUE(edition.groups[1].properties.empty());
    const EditionProperty& thickness = edition.groups[0].properties[0];
    EXPECT_EQ(thickness.valueType, 2);
    EXPECT_EQ(thickness.measure, 2);
    EXPECT_EQ(thickness.items, (std::vector<std::uint32_t>{0, 1}));  // ascending, each once
    const EditionProperty& both = edition.groups[0].properties[1];
    EXPECT_EQ(both.name, "Door&Wall \u00e9");
    EXPECT_EQ(both.measure, 1);
    // Without "system", the first item of the id; with it, that system's.
    EXPECT_EQ(both.items, (std::vector<std::uint32_t>{2, 3}));
}

TEST(Edition, RefusesWhatTheHostRefusesAndWhatIsNotXml)
{
    const std::string system = R"(<classificationSystem name="S"><item id="IfcWall"/></classificationSystem>)";
    const auto with = [&](const std::string& groups) { return "<configuration>" + system + groups + "</configuration>"; };
    const auto group = [&](const std::string& properties) {
        return with("<propertyGroup name=\"SGPset_Wall\">" + properties + "</propertyGroup>");
    };
    struct Case {
        std::string text;
        std::string problem;
    };
    const Case cases[] = {
        {"", "the configuration is empty"},
        {" \n\t", "the configuration is empty"},
        {"<configuration>", "line 1: malformed XML: "},
        {"<configuration/><configuration/>", "line 1: a second root element <configuration>"},
        {"text<configuration/>", "line 1: text outside the root element"},
        {"<renames/>", "line 1: the root element is <renames>, not <configuration>"},
        {"<configuration>\n<group/></configuration>", "line 2: unknown element <group> in <configuration>"},
        {group("<property name=\"A\" type=\"String\">x</property>"), "unexpected text in <property>"},
        {group("<property name=\"A\" type=\"String\"><appliesTo item=\"IfcWall\"><x/></appliesTo></property>"),
         "unknown element <x> in <appliesTo>"},
        {group("<property type=\"String\"/>"), "<property> has no \"name\" attribute"},
        {group("<property name=\"A\" type=\"\"/>"), "<property> has no \"type\" attribute"},
        {with("<propertyGroup/>"), "<propertyGroup> has no \"name\" attribute"},
        {group("<property name=\"A\" type=\"Text\"/>"), "property \"A\" has unknown type \"Text\""},
        {group("<property name=\"A\" type=\"Real\" measure=\"Meter\"/>"), "property \"A\" has unknown measure \"Meter\""},
        {group("<property name=\"A\" type=\"Integer\" default=\"1.5\"/>"), "\"1.5\" is not a Integer value"},
        {group("<property name=\"A\" type=\"Real\" default=\"inf\"/>"), "\"inf\" is not a Real value"},
        {group("<property name=\"A\" type=\"Boolean\" default=\"yes\"/>"), "\"yes\" is not a Boolean value"},
        {group("<property name=\"A\" type=\"Undefined\" default=\"x\"/>"), "\"x\" is not a Undefined value"},
        {group("<property name=\"A\" type=\"String\"><appliesTo item=\"IfcDoor\"/></property>"),
         "no classification item \"IfcDoor\""},
        {group("<property name=\"A\" type=\"String\"><appliesTo item=\"IfcWall\" system=\"T\"/></property>"),
         "no classification item \"IfcWall\" in \"T\""},
        {group("<property name=\"A\" type=\"String\"/><property name=\"A\" type=\"Real\"/>"),
         "property \"A\" appears twice in \"SGPset_Wall\""},
        {with("<propertyGroup name=\"G\"/><propertyGroup name=\"G\"/>"), "property group \"G\" appears twice"},
        {"<configuration><classificationSystem name=\"S\"><item id=\"I\"><item id=\"I\"/></item></classificationSystem></configuration>",
         "item \"I\" appears twice in \"S\""},
        {"<configuration>\n\n<propertyGroup name=\"SGPset_\xff\"/></configuration>", "line 3: bytes that are not UTF-8"},
        {"<configuration>\x01</configuration>", "line 1: a character that XML does not allow"},
        {group("<property name=\"A&#1;\" type=\"String\"/>"),
         "the attribute \"name\" of <property> holds a character that XML does not allow"},
    };
    for (const Case& c : cases) {
        const EditionReading reading = ReadEdition(c.text);
        EXPECT_NE(reading.problem.find(c.problem), std::string::npos) << c.text << "\n gives: " << reading.problem;
        EXPECT_TRUE(reading.edition.groups.empty());
    }
}
