// Sequences of runs through the module file, with saves, restarts of the host and other projects
// between them, as users come to them: whatever a run does not bring back is kept in the store,
// told of, and comes back by itself once a configuration defines its property again, into a
// property still as the run that kept it left it; what the user has changed or cleared since stands.
#include <optional>
#include <string>

#include "ModuleRun.hpp"
#include "Support/Store.hpp"

namespace {

using namespace Abi;
using TestHost::MakeBooleanValue;
using TestHost::MakeIntegerValue;
using TestHost::MakeRealValue;
using TestHost::MakeStringValue;

const char* const Full = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/><item id="IfcDoor"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="FireRating" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Door">
    <property name="FireRating" type="String"><appliesTo item="IfcDoor"/></property>
    <property name="ClearWidth" type="Real" measure="Length"><appliesTo item="IfcDoor"/></property>
  </propertyGroup>
</configuration>)xml";

// Picked by mistake: an edition without SGPset_Door and without the walls' fire rating.
const char* const Partial = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/><item id="IfcDoor"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>)xml";

// Another wrong one: every property there, with other types.
const char* const Retyped = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/><item id="IfcDoor"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="FireRating" type="Integer"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="String"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Door">
    <property name="FireRating" type="Real"><appliesTo item="IfcDoor"/></property>
    <property name="ClearWidth" type="Integer"><appliesTo item="IfcDoor"/></property>
  </propertyGroup>
</configuration>)xml";

// The next edition renames the doors' group; its table comes beside it.
const char* const Renamed = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/><item id="IfcDoor"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="FireRating" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_DoorLeaf">
    <property name="FireRating" type="String"><appliesTo item="IfcDoor"/></property>
    <property name="ClearWidth" type="Real" measure="Length"><appliesTo item="IfcDoor"/></property>
  </propertyGroup>
</configuration>)xml";

class AcrossRuns : public ModuleRunTest {
protected:
    AcrossRuns() : ModuleRunTest(Full) {}

    void SetUp() override
    {
        ModuleRunTest::SetUp();
        partial = home.Write("partial.xml", Partial);
        retyped = home.Write("retyped.xml", Retyped);
        wall = AddElement("W1", "IfcWall");
        door = AddElement("D1", "IfcDoor");
        Set(wall, "SGPset_Wall", "FireRating", MakeStringValue("REI 60"));
        Set(wall, "SGPset_Wall", "Thickness", MakeRealValue(0.2));
        Set(door, "SGPset_Door", "FireRating", MakeStringValue("FD30"));
        Set(door, "SGPset_Door", "ClearWidth", MakeRealValue(0.9));
        SetExpressions("SGPset_Door", "ClearWidth", {"{Door.Width} - 0.05"});
        host.SetProjectLocation((home.Path() / "clinic.pln").string());
        Start();
        before = Support::OwnedValues(host.GetProject());
    }

    void SetExpressions(const char* group, const char* name, std::vector<std::string> expressions)
    {
        TestHost::Project& project = host.GetProject();
        TestHost::PropertyDefinition changed = *project.FindDefinitionByName(project.FindGroupByName(group)->guid, name);
        changed.expressions = std::move(expressions);
        changed.expressionFlag = 1;
        ASSERT_EQ(project.UpdateDefinition(changed), 0);
    }

    std::vector<std::string> Expressions(const char* group, const char* name)
    {
        const TestHost::Project& project = host.GetProject();
        const TestHost::PropertyGroup* owner = project.FindGroupByName(group);
        const TestHost::PropertyDefinition* definition = owner ? project.FindDefinitionByName(owner->guid, name) : nullptr;
        return definition ? definition->expressions : std::vector<std::string>{"(no definition)"};
    }

    // The project saved, the host closed, and the project opened again in a new host session.
    void SaveAndRestart()
    {
        const std::string saved = TestHost::WriteProjectXml(host.GetProject());
        Stop();
        TestHost::Project reopened;
        ASSERT_TRUE(TestHost::ReadProjectXml(saved, reopened).ok);
        ASSERT_TRUE(host.ReplaceProject(std::move(reopened)));
        Start();
    }

    std::optional<TestHost::Value> ValueNow(const API_Guid& element, const char* group, const char* name) const
    {
        const Support::ValueMap now = Support::OwnedValues(host.GetProject());
        const auto found = now.find({TestHost::GuidToText(element), group, name});
        return found == now.end() ? std::nullopt : std::optional<TestHost::Value>(found->second);
    }

