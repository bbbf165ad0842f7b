#include <gtest/gtest.h>

#include "ConfigurationXml.hpp"
#include "HostErrors.hpp"
#include "HostFixture.hpp"

using namespace TestHost;

namespace {

std::string WithGroups(const std::string& groups)
{
    return "<configuration>\n" + groups + "\n</configuration>\n";
}

}  // namespace

TEST(ConfigurationXml, ClassificationImportBuildsSystemsAndIgnoresGroups)
{
    Project project;
    // The property part names an unknown type and an unknown item: not this import's business.
    const std::string text = R"xml(<configuration>
  <classificationSystem name="IFC-SG" version="2024.2">
    <item id="IfcWall" name="Wall"><item id="IfcWall.SHEAR" name="Shear wall"/></item>
    <item id="IfcSpace"/>
  </classificationSystem>
  <propertyGroup name="SGPset_Wall"><property name="X" type="Text"><appliesTo item="Nowhere"/></property></propertyGroup>
</configuration>)xml";
    const ImportOutcome outcome = ImportClassificationXml(project, text);
    ASSERT_EQ(outcome.code, NoError) << outcome.message;
    EXPECT_TRUE(project.Groups().empty());
    ASSERT_EQ(project.Systems().size(), 1u);
    const ClassificationSystem& system = *project.Systems().begin();
    EXPECT_EQ(system.name, "IFC-SG");
    EXPECT_EQ(system.version, "2024.2");
    ASSERT_EQ(system.items.size(), 2u);
    const ClassificationItem* wall = project.FindItem(system.items[0]);
    EXPECT_EQ(wall->id, "IfcWall");
    ASSERT_EQ(wall->children.size(), 1u);
    EXPECT_EQ(project.FindItem(wall->children[0])->name, "Shear wall");
    EXPECT_EQ(project.FindItem(wall->children[0])->parent, wall->guid);
    EXPECT_EQ(project.FindItem(system.items[1])->name, "IfcSpace");  // no name: the id stands in

    // The property import of the same text fails on its own part and changes nothing.
    const std::string before = Snapshot(project);
    EXPECT_EQ(ImportPropertyXml(project, text).code, HostError::UnknownValueType);
    EXPECT_EQ(Snapshot(project), before);
}

TEST(ConfigurationXml, PropertyImportReadsTypesMeasuresDefaultsAndAvailability)
{
    Project project;
    ASSERT_EQ(ImportClassificationXml(project, SampleConfiguration).code, NoError);
    const ImportOutcome outcome = ImportPropertyXml(project, SampleConfiguration);
    ASSERT_EQ(outcome.code, NoError) << outcome.message;
    EXPECT_EQ(project.Systems().size(), 1u);  // not imported a second time

    std::vector<std::string> groups;
    for (const PropertyGroup& group : project.Groups())
        groups.push_back(group.name);
    EXPECT_EQ(groups, (std::vector<std::string>{"SGPset_Wall", "SGPset_Door", "Pset_WallCommon"}));
    const PropertyGroup& wallGroup = *project.FindGroupByName("SGPset_Wall");
    EXPECT_EQ(wallGroup.description, "Wall data checked by the agencies");
    EXPECT_EQ(wallGroup.kind, API_PropertyCustomDefinitionKind);

    const PropertyDefinition& fire = *project.FindDefinitionByName(wallGroup.guid, "FireResistancePeriod");
    EXPECT_EQ(fire.valueType, API_PropertyIntegerValueType);
    EXPECT_EQ(fire.measureType, API_PropertyDefaultMeasureType);
    EXPECT_EQ(fire.defaultValue, MakeIntegerValue(60));
    EXPECT_EQ(fire.availability, (std::vector<API_Guid>{project.FindItemById("IfcWall")->guid,
                                                        project.FindItemById("IfcWall.PARTITIONING")->guid}));
    const PropertyDefinition& thickness = *project.FindDefinitionByName(wallGroup.guid, "Thickness");
    EXPECT_EQ(thickness.measureType, API_PropertyLengthMeasureType);
    EXPECT_EQ(thickness.defaultValue, MakeRealValue(0.2));
    EXPECT_EQ(project.FindDefinitionByName(wallGroup.guid, "IsExternal")->defaultValue, MakeBooleanValue(false));
    // No default attribute: the type's zero value.
    const PropertyDefinition& fireExit =
        *project.FindDefinitionByName(project.FindGroupByName("SGPset_Door")->guid, "FireExit");
    EXPECT_EQ(fireExit.defaultValue, MakeBooleanValue(false));
    EXPECT_TRUE(fireExit.expressions.empty());
    EXPECT_EQ(fireExit.expressionFlag, 0);
}

