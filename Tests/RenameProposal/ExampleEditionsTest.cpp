// The proposals on the example editions (Examples/Configurations), entry by entry, and the example
// files that go with them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ModuleTableReading.hpp"
#include "ProjectFile.hpp"
#include "ProposalCases.hpp"
#include "RenameTableText.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"

using namespace RenameProposal;
using namespace RenameProposalTests;

namespace {

std::filesystem::path ExampleConfiguration(const std::string& edition, const char* suffix = ".xml")
{
    return Support::SourceFolder() / "Examples" / "Configurations" / ("IFC-SG-" + edition + suffix);
}

Edition ExampleEdition(const std::string& edition)
{
    EditionReading reading = ReadEdition(Support::ReadBytes(ExampleConfiguration(edition)));
    EXPECT_EQ(reading.problem, "") << edition;
    return std::move(reading.edition);
}

struct ExampleProposal {
    Edition older;
    Edition newer;
    Proposal proposal;
    std::string table;
};

ExampleProposal Propose(const std::string& from, const std::string& to)
{
    ExampleProposal example{ExampleEdition(from), ExampleEdition(to), {}, {}};
    example.proposal = ProposeRenames(example.older, example.newer);
    example.table = RenameTableText(example.proposal, EditionPair{example.older, example.newer, "IFC-SG-" + from + ".xml",
                                                                  "IFC-SG-" + to + ".xml"});
    return example;
}

bool Has(const Edition& edition, const std::string& group, const std::string& property)
{
    for (const EditionGroup& candidate : edition.groups)
        if (candidate.name == group)
            for (const EditionProperty& other : candidate.properties)
                if (other.name == property)
                    return true;
    return false;
}

}  // namespace

TEST(ExampleEditions, From2027To2028EveryKindOfChange)
{
    const ExampleProposal example = Propose("2027", "2028");
    const std::vector<std::string> expected = {
        "group SGPset_Railing -> SGPset_ProtectiveBarrier",                             // a group renamed
        "move SGPset_Wall / IsExternal -> Pset_WallCommon / IsExternal",                 // into a standard set
        "rename SGPset_Wall / FaçadeCladding -> SGPset_Wall / FacadeCladding",           // an accent dropped
        "rename SGPset_Slab / IsWaterproofed -> SGPset_Slab / IsWaterProofed",           // letter case
        "move SGPset_Door / SelfClosing -> Pset_DoorCommon / SelfClosing",               // into a standard set
        "move SGPset_WindowShading / ShadingDepth -> SGPset_Window / ShadingDepth",      // between owned groups
        "choose SGPset_Slab / ThermalTransmittance -> Pset_SlabCommon / ThermalTransmittance | "
        "Pset_RoofCommon / ThermalTransmittance (several)",                             // a split
    };
    EXPECT_EQ(Described(example.proposal, example.older, example.newer), expected);

    // The table holds the entries and nothing else; the split's candidates only as comments.
    const ModuleReading reading = ReadThroughModule(example.table);
    EXPECT_TRUE(reading.problems.empty());
    EXPECT_EQ(reading.entries, (std::vector<std::string>{
                                   "group SGPset_Railing -> SGPset_ProtectiveBarrier",
                                   "property SGPset_Wall / IsExternal -> Pset_WallCommon / IsExternal",
                                   "property SGPset_Wall / FaçadeCladding -> SGPset_Wall / FacadeCladding",
                                   "property SGPset_Slab / IsWaterproofed -> SGPset_Slab / IsWaterProofed",
                                   "property SGPset_Door / SelfClosing -> Pset_DoorCommon / SelfClosing",
                                   "property SGPset_WindowShading / ShadingDepth -> SGPset_Window / ShadingDepth",
                               }));
    for (const char* target : {"Pset_SlabCommon", "Pset_RoofCommon"})
        EXPECT_NE(example.table.find("<!-- <property group=\"SGPset_Slab\" from=\"ThermalTransmittance\" toGroup=\"" +
                                     std::string(target) + "\" to=\"ThermalTransmittance\"/> -->"),
                  std::string::npos);

    // What was withdrawn, retyped and added side by side with its other spelling.
    ASSERT_EQ(example.proposal.propertiesRemoved.size(), 1u);
    EXPECT_EQ(PropertyPath(example.older, example.proposal.propertiesRemoved[0]), "SGPset_Door / HasVisionPanel");
    std::vector<std::string> retyped;
    for (const Retype& retype : example.proposal.retyped)
        retyped.push_back(PropertyPath(example.older, retype.older) + ": " +
                          TypeText(example.older.groups[retype.older.group].properties[retype.older.property]) + " to " +
                          TypeText(example.newer.groups[retype.newer.group].properties[retype.newer.property]));
    EXPECT_EQ(retyped, (std::vector<std::string>{"SGPset_StructuralColumn / ConcreteCover: Real to Real (Length)",
                                                 "SGPset_Door / BarrierFreeAccess: Boolean to String",
                                                 "SGPset_Window / VisibleTransmittance: String to Real"}));
    std::size_t statusPairs = 0;
    for (const AddedProperty& added : example.proposal.propertiesAdded) {
        const std::string path = PropertyPath(example.newer, added.newer);
        statusPairs += path.ends_with(" / SubmissionStatus") || path.ends_with(" / SubmissionDate") ? 1 : 0;
        EXPECT_EQ(added.otherSpelling.has_value(), path == "SGPset_Window / FacadeOrientation") << path;
    }
    EXPECT_EQ(statusPairs, 16u);
}