    std::size_t LinesWith(const std::string& text) const
    {
        std::size_t count = 0;
        for (const std::string& line : ReportTexts())
            count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }

    std::string KeptIn() const { return "kept in \"" + home.Store().string() + "\""; }

    // The values the run's "came back from an earlier run" lines count, over all of them.
    std::size_t ValuesSaidToComeBack() const
    {
        std::size_t count = 0;
        for (const std::string& line : ReportTexts())
            if (line.find(" came back from an earlier run") != std::string::npos && line.find(" value") != std::string::npos)
                count += std::stoul(line);
        return count;
    }

    std::filesystem::path partial;
    std::filesystem::path retyped;
    API_Guid wall;
    API_Guid door;
    Support::ValueMap before;
};

}  // namespace

TEST_F(AcrossRuns, AWrongConfigurationThenTheRightOneAfterARestartBringsEverythingBack)
{
    RunCommand(true, {}, partial);
    // What the partial edition does not define is kept, one line each, and what waits is told.
    const std::string notDefined = " saved value not brought back (1 not defined by the configuration); ";
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{
                                 "SGPset_Wall / FireRating: 1 of 1" + notDefined + KeptIn(),
                                 "SGPset_Door / FireRating: 1 of 1" + notDefined + KeptIn(),
                                 "SGPset_Door / ClearWidth: 1 of 1" + notDefined + KeptIn(),
                                 "SGPset_Door / ClearWidth: the saved expression list was not brought back (the "
                                 "configuration does not define the property); it is " + KeptIn(),
                                 "Waiting in \"" + home.Store().string() + "\" for an import that defines their "
                                 "properties: 3 values, 1 expression list (SGPset_Door, SGPset_Wall)"}));
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);

    // Saved, closed, opened again the next day; another wrong run in between keeps them as they are
    // and says so.
    SaveAndRestart();
    RunCommand(true, {}, partial);
    EXPECT_EQ(ReportTexts().size(), 1u);
    EXPECT_EQ(LinesWith("Waiting in "), 1u);
    SaveAndRestart();
    RunCommand();
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    EXPECT_EQ(Expressions("SGPset_Door", "ClearWidth"), std::vector<std::string>{"{Door.Width} - 0.05"});
    EXPECT_TRUE(SaysValuesCameBack(ReportTexts().at(0), 3, home.Store())) << ReportTexts()[0];
    EXPECT_EQ(LinesWith("1 expression list came back from an earlier run, saved "), 1u);
    EXPECT_EQ(ReportTexts().size(), 2u);
    // Everything is back, so nothing is kept any more.
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 0u);
    EXPECT_EQ(Support::KeptListCount(home.Store()), 0u);
}

TEST_F(AcrossRuns, AnotherProjectEvenACopyWithTheSameElementsNeverTakesThisOnesValues)
{
    RunCommand(true, {}, partial);
    const std::string projectA = TestHost::WriteProjectXml(host.GetProject());

    // "Save As": the same elements in another file, then the right edition.
    host.SetProjectLocation((home.Path() / "clinic copy.pln").string());
    RunCommand();
    EXPECT_EQ(LinesWith("came back"), 0u);
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);
    EXPECT_EQ(Expressions("SGPset_Door", "ClearWidth"), std::vector<std::string>{});

    // Back to A: its values and its list come back.
    TestHost::Project reopened;
    ASSERT_TRUE(TestHost::ReadProjectXml(projectA, reopened).ok);
    ASSERT_TRUE(host.ReplaceProject(std::move(reopened)));
    host.SetProjectLocation((home.Path() / "clinic.pln").string());
    RunCommand();
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    EXPECT_EQ(Expressions("SGPset_Door", "ClearWidth"), std::vector<std::string>{"{Door.Width} - 0.05"});
    EXPECT_EQ(LinesWith("not brought back"), 0u);
    EXPECT_EQ(Support::StoreRows(home.Store(), "SELECT identity FROM project"), std::vector<std::string>{});
}

