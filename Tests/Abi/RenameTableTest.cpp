// The rename table beside the chosen configuration, through the module file: values and expression
// lists follow groups and properties that a newer configuration renamed.
#include <algorithm>
#include <optional>
#include <tuple>

#include "ModuleRun.hpp"
#include "Support/Memory.hpp"
#include "Support/Store.hpp"

namespace {

using namespace Abi;
using TestHost::MakeRealValue;
using TestHost::MakeStringValue;

// An older edition, as the project holds it.
const char* const Older = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcColumn"/><item id="IfcSpace"/></classificationSystem>
  <propertyGroup name="SGPset_Column">
    <property name="Width" type="Real" measure="Length"><appliesTo item="IfcColumn"/></property>
    <property name="Depth" type="Real" measure="Length"><appliesTo item="IfcColumn"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Space">
    <property name="OccupancyType" type="String"><appliesTo item="IfcSpace"/></property>
    <property name="Area" type="Real" measure="Area"><appliesTo item="IfcSpace"/></property>
    <property name="GrossArea" type="Real" measure="Area"><appliesTo item="IfcSpace"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Old">
    <property name="Width" type="Real"><appliesTo item="IfcSpace"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_A"><property name="Code" type="String"><appliesTo item="IfcSpace"/></property></propertyGroup>
  <propertyGroup name="SGPset_B"><property name="Code" type="String"><appliesTo item="IfcSpace"/></property></propertyGroup>
</configuration>)xml";

// The newer edition, with renamed groups and properties.
const char* const Newer = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcColumn"/><item id="IfcSpace"/></classificationSystem>
  <propertyGroup name="SGPset_StructuralColumn">
    <property name="Width" type="Real" measure="Length"><appliesTo item="IfcColumn"/></property>
    <property name="SectionDepth" type="Real" measure="Length"><appliesTo item="IfcColumn"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Space">
    <property name="OccupancyClass" type="String"><appliesTo item="IfcSpace"/></property>
    <property name="Area" type="Real" measure="Area"><appliesTo item="IfcSpace"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_New">
    <property name="ClearWidth" type="Real"><appliesTo item="IfcSpace"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_C"><property name="Code" type="String"><appliesTo item="IfcSpace"/></property></propertyGroup>
</configuration>)xml";

const char* const Renames = R"xml(<?xml version="1.0" encoding="utf-8"?>
<renames>
  <group from="SGPset_Column" to="SGPset_StructuralColumn"/>
  <property group="SGPset_Column" from="Depth" toGroup="SGPset_StructuralColumn" to="SectionDepth"/>
  <property group="SGPset_Space" from="OccupancyType" to="OccupancyClass"/>
  <property group="SGPset_Space" from="GrossArea" to="Area"/>
  <property group="SGPset_Old" from="Width" toGroup="SGPset_New" to="ClearWidth"/>
  <group from="SGPset_A" to="SGPset_C"/>
  <group from="SGPset_B" to="SGPset_C"/>
</renames>
)xml";

class RenameTable : public ModuleRunTest {
protected:
    RenameTable() : ModuleRunTest(Older) {}

    void SetUp() override
    {
        ModuleRunTest::SetUp();
        newer = home.Write("IFC-SG-2026.xml", Newer);
        column = AddElement("C1", "IfcColumn");
        bothAreas = AddElement("S1", "IfcSpace");
        grossOnly = AddElement("S2", "IfcSpace");
        Set(column, "SGPset_Column", "Width", MakeRealValue(0.4));
        Set(column, "SGPset_Column", "Depth", MakeRealValue(0.6));
        Set(bothAreas, "SGPset_Space", "OccupancyType", MakeStringValue("Health care"));
        Set(bothAreas, "SGPset_Space", "Area", MakeRealValue(40.5));
        Set(bothAreas, "SGPset_Space", "GrossArea", MakeRealValue(44));
        Set(bothAreas, "SGPset_Old", "Width", MakeRealValue(1.2));
        Set(bothAreas, "SGPset_A", "Code", MakeStringValue("from A"));
        Set(bothAreas, "SGPset_B", "Code", MakeStringValue("from B"));
        Set(grossOnly, "SGPset_Space", "GrossArea", MakeRealValue(12));
        Set(grossOnly, "SGPset_A", "Code", MakeStringValue("only A"));
        TestHost::Project& project = host.GetProject();
        TestHost::PropertyDefinition width =
            *project.FindDefinitionByName(project.FindGroupByName("SGPset_Column")->guid, "Width");
        width.expressions = {"{Column.Width}"};
        width.expressionFlag = 1;
        ASSERT_EQ(project.UpdateDefinition(width), 0);
        Start();
    }