TEST(ConfigurationXml, EveryKindOfBadConfigurationChangesNothing)
{
    struct Case {
        const char* what;
        std::string text;
        GSErrCode code;
        std::size_t line;  // 0: not checked
    };
    const std::vector<Case> cases = {
        {"empty text", "", HostError::EmptyConfiguration, 0},
        {"only blanks", " \n\t ", HostError::EmptyConfiguration, 0},
        {"unclosed element", "<configuration>\n  <propertyGroup name=\"SGPset_Wall\">\n</configuration>", HostError::MalformedXml, 3},
        {"only a comment", "<!-- nothing -->", HostError::MalformedXml, 0},
        {"two roots", "<configuration/>\n<configuration/>", HostError::MalformedXml, 2},
        {"text before the root", "IFC-SG <configuration/>", HostError::MalformedXml, 0},
        {"unknown root", "<config>\n</config>", HostError::UnknownRoot, 1},
        {"unknown element", WithGroups("<propertyGroup name=\"SGPset_Wall\">\n<propertyset/></propertyGroup>"),
         HostError::UnknownElement, 3},
        {"misspelt group", WithGroups("<propertygroup name=\"SGPset_Wall\"/>"), HostError::UnknownElement, 2},
        {"text in a group", WithGroups("<propertyGroup name=\"SGPset_Wall\">Thickness</propertyGroup>"),
         HostError::UnknownElement, 0},
        {"group without name", WithGroups("<propertyGroup description=\"x\"/>"), HostError::MissingAttribute, 2},
        {"property without type", WithGroups("<propertyGroup name=\"G\">\n<property name=\"Thickness\"/></propertyGroup>"),
         HostError::MissingAttribute, 3},
        {"property with empty name", WithGroups("<propertyGroup name=\"G\"><property name=\"\" type=\"Real\"/></propertyGroup>"),
         HostError::MissingAttribute, 0},
        {"appliesTo without item",
         WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"Real\"><appliesTo/></property></propertyGroup>"),
         HostError::MissingAttribute, 0},
        {"unknown value type", WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"Text\"/></propertyGroup>"),
         HostError::UnknownValueType, 0},
        {"value type in wrong case", WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"real\"/></propertyGroup>"),
         HostError::UnknownValueType, 0},
        {"unknown measure",
         WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"Real\" measure=\"Mass\"/></propertyGroup>"),
         HostError::UnknownMeasure, 0},
        {"integer default with a fraction",
         WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"Integer\" default=\"1.5\"/></propertyGroup>"),
         HostError::BadDefaultValue, 0},
        {"integer default out of range",
         WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"Integer\" default=\"2147483648\"/></propertyGroup>"),
         HostError::BadDefaultValue, 0},
        {"real default not a number",
         WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"Real\" default=\"0,2\"/></propertyGroup>"),
         HostError::BadDefaultValue, 0},
        {"boolean default yes",
         WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"Boolean\" default=\"yes\"/></propertyGroup>"),
         HostError::BadDefaultValue, 0},
        {"unknown item", WithGroups("<propertyGroup name=\"G\">\n<property name=\"A\" type=\"Real\">\n<appliesTo item=\"IfcRoof\"/>"
                                    "</property></propertyGroup>"),
         HostError::UnknownItem, 4},
        {"item of another system",
         WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"Real\"><appliesTo item=\"IfcWall\" system=\"Office\"/>"
                    "</property></propertyGroup>"),
         HostError::UnknownItem, 0},
        {"group named twice", WithGroups("<propertyGroup name=\"G\"/><propertyGroup name=\"G\"/>"), HostError::DuplicateName, 0},
        {"property named twice",
         WithGroups("<propertyGroup name=\"G\"><property name=\"A\" type=\"Real\"/><property name=\"A\" type=\"String\"/>"
                    "</propertyGroup>"),
         HostError::DuplicateName, 0},
        // A bad item follows a good group: validation comes before any change.
        {"good group before a bad one",
         WithGroups("<propertyGroup name=\"SGPset_New\"><property name=\"A\" type=\"Real\"/></propertyGroup>"
                    "<propertyGroup name=\"G\"><property name=\"B\" type=\"Real\"><appliesTo item=\"Nowhere\"/></property>"
                    "</propertyGroup>"),
         HostError::UnknownItem, 0},
    };

    Project project;
    const SampleProject sample(project);
    const std::string before = Snapshot(project);
    for (const Case& bad : cases) {
        const ImportOutcome outcome = ImportPropertyXml(project, bad.text);
        EXPECT_EQ(outcome.code, bad.code) << bad.what << ": " << outcome.message;
        EXPECT_FALSE(outcome.message.empty()) << bad.what;
        if (bad.line != 0) {
            EXPECT_EQ(outcome.message.rfind("line " + std::to_string(bad.line) + ":", 0), 0u)
                << bad.what << ": " << outcome.message;
        }
        EXPECT_EQ(Snapshot(project), before) << bad.what;
    }

    const std::vector<Case> classificationCases = {
        {"system without name", "<configuration><classificationSystem version=\"1\"/></configuration>", HostError::MissingAttribute, 0},
        {"item without id", "<configuration><classificationSystem name=\"S\"><item name=\"Wall\"/></classificationSystem></configuration>",
         HostError::MissingAttribute, 0},
        {"id twice in a system, at different depths",
         "<configuration><classificationSystem name=\"S\"><item id=\"A\"><item id=\"A\"/></item></classificationSystem></configuration>",
         HostError::DuplicateName, 0},
        {"system twice", "<configuration><classificationSystem name=\"S\"/><classificationSystem name=\"S\"/></configuration>",
         HostError::DuplicateName, 0},
        {"unknown element in an item",
         "<configuration><classificationSystem name=\"S\"><item id=\"A\"><property/></item></classificationSystem></configuration>",
         HostError::UnknownElement, 0},
        {"unknown root", "<project/>", HostError::UnknownRoot, 0},
        {"empty text", "", HostError::EmptyConfiguration, 0},
        {"a good system before a malformed end",
         "<configuration><classificationSystem name=\"New\"><item id=\"X\"/></classificationSystem>", HostError::MalformedXml, 0},
    };
    for (const Case& bad : classificationCases) {
        const ImportOutcome outcome = ImportClassificationXml(project, bad.text);
        EXPECT_EQ(outcome.code, bad.code) << bad.what << ": " << outcome.message;
        EXPECT_EQ(Snapshot(project), before) << bad.what;
    }
}