TEST_F(AcrossRuns, AProjectWithoutAFileIsKnownByItsElements)
{
    host.SetProjectLocation("");
    RunCommand(true, {}, partial);
    const std::vector<std::string> projects = Support::StoreRows(home.Store(), "SELECT identity FROM project");
    ASSERT_EQ(projects.size(), 1u);
    EXPECT_EQ(projects[0].rfind("anchor:", 0), 0u);

    // A new element and a restart change nothing: the project is known by one it still holds.
    host.GetProject().AddElement("W2", "IfcWall", host.GetProject().FindItemById("IfcWall")->guid);
    SaveAndRestart();
    RunCommand();
    EXPECT_TRUE(SaysValuesCameBack(ReportTexts().at(0), 3, home.Store())) << ReportTexts()[0];
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 0u);
}

TEST_F(AcrossRuns, WhatTheUserChangedOrClearedSinceStands)
{
    RunCommand(true, {}, partial);
    // The user undoes the run, changes one value and clears another and the list, and runs the
    // partial edition again, then the right one.
    host.Undo(host.StepNames().size());
    TestHost::Project& project = host.GetProject();
    Set(door, "SGPset_Door", "FireRating", MakeStringValue("FD60"));
    ASSERT_EQ(project.ResetElementValue(wall, project.FindDefinitionByName(project.FindGroupByName("SGPset_Wall")->guid, "FireRating")->guid), 0);
    SetExpressions("SGPset_Door", "ClearWidth", {});
    RunCommand(true, {}, partial);
    // The kept values of the changed and the cleared property end, each told.
    EXPECT_EQ(LinesWith("SGPset_Wall / FireRating: kept from an earlier run (saved "), 1u);
    EXPECT_EQ(LinesWith("SGPset_Door / FireRating: kept from an earlier run (saved "), 1u);
    EXPECT_EQ(LinesWith("no longer waiting: the property has been changed or cleared since, and that stands"), 2u);
    EXPECT_EQ(LinesWith("SGPset_Door / ClearWidth: the expression list kept from an earlier run"), 1u);
    RunCommand();

    EXPECT_EQ(ValueNow(door, "SGPset_Door", "FireRating"), MakeStringValue("FD60"));
    EXPECT_FALSE(ValueNow(wall, "SGPset_Wall", "FireRating").has_value());
    EXPECT_EQ(ValueNow(door, "SGPset_Door", "ClearWidth"), MakeRealValue(0.9));
    EXPECT_TRUE(Expressions("SGPset_Door", "ClearWidth").empty());
}

TEST_F(AcrossRuns, NothingExpiresAndEveryRunSaysWhatWaits)
{
    // Kept by the first run, still there twelve wrong runs later, each of which says so.
    RunCommand(true, {}, partial);
    for (int run = 2; run <= 13; ++run) {
        RunCommand(true, {}, partial);
        EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Waiting in \"" + home.Store().string() + "\" for an import "
                                                          "that defines their properties: 3 values, 1 expression list "
                                                          "(SGPset_Door, SGPset_Wall)"}) << "run " << run;
    }
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 3u);
    RunCommand();
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before)) << ::testing::PrintToString(ReportTexts());
    EXPECT_EQ(Expressions("SGPset_Door", "ClearWidth"), std::vector<std::string>{"{Door.Width} - 0.05"});
}

TEST_F(AcrossRuns, ChangedTypesConvertWhereExactAndWhatFailsStaysKeptEveryTime)
{
    RunCommand(true, {}, retyped);
    // 0.2 as the text "0.2"; "REI 60", "FD30" and 0.9 have no exact form in the new types.
    const Support::ValueMap after = Support::OwnedValues(host.GetProject());
    EXPECT_EQ(after.at({TestHost::GuidToText(wall), "SGPset_Wall", "Thickness"}), MakeStringValue("0.2"));
    EXPECT_EQ(after.size(), 1u);
    EXPECT_EQ(LinesWith("(1 not convertible to the property's type)"), 3u);

    // Again: the values that did not convert stay kept, unchanged, and are not taken for the user's.
    RunCommand(true, {}, retyped);
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 3u);

    // The user puts a rating of their own on the door; then the right edition comes back. The
    // values that did not convert come back into properties still as the runs left them; the
    // door's rating stays the user's, and its kept one ends with a line.
    Set(door, "SGPset_Door", "FireRating", MakeRealValue(60));
    RunCommand();
    Support::ValueMap expected = before;
    expected[{TestHost::GuidToText(door), "SGPset_Door", "FireRating"}] = MakeStringValue("60");
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), expected));
    EXPECT_EQ(LinesWith("SGPset_Door / FireRating: kept from an earlier run"), 1u);
    EXPECT_EQ(LinesWith("not brought back"), 0u);
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 0u);
}

