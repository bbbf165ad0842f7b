// Sequences of runs through the module file, with saves, restarts of the host and other projects
// between them, as users come to them: whatever a run does not bring back is kept, told of, and
// comes back by itself once a configuration defines its property again; never over what the user
// has put on a property since.
#include <optional>

#include "ModuleRun.hpp"

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

class AcrossRuns : public ModuleRunTest {
protected:
    AcrossRuns() : ModuleRunTest(Full) {}

    void SetUp() override
    {
        ModuleRunTest::SetUp();
        partial = home.Write("partial.xml", Partial);
        wall = AddElement("W1", "IfcWall");
        door = AddElement("D1", "IfcDoor");
        Set(wall, "SGPset_Wall", "FireRating", MakeStringValue("REI 60"));
        Set(wall, "SGPset_Wall", "Thickness", MakeRealValue(0.2));
        Set(door, "SGPset_Door", "FireRating", MakeStringValue("FD30"));
        Set(door, "SGPset_Door", "ClearWidth", MakeRealValue(0.9));
        SetExpressions("SGPset_Door", "ClearWidth", {"{Door.Width} - 0.05"});
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

    std::filesystem::path Kept(int run) const
    {
        return home.Documents() / ("IFC_SG_Properties." + std::to_string(run) + ".xml");
    }

    std::size_t LinesWith(const std::string& text) const
    {
        std::size_t count = 0;
        for (const std::string& line : ReportTexts())
            count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }

    std::filesystem::path partial;
    API_Guid wall;
    API_Guid door;
    Support::ValueMap before;
};

}  // namespace

TEST_F(AcrossRuns, AWrongConfigurationThenTheRightOneAfterARestartBringsEverythingBack)
{
    RunCommand(true, {}, partial);
    // What the partial edition does not define is kept, one line each, and nothing else is lost.
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{
                                 "SGPset_Wall / FireRating: 1 of 1 saved value not brought back (1 not defined by the "
                                 "configuration); kept in \"" + Kept(1).string() + "\"",
                                 "SGPset_Door / FireRating: 1 of 1 saved value not brought back (1 not defined by the "
                                 "configuration); kept in \"" + Kept(1).string() + "\"",
                                 "SGPset_Door / ClearWidth: 1 of 1 saved value not brought back (1 not defined by the "
                                 "configuration); kept in \"" + Kept(1).string() + "\"",
                                 "SGPset_Door / ClearWidth: the saved expression list was not brought back (the "
                                 "configuration does not define the property); it is kept in \"" +
                                     (home.Documents() / "IFC_SG_Properties.history.xml").string() + "\""}));
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);

    // Saved, closed, opened again the next day; another wrong run in between changes nothing.
    SaveAndRestart();
    RunCommand(true, {}, partial);
    SaveAndRestart();
    RunCommand();
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    EXPECT_EQ(Expressions("SGPset_Door", "ClearWidth"), std::vector<std::string>{"{Door.Width} - 0.05"});
    EXPECT_EQ(LinesWith(" values came back from the backup of an earlier run, saved "), 1u);
    EXPECT_EQ(LinesWith("1 expression list came back from an earlier run, saved "), 1u);
    EXPECT_EQ(LinesWith("not brought back"), 0u);
    // Everything is back, so nothing is kept any more.
    EXPECT_FALSE(std::filesystem::exists(Kept(1)));
}

TEST_F(AcrossRuns, ACancelThenARestartThenAnotherProjectThenBackBringsEverythingBack)
{
    RunCommand(false);
    EXPECT_TRUE(ReportTexts().empty());  // a cancel says nothing
    const std::string projectA = TestHost::WriteProjectXml(host.GetProject());
    SaveAndRestart();

    // Project B, with the same configuration and its own values, has a run of its own.
    TestHost::Project projectB;
    Support::ImportConfiguration(projectB, Full);
    const API_Guid otherWall = projectB.AddElement("B-W1", "IfcWall", projectB.FindItemById("IfcWall")->guid,
                                                   GSGuid2APIGuid(GS::Guid("7B0C4D52-2F1E-4C44-9B5A-0D6E1F2A3B4C")));
    ASSERT_EQ(projectB.SetElementValue(otherWall, projectB.FindDefinitionByName(projectB.FindGroupByName("SGPset_Wall")->guid, "Thickness")->guid,
                                       MakeRealValue(0.3)),
              0);
    ASSERT_TRUE(host.ReplaceProject(std::move(projectB)));
    RunCommand();
    EXPECT_TRUE(ReportTexts().empty());
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).begin()->second, MakeRealValue(0.3));

    // Back to A: its values and its list come back, none of B's.
    TestHost::Project reopened;
    ASSERT_TRUE(TestHost::ReadProjectXml(projectA, reopened).ok);
    ASSERT_TRUE(host.ReplaceProject(std::move(reopened)));
    RunCommand();
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    EXPECT_EQ(Expressions("SGPset_Door", "ClearWidth"), std::vector<std::string>{"{Door.Width} - 0.05"});
    EXPECT_EQ(LinesWith("not brought back"), 0u);
}

