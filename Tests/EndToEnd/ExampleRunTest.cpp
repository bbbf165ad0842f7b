// quillmere-host on the example clinic project: with the newer configuration whatever still bears
// its group and property names is kept and the rest is listed as lost; with the configuration the
// project was made with everything is kept; a cancelled dialog and undo; the backup file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "EndToEndSupport.hpp"

using namespace EndToEnd;
using TestHost::Project;
using TestHost::Value;

namespace {

// The element's own value under the group and property names; nullptr when it holds none.
const Value* FindValue(const Project& project, const std::string& elementGuid, const std::string& group,
                       const std::string& property)
{
    API_Guid element;
    if (!TestHost::TextToGuid(elementGuid, element))
        return nullptr;
    const TestHost::PropertyGroup* owner = project.FindGroupByName(group);
    const TestHost::PropertyDefinition* definition =
        owner != nullptr ? project.FindDefinitionByName(owner->guid, property) : nullptr;
    return definition != nullptr ? project.FindElementValue(element, definition->guid) : nullptr;
}

bool HasDefinition(const Project& project, const std::string& group, const std::string& property)
{
    const TestHost::PropertyGroup* owner = project.FindGroupByName(group);
    return owner != nullptr && project.FindDefinitionByName(owner->guid, property) != nullptr;
}

std::size_t CountOwnedValues(const Project& project)
{
    std::size_t count = 0;
    project.ForEachValue([&](const API_Guid&, const API_Guid& definition, const Value&) {
        count += Support::IsOwnedGroup(project.FindGroup(project.FindDefinition(definition)->group)->name) ? 1 : 0;
    });
    return count;
}

std::vector<std::string> OwnedGroupNames(const Project& project)
{
    std::vector<std::string> names;
    for (const TestHost::PropertyGroup& group : project.Groups())
        if (Support::IsOwnedGroup(group.name))
            names.push_back(group.name);
    return names;
}

// The expression lists the add-on saves: owned definitions of kind 2 with the flag set.
std::map<std::pair<std::string, std::string>, std::vector<std::string>> SavedExpressions(const Project& project)
{
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> saved;
    for (const TestHost::PropertyDefinition& definition : project.Definitions()) {
        const std::string group = project.FindGroup(definition.group)->name;
        if (Support::IsOwnedGroup(group) && definition.kind == 2 && definition.expressionFlag != 0)
            saved[{group, definition.name}] = definition.expressions;
    }
    return saved;
}

std::set<std::pair<std::string, std::string>> ExpressionNames(const Json& lists)
{
    std::set<std::pair<std::string, std::string>> names;
    for (const Json& list : lists)
        names.emplace(list.at("group").get<std::string>(), list.at("definition").get<std::string>());
    return names;
}

std::vector<std::string> OnlyValueLines(const std::vector<std::string>& lines)
{
    std::vector<std::string> values;
    for (const std::string& line : lines)
        if (line.rfind("value|", 0) == 0)
            values.push_back(line);
    return values;
}

std::string Plural(std::size_t count, const std::string& one, const std::string& many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

class ExampleRun : public ::testing::Test {
protected:
    void SetUp() override { LoadProject(ExampleProject(), original); }

    // Runs the example project with `arguments` after the project, saving the result and the JSON.
    ProgramRun RunExample(std::vector<std::string> arguments)
    {
        std::vector<std::string> all = {"--project", ExampleProject().string(), "--profile", Profile().string(),
                                        "--save", Saved().string(), "--json", JsonFile().string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return scratch.Run(all);
    }

    // A copy of the configuration without the rename table that lies beside it in Examples/.
    fs::path WithoutRenames(const char* edition) const
    {
        const fs::path folder = scratch.work() / "no-renames";
        fs::create_directories(folder);
        const fs::path copy = folder / Configuration(edition).filename();
        fs::copy_file(Configuration(edition), copy, fs::copy_options::overwrite_existing);
        return copy;
    }

    fs::path Profile() const { return scratch.work() / "profile"; }
    fs::path Saved() const { return scratch.work() / "saved.xml"; }
    fs::path JsonFile() const { return scratch.work() / "run.json"; }
    fs::path BackupFile() const { return Profile() / "Documents" / "IFC_SG_Properties.xml"; }

    Scratch scratch;
    Project original;
};

TEST_F(ExampleRun, NewerConfigurationWithoutItsRenameTableKeepsTheValuesWhoseNamesSurviveAndListsTheOthersAsLost)
{
    const ProgramRun run = RunExample({"--choose", WithoutRenames("2026").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    Project result;
    LoadProject(Saved(), result);
    const auto surviving = OwnedNamesOf(Configuration("2026"));
    const Json json = ReadJson(JsonFile());
    const Json& rows = json.at("values");

    // One row for every owned value the project held: none is dropped silently.
    ASSERT_EQ(rows.size(), CountOwnedValues(original));
    std::size_t kept = 0;
    std::size_t lost = 0;
    std::size_t renamedGroupRows = 0;
    std::size_t renamedPropertyRows = 0;
    for (const Json& row : rows) {
        const std::string guid = row.at("elementGuid").get<std::string>();
        const std::string group = row.at("group").get<std::string>();
        const std::string property = row.at("property").get<std::string>();
        const Value* before = FindValue(original, guid, group, property);
        ASSERT_NE(before, nullptr) << guid << " " << group << "/" << property;
        if (surviving.count({group, property}) != 0) {
            ++kept;
            EXPECT_EQ(row.at("status").get<std::string>(), "kept") << guid << " " << group << "/" << property;
            EXPECT_EQ(row.at("after").at("text").get<std::string>(), row.at("before").at("text").get<std::string>());
            const Value* after = FindValue(result, guid, group, property);
            ASSERT_NE(after, nullptr) << guid << " " << group << "/" << property;
            EXPECT_EQ(*after, *before) << guid << " " << group << "/" << property;
        } else {
            ++lost;
            EXPECT_EQ(row.at("status").get<std::string>(), "lost") << guid << " " << group << "/" << property;
            EXPECT_TRUE(row.at("after").is_null());
            EXPECT_FALSE(row.at("afterHasDefinition").get<bool>());
            EXPECT_FALSE(HasDefinition(result, group, property)) << group << "/" << property;
        }
        renamedGroupRows += group == "SGPset_Column" ? 1 : 0;
        renamedPropertyRows += property == "OccupancyType" ? 1 : 0;
    }
    // The renamed group and the renamed property are what is lost.
    EXPECT_GT(renamedGroupRows, 0u);
    EXPECT_GT(renamedPropertyRows, 0u);
    EXPECT_EQ(lost, renamedGroupRows + renamedPropertyRows);
    EXPECT_GT(kept, 0u);
    EXPECT_EQ(json.at("summary").at("kept"), kept);
    EXPECT_EQ(json.at("summary").at("lost"), lost);

    // The printed table keeps the lost rows too, and the summary ends the output.
    bool lostRowPrinted = false;
    bool keptRowPrinted = false;
    for (const std::string& line : run.OutLines()) {
        const auto has = [&line](const char* text) { return line.find(text) != std::string::npos; };
        lostRowPrinted |= line.rfind("C-L1-A1 ", 0) == 0 && has(" SGPset_Column ") && has(" ConcreteGrade ") &&
                          has(" \"C40/50\" ") && has(" (none) ") && line.ends_with(" lost");
        const std::size_t material = line.find(" \"Reinforced concrete\" ");
        keptRowPrinted |= line.rfind("W-L1-01 ", 0) == 0 && has(" SGPset_Wall ") && has(" ConstructionMaterial ") &&
                          material != std::string::npos &&
                          line.find(" \"Reinforced concrete\" ", material + 1) != std::string::npos &&
                          line.ends_with(" kept");
    }
    EXPECT_TRUE(lostRowPrinted) << run.out;
    EXPECT_TRUE(keptRowPrinted) << run.out;
    const std::size_t reapplied = json.at("expressionsReapplied").size();
    EXPECT_EQ(run.OutLines().back(), std::to_string(kept) + " values kept, 0 changed, " + std::to_string(lost) +
                                         " lost; " +
                                         Plural(reapplied, "expression list re-applied", "expression lists re-applied") +
                                         "; 7 report lines");
    EXPECT_EQ(json.at("summary").at("text").get<std::string>(), run.OutLines().back());
    // One line for each property that did not get its values back (four in the renamed group, one
    // renamed) and for the list of the renamed group, each saying where they are kept; and one line
    // that says what waits in the store.
    const Json& lines = json.at("reportLines");
    for (std::size_t index = 0; index + 1 < lines.size(); ++index) {
        const std::string text = lines[index].at("text").get<std::string>();
        EXPECT_TRUE(text.find(" not brought back (") != std::string::npos ||
                    text.find(": the saved expression list was not brought back (") != std::string::npos)
            << text;
    }
    EXPECT_EQ(lines.back().at("text").get<std::string>().rfind("Waiting in \"", 0), 0u);
}

TEST_F(ExampleRun, NewerConfigurationWithoutItsRenameTableGetsTheExpressionsBackWhereNamesMatch)
{
    const ProgramRun run = RunExample({"--choose", WithoutRenames("2026").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Project result;
    LoadProject(Saved(), result);
    const auto surviving = OwnedNamesOf(Configuration("2026"));
    const Json json = ReadJson(JsonFile());

    std::set<std::pair<std::string, std::string>> expectReapplied;
    std::set<std::pair<std::string, std::string>> expectNotReapplied;
    for (const auto& [names, expressions] : SavedExpressions(original)) {
        const TestHost::PropertyGroup* group = result.FindGroupByName(names.first);
        const TestHost::PropertyDefinition* definition =
            group != nullptr ? result.FindDefinitionByName(group->guid, names.second) : nullptr;
        if (surviving.count(names) != 0) {
            expectReapplied.insert(names);
            ASSERT_NE(definition, nullptr) << names.first << "/" << names.second;
            EXPECT_EQ(definition->expressions, expressions) << names.first << "/" << names.second;
            EXPECT_EQ(definition->expressionFlag, 1);
        } else {
            expectNotReapplied.insert(names);
            EXPECT_EQ(definition, nullptr);
        }
    }
    EXPECT_FALSE(expectReapplied.empty());
    EXPECT_FALSE(expectNotReapplied.empty());
    EXPECT_EQ(ExpressionNames(json.at("expressionsReapplied")), expectReapplied);
    EXPECT_EQ(ExpressionNames(json.at("expressionsNotReapplied")), expectNotReapplied);
    // A list written down with the flag off is neither saved nor re-applied.
    const TestHost::PropertyDefinition* switchedOff =
        result.FindDefinitionByName(result.FindGroupByName("SGPset_Window")->guid, "OpeningArea");
    ASSERT_NE(switchedOff, nullptr);
    EXPECT_TRUE(switchedOff->expressions.empty());

    // The standard sets and the office's own group keep every value.
    EXPECT_EQ(DescriptionDifference(OnlyValueLines(DescribeByNames(original, false)),
                                    OnlyValueLines(DescribeByNames(result, false))),
              std::vector<std::string>{});
    EXPECT_GT(json.at("otherValues").at("before"), 0);
    EXPECT_EQ(json.at("otherValues").at("unchanged"), json.at("otherValues").at("before"));
    EXPECT_EQ(result.FindSystemByName("IFC-SG")->version, "2026.1");
}

TEST_F(ExampleRun, NewerConfigurationWithItsRenameTableKeepsEveryValueAndExpressionList)
{
    const ProgramRun run = RunExample({"--choose", Configuration("2026").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Project result;
    LoadProject(Saved(), result);
    const Json json = ReadJson(JsonFile());

    // Every owned value is kept; those of the renamed group and property under their new names.
    const std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> renamed = {
        {{"SGPset_Column", "Width"}, {"SGPset_StructuralColumn", "Width"}},
        {{"SGPset_Column", "Depth"}, {"SGPset_StructuralColumn", "Depth"}},
        {{"SGPset_Column", "ConcreteGrade"}, {"SGPset_StructuralColumn", "ConcreteGrade"}},
        {{"SGPset_Column", "FireResistancePeriod"}, {"SGPset_StructuralColumn", "FireResistancePeriod"}},
        {{"SGPset_Space", "OccupancyType"}, {"SGPset_Space", "OccupancyClass"}}};
    std::size_t renamedRows = 0;
    for (const Json& row : json.at("values")) {
        const std::string guid = row.at("elementGuid").get<std::string>();
        const std::string group = row.at("group").get<std::string>();
        const std::string property = row.at("property").get<std::string>();
        EXPECT_EQ(row.at("status").get<std::string>(), "kept") << guid << " " << group << "/" << property;
        const Value* after = FindValue(result, guid, group, property);
        ASSERT_NE(after, nullptr) << guid << " " << group << "/" << property;
        if (!row.contains("renamedFrom"))
            continue;
        ++renamedRows;
        // The row names where the value is now and the key it was saved under.
        const std::string from = row.at("renamedFrom").get<std::string>();
        const auto old = std::find_if(renamed.begin(), renamed.end(), [&](const auto& entry) {
            return entry.first.first + "-" + entry.first.second == from;
        });
        ASSERT_NE(old, renamed.end()) << from;
        EXPECT_EQ(std::make_pair(group, property), old->second);
        const Value* before = FindValue(original, guid, old->first.first, old->first.second);
        ASSERT_NE(before, nullptr);
        EXPECT_EQ(*after, *before);
    }
    const std::size_t owned = CountOwnedValues(original);
    EXPECT_EQ(json.at("values").size(), owned);
    EXPECT_EQ(renamedRows, 52u);
    EXPECT_EQ(json.at("summary").at("renamed"), renamedRows);
    EXPECT_EQ(run.OutLines().back(), std::to_string(owned) + " values kept (52 renamed), 0 changed, 0 lost; "
                                                             "5 expression lists re-applied; 0 report lines");
    bool renamedRowPrinted = false;
    for (const std::string& line : run.OutLines())
        renamedRowPrinted |= line.rfind("C-L1-A1 ", 0) == 0 && line.find(" SGPset_StructuralColumn ") != std::string::npos &&
                             line.ends_with(" kept (renamed from SGPset_Column-Width)");
    EXPECT_TRUE(renamedRowPrinted) << run.out;

    // The saved expression list of the renamed column width comes back under its new name.
    const TestHost::PropertyDefinition* width =
        result.FindDefinitionByName(result.FindGroupByName("SGPset_StructuralColumn")->guid, "Width");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->expressions, SavedExpressions(original).at({"SGPset_Column", "Width"}));
    EXPECT_TRUE(json.at("expressionsNotReapplied").empty());
    bool widthListRenamed = false;
    for (const Json& list : json.at("expressionsReapplied"))
        widthListRenamed |= list.at("group") == "SGPset_StructuralColumn" && list.at("definition") == "Width" &&
                            list.value("renamedFrom", "") == "SGPset_Column / Width";
    EXPECT_TRUE(widthListRenamed);
}

TEST_F(ExampleRun, PrintsTheStepsTheDialogAndTheAlertAsTheyHappen)
{
    const ProgramRun run = RunExample({"--choose", Configuration("2026").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Json json = ReadJson(JsonFile());

    // The lines of what happened during the command, in their order.
    std::vector<std::string> events;
    for (const std::string& line : run.OutLines())
        for (const char* kind : {"  step ", "  failed ", "  report ", "  dialog ", "  alert "})
            if (line.rfind(kind, 0) == 0)
                events.push_back(line);

    // The dialog comes first: nothing is removed before a configuration is chosen.
    std::vector<std::string> expected{"  dialog   \"Select an IFC-SG Config File\": " + Configuration("2026").string()};
    expected.insert(expected.end(), OwnedGroupNames(original).size(), "  step     Delete Property Groups");
    expected.push_back("  step     Import Classifications");
    expected.push_back("  step     Import Properties");
    const std::size_t reapplied = json.at("expressionsReapplied").size();
    for (std::size_t i = 0; i < reapplied; ++i)
        expected.push_back("  step     Import Expressions");
    expected.push_back("  alert    Import Successful: IFC-SG Classifications and Properties are Imported Successfully! [Ok]");
    EXPECT_EQ(events, expected) << run.out;

    // The JSON holds the same steps, the history, no report line and the one alert.
    ASSERT_EQ(json.at("steps").size(), OwnedGroupNames(original).size() + 2 + reapplied);
    for (const Json& step : json.at("steps"))
        EXPECT_EQ(step.at("result"), 0);
    EXPECT_EQ(json.at("undoHistory").size(), json.at("steps").size());
    EXPECT_EQ(json.at("reportLines").size(), 0u);
    EXPECT_EQ(json.at("alertCount"), 1);
    EXPECT_EQ(json.at("alert").at("title").get<std::string>(), "Import Successful");
    EXPECT_EQ(json.at("alert").at("type"), -3);
    EXPECT_EQ(json.at("module").at("name").get<std::string>(), "Import IFC-SG Classifications and  Properties");
    EXPECT_EQ(json.at("module").at("menuText").get<std::string>(),
              "Import IFC-SG Classifications and Properties... ^E3 ^ES ^EE ^EI ^ED ^ET ^10001");
    EXPECT_EQ(json.at("dialog").get<std::string>(), "choose");
    EXPECT_EQ(json.at("configuration").get<std::string>(), Configuration("2026").string());
    EXPECT_EQ(json.at("profile").get<std::string>(), Profile().string());
    EXPECT_TRUE(json.at("backupFilePresent").get<bool>());
    // Each service as often as the command needs it: one element list, one definition list per
    // element for the backup and one per saved element for the restore, one removal per owned
    // group, one write per value restored.
    const Json& calls = json.at("serviceCalls");
    EXPECT_EQ(calls.at("HostListElements"), 1);
    EXPECT_EQ(calls.at("HostImportClassificationXml"), 1);
    EXPECT_EQ(calls.at("HostImportPropertyXml"), 1);
    EXPECT_EQ(calls.at("HostRemovePropertyGroup"), OwnedGroupNames(original).size());
    std::set<API_Guid, TestHost::GuidLess> holdingOwned;
    original.ForEachValue([&](const API_Guid& element, const API_Guid& definition, const Value&) {
        if (Support::IsOwnedGroup(original.FindGroup(original.FindDefinition(definition)->group)->name))
            holdingOwned.insert(element);
    });
    EXPECT_EQ(calls.at("HostListElementPropertyDefinitions"),
              original.Elements().size() + holdingOwned.size());
    EXPECT_EQ(calls.at("HostWriteElementPropertyValue"), json.at("summary").at("kept"));
}

// The text form a value is saved with: "%f" for reals, 0 or 1 for Booleans.
std::string BackupText(const Value& value)
{
    switch (value.type) {
        case 1: return std::to_string(value.integer);
        case 2: {
            char text[64];
            std::snprintf(text, sizeof text, "%f", value.real);
            return text;
        }
        case 3: {
            std::string escaped;
            for (const char c : value.text) {
                switch (c) {
                    case '&': escaped += "&amp;"; break;
                    case '<': escaped += "&lt;"; break;
                    case '>': escaped += "&gt;"; break;
                    case '"': escaped += "&quot;"; break;
                    case '\'': escaped += "&apos;"; break;
                    default: escaped += c;
                }
            }
            return escaped;
        }
        case 4: return value.boolean ? "1" : "0";
        default: return std::string();
    }
}

TEST_F(ExampleRun, BackupFileHoldsEveryOwnedValueOfTheProjectInItsTextForm)
{
    const ProgramRun run = RunExample({"--choose", Configuration("2026").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    // Built from the project: elements in host order, each with the owned values it holds, in the
    // host order of the definitions that apply to it; elements without such values left out.
    static const char* const ValueTypes[] = {"Undefined", "Integer", "Real", "String", "Boolean"};
    static const char* const Measures[] = {"", "Default", "Length", "Area", "Volume", "Angle"};
    std::string expected = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<project>\n";
    for (const TestHost::Element& element : original.Elements()) {
        std::string entries;
        for (const TestHost::PropertyDefinition* definition : original.DefinitionsForItem(element.classification)) {
            const std::string group = original.FindGroup(definition->group)->name;
            const Value* value = original.FindElementValue(element.guid, definition->guid);
            if (!Support::IsOwnedGroup(group) || value == nullptr)
                continue;
            const std::string key = group + "-" + definition->name;
            entries += "\t\t<" + key + " valType=\"" + ValueTypes[definition->valueType] + "\" MType=\"" +
                       Measures[definition->measureType] + "\">" + BackupText(*value) + "</" + key + ">\n";
        }
        if (!entries.empty())
            expected += "\t<element guid=\"" + TestHost::GuidToText(element.guid) + "\">\n" + entries + "\t</element>\n";
    }
    // The printer ends the document with a line break of its own after the root's.
    expected += "</project>\n\n";

    EXPECT_EQ(Support::ReadBytes(BackupFile()), expected);
    // The file stays where the user's Documents folder is, and the output says where.
    EXPECT_NE(run.out.find(BackupFile().string()), std::string::npos);
}

TEST_F(ExampleRun, ConfigurationTheProjectWasMadeWithKeepsEverything)
{
    const ProgramRun run = RunExample({"--choose", Configuration("2025").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Project result;
    LoadProject(Saved(), result);
    const Json json = ReadJson(JsonFile());

    ASSERT_EQ(json.at("values").size(), CountOwnedValues(original));
    for (const Json& row : json.at("values"))
        EXPECT_EQ(row.at("status").get<std::string>(), "kept") << row.at("element") << " " << row.at("property");
    EXPECT_EQ(json.at("expressionsReapplied").size(), SavedExpressions(original).size());
    EXPECT_EQ(json.at("expressionsNotReapplied").size(), 0u);
    // Groups, definitions, expressions and values are the same by name; only the owned groups'
    // GUIDs and places are new, and an expression list whose flag was off is not carried over.
    Project expected;
    LoadProject(ExampleProject(), expected);
    std::size_t switchedOff = 0;
    for (const TestHost::PropertyDefinition& definition : original.Definitions()) {
        if (!Support::IsOwnedGroup(original.FindGroup(definition.group)->name) || definition.expressionFlag != 0 ||
            definition.expressions.empty())
            continue;
        TestHost::PropertyDefinition cleared = definition;
        cleared.expressions.clear();
        ASSERT_EQ(expected.UpdateDefinition(cleared), 0);
        ++switchedOff;
    }
    EXPECT_EQ(switchedOff, 1u);
    EXPECT_EQ(DescriptionDifference(DescribeByNames(expected), DescribeByNames(result)), std::vector<std::string>{});
    EXPECT_NE(result.FindGroupByName("SGPset_Wall")->guid, original.FindGroupByName("SGPset_Wall")->guid);
    EXPECT_EQ(run.OutLines().back(), std::to_string(CountOwnedValues(original)) + " values kept, 0 changed, 0 lost; " +
                                         std::to_string(SavedExpressions(original).size()) +
                                         " expression lists re-applied; 0 report lines");
}

TEST_F(ExampleRun, RealsThatSixDecimalsCannotHoldComeBackExactly)
{
    // A copy of the project in which walls hold reals that "%f" would round.
    std::vector<double> reals = {0.2857142, 1e-7, 123456.78901234567, -0.0};
    const TestHost::PropertyDefinition* thickness =
        original.FindDefinitionByName(original.FindGroupByName("SGPset_Wall")->guid, "Thickness");
    std::vector<API_Guid> walls;
    for (const TestHost::Element& element : original.Elements())
        if (walls.size() < reals.size() && original.FindElementValue(element.guid, thickness->guid) != nullptr)
            walls.push_back(element.guid);
    ASSERT_EQ(walls.size(), reals.size());
    for (std::size_t i = 0; i < walls.size(); ++i)
        ASSERT_EQ(original.SetElementValue(walls[i], thickness->guid, TestHost::MakeRealValue(reals[i])), 0);
    const fs::path changed = scratch.work() / "changed.xml";
    std::string error;
    ASSERT_TRUE(TestHost::SaveProjectFile(original, changed.string(), error)) << error;
    const fs::path result = scratch.work() / "result.xml";

    const ProgramRun run = scratch.Run({"--project", changed.string(), "--choose", Configuration("2025").string(),
                                        "--profile", Profile().string(), "--save", result.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.OutLines().back().find(" values kept, 0 changed, 0 lost; "), std::string::npos);

    TestHost::Project after;
    ASSERT_TRUE(TestHost::LoadProjectFile(result.string(), after).ok);
    const TestHost::PropertyDefinition* newThickness =
        after.FindDefinitionByName(after.FindGroupByName("SGPset_Wall")->guid, "Thickness");
    for (std::size_t i = 0; i < walls.size(); ++i) {
        const TestHost::Value* value = after.FindElementValue(walls[i], newThickness->guid);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(std::memcmp(&value->real, &reals[i], sizeof(double)), 0) << reals[i];
    }
}

TEST_F(ExampleRun, CancelledDialogChangesNothing)
{
    const ProgramRun run = RunExample({"--cancel", "--undo", "3"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Project result;
    LoadProject(Saved(), result);
    const Json json = ReadJson(JsonFile());

    // The dialog comes first: the project is as it was, byte for byte, with nothing to undo.
    EXPECT_EQ(TestHost::WriteProjectXml(result), TestHost::WriteProjectXml(original));
    EXPECT_EQ(json.at("dialog").get<std::string>(), "cancel");
    EXPECT_TRUE(json.at("configuration").is_null());
    EXPECT_TRUE(json.at("alert").is_null());
    EXPECT_EQ(json.at("reportLines").size(), 0u);
    EXPECT_EQ(json.at("steps").size(), 0u);
    EXPECT_EQ(json.at("undo").at("steps").size(), 0u);
    EXPECT_EQ(json.at("serviceCalls").contains("HostListElements"), false);
    // No file was written: neither the backup nor the store.
    EXPECT_FALSE(fs::exists(BackupFile()));
    EXPECT_FALSE(fs::exists(Profile() / "AppData" / "Local" / "Quillmere" / "store.sqlite"));
    // The module touched no group, so the program lists no owned value.
    EXPECT_EQ(json.at("values").size(), 0u);
    EXPECT_NE(run.out.find("  dialog   \"Select an IFC-SG Config File\": cancelled\n"), std::string::npos);
}

TEST_F(ExampleRun, UndoingEveryStepOfAFullRunGivesTheProjectBack)
{
    // More steps asked for than there are: all of them are undone.
    const ProgramRun run = RunExample({"--choose", Configuration("2026").string(), "--undo", "100"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Project result;
    LoadProject(Saved(), result);
    const Json json = ReadJson(JsonFile());

    EXPECT_EQ(TestHost::WriteProjectXml(result), TestHost::WriteProjectXml(original));
    EXPECT_EQ(json.at("undo").at("steps").size(), json.at("steps").size());
    EXPECT_EQ(json.at("undo").at("steps").at(0).get<std::string>(), "Import Expressions");
    std::set<std::string> gone;
    for (const Json& name : json.at("undo").at("groupsGone"))
        gone.insert(name.get<std::string>());
    std::set<std::string> imported;
    for (const auto& names : OwnedNamesOf(Configuration("2026")))
        imported.insert(names.first);
    EXPECT_EQ(gone, imported);
    EXPECT_NE(run.out.find("AFTER UNDO"), std::string::npos);
}

}  // namespace

TEST_F(ExampleRun, JsonCarriesAwkwardTextsExactlyAndBytesThatAreNotUtf8AsReplacementCharacters)
{
    // A copy of the project with a wall whose name and material need escaping in JSON.
    const TestHost::Element& wall = *original.Elements().begin();
    const API_Guid added = original.AddElement("Wall \"A\\1\"\t<x> \xCE\x94 \xFF", "IfcWall", wall.classification);
    const TestHost::PropertyDefinition* material =
        original.FindDefinitionByName(original.FindGroupByName("SGPset_Wall")->guid, "ConstructionMaterial");
    const std::string text = "Line 1\nLine 2\t\"quoted\" \\ / \xE4\xB8\xAD";
    ASSERT_EQ(original.SetElementValue(added, material->guid, TestHost::MakeStringValue(text)), 0);
    const fs::path changed = scratch.work() / "changed.xml";
    std::string error;
    ASSERT_TRUE(TestHost::SaveProjectFile(original, changed.string(), error)) << error;

    const ProgramRun run = scratch.Run({"--project", changed.string(), "--choose", Configuration("2025").string(),
                                        "--profile", Profile().string(), "--json", JsonFile().string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Json json = ReadJson(JsonFile());
    std::size_t rows = 0;
    for (const Json& row : json.at("values")) {
        if (row.at("elementGuid").get<std::string>() != TestHost::GuidToText(added))
            continue;
        ++rows;
        EXPECT_EQ(row.at("element").get<std::string>(), "Wall \"A\\1\"\t<x> \xCE\x94 \xEF\xBF\xBD");
        EXPECT_EQ(row.at("before").at("text").get<std::string>(), text);
        EXPECT_EQ(row.at("after").at("text").get<std::string>(), text);
        EXPECT_EQ(row.at("status").get<std::string>(), "kept");
    }
    EXPECT_EQ(rows, 1u);
}