TEST_F(AcrossRuns, TwoWrongConfigurationsThenAFailureThenTheRightOneBringEverythingBack)
{
    RunCommand(true, {}, partial);
    RunCommand(true, {}, retyped);
    // The right edition, but the host refuses the door's rating once: it stays kept, and it is told.
    host.GetFaults().FailNthCall(ServiceIndex::HostWriteElementPropertyValue,
                                 static_cast<UInt32>(host.CallCount("HostWriteElementPropertyValue") + 1), 93);
    const std::size_t kept = Support::KeptValueCount(home.Store());
    RunCommand();
    host.GetFaults().Clear();
    EXPECT_EQ(ValuesSaidToComeBack(), kept - 1) << ::testing::PrintToString(ReportTexts());
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), before.size() - 1);
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 1u);
    EXPECT_EQ(LinesWith(" error while importing property"), 1u) << ::testing::PrintToString(ReportTexts());
    EXPECT_EQ(LinesWith("Waiting in "), 1u);
    RunCommand();
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    EXPECT_EQ(Expressions("SGPset_Door", "ClearWidth"), std::vector<std::string>{"{Door.Width} - 0.05"});
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 0u);
}

TEST_F(AcrossRuns, ABrokenRenameTableThenTheFixedOneBringsTheRenamedValuesBack)
{
    const std::filesystem::path renamed = home.Write("IFC-SG-2026.xml", Renamed);
    home.Write("IFC-SG-2026.renames.xml", "<renames><group from=\"SGPset_Door\" to=\"SGPset&nbsp;DoorLeaf\"/></renames>");
    RunCommand(true, {}, renamed);
    EXPECT_EQ(LinesWith("The rename table \""), 1u);
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 2u);

    // The new names exist now, empty, as the import made them: the kept values are not the user's.
    home.Write("IFC-SG-2026.renames.xml", "<renames><group from=\"SGPset_Door\" to=\"SGPset_DoorLeaf\"/></renames>");
    RunCommand(true, {}, renamed);
    EXPECT_EQ(ValueNow(door, "SGPset_DoorLeaf", "FireRating"), MakeStringValue("FD30"));
    EXPECT_EQ(ValueNow(door, "SGPset_DoorLeaf", "ClearWidth"), MakeRealValue(0.9));
    EXPECT_EQ(Expressions("SGPset_DoorLeaf", "ClearWidth"), std::vector<std::string>{"{Door.Width} - 0.05"});
    EXPECT_TRUE(SaysValuesCameBack(ReportTexts().at(0), 2, home.Store())) << ReportTexts()[0];
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 0u);
}

TEST_F(AcrossRuns, AnUnwritableDocumentsFolderKeepsTheValuesSafeInTheStore)
{
    // The backup file cannot be written: the values go to the store before anything is removed.
    std::filesystem::remove_all(home.Documents());
    home.Write("Documents", "a file where the folder should be");
    RunCommand(true, {}, partial);
    EXPECT_EQ(ReportTexts().at(0), "Backup Write Error: " + std::to_string(ENOTDIR));
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 3u);
    RunCommand();
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 0u);
}

TEST_F(AcrossRuns, ARunThatCannotListTheElementsSaysItDoesWithoutTheStore)
{
    // A failed property import leaves the project without owned groups; everything waits in the store.
    host.GetFaults().FailAlways(ServiceIndex::HostImportPropertyXml, 4242);
    RunCommand();
    host.GetFaults().Clear();
    ASSERT_EQ(Support::KeptValueCount(home.Store()), 4u);
    // The next run cannot list the elements, so it cannot read what waits for them: it says so
    // rather than run as if nothing were kept, and the store keeps everything.
    host.GetFaults().FailNthCall(ServiceIndex::HostListElements,
                                 static_cast<UInt32>(host.CallCount("HostListElements") + 1), 77);
    RunCommand();
    host.GetFaults().Clear();
    EXPECT_EQ(LinesWith("\" could not be used (the project could not be named): this run reads nothing from it"), 1u)
        << ::testing::PrintToString(ReportTexts());
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 4u);
    EXPECT_EQ(Support::KeptListCount(home.Store()), 1u);
}