TEST(ConfigurationXml, ReimportMergesByNameAndKeepsGuidsValuesAndExpressions)
{
    Project project;
    const SampleProject sample(project);
    PropertyDefinition withExpressions = *project.FindDefinition(sample.thickness);
    withExpressions.expressions = {"{Property:Pset_WallCommon/Width}"};
    withExpressions.expressionFlag = 1;
    ASSERT_EQ(project.UpdateDefinition(withExpressions), NoError);
    const API_Guid partitioning = project.FindItemById("IfcWall.PARTITIONING")->guid;

    const char* edition = R"xml(<configuration>
  <classificationSystem name="IFC-SG" version="2025.1">
    <item id="IfcWall" name="Wall (edition 2025)">
      <item id="IfcWall.PARTITIONING" name="Partitioning wall"/>
      <item id="IfcWall.SHEAR" name="Shear wall"/>
    </item>
  </classificationSystem>
  <propertyGroup name="SGPset_Wall" description="Edition 2025">
    <property name="Thickness" type="Real" measure="Length" default="0.3" description="Nominal thickness">
      <appliesTo item="IfcWall"/>
      <appliesTo item="IfcWall.SHEAR"/>
    </property>
    <property name="LoadBearing" type="Boolean"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>)xml";
    ASSERT_EQ(ImportClassificationXml(project, edition).code, NoError);
    ASSERT_EQ(ImportPropertyXml(project, edition).code, NoError);

    // Classification: same system and items, new version and name, one item added at the end.
    ASSERT_EQ(project.Systems().size(), 1u);
    EXPECT_EQ(project.Systems().begin()->version, "2025.1");
    EXPECT_EQ(project.FindItem(sample.wallItem)->name, "Wall (edition 2025)");
    EXPECT_EQ(project.FindItemById("IfcWall.PARTITIONING")->guid, partitioning);
    EXPECT_EQ(project.FindItem(sample.wallItem)->children.size(), 2u);
    EXPECT_EQ(project.FindItemById("IfcDoor")->guid, sample.doorItem);  // items the text omits stay

    // Properties: same GUID, new content, the expressions and the element's value kept.
    const PropertyDefinition& thickness = *project.FindDefinition(sample.thickness);
    EXPECT_EQ(thickness.defaultValue, MakeRealValue(0.3));
    EXPECT_EQ(thickness.description, "Nominal thickness");
    EXPECT_EQ(thickness.availability.size(), 2u);
    EXPECT_EQ(thickness.expressions, std::vector<std::string>{"{Property:Pset_WallCommon/Width}"});
    EXPECT_EQ(thickness.expressionFlag, 1);
    EXPECT_EQ(*project.FindElementValue(sample.wall1, sample.thickness), MakeRealValue(0.25));
    EXPECT_EQ(project.FindGroup(sample.wallGroup)->description, "Edition 2025");
    // Definitions the text omits stay; new ones come last.
    std::vector<std::string> names;
    for (const PropertyDefinition* definition : project.DefinitionsOfGroup(sample.wallGroup))
        names.push_back(definition->name);
    EXPECT_EQ(names, (std::vector<std::string>{"FireResistancePeriod", "Thickness", "IsExternal", "LoadBearing"}));
    EXPECT_EQ(project.Groups().size(), 3u);
}