TEST(ExampleEditions, NoEntryForANameTheNewerEditionHasAndOneTargetPerName)
{
    for (const auto& [from, to] : {std::pair("2025", "2026"), {"2026", "2027"}, {"2027", "2028"}, {"2025", "2028"}}) {
        SCOPED_TRACE(std::string(from) + " to " + to);
        const ExampleProposal example = Propose(from, to);
        std::vector<std::string> sources;
        for (const PropertyEntry& entry : example.proposal.propertyEntries) {
            const EditionGroup& group = example.older.groups[entry.older.group];
            EXPECT_FALSE(Has(example.newer, group.name, group.properties[entry.older.property].name));
            sources.push_back(PropertyPath(example.older, entry.older));
        }
        for (const GroupEntry& entry : example.proposal.groupEntries) {
            for (const EditionGroup& group : example.newer.groups)
                EXPECT_NE(group.name, example.older.groups[entry.older].name);
            sources.push_back(example.older.groups[entry.older].name);
        }
        std::sort(sources.begin(), sources.end());
        EXPECT_EQ(std::adjacent_find(sources.begin(), sources.end()), sources.end());
    }
}

TEST(ExampleEditions, EarlierUpgrades)
{
    // 2026.1 renamed a group and a property; the rules find the group, and offer the property as
    // a name that starts alike, which the hand-written table takes.
    const ExampleProposal to2026 = Propose("2025", "2026");
    EXPECT_EQ(Described(to2026.proposal, to2026.older, to2026.newer),
              (std::vector<std::string>{"group SGPset_Column -> SGPset_StructuralColumn",
                                        "choose SGPset_Space / OccupancyType -> SGPset_Space / OccupancyClass (similar)"}));
    const ModuleReading handWritten = ReadThroughModule(Support::ReadBytes(ExampleConfiguration("2026", ".renames.xml")));
    EXPECT_EQ(handWritten.entries, (std::vector<std::string>{
                                       "group SGPset_Column -> SGPset_StructuralColumn",
                                       "property SGPset_Space / OccupancyType -> SGPset_Space / OccupancyClass"}));
    EXPECT_NE(to2026.table.find("<!-- <property group=\"SGPset_Space\" from=\"OccupancyType\" to=\"OccupancyClass\"/> -->"),
              std::string::npos);

    // 2027.1 only added.
    const ExampleProposal to2027 = Propose("2026", "2027");
    EXPECT_TRUE(Described(to2027.proposal, to2027.older, to2027.newer).empty());
    EXPECT_TRUE(ReadThroughModule(to2027.table).entries.empty());
    EXPECT_EQ(to2027.proposal.propertiesAdded.size(), 11u);
}

