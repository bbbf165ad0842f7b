// The rules of the proposal, case by case on small editions: renames but for spelling, moves to
// groups of the same items, group entries, choices, and never an entry for a name the newer
// edition still has.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ProposalCases.hpp"
#include "RenameTableText.hpp"

using namespace RenameProposal;
using namespace RenameProposalTests;

namespace {

struct Case {
    const char* what;
    std::vector<GroupSpec> older;
    std::vector<GroupSpec> newer;
    std::vector<std::string> expected;
};

void Check(const Case& c)
{
    SCOPED_TRACE(c.what);
    const Edition older = EditionOf(c.older);
    const Edition newer = EditionOf(c.newer);
    EXPECT_EQ(Described(ProposeRenames(older, newer), older, newer), c.expected);
}

}  // namespace

TEST(Proposal, RenamesButForSpelling)
{
    const Case cases[] = {
        {"an accent dropped", {{"SGPset_Wall", {{"DoubleBayFaçade"}}}}, {{"SGPset_Wall", {{"DoubleBayFacade"}}}},
         {"rename SGPset_Wall / DoubleBayFaçade -> SGPset_Wall / DoubleBayFacade"}},
        {"letter case", {{"SGPset_Slab", {{"IsWaterproofed"}}}}, {{"SGPset_Slab", {{"IsWaterProofed"}}}},
         {"rename SGPset_Slab / IsWaterproofed -> SGPset_Slab / IsWaterProofed"}},
        {"blanks, hyphens, underscores",
         {{"SGPset_Door", {{"Fire Rating"}, {"Clear-Width"}, {"Sill_Height"}}}},
         {{"SGPset_Door", {{"Sill Height"}, {"ClearWidth"}, {"FIRE_RATING"}}}},
         {"rename SGPset_Door / Fire Rating -> SGPset_Door / FIRE_RATING",
          "rename SGPset_Door / Clear-Width -> SGPset_Door / ClearWidth",
          "rename SGPset_Door / Sill_Height -> SGPset_Door / Sill Height"}},
        {"a name the newer edition still has gets none, beside its other spelling",
         {{"SGPset_Window", {{"FaçadeOrientation"}, {"Width"}}}},
         {{"SGPset_Window", {{"FaçadeOrientation"}, {"FacadeOrientation"}, {"width"}, {"Width"}}}},
         {}},
        {"two new spellings of one name: a choice",
         {{"SGPset_Wall", {{"Façade"}}}}, {{"SGPset_Wall", {{"Facade"}, {"FACADE"}}}},
         {"choose SGPset_Wall / Façade -> SGPset_Wall / Facade | SGPset_Wall / FACADE (several)"}},
        {"the other spelling continues an older name of its own: a choice",
         {{"SGPset_Wall", {{"Fire Rating"}, {"FireRating"}}}}, {{"SGPset_Wall", {{"FireRating"}}}},
         {"choose SGPset_Wall / Fire Rating -> SGPset_Wall / FireRating (continued)"}},
        {"two older names lead to one new name: choices",
         {{"SGPset_Wall", {{"Fire Rating"}, {"Fire_Rating"}}}}, {{"SGPset_Wall", {{"FireRating"}}}},
         {"choose SGPset_Wall / Fire Rating -> SGPset_Wall / FireRating (shared)",
          "choose SGPset_Wall / Fire_Rating -> SGPset_Wall / FireRating (shared)"}},
        {"another name that starts alike, of the same type: a choice; of another type: nothing",
         {{"SGPset_Space", {{"OccupancyType"}, {"OccupantCount", "Integer"}}}},
         {{"SGPset_Space", {{"OccupancyClass"}, {"OccupantLoad", "Real"}}}},
         {"choose SGPset_Space / OccupancyType -> SGPset_Space / OccupancyClass (similar)"}},
        {"a rename in the group wins over a move",
         {{"SGPset_Wall", {{"Façade"}}}}, {{"SGPset_Wall", {{"Facade"}}}, {"Pset_WallCommon", {{"Façade"}}}},
         {"rename SGPset_Wall / Façade -> SGPset_Wall / Facade"}},
        {"standard sets are never the source", {{"Pset_WallCommon", {{"Is External"}}}},
         {{"Pset_WallCommon", {{"IsExternal"}}}}, {}},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Proposal, MovesToGroupsOfTheSameItems)
{
    const Case cases[] = {
        {"into a standard set of the same element type",
         {{"SGPset_Wall", {{"IsExternal", "Boolean", "IfcWall"}, {"Thickness"}}}},
         {{"SGPset_Wall", {{"Thickness"}}}, {"Pset_WallCommon", {{"IsExternal", "Boolean", "IfcWall IfcWall.PARTITIONING"}}}},
         {"move SGPset_Wall / IsExternal -> Pset_WallCommon / IsExternal"}},
        {"between two owned groups",
         {{"SGPset_DoorLeaf", {{"Thickness", "Real", "IfcDoor"}, {"Core"}}}, {"SGPset_Door", {{"Width", "Real", "IfcDoor"}}}},
         {{"SGPset_DoorLeaf", {{"Core"}}}, {"SGPset_Door", {{"Width", "Real", "IfcDoor"}, {"Thickness", "Real", "IfcDoor"}}}},
         {"move SGPset_DoorLeaf / Thickness -> SGPset_Door / Thickness"}},
        {"not to a group of other items", {{"SGPset_Wall", {{"IsExternal", "Boolean", "IfcWall"}}}},
         {{"SGPset_Wall", {}}, {"Pset_DoorCommon", {{"IsExternal", "Boolean", "IfcDoor"}}}}, {}},
        {"to a group of an item that holds its item, or that its item holds",
         {{"SGPset_Wall", {{"Acoustic", "String", "IfcWall.PARTITIONING"}, {"Cladding", "String", "IfcWall"}}}},
         {{"SGPset_Wall", {}},
          {"Pset_WallCommon", {{"Acoustic", "String", "IfcWall"}}},
          {"Pset_PartitionCommon", {{"Cladding", "String", "IfcWall.PARTITIONING"}}}},
         {"move SGPset_Wall / Acoustic -> Pset_WallCommon / Acoustic",
          "move SGPset_Wall / Cladding -> Pset_PartitionCommon / Cladding"}},
        {"not to a group that is neither owned nor a standard set",
         {{"SGPset_Wall", {{"IsExternal", "Boolean", "IfcWall"}}}},
         {{"SGPset_Wall", {}}, {"Office_Wall", {{"IsExternal", "Boolean", "IfcWall"}}}}, {}},
        {"a split into two standard sets: a choice",
         {{"SGPset_Slab", {{"ThermalTransmittance", "Real", "IfcSlab.FLOOR IfcSlab.ROOF"}}}},
         {{"SGPset_Slab", {}},
          {"Pset_SlabCommon", {{"ThermalTransmittance", "Real", "IfcSlab.FLOOR"}}},
          {"Pset_RoofCommon", {{"ThermalTransmittance", "Real", "IfcSlab.ROOF"}}},
          {"SGPset_Window", {{"ThermalTransmittance", "Real", "IfcWindow"}}}},
         {"choose SGPset_Slab / ThermalTransmittance -> Pset_SlabCommon / ThermalTransmittance | "
          "Pset_RoofCommon / ThermalTransmittance (several)"}},
        {"by its name but for spelling when none has it as it is",
         {{"SGPset_Wall", {{"Is_External", "Boolean"}}}}, {{"SGPset_Wall", {}}, {"Pset_WallCommon", {{"IsExternal", "Boolean"}}}},
         {"move SGPset_Wall / Is_External -> Pset_WallCommon / IsExternal"}},
        {"to a property that continues one of its own name: a choice",
         {{"SGPset_Wall", {{"Reference"}}}, {"Pset_WallCommon", {{"Reference"}}}},
         {{"SGPset_Wall", {}}, {"Pset_WallCommon", {{"Reference"}}}},
         {"choose SGPset_Wall / Reference -> Pset_WallCommon / Reference (continued)"}},
        {"with its group gone and no group entry",
         {{"SGPset_Opening", {{"HeadHeight", "Real", "IfcDoor IfcWindow"}, {"Lintel"}}}},
         {{"SGPset_Door", {{"HeadHeight", "Real", "IfcDoor"}}}},
         {"move SGPset_Opening / HeadHeight -> SGPset_Door / HeadHeight"}},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Proposal, GroupEntries)
{
    const Case cases[] = {
        {"a group renamed, one of its properties too",
         {{"SGPset_Column", {{"Width"}, {"Depth"}, {"Grade"}}}},
         {{"SGPset_StructuralColumn", {{"Width"}, {"depth"}, {"Grade"}, {"Cover"}}}},
         {"group SGPset_Column -> SGPset_StructuralColumn", "rename SGPset_Column / Depth -> SGPset_StructuralColumn / depth"}},
        {"half of the names is not most: moves one by one",
         {{"SGPset_A", {{"a"}, {"b"}, {"c"}, {"d"}}}}, {{"SGPset_B", {{"a"}, {"b"}}}},
         {"move SGPset_A / a -> SGPset_B / a", "move SGPset_A / b -> SGPset_B / b"}},
        {"names the target had already do not count",
         {{"SGPset_A", {{"a"}, {"b"}}}, {"SGPset_B", {{"a"}, {"b"}}}}, {{"SGPset_B", {{"a"}, {"b"}}}},
         {"choose SGPset_A / a -> SGPset_B / a (continued)", "choose SGPset_A / b -> SGPset_B / b (continued)"}},
        {"two groups each with most of the names: a choice",
         {{"SGPset_A", {{"a"}, {"b"}, {"c"}}}}, {{"SGPset_B", {{"a"}, {"b"}}}, {"SGPset_C", {{"b"}, {"c"}}}},
         {"choose SGPset_A -> SGPset_B | SGPset_C", "move SGPset_A / a -> SGPset_B / a", "move SGPset_A / c -> SGPset_C / c",
          "choose SGPset_A / b -> SGPset_B / b | SGPset_C / b (several)"}},
        {"a group of one property whose name reappears", {{"SGPset_Opening", {{"HeadHeight", "Real", "IfcDoor"}}}},
         {{"SGPset_Door", {{"HeadHeight", "Real", "IfcDoor"}}}}, {"group SGPset_Opening -> SGPset_Door"}},
        {"names count only for elements of the same type",
         {{"SGPset_Opening", {{"HeadHeight", "Real", "IfcDoor"}, {"Width", "Real", "IfcDoor"}}}},
         {{"SGPset_Window", {{"HeadHeight", "Real", "IfcWindow"}, {"Width", "Real", "IfcWindow"}}}}, {}},
        {"never for a group the newer edition still has",
         {{"SGPset_A", {{"a"}, {"b"}}}}, {{"SGPset_A", {}}, {"SGPset_B", {{"a"}, {"b"}}}},
         {"move SGPset_A / a -> SGPset_B / a", "move SGPset_A / b -> SGPset_B / b"}},
        {"a standard set renamed gets none", {{"Pset_Old", {{"a"}, {"b"}}}}, {{"Pset_New", {{"a"}, {"b"}}}}, {}},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Proposal, ChangesAddedRemovedRetyped)
{
    const Edition older = EditionOf({{"SGPset_Wall", {{"Kept", "Real"}, {"Gone", "Boolean"}, {"Length", "Real"}}},
                                     {"SGPset_Old", {{"x"}}}});
    const Edition newer = EditionOf({{"SGPset_Wall", {{"Kept", "String"}, {"Length", "Real", "IfcWall", "Length"}, {"New"}}},
                                     {"SGPset_New", {{"y"}}}});
    const Proposal proposal = ProposeRenames(older, newer);
    EXPECT_EQ(proposal.groupsAdded, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(proposal.groupsRemoved, (std::vector<std::uint32_t>{1}));
    ASSERT_EQ(proposal.propertiesRemoved.size(), 2u);
    EXPECT_EQ(proposal.propertiesRemoved[0], (PropertyAt{0, 1}));
    EXPECT_EQ(proposal.propertiesRemoved[1], (PropertyAt{1, 0}));
    ASSERT_EQ(proposal.propertiesAdded.size(), 2u);
    EXPECT_EQ(proposal.propertiesAdded[0].newer, (PropertyAt{0, 2}));
    EXPECT_EQ(proposal.propertiesAdded[1].newer, (PropertyAt{1, 0}));
    // A retype is a value type or a measure of its own.
    ASSERT_EQ(proposal.retyped.size(), 2u);
    EXPECT_EQ(proposal.retyped[0].older, (PropertyAt{0, 0}));
    EXPECT_EQ(proposal.retyped[1].newer, (PropertyAt{0, 1}));
}

TEST(Proposal, TheSameEditionsGiveTheSameTable)
{
    // Editions whose names share hash buckets and folded forms in many ways.
    std::vector<GroupSpec> older, newer;
    for (int group = 0; group < 40; ++group) {
        GroupSpec before{"SGPset_G" + std::to_string(group), {}};
        GroupSpec after{group % 3 == 0 ? "SGPset_H" + std::to_string(group) : before.name, {}};
        for (int property = 0; property < 12; ++property) {
            const std::string name = "P" + std::to_string((group * 7 + property) % 23);
            before.properties.push_back({name});
            after.properties.push_back({property % 4 == 0 ? name + "_" : property % 5 == 0 ? "x" + name : name});
        }
        older.push_back(before);
        newer.push_back(after);
    }
    // (Duplicate names within a group are refused by the reader; drop them.)
    for (std::vector<GroupSpec>* groups : {&older, &newer})
        for (GroupSpec& spec : *groups) {
            std::vector<PropertySpec> unique;
            for (const PropertySpec& property : spec.properties)
                if (std::none_of(unique.begin(), unique.end(), [&](const PropertySpec& p) { return p.name == property.name; }))
                    unique.push_back(property);
            spec.properties = unique;
        }
    const auto table = [&] {
        const Edition before = EditionOf(older), after = EditionOf(newer);
        return RenameTableText(ProposeRenames(before, after), EditionPair{before, after, "old.xml", "new.xml"});
    };
    const std::string first = table();
    for (int round = 0; round < 3; ++round)
        EXPECT_EQ(table(), first);
    EXPECT_NE(first.find("<group "), std::string::npos);
    EXPECT_NE(first.find("<property "), std::string::npos);
}