    std::optional<TestHost::Value> After(const API_Guid& element, const char* group, const char* name)
    {
        const Support::ValueMap values = Support::OwnedValues(host.GetProject());
        const auto found = values.find({TestHost::GuidToText(element), group, name});
        return found == values.end() ? std::nullopt : std::optional<TestHost::Value>(found->second);
    }

    std::filesystem::path TablePath() const { return home.Path() / "IFC-SG-2026.renames.xml"; }

    // The report lines but those that tell of saved values or a list that did not come back, and of
    // what waits in the store.
    std::vector<std::string> TableLines() const
    {
        std::vector<std::string> lines;
        for (const std::string& text : ReportTexts())
            if (text.find(" not brought back (") == std::string::npos &&
                text.find(": the saved expression list was not brought back (") == std::string::npos &&
                text.rfind("Waiting in ", 0) != 0)
                lines.push_back(text);
        return lines;
    }

    std::string KeptIn() const { return "kept in \"" + home.Store().string() + "\""; }

    std::filesystem::path newer;
    API_Guid column;
    API_Guid bothAreas;
    API_Guid grossOnly;
};

}  // namespace

TEST_F(RenameTable, ValuesAndExpressionsFollowTheRenames)
{
    home.Write("IFC-SG-2026.renames.xml", Renames);
    RunCommand(true, {}, newer);
    // A direct match, and a later entry, win over a renamed value: the ones that gave way are kept.
    const std::string gaveWay = " saved values not brought back (1 gave way to another saved value of the property they are renamed to); ";
    const std::string entry = "The rename table \"" + TablePath().string() + "\" entry ";
    const std::string gaveWayOf = ": 1 saved value of its earlier name gave way to other saved values of the property "
                                  "it renames to; they are kept";
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{"SGPset_Space / GrossArea: 1 of 2" + gaveWay + KeptIn(),
                                                       "SGPset_A / Code: 1 of 2" + gaveWay + KeptIn(),
                                                       entry + "4 (\"property\")" + gaveWayOf,
                                                       entry + "6 (\"group\")" + gaveWayOf,
                                                       "Waiting in \"" + home.Store().string() + "\" for an import that "
                                                       "defines their properties: 2 values (SGPset_A, SGPset_Space)"}));

    // A group entry, and a property entry that wins over it for its property.
    EXPECT_EQ(*After(column, "SGPset_StructuralColumn", "Width"), MakeRealValue(0.4));
    EXPECT_EQ(*After(column, "SGPset_StructuralColumn", "SectionDepth"), MakeRealValue(0.6));
    // A property renamed in its group, and one moved to another group.
    EXPECT_EQ(*After(bothAreas, "SGPset_Space", "OccupancyClass"), MakeStringValue("Health care"));
    EXPECT_EQ(*After(bothAreas, "SGPset_New", "ClearWidth"), MakeRealValue(1.2));
    // A direct match wins over a renamed one; without one, the renamed value comes.
    EXPECT_EQ(*After(bothAreas, "SGPset_Space", "Area"), MakeRealValue(40.5));
    EXPECT_EQ(*After(grossOnly, "SGPset_Space", "Area"), MakeRealValue(12));
    // Two earlier groups renamed to one: the later entry wins, the earlier one where it alone has a value.
    EXPECT_EQ(*After(bothAreas, "SGPset_C", "Code"), MakeStringValue("from B"));
    EXPECT_EQ(*After(grossOnly, "SGPset_C", "Code"), MakeStringValue("only A"));
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 8u);

    // The expression list follows the renamed group.
    const TestHost::Project& project = host.GetProject();
    EXPECT_EQ(project.FindDefinitionByName(project.FindGroupByName("SGPset_StructuralColumn")->guid, "Width")->expressions,
              std::vector<std::string>{"{Column.Width}"});

    // The same run again: what gave way stays kept, and never comes over the values written in its
    // place.
    const Support::ValueMap written = Support::OwnedValues(host.GetProject());
    RunCommand(true, {}, newer);
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), written));
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 2u);
}

