// The proposed table as the module reads it: its entries and nothing else, each choice's entry once
// taken out of its comment, and names that XML and its comments cannot hold as they stand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleTableReading.hpp"
#include "ProposalCases.hpp"
#include "RenameTableText.hpp"

using namespace RenameProposal;
using namespace RenameProposalTests;

namespace {

std::string TableFor(const std::vector<GroupSpec>& older, const std::vector<GroupSpec>& newer)
{
    const Edition before = EditionOf(older), after = EditionOf(newer);
    return RenameTableText(ProposeRenames(before, after), EditionPair{before, after, "old.xml", "new.xml"});
}

// The lines of `text` that hold an entry inside a comment of its own.
std::vector<std::string> CommentedEntries(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; (at = text.find("  <!-- <", at)) != std::string::npos; ++at)
        lines.push_back(text.substr(at, text.find('\n', at) - at));
    return lines;
}

std::string Uncommented(std::string text, const std::string& line)
{
    const std::string entry = line.substr(7, line.size() - 7 - 4);
    return text.replace(text.find(line), line.size(), "  " + entry);
}

}  // namespace

TEST(RenameTableText, ReadsBackAsItsEntriesAndEachChoiceAsOneMore)
{
    const std::string text = TableFor(
        {{"SGPset_Column", {{"Width"}, {"Depth"}, {"Grade"}}},
         {"SGPset_Slab", {{"U", "Real", "IfcSlab.FLOOR IfcSlab.ROOF"}, {"Dry", "Boolean", "IfcSlab.FLOOR"}}}},
        {{"SGPset_StructuralColumn", {{"Width"}, {"DEPTH"}, {"Grade"}}},
         {"SGPset_Slab", {{"DRY", "Boolean", "IfcSlab.FLOOR"}}},
         {"Pset_SlabCommon", {{"U", "Real", "IfcSlab.FLOOR"}}},
         {"Pset_RoofCommon", {{"U", "Real", "IfcSlab.ROOF"}}}});
    const ModuleReading reading = ReadThroughModule(text);
    EXPECT_TRUE(reading.problems.empty());
    const std::vector<std::string> entries = {
        "group SGPset_Column -> SGPset_StructuralColumn",
        "property SGPset_Column / Depth -> SGPset_StructuralColumn / DEPTH",
        "property SGPset_Slab / Dry -> SGPset_Slab / DRY",
    };
    EXPECT_EQ(reading.entries, entries);

    const std::vector<std::string> choices = CommentedEntries(text);
    ASSERT_EQ(choices.size(), 2u);
    const char* const chosen[] = {"property SGPset_Slab / U -> Pset_SlabCommon / U",
                                  "property SGPset_Slab / U -> Pset_RoofCommon / U"};
    for (std::size_t index = 0; index < choices.size(); ++index) {
        const ModuleReading taken = ReadThroughModule(Uncommented(text, choices[index]));
        EXPECT_TRUE(taken.problems.empty());
        std::vector<std::string> expected = entries;
        expected.insert(expected.begin() + 2, chosen[index]);
        EXPECT_EQ(taken.entries, expected);
    }
}

TEST(RenameTableText, NamesThatXmlAndCommentsCannotHoldAsTheyStand)
{
    // Pairs of an older name and its newer spelling; each must come back exactly.
    const std::vector<std::pair<std::string, std::string>> names = {
        {"a--b", "A_B"},         // "--" ends no comment early
        {"ends-", "ENDS"},       // nor does a "-" before "-->"
        {"x<y>&z", "X <Y> & Z"},
        {"say \"so\"", "Say \"So\""},
        {"tab\there", "TabHere"},
        {"line\nend", "line_end"},
        {"r\xc3\xa9sum\xc3\xa9", "RESUME"},
    };
    std::vector<PropertySpec> older, newer;
    for (const auto& [before, after] : names) {
        older.push_back({before});
        newer.push_back({after});
    }
    // A group name with the same characters; the split puts every name into a comment too.
    const std::string group = "SGPset_R&D--\"<>\"";
    std::vector<GroupSpec> olderGroups = {{group, older}, {"SGPset_Slab", {{"U--1", "Real", "IfcSlab.FLOOR IfcSlab.ROOF"}}}};
    std::vector<GroupSpec> newerGroups = {{group, newer},
                                          {"SGPset_Slab", {}},
                                          {"Pset_A--", {{"U--1", "Real", "IfcSlab.FLOOR"}}},
                                          {"Pset_B-", {{"U--1", "Real", "IfcSlab.ROOF"}}}};
    const std::string text = TableFor(olderGroups, newerGroups);
    const ModuleReading reading = ReadThroughModule(text);
    EXPECT_TRUE(reading.problems.empty()) << text;
    ASSERT_EQ(reading.entries.size(), names.size()) << text;
    for (std::size_t index = 0; index < names.size(); ++index)
        EXPECT_EQ(reading.entries[index],
                  "property " + group + " / " + names[index].first + " -> " + group + " / " + names[index].second);
    for (const std::string& choice : CommentedEntries(text)) {
        const ModuleReading taken = ReadThroughModule(Uncommented(text, choice));
        EXPECT_TRUE(taken.problems.empty()) << choice;
        ASSERT_EQ(taken.entries.size(), names.size() + 1) << choice;
        EXPECT_NE(taken.entries.back().find("property SGPset_Slab / U--1 -> Pset_"), std::string::npos);
    }
}
