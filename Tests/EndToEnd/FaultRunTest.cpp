// Faults injected through the command line reach the module as host answers, and each gives the
// report line the add-on gives for it, with what follows from it in the project.
#include "EndToEndSupport.hpp"

using namespace EndToEnd;

namespace {

const std::string NotAvailable = std::to_string(static_cast<Int32>(0x81060387));  // -2130312313
const std::string NothingRemovedLine =
    "Nothing was removed or imported: the expression lists and values of the owned property groups could not all be saved";

class FaultRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadProject(ExampleProject(), original);
        for (const TestHost::PropertyGroup& group : original.Groups())
            ownedGroups += Support::IsOwnedGroup(group.name) ? 1 : 0;
        original.ForEachValue([&](const API_Guid&, const API_Guid& definition, const TestHost::Value&) {
            ownedValues += Support::IsOwnedGroup(original.FindGroup(original.FindDefinition(definition)->group)->name) ? 1 : 0;
        });
    }

    // Runs the example with the newer configuration and `faults` (options and their values).
    Json RunWithFaults(const std::vector<std::string>& faults)
    {
        std::vector<std::string> arguments = {"--project", ExampleProject().string(), "--choose",
                                              Configuration("2026").string(), "--profile", Profile().string(),
                                              "--json", (scratch.work() / "run.json").string()};
        arguments.insert(arguments.end(), faults.begin(), faults.end());
        run = scratch.Run(arguments);
        if (run.exitCode != 0)
            throw std::runtime_error("quillmere-host failed: " + run.err);
        return ReadJson(scratch.work() / "run.json");
    }

    fs::path Profile() const { return scratch.work() / "profile"; }

    static std::vector<std::string> ReportTexts(const Json& json)
    {
        std::vector<std::string> texts;
        for (const Json& line : json.at("reportLines"))
            texts.push_back(line.at("text").get<std::string>());
        return texts;
    }

    static std::size_t CountStatus(const Json& json, const std::string& status)
    {
        std::size_t count = 0;
        for (const Json& row : json.at("values"))
            count += row.at("status").get<std::string>() == status ? 1 : 0;
        return count;
    }

    // After a failed property import: where the saved values and lists wait for the next one.
    fs::path Store() const { return Profile() / "AppData" / "Local" / "Quillmere" / "store.sqlite"; }

    std::string NothingBroughtBackLine() const
    {
        return "No value or expression list was brought back: they are kept in \"" + Store().string() + "\" for the next import";
    }

    // The line that tells what waits in the store after a run that kept all the example's values.
    std::string EverythingWaitsLine() const
    {
        return "Waiting in \"" + Store().string() + "\" for an import that defines their properties: 225 values, 5 "
               "expression lists (SGPset_Column, SGPset_Door, SGPset_Slab, SGPset_Space, SGPset_Wall, SGPset_Window)";
    }

    // The line of quillmere-host's output that lists the owned groups.
    std::string OwnedGroupsLine() const
    {
        for (const std::string& line : run.OutLines())
            if (line.rfind("Owned groups ", 0) == 0)
                return line;
        return std::string();
    }

    Scratch scratch;
    ProgramRun run;
    TestHost::Project original;  // the example project as it is on disk
    std::size_t ownedGroups = 0;
    std::size_t ownedValues = 0;
};

TEST_F(FaultRun, FailedClassificationImportIsReportedAndTheValuesStillComeBack)
{
    const Json json = RunWithFaults({"--fail", "HostImportClassificationXml=0x1234"});

    EXPECT_EQ(ReportTexts(json), std::vector<std::string>{"Classification Import Error: 4660"});
    EXPECT_EQ(json.at("reportLines").at(0).at("flag"), 1);
    EXPECT_NE(run.out.find("  report   Classification Import Error: 4660\n"), std::string::npos);
    // The property import still ran; the failed command kept no step.
    const Json& steps = json.at("steps");
    ASSERT_EQ(steps.size(), ownedGroups + 2 + 5);
    EXPECT_EQ(steps.at(ownedGroups).at("name").get<std::string>(), "Import Classifications");
    EXPECT_EQ(steps.at(ownedGroups).at("result"), 4660);
    EXPECT_EQ(steps.at(ownedGroups + 1).at("name").get<std::string>(), "Import Properties");
    EXPECT_EQ(steps.at(ownedGroups + 1).at("result"), 0);
    // Expressions and values come back into the definitions the property import made, but the run
    // does not say it succeeded.
    EXPECT_TRUE(json.at("alert").is_null());
    EXPECT_EQ(json.at("expressionsReapplied").size(), 5u);
    EXPECT_EQ(CountStatus(json, "kept"), json.at("values").size());
}

TEST_F(FaultRun, MissingUndoableCommandServiceFailsEveryCommandWithServiceNotAvailable)
{
    const Json json = RunWithFaults({"--missing", "HostRunUndoableCommand"});

    std::vector<std::string> expected(ownedGroups, "Deleting properties error: " + NotAvailable);
    expected.push_back("Classification Import Error: " + NotAvailable);
    expected.push_back("Properties Import Error: " + NotAvailable);
    expected.push_back(NothingBroughtBackLine());
    expected.push_back(EverythingWaitsLine());
    EXPECT_EQ(ReportTexts(json), expected);
    // The forwarder answered without reaching the host: no command ran, no group was removed,
    // so every value is still where it was.
    EXPECT_EQ(json.at("steps").size(), 0u);
    EXPECT_EQ(json.at("serviceCalls").contains("HostRunUndoableCommand"), false);
    EXPECT_EQ(json.at("serviceCalls").contains("HostRemovePropertyGroup"), false);
    EXPECT_EQ(CountStatus(json, "kept"), json.at("values").size());
    EXPECT_TRUE(json.at("alert").is_null());
    EXPECT_NE(run.out.find("Service  HostRunUndoableCommand left out of the table\n"), std::string::npos);
}