TEST_F(RenameTable, WithoutATableOnlyOwnNamesMatch)
{
    RunCommand(true, {}, newer);
    // Every renamed property's values are kept and told of (seven of them), and so is the list, and
    // what waits is told in one line.
    ASSERT_EQ(ReportTexts().size(), 9u);
    EXPECT_TRUE(TableLines().empty());
    EXPECT_EQ(ReportTexts()[0], "SGPset_Column / Width: 1 of 1 saved value not brought back (1 not defined by the configuration); " + KeptIn());
    // Only the one property whose group and name stayed keeps its values.
    const Support::ValueMap after = Support::OwnedValues(host.GetProject());
    EXPECT_EQ(after.size(), 1u);
    EXPECT_EQ(*After(bothAreas, "SGPset_Space", "Area"), MakeRealValue(40.5));
    const TestHost::Project& project = host.GetProject();
    EXPECT_TRUE(
        project.FindDefinitionByName(project.FindGroupByName("SGPset_StructuralColumn")->guid, "Width")->expressions.empty());
}

TEST_F(RenameTable, BadTablesCostNoValue)
{
    const std::string table = TablePath().string();
    const std::string onlyOwnNames = "; values and expressions follow their own names only";

    // Not well-formed: one line, and the direct matches still come back.
    home.Write("IFC-SG-2026.renames.xml", "<renames><group from=\"SGPset_Column\" to=");
    RunCommand(true, {}, newer);
    ASSERT_EQ(TableLines().size(), 1u) << ::testing::PrintToString(ReportTexts());
    EXPECT_EQ(TableLines()[0].rfind("The rename table \"" + table + "\" could not be used (", 0), 0u) << TableLines()[0];
    EXPECT_NE(TableLines()[0].find(onlyOwnNames), std::string::npos);
    EXPECT_EQ(*After(bothAreas, "SGPset_Space", "Area"), MakeRealValue(40.5));
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);
    host.Undo(host.StepNames().size());

    // Cannot be read: a folder where the table would be.
    std::filesystem::remove(TablePath());
    std::filesystem::create_directory(TablePath());
    RunCommand(true, {}, newer);
    ASSERT_EQ(TableLines().size(), 1u) << ::testing::PrintToString(ReportTexts());
    EXPECT_EQ(TableLines()[0].rfind("The rename table \"" + table + "\" could not be used (system error ", 0), 0u)
        << TableLines()[0];
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);
    host.Undo(host.StepNames().size());
    std::filesystem::remove(TablePath());

    // Entries that lack an attribute, or are no entry, are skipped with one line each; the rest apply.
    home.Write("IFC-SG-2026.renames.xml", R"(<renames>
  <group from="SGPset_Column"/>
  <property from="OccupancyType" to="OccupancyClass"/>
  <alias from="SGPset_A" to="SGPset_C"/>
  <property group="SGPset_Old" from="Width" toGroup="SGPset_New" to="ClearWidth"/>
</renames>)");
    RunCommand(true, {}, newer);
    EXPECT_EQ(TableLines(), (std::vector<std::string>{
                                 "The rename table \"" + table + "\" entry 1 (\"group\") is skipped: it has no \"to\" attribute",
                                 "The rename table \"" + table + "\" entry 2 (\"property\") is skipped: it has no \"group\" attribute",
                                 "The rename table \"" + table + "\" entry 3 (\"alias\") is skipped: it is neither a group nor a property entry"}));
    EXPECT_EQ(*After(bothAreas, "SGPset_New", "ClearWidth"), MakeRealValue(1.2));
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 2u);
    host.Undo(host.StepNames().size());

    // An attribute given twice makes the table not well-formed, on an entry too: no entry applies.
    home.Write("IFC-SG-2026.renames.xml", R"(<renames>
  <group from="SGPset_Column" to="SGPset_StructuralColumn" to="SGPset_Column2"/>
  <property group="SGPset_Old" from="Width" toGroup="SGPset_New" to="ClearWidth"/>
</renames>)");
    RunCommand(true, {}, newer);
    EXPECT_EQ(TableLines(), std::vector<std::string>{"The rename table \"" + table +
                                                     "\" could not be used (duplicate attribute at line 2, byte 69)" +
                                                     onlyOwnNames});
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);
    host.Undo(host.StepNames().size());

    // A document type declaration, or an entity it would declare, is not read: one line, and no
    // entry applies.
    home.Write("IFC-SG-2026.renames.xml", R"(<!DOCTYPE renames [<!ENTITY old "SGPset_Old">]>
<renames><property group="&old;" from="Width" toGroup="SGPset_New" to="ClearWidth"/></renames>)");
    RunCommand(true, {}, newer);
    EXPECT_EQ(TableLines(), std::vector<std::string>{"The rename table \"" + table +
                                                     "\" could not be used (a document type declaration \"renames\" at "
                                                     "line 1, byte 0)" + onlyOwnNames});
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);
    host.Undo(host.StepNames().size());
    home.Write("IFC-SG-2026.renames.xml",
               R"(<renames><property group="&old;" from="Width" toGroup="SGPset_New" to="ClearWidth"/></renames>)");
    RunCommand(true, {}, newer);
    EXPECT_EQ(TableLines(), std::vector<std::string>{"The rename table \"" + table +
                                                     "\" could not be used (the undefined entity \"&old;\" at line 1, "
                                                     "byte 26)" + onlyOwnNames});
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);
    host.Undo(host.StepNames().size());
    std::filesystem::remove(TablePath());

    // A link that leads nowhere cannot be read; without a link nothing is said.
    std::filesystem::create_symlink(home.Path() / "gone.renames.xml", TablePath());
    RunCommand(true, {}, newer);
    ASSERT_EQ(TableLines().size(), 1u);
    EXPECT_EQ(TableLines()[0].rfind("The rename table \"" + table + "\" could not be used (system error ", 0), 0u)
        << TableLines()[0];
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);
}

