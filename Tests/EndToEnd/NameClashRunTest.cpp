// quillmere-host on a project whose names clash: two groups of one name, two definitions of one
// name in a group, values of definitions that do not apply to their element and of an unclassified
// element. The table has one row per element and names, the value of the first such definition in
// host order, in the host order of the elements, whatever their GUIDs.
#include "EndToEndSupport.hpp"

using namespace EndToEnd;
using TestHost::MakeRealValue;
using TestHost::MakeStringValue;
using TestHost::Project;

namespace {

const char* const ClashConfiguration = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/><item id="IfcDoor"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="Width" type="Real"><appliesTo item="IfcWall"/></property>
    <property name="Note" type="String"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="Pset_WallCommon">
    <property name="Reference" type="String"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>
)xml";

// One row of the table as the test expects it.
struct ExpectedRow {
    std::string element;
    std::string property;
    std::string before;
    bool appliesBefore;  // a definition of the names applies to the element before the command
};

}  // namespace

TEST(NameClashRun, OneRowPerElementAndNamesWithTheFirstDefinitionsValueInHostOrder)
{
    Project project;
    Support::ImportConfiguration(project, ClashConfiguration);
    const API_Guid wallItem = project.FindItemById("IfcWall")->guid;
    const API_Guid doorItem = project.FindItemById("IfcDoor")->guid;
    const API_Guid wallGroup = project.FindGroupByName("SGPset_Wall")->guid;
    const API_Guid width = project.FindDefinitionByName(wallGroup, "Width")->guid;
    const API_Guid note = project.FindDefinitionByName(wallGroup, "Note")->guid;
    const API_Guid reference =
        project.FindDefinitionByName(project.FindGroupByName("Pset_WallCommon")->guid, "Reference")->guid;
    // Later in host order: a second group of the same name with its own Width, and a second Note.
    TestHost::PropertyDefinition secondWidth = *project.FindDefinition(width);
    secondWidth.guid = APINULLGuid;
    secondWidth.group = project.AddGroup("SGPset_Wall", "the same name again");
    const API_Guid otherWidth = project.AddDefinition(secondWidth);
    TestHost::PropertyDefinition secondNote = *project.FindDefinition(note);
    secondNote.guid = APINULLGuid;
    const API_Guid otherNote = project.AddDefinition(secondNote);
    ASSERT_NE(otherWidth, APINULLGuid);
    ASSERT_NE(otherNote, APINULLGuid);

    const API_Guid w1 = project.AddElement("W1", "IfcWall", wallItem);
    const API_Guid empty = project.AddElement("E", "IfcWall", wallItem);
    const API_Guid w2 = project.AddElement("W2", "IfcWall", wallItem);
    const API_Guid door = project.AddElement("D1", "IfcDoor", doorItem);
    const API_Guid proxy = project.AddElement("P1", "IfcBuildingElementProxy", APINULLGuid);
    const API_Guid w3 = project.AddElement("W3", "IfcWall", wallItem);
    const struct {
        API_Guid element;
        API_Guid definition;
        TestHost::Value value;
    } values[] = {
        {w3, otherNote, MakeStringValue("b")},      {w1, otherWidth, MakeRealValue(2.5)},
        {w1, reference, MakeStringValue("R1")},     {w1, otherNote, MakeStringValue("z")},
        {w1, note, MakeStringValue("a")},           {w1, width, MakeRealValue(1.5)},
        {w2, otherWidth, MakeRealValue(3.5)},       {door, width, MakeRealValue(4.5)},
        {proxy, note, MakeStringValue("p")},        {w2, reference, MakeStringValue("R2")},
    };
    for (const auto& held : values)
        ASSERT_EQ(project.SetElementValue(held.element, held.definition, held.value), 0);
    (void)empty;

    Scratch scratch;
    const fs::path file = scratch.work() / "clash.xml";
    std::string error;
    ASSERT_TRUE(TestHost::SaveProjectFile(project, file.string(), error)) << error;
    const fs::path json = scratch.work() / "run.json";
    // A configuration without any property group: the owned groups go, and nothing comes back.
    const fs::path noGroups = scratch.work() / "no-groups.xml";
    Support::WriteBytes(noGroups, R"(<configuration><classificationSystem name="IFC-SG"><item id="IfcWall"/>)"
                               R"(<item id="IfcDoor"/></classificationSystem></configuration>)");
    const ProgramRun run = scratch.Run({"--project", file.string(), "--choose", noGroups.string(), "--undo", "100",
                                        "--profile", (scratch.work() / "profile").string(), "--json", json.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Json result = ReadJson(json);

    const std::vector<ExpectedRow> expected = {
        {"W1", "Width", "1.5", true}, {"W1", "Note", "a", true}, {"W2", "Width", "3.5", true},
        {"D1", "Width", "4.5", false}, {"P1", "Note", "p", false}, {"W3", "Note", "b", true},
    };
    const Json& rows = result.at("values");
    ASSERT_EQ(rows.size(), expected.size()) << run.out;
    for (std::size_t at = 0; at < expected.size(); ++at) {
        const Json& row = rows[at];
        const ExpectedRow& want = expected[at];
        EXPECT_EQ(row.at("element").get<std::string>(), want.element) << at;
        EXPECT_EQ(row.at("group").get<std::string>(), "SGPset_Wall") << at;
        EXPECT_EQ(row.at("property").get<std::string>(), want.property) << at;
        EXPECT_EQ(row.at("before").at("text").get<std::string>(), want.before) << at;
        // The command left no owned group; the undo brought everything back.
        EXPECT_EQ(row.at("status").get<std::string>(), "lost") << at;
        EXPECT_TRUE(row.at("after").is_null()) << at;
        EXPECT_FALSE(row.at("afterHasDefinition").get<bool>()) << at;
        EXPECT_EQ(row.at("afterUndo").at("text").get<std::string>(), want.before) << at;
        EXPECT_EQ(row.at("afterUndoHasDefinition").get<bool>(), want.appliesBefore) << at;
    }
    EXPECT_EQ(result.at("otherValues").at("before"), 2);
    EXPECT_EQ(result.at("otherValues").at("unchanged"), 2);

    // The printed table has the same rows in the same order.
    std::vector<std::string> printed;
    for (const std::string& line : run.OutLines())
        for (const ExpectedRow& row : expected)
            if (line.rfind(row.element + " ", 0) == 0 && line.find(" " + row.property + " ") != std::string::npos)
                printed.push_back(row.element + "/" + row.property);
    std::vector<std::string> wanted;
    for (const ExpectedRow& row : expected)
        wanted.push_back(row.element + "/" + row.property);
    EXPECT_EQ(printed, wanted) << run.out;
}