TEST_F(FaultRun, FailedDefinitionListingOfTheThirdElementRemovesNothing)
{
    const Json json = RunWithFaults({"--fail", "HostListElementPropertyDefinitions@3=7"});

    EXPECT_EQ(ReportTexts(json), (std::vector<std::string>{"Error 2: 7", NothingRemovedLine}));
    EXPECT_EQ(json.at("reportLines").at(0).at("flag"), 1);
    EXPECT_EQ(json.at("reportLines").at(1).at("flag"), 0);
    // The backup stopped at the third element and wrote no file; nothing was removed or imported.
    EXPECT_FALSE(json.at("backupFilePresent").get<bool>());
    EXPECT_EQ(json.at("serviceCalls").at("HostListElementPropertyDefinitions"), 3);
    EXPECT_EQ(json.at("steps").size(), 0u);
    EXPECT_TRUE(json.at("alert").is_null());
    EXPECT_EQ(CountStatus(json, "kept"), json.at("values").size());
}

TEST_F(FaultRun, RefusedValueWriteLosesThatValueOnlyAndNamesIt)
{
    const Json json = RunWithFaults({"--fail", "HostWriteElementPropertyValue@1=5"});

    EXPECT_EQ(ReportTexts(json), (std::vector<std::string>{
                                     "SGPset_Wall - Thickness error while importing property",
                                     "SGPset_Wall / Thickness: 1 of 18 saved values not brought back (1 could not be "
                                     "written); kept in \"" + Store().string() + "\"",
                                     "Waiting in \"" + Store().string() + "\" for an import that defines their "
                                     "properties: 1 value (SGPset_Wall)"}));
    EXPECT_EQ(json.at("reportLines").at(0).at("flag"), 0);
    // The first value restored is the first row; it now has its default, the rest came back.
    const Json& first = json.at("values").at(0);
    EXPECT_EQ(first.at("group").get<std::string>(), "SGPset_Wall");
    EXPECT_EQ(first.at("property").get<std::string>(), "Thickness");
    EXPECT_EQ(first.at("status").get<std::string>(), "lost");
    EXPECT_TRUE(first.at("after").is_null());
    EXPECT_TRUE(first.at("afterHasDefinition").get<bool>());
    EXPECT_EQ(json.at("values").at(1).at("status").get<std::string>(), "kept");
    EXPECT_EQ(json.at("alertCount"), 1);
    // The printed row shows the value before and the default now.
    const std::vector<std::string> lines = run.OutLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("W-L1-01 ", 0) == 0 && line.find(" Thickness ") != std::string::npos &&
               line.find(" 0.3 ") != std::string::npos && line.find(" (default) ") != std::string::npos &&
               line.ends_with(" lost");
    })) << run.out;
    EXPECT_TRUE(run.OutLines().back().ends_with("; 3 report lines")) << run.OutLines().back();
}

TEST_F(FaultRun, EveryFaultGivenActs)
{
    // Two faults on different services, one of them on every call.
    const Json json = RunWithFaults({"--fail", "HostImportPropertyXml=-5", "--fail", "HostRemovePropertyGroup@2=9"});

    EXPECT_EQ(ReportTexts(json),
              (std::vector<std::string>{"Deleting properties error: 9", "Properties Import Error: -5", NothingBroughtBackLine(),
                                        EverythingWaitsLine()}));
    EXPECT_NE(run.out.find("Fault    HostImportPropertyXml=-5\n"), std::string::npos);
    EXPECT_NE(run.out.find("Fault    HostRemovePropertyGroup@2=9\n"), std::string::npos);
}

// The groups shown as owned are those the module treated as its own, whatever the host answered.
TEST_F(FaultRun, GroupsWhoseRemovalTheHostRefusedAreOwnedAndKeepTheirValues)
{
    // Every removal is refused: the removals asked for tell which groups the module owns, and the
    // groups stay with their values beside the imported ones.
    const Json json = RunWithFaults({"--fail", "HostRemovePropertyGroup=9"});

    EXPECT_EQ(json.at("serviceCalls").at("HostRemovePropertyGroup"), ownedGroups);
    EXPECT_EQ(OwnedGroupsLine(), "Owned groups (whose removal the module asked for or whose values it read): 6 of 10: "
                                 "SGPset_Wall, SGPset_Slab, SGPset_Column, SGPset_Door, SGPset_Window, SGPset_Space");
    ASSERT_EQ(json.at("values").size(), ownedValues);
    EXPECT_EQ(CountStatus(json, "kept"), ownedValues);
    EXPECT_EQ(json.at("otherValues").at("before"), original.ValueCount() - ownedValues);
}

TEST_F(FaultRun, NoGroupIsOwnedWhenTheModuleNeitherRemovesNorReadsAny)
{
    // Without the element list nothing is read, and so nothing is removed: the run shows no owned
    // group, and every value as one of the other groups, unchanged.
    const Json json = RunWithFaults({"--missing", "HostListElements"});

    EXPECT_EQ(OwnedGroupsLine(),
              "Owned groups (whose removal the module asked for or whose values it read): none of 10");
    EXPECT_EQ(json.at("values").size(), 0u);
    EXPECT_EQ(json.at("otherValues").at("before"), original.ValueCount());
    EXPECT_EQ(json.at("otherValues").at("unchanged"), original.ValueCount());
    EXPECT_EQ(json.at("expressionsNotReapplied").size(), 0u);
    EXPECT_EQ(json.at("summary").at("text").get<std::string>(),
              "0 values kept, 0 changed, 0 lost; 0 expression lists re-applied; 2 report lines");
}

}  // namespace