TEST_F(RenameTable, EntriesThatLeadNowhereAreToldAndWhatTheyConcernIsKept)
{
    home.Write("IFC-SG-2026.renames.xml", R"(<renames>
  <property group="SGPset_Space" from="OccupancyType" to="Occupancy"/>
  <property group="SGPset_Old" from="Width" toGroup="Pset_SpaceCommon" to="ClearWidth"/>
  <group from="SGPset_Column" to="SGPset_Pillar"/>
  <group from="SGPset_Pillar" to="SGPset_StructuralColumn"/>
</renames>)");
    RunCommand(true, {}, newer);
    const std::string entry = "The rename table \"" + TablePath().string() + "\" entry ";
    const std::string nowhere = ", which the configuration does not define: ";
    std::vector<std::string> told;
    for (const std::string& line : ReportTexts())
        if (line.rfind("The rename table", 0) == 0)
            told.push_back(line);
    // A property the configuration does not define, in an owned group or in another, and a chain
    // whose middle group is not defined: renames are never chained.
    EXPECT_EQ(told, (std::vector<std::string>{
                        entry + "1 (\"property\") renames to SGPset_Space / Occupancy" + nowhere +
                            "1 saved value and 0 expression lists of its earlier name are kept",
                        entry + "2 (\"property\") renames to Pset_SpaceCommon / ClearWidth" + nowhere +
                            "1 saved value and 0 expression lists of its earlier name are kept",
                        entry + "3 (\"group\") renames to the group SGPset_Pillar, which the configuration does not define: " +
                            "2 saved values and 1 expression list of its earlier name are kept"}));
    EXPECT_FALSE(After(column, "SGPset_StructuralColumn", "Width").has_value());
}

TEST_F(RenameTable, PropertyReferencesInExpressionsFollowTheRenames)
{
    TestHost::Project& project = host.GetProject();
    TestHost::PropertyDefinition area = *project.FindDefinitionByName(project.FindGroupByName("SGPset_Space")->guid, "Area");
    area.expressions = {"ROUNDDOWN ( {Property:SGPset_Space/GrossArea} / 4 )", "{Property:SGPset_Column/Width} + {Property:Pset_X/Width}"};
    area.expressionFlag = 1;
    ASSERT_EQ(project.UpdateDefinition(area), 0);
    home.Write("IFC-SG-2026.renames.xml", Renames);
    RunCommand(true, {}, newer);
    const TestHost::Project& after = host.GetProject();
    EXPECT_EQ(after.FindDefinitionByName(after.FindGroupByName("SGPset_Space")->guid, "Area")->expressions,
              (std::vector<std::string>{"ROUNDDOWN ( {Property:SGPset_Space/Area} / 4 )",
                                        "{Property:SGPset_StructuralColumn/Width} + {Property:Pset_X/Width}"}));
}

