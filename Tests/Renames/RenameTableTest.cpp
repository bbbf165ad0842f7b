// The rename table's look-ups, against a plain restatement of the rules.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Renames/RenameTableReader.hpp"

using namespace Quillmere;

namespace {

std::string Utf8(const GS::UniString& text)
{
    return text.ToCStr().Get();
}

RenameTable TableOf(const std::string& entries)
{
    RenameTableReading reading = ParseRenameTable("<renames>" + entries + "</renames>");
    EXPECT_TRUE(!reading.problem && reading.skipped.empty()) << entries;
    return std::move(reading.table);
}

// A name as "group/property#entry number".
std::string Describe(const RenameTable& table, const RenameTable::Name& name)
{
    return Utf8(name.group) + "/" + Utf8(name.property) + "#" + std::to_string(table.Entries()[name.entry].number);
}

// The entries the look-up tests use; the comment is the entry's number.
const char* const Entries = R"(
  <group from="SGPset_Column" to="SGPset_StructuralColumn"/>                                  <!-- 1 -->
  <property group="SGPset_Column" from="Depth" toGroup="SGPset_StructuralColumn" to="SectionDepth"/> <!-- 2 -->
  <property group="SGPset_Space" from="OccupancyType" to="OccupancyClass"/>                   <!-- 3 -->
  <group from="SGPset_A" to="SGPset_C"/>                                                      <!-- 4 -->
  <group from="SGPset_B" to="SGPset_C"/>                                                      <!-- 5 -->
  <property group="SGPset_A" from="Code" toGroup="SGPset_D" to="Code"/>                       <!-- 6 -->
  <group from="SGPset_Door" to="SGPset_DoorLeaf"/>                                            <!-- 7 -->
  <group from="SGPset_DoorLeaf" to="SGPset_DoorPanel"/>                                       <!-- 8 -->
  <group from="SGPset_B" to="SGPset_C"/>                                                      <!-- 9 -->
)";

}  // namespace

TEST(RenameTable, EarlierNamesAndRenamedNamesFollowTheRules)
{
    const RenameTable table = TableOf(Entries);
    ASSERT_EQ(table.Entries().size(), 9u);

    struct Case {
        const char* group;
        const char* property;
        std::vector<std::string> earlier;  // in the order to try
        std::string renamed;               // empty: not renamed
    } const cases[] = {
        // A group entry keeps the property's name.
        {"SGPset_StructuralColumn", "Width", {"SGPset_Column/Width#1"}, ""},
        {"SGPset_Column", "Width", {}, "SGPset_StructuralColumn/Width#1"},
        // The property entry wins over its group's entry for Depth, both ways.
        {"SGPset_StructuralColumn", "Depth", {}, ""},
        {"SGPset_Column", "Depth", {}, "SGPset_StructuralColumn/SectionDepth#2"},
        // The later entry first; the group entry still gives its own name of the same property.
        {"SGPset_StructuralColumn", "SectionDepth", {"SGPset_Column/Depth#2", "SGPset_Column/SectionDepth#1"}, ""},
        // A property renamed within its group.
        {"SGPset_Space", "OccupancyClass", {"SGPset_Space/OccupancyType#3"}, ""},
        {"SGPset_Space", "OccupancyType", {}, "SGPset_Space/OccupancyClass#3"},
        {"SGPset_Space", "Area", {}, ""},
        // Two groups into one: later entries first, the same name twice when two entries give
        // it, and A's Code went elsewhere by its property entry.
        {"SGPset_C", "Code", {"SGPset_B/Code#9", "SGPset_B/Code#5"}, ""},
        {"SGPset_C", "Name", {"SGPset_B/Name#9", "SGPset_B/Name#5", "SGPset_A/Name#4"}, ""},
        {"SGPset_D", "Code", {"SGPset_A/Code#6"}, ""},
        {"SGPset_A", "Code", {}, "SGPset_D/Code#6"},
        {"SGPset_A", "Name", {}, "SGPset_C/Name#4"},
        {"SGPset_B", "Name", {}, "SGPset_C/Name#9"},
        // Never chained: Door to DoorLeaf to DoorPanel is two renames.
        {"SGPset_DoorPanel", "Width", {"SGPset_DoorLeaf/Width#8"}, ""},
        {"SGPset_Door", "Width", {}, "SGPset_DoorLeaf/Width#7"},
        {"SGPset_DoorLeaf", "Width", {"SGPset_Door/Width#7"}, "SGPset_DoorPanel/Width#8"},
        // Names compare exactly.
        {"sgpset_structuralcolumn", "Width", {}, ""},
        {"SGPset_StructuralColumn ", "Width", {}, ""},
        {"SGPset_Column", "width", {}, "SGPset_StructuralColumn/width#1"},
        {"", "", {}, ""},
    };
    for (const Case& c : cases) {
        const GS::UniString group(c.group);
        const GS::UniString property(c.property);
        std::vector<std::string> earlier;
        for (const RenameTable::Name& name : table.EarlierNames(group, property))
            earlier.push_back(Describe(table, name));
        EXPECT_EQ(earlier, c.earlier) << c.group << " / " << c.property;
        const std::optional<RenameTable::Name> renamed = table.RenamedName(group, property);
        EXPECT_EQ(renamed ? Describe(table, *renamed) : "", c.renamed) << c.group << " / " << c.property;
    }
}