TEST(ConfigurationXml, AppliesToMaySelectTheSystem)
{
    Project project;
    const char* text = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcDoor" name="Door"/></classificationSystem>
  <classificationSystem name="Office"><item id="IfcDoor" name="Office door"/></classificationSystem>
  <propertyGroup name="SGPset_Door">
    <property name="ClearWidth" type="Real" measure="Length"><appliesTo item="IfcDoor"/></property>
    <property name="KeyNumber" type="String"><appliesTo item="IfcDoor" system="Office"/></property>
    <property name="Both" type="String"><appliesTo item="IfcDoor" system="IFC-SG"/><appliesTo item="IfcDoor" system="Office"/></property>
  </propertyGroup>
</configuration>)xml";
    ASSERT_EQ(ImportClassificationXml(project, text).code, NoError);
    ASSERT_EQ(ImportPropertyXml(project, text).code, NoError);
    const API_Guid sgDoor = project.FindItemById("IfcDoor", "IFC-SG")->guid;
    const API_Guid officeDoor = project.FindItemById("IfcDoor", "Office")->guid;
    const API_Guid group = project.FindGroupByName("SGPset_Door")->guid;
    EXPECT_EQ(project.FindDefinitionByName(group, "ClearWidth")->availability, std::vector<API_Guid>{sgDoor});
    EXPECT_EQ(project.FindDefinitionByName(group, "KeyNumber")->availability, std::vector<API_Guid>{officeDoor});
    EXPECT_EQ(project.FindDefinitionByName(group, "Both")->availability, (std::vector<API_Guid>{sgDoor, officeDoor}));
}