// Memory that runs out while the table is read, within expat too, stops the command as it does
// anywhere: the menu handler's one line, and nothing imported.
TEST_F(RenameTable, RunningOutOfMemoryWhileTheTableIsReadStopsTheCommand)
{
    home.Write("IFC-SG-2026.renames.xml", Renames);
    // The allocations from the dialog's answer to the first service call after it: those that read
    // the configuration and the table, and open the store.
    std::size_t answered = 0, firstCall = 0;
    host.GetFaults().SetCallListener([&](UInt32, UInt64) {
        if (answered != 0 && firstCall == 0)
            firstCall = GS::MemoryManager::AllocationCount();
    });
    onDialog = [&] { answered = GS::MemoryManager::AllocationCount(); };
    RunCommand(true, {}, newer);
    host.GetFaults().SetCallListener({});
    ASSERT_EQ(host.Alerts().size(), 1u);
    host.Undo(host.StepNames().size());
    ASSERT_GT(firstCall, answered + 20);

    const std::string stopped = "Import IFC-SG Classifications and Properties stopped: std::bad_alloc";
    std::optional<Support::FailingAllocation> failing;
    std::size_t stops = 0;
    for (const bool andLater : {false, true}) {
        // Every one while the configuration and the table are read, then every eighth as the store opens.
        for (std::size_t nth = 1; nth < firstCall - answered; nth += nth < 100 ? 1 : 8) {
            SCOPED_TRACE(std::string(andLater ? "from allocation " : "allocation ") + std::to_string(nth));
            onDialog = [&] { failing.emplace(nth, andLater); };
            RunCommand(true, {}, newer);
            failing.reset();
            // The command stops before it changes anything, or (where SQLite does without the block
            // it asked for, while it opens the store) it goes on to its end.
            const std::vector<std::string> steps = host.StepNames();
            const bool wasStopped = !host.ReportLines().empty() && host.ReportLines().back().text == stopped;
            if (wasStopped) {
                EXPECT_TRUE(host.Alerts().empty());
                EXPECT_TRUE(steps.empty());
                ++stops;
            } else {
                EXPECT_EQ(host.Alerts().size(), 1u);
            }
            host.Undo(host.StepNames().size());
        }
    }
    // Reading the configuration and the table comes first: every failure there stops the command.
    EXPECT_GT(stops, 40u);
}

namespace {

// A property moves from an owned group into a standard set that both editions have.
const char* const WithArea = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcSpace"/></classificationSystem>
  <propertyGroup name="SGPset_Space">
    <property name="Area" type="Real" measure="Area"><appliesTo item="IfcSpace"/></property>
    <property name="Label" type="String"><appliesTo item="IfcSpace"/></property>
  </propertyGroup>
  <propertyGroup name="Pset_SpaceCommon">
    <property name="NetArea" type="Real" measure="Area"><appliesTo item="IfcSpace"/></property>
    <property name="Reference" type="String"><appliesTo item="IfcSpace"/></property>
  </propertyGroup>
</configuration>)xml";

const char* const AreaMoved = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcSpace"/></classificationSystem>
  <propertyGroup name="SGPset_Space">
    <property name="Label" type="String"><appliesTo item="IfcSpace"/></property>
  </propertyGroup>
  <propertyGroup name="Pset_SpaceCommon">
    <property name="NetArea" type="Real" measure="Area"><appliesTo item="IfcSpace"/></property>
    <property name="Reference" type="String"><appliesTo item="IfcSpace"/></property>
  </propertyGroup>
</configuration>)xml";

class MoveIntoStandardSet : public ModuleRunTest {
protected:
    MoveIntoStandardSet() : ModuleRunTest(WithArea) {}