// Random tables over a few names, every name looked up, against the rules as they read: a scan of
// all entries from the last.
TEST(RenameTable, LookUpsAgreeWithAScanOfAllEntries)
{
    const char* const groups[] = {"G0", "G1", "G2", "SGPset_G\xC3\xA9"};
    const char* const properties[] = {"p0", "p1", "P1"};
    std::mt19937 random(20261209);
    for (int round = 0; round < 300; ++round) {
        RenameTable table;
        const int count = static_cast<int>(random() % 40);
        for (int n = 0; n < count; ++n) {
            RenameTable::Entry entry;
            entry.isGroup = random() % 2 == 0;
            entry.group = GS::UniString(groups[random() % 4]);
            entry.newGroup = GS::UniString(groups[random() % 4]);
            if (!entry.isGroup) {
                entry.property = GS::UniString(properties[random() % 3]);
                entry.newProperty = GS::UniString(properties[random() % 3]);
            }
            entry.number = static_cast<std::size_t>(n) + 1;
            table.Add(entry);
        }
        const std::vector<RenameTable::Entry>& entries = table.Entries();
        const auto hasPropertyEntry = [&](const GS::UniString& group, const GS::UniString& property) {
            for (const RenameTable::Entry& entry : entries)
                if (!entry.isGroup && entry.group == group && entry.property == property)
                    return true;
            return false;
        };
        for (const char* groupText : groups) {
            for (const char* propertyText : properties) {
                const GS::UniString group(groupText);
                const GS::UniString property(propertyText);
                std::vector<std::string> expected;
                for (std::size_t at = entries.size(); at-- > 0;) {
                    const RenameTable::Entry& entry = entries[at];
                    if (entry.isGroup && entry.newGroup == group && !hasPropertyEntry(entry.group, property))
                        expected.push_back(Utf8(entry.group) + "/" + propertyText + "#" + std::to_string(at));
                    else if (!entry.isGroup && entry.newGroup == group && entry.newProperty == property)
                        expected.push_back(Utf8(entry.group) + "/" + Utf8(entry.property) + "#" + std::to_string(at));
                }
                std::vector<std::string> earlier;
                for (const RenameTable::Name& name : table.EarlierNames(group, property))
                    earlier.push_back(Utf8(name.group) + "/" + Utf8(name.property) + "#" + std::to_string(name.entry));
                ASSERT_EQ(earlier, expected) << "round " << round << ": " << groupText << " / " << propertyText;

                std::string expectedRenamed;
                for (std::size_t at = entries.size(); at-- > 0 && expectedRenamed.empty();)
                    if (!entries[at].isGroup && entries[at].group == group && entries[at].property == property)
                        expectedRenamed = Utf8(entries[at].newGroup) + "/" + Utf8(entries[at].newProperty) + "#" +
                                          std::to_string(at);
                for (std::size_t at = entries.size(); at-- > 0 && expectedRenamed.empty();)
                    if (entries[at].isGroup && entries[at].group == group)
                        expectedRenamed = Utf8(entries[at].newGroup) + "/" + propertyText + "#" + std::to_string(at);
                const std::optional<RenameTable::Name> renamed = table.RenamedName(group, property);
                ASSERT_EQ(renamed ? Utf8(renamed->group) + "/" + Utf8(renamed->property) + "#" +
                                        std::to_string(renamed->entry)
                                  : "",
                          expectedRenamed)
                    << "round " << round << ": " << groupText << " / " << propertyText;
            }
        }
    }
}