TEST_F(AcrossRuns, WhatTheUserChangedOrClearedSinceStands)
{
    RunCommand(true, {}, partial);
    // The user undoes the run, changes one value and clears another, and runs the partial edition again.
    host.Undo(host.StepNames().size());
    TestHost::Project& project = host.GetProject();
    Set(door, "SGPset_Door", "FireRating", MakeStringValue("FD60"));
    ASSERT_EQ(project.ResetElementValue(wall, project.FindDefinitionByName(project.FindGroupByName("SGPset_Wall")->guid, "FireRating")->guid), 0);
    SetExpressions("SGPset_Door", "ClearWidth", {});
    RunCommand(true, {}, partial);
    RunCommand();

    const Support::ValueMap after = Support::OwnedValues(host.GetProject());
    const auto value = [&](const API_Guid& element, const char* group, const char* name) {
        const auto found = after.find({TestHost::GuidToText(element), group, name});
        return found == after.end() ? std::optional<TestHost::Value>() : std::optional<TestHost::Value>(found->second);
    };
    EXPECT_EQ(value(door, "SGPset_Door", "FireRating"), MakeStringValue("FD60"));
    EXPECT_FALSE(value(wall, "SGPset_Wall", "FireRating").has_value());
    EXPECT_EQ(value(door, "SGPset_Door", "ClearWidth"), MakeRealValue(0.9));
    EXPECT_TRUE(Expressions("SGPset_Door", "ClearWidth").empty());
}

TEST_F(AcrossRuns, KeptValuesLastTenRuns)
{
    // Kept by run 1, they come back in run 11, ten runs later.
    RunCommand(true, {}, partial);
    for (int run = 2; run <= 10; ++run)
        RunCommand(true, {}, partial);
    EXPECT_TRUE(std::filesystem::exists(Kept(1)));
    RunCommand();
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));

    // Kept by run 12 (all runs undone), they are gone after run 23: only the walls' thickness, which
    // every run brought back, is left for run 24.
    host.Undo(host.StepNames().size());
    for (int run = 12; run <= 23; ++run)
        RunCommand(true, {}, partial);
    EXPECT_FALSE(std::filesystem::exists(Kept(12)));
    RunCommand();
    EXPECT_EQ(Support::OwnedValues(host.GetProject()).size(), 1u);
    EXPECT_EQ(Expressions("SGPset_Door", "ClearWidth"), std::vector<std::string>{});
}

TEST_F(AcrossRuns, ChangedTypesConvertWhereExact)
{
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
    RunCommand(true, {}, home.Write("retyped.xml", Retyped));
    const Support::ValueMap after = Support::OwnedValues(host.GetProject());
    // 0.2 as the text "0.2"; "REI 60", "FD30" and 0.9 have no exact form in the new types.
    EXPECT_EQ(after.at({TestHost::GuidToText(wall), "SGPset_Wall", "Thickness"}), MakeStringValue("0.2"));
    EXPECT_EQ(after.size(), 1u);
    EXPECT_EQ(LinesWith("(1 not convertible to the property's type)"), 3u);

    // The user puts a rating of their own on the door; then the right edition comes back. The
    // values that did not convert return to the properties that have held none since, though the
    // elements had them at that run's backup; the door's rating stays the user's.
    Set(door, "SGPset_Door", "FireRating", MakeRealValue(60));
    RunCommand();
    Support::ValueMap expected = before;
    expected[{TestHost::GuidToText(door), "SGPset_Door", "FireRating"}] = MakeStringValue("60");
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), expected));
    EXPECT_EQ(LinesWith("not brought back"), 0u);
    EXPECT_FALSE(std::filesystem::exists(Kept(1)));
}