    const TestHost::PropertyDefinition& Definition(const char* group, const char* name) const
    {
        const TestHost::Project& project = host.GetProject();
        return *project.FindDefinitionByName(project.FindGroupByName(group)->guid, name);
    }

    std::optional<TestHost::Value> ValueOf(const API_Guid& element, const char* group, const char* name) const
    {
        const TestHost::Value* value = host.GetProject().FindElementValue(element, Definition(group, name).guid);
        return value != nullptr ? std::optional<TestHost::Value>(*value) : std::nullopt;
    }
};

}  // namespace

TEST_F(MoveIntoStandardSet, AValueGoesOnlyWhereTheElementHoldsNoneAndAListOnlyWhereThereIsNone)
{
    const API_Guid empty = AddElement("S1", "IfcSpace"), held = AddElement("S2", "IfcSpace");
    Set(empty, "SGPset_Space", "Area", MakeRealValue(40));
    Set(held, "SGPset_Space", "Area", MakeRealValue(50));
    Set(held, "Pset_SpaceCommon", "NetArea", MakeRealValue(48));  // the user's own
    Set(held, "Pset_SpaceCommon", "Reference", MakeStringValue("R-2"));
    for (const auto& [group, name, expression] : {std::tuple{"SGPset_Space", "Area", "{Zone.NetArea}"},
                                                  std::tuple{"Pset_SpaceCommon", "NetArea", "{Zone.Area} * 0.9"}}) {
        TestHost::PropertyDefinition definition = Definition(group, name);
        definition.expressions = {expression};
        definition.expressionFlag = 1;
        ASSERT_EQ(host.GetProject().UpdateDefinition(definition), 0);
    }
    const API_Guid standardSet = host.GetProject().FindGroupByName("Pset_SpaceCommon")->guid;
    Start();
    const std::filesystem::path moved = home.Write("moved.xml", AreaMoved);
    home.Write("moved.renames.xml",
               R"(<renames><property group="SGPset_Space" from="Area" toGroup="Pset_SpaceCommon" to="NetArea"/></renames>)");

    RunCommand(true, {}, moved);
    EXPECT_EQ(ValueOf(empty, "Pset_SpaceCommon", "NetArea"), MakeRealValue(40));
    EXPECT_EQ(ValueOf(held, "Pset_SpaceCommon", "NetArea"), MakeRealValue(48));
    EXPECT_EQ(Definition("Pset_SpaceCommon", "NetArea").expressions, std::vector<std::string>{"{Zone.Area} * 0.9"});
    // Nothing else of the standard set is touched: the group stays, its other values as they were.
    EXPECT_EQ(host.GetProject().FindGroupByName("Pset_SpaceCommon")->guid, standardSet);
    EXPECT_EQ(ValueOf(held, "Pset_SpaceCommon", "Reference"), MakeStringValue("R-2"));
    // What did not go in stays kept, and is told.
    const std::string store = home.Store().string();
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{
                                 "SGPset_Space / Area: 1 of 2 saved values not brought back (1 not written over the "
                                 "value the property they are renamed to holds); kept in \"" + store + "\"",
                                 "SGPset_Space / Area: the saved expression list was not brought back (the property it "
                                 "is renamed to has an expression list of its own); it is kept in \"" + store + "\"",
                                 "Waiting in \"" + store + "\" for an import that defines their properties: 1 value, "
                                 "1 expression list (SGPset_Space)"}));

    // Once the user clears them, the kept value and list go in.
    ASSERT_EQ(host.GetProject().ResetElementValue(held, Definition("Pset_SpaceCommon", "NetArea").guid), 0);
    TestHost::PropertyDefinition netArea = Definition("Pset_SpaceCommon", "NetArea");
    netArea.expressions.clear();
    netArea.expressionFlag = 0;
    ASSERT_EQ(host.GetProject().UpdateDefinition(netArea), 0);
    RunCommand(true, {}, moved);
    EXPECT_EQ(ValueOf(held, "Pset_SpaceCommon", "NetArea"), MakeRealValue(50));
    EXPECT_EQ(Definition("Pset_SpaceCommon", "NetArea").expressions, std::vector<std::string>{"{Zone.NetArea}"});
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 0u);
    EXPECT_EQ(Support::KeptListCount(home.Store()), 0u);
}