TEST(ExampleEditions, TheReviewedTableIsTheProposalWithTheSplitChosen)
{
    // Examples/Configurations/IFC-SG-2028.renames.xml: the proposal with one candidate of the
    // split taken out of its comment, and nothing else changed.
    std::string proposed = Propose("2027", "2028").table;
    const std::string chosen =
        "<property group=\"SGPset_Slab\" from=\"ThermalTransmittance\" toGroup=\"Pset_SlabCommon\" to=\"ThermalTransmittance\"/>";
    const std::size_t at = proposed.find("<!-- " + chosen + " -->");
    ASSERT_NE(at, std::string::npos);
    proposed.replace(at, chosen.size() + 9, chosen);
    EXPECT_EQ(Support::ReadBytes(ExampleConfiguration("2028", ".renames.xml")), proposed);
}

TEST(ExampleEditions, ExampleProjectsAreWhatTheScriptWrites)
{
    const Support::ScratchFolder scratch;
    const std::filesystem::path script = Support::SourceFolder() / "Examples" / "MakeExampleProject.py";
    for (const auto& [edition, project] : {std::pair("2025", "CommunityClinic.xml"), {"2027", "CommunityClinic-2027.xml"}}) {
        const std::filesystem::path written = scratch.Path() / project;
        const std::string command = "python3 \"" + script.string() + "\" --edition " + edition + " \"" + written.string() + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(Support::ReadBytes(written), Support::ReadBytes(Support::SourceFolder() / "Examples" / project)) << project;
    }
}

TEST(ExampleEditions, TheProjectHoldsValuesForEveryPropertyThatChanges)
{
    // Examples/CommunityClinic-2027.xml, upgraded to 2028.1, shows every case: its elements hold
    // values for each property that 2028.1 renames, moves, splits, retypes or withdraws.
    TestHost::Project project;
    const TestHost::ProjectReadResult read =
        TestHost::LoadProjectFile((Support::SourceFolder() / "Examples" / "CommunityClinic-2027.xml").string(), project);
    ASSERT_TRUE(read.ok) << read.message;
    std::set<std::string> held;
    project.ForEachValue([&](const API_Guid&, const API_Guid& definition, const TestHost::Value&) {
        const TestHost::PropertyDefinition* owner = project.FindDefinition(definition);
        held.insert(project.FindGroup(owner->group)->name + " / " + owner->name);
    });
    const ExampleProposal example = Propose("2027", "2028");
    std::vector<PropertyAt> changing;
    for (const PropertyEntry& entry : example.proposal.propertyEntries)
        changing.push_back(entry.older);
    for (const PropertyChoice& choice : example.proposal.propertyChoices)
        changing.push_back(choice.older);
    for (const Retype& retype : example.proposal.retyped)
        changing.push_back(retype.older);
    changing.insert(changing.end(), example.proposal.propertiesRemoved.begin(), example.proposal.propertiesRemoved.end());
    for (const GroupEntry& entry : example.proposal.groupEntries)
        for (std::uint32_t property = 0; property < example.older.groups[entry.older].properties.size(); ++property)
            changing.push_back({entry.older, property});
    EXPECT_EQ(changing.size(), 5u + 1u + 3u + 1u + 3u);  // entries, the split, retypes, the withdrawn, the group's
    for (const PropertyAt at : changing)
        EXPECT_TRUE(held.contains(PropertyPath(example.older, at))) << PropertyPath(example.older, at);
}
