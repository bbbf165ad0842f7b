// The rewriting of property references in expressions by a rename table.
#include <gtest/gtest.h>

#include <string>

#include "Renames/ReferenceRewriting.hpp"
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

}  // namespace

TEST(ReferenceRewriting, RenamesTheReferencesTheTableNames)
{
    const RenameTable table = TableOf(R"(
      <group from="SGPset_Column" to="SGPset_StructuralColumn"/>
      <property group="SGPset_Column" from="Depth" toGroup="SGPset_StructuralColumn" to="SectionDepth"/>
      <property group="SGPset_Space" from="Width/Height" to="Aspect"/>
      <group from="SGPset_A/B" to="SGPset_AB"/>
      <property group="SGPset_Odd}" from="x" to="y"/>
      <group from="SGPset_Door" to="SGPset_DoorLeaf"/>
      <property group="SGPset_Door" from="Fire}Rating" to="FireRating"/>
      <group from="SGPset_DoorLeaf" to="SGPset_DoorPanel"/>
      <group from="SGPset_Same" to="SGPset_Same"/>
      <group from="SGPset_Raum" to="SGPset_Zimmer"/>
      <property group="SGPset_P/Q" from="R" toGroup="SGPset_P" to="Q/R"/>)");

    struct Case {
        const char* text;
        const char* expected;  // nullptr: unchanged
    } const cases[] = {
        // A group entry keeps the name; a property entry wins over its group's entry.
        {"{Property:SGPset_Column/Width}", "{Property:SGPset_StructuralColumn/Width}"},
        {"{Property:SGPset_Column/Depth} * 2", "{Property:SGPset_StructuralColumn/SectionDepth} * 2"},
        {"{Property:SGPset_Column/Width} + {Property:SGPset_Column/Depth}",
         "{Property:SGPset_StructuralColumn/Width} + {Property:SGPset_StructuralColumn/SectionDepth}"},
        // Text around and between references is kept as it is.
        {"IF({Property:SGPset_Raum/Fl\xC3\xA4" "che} > 10; \"{x}\"; {Property:Pset_SpaceCommon/Reference})",
         "IF({Property:SGPset_Zimmer/Fl\xC3\xA4" "che} > 10; \"{x}\"; {Property:Pset_SpaceCommon/Reference})"},
        // "/" and "}" in names: the split the table names.
        {"{Property:SGPset_Space/Width/Height}", "{Property:SGPset_Space/Aspect}"},
        {"{Property:SGPset_A/B/Code}", "{Property:SGPset_AB/Code}"},
        {"{Property:SGPset_Odd}/x}", "{Property:SGPset_Odd}/y}"},
        // A property entry's split wins over the nearer "}" that the group entry would take.
        {"{Property:SGPset_Door/Fire}Rating}", "{Property:SGPset_Door/FireRating}"},
        // With only a group entry, the nearest "}" ends the reference.
        {"{Property:SGPset_Column/Width} + 1}", "{Property:SGPset_StructuralColumn/Width} + 1}"},
        // Once, never chained.
        {"{Property:SGPset_Door/Width}", "{Property:SGPset_DoorLeaf/Width}"},
        // An unterminated reference ends at the next one, which is rewritten.
        {"{Property:SGPset_Column/Width{Property:SGPset_Column/Depth}",
         "{Property:SGPset_Column/Width{Property:SGPset_StructuralColumn/SectionDepth}"},
        // No change: names the table does not rename, or renames into the same text; no reference.
        {"{Property:SGPset_Same/Width}", nullptr},
        {"{Property:SGPset_P/Q/R}", nullptr},  // split elsewhere, but the same text
        {"{Property:SGPset_Space/Width}", nullptr},
        {"{Property:SGPset_ColumnX/Width}", nullptr},
        {"{Property:SGPset_Column/Width", nullptr},
        {"{Property:SGPset_Column}", nullptr},
        {"{property:SGPset_Column/Width}", nullptr},
        {"{ Property:SGPset_Column/Width}", nullptr},
        {"SGPset_Column/Width", nullptr},
        {"{Property:{Property:", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        GS::UniString text(c.text);
        EXPECT_EQ(RewriteReferences(table, text), c.expected != nullptr) << c.text;
        EXPECT_EQ(Utf8(text), c.expected != nullptr ? c.expected : c.text) << c.text;
    }
    GS::UniString text("{Property:SGPset_Column/Width}");
    EXPECT_FALSE(RewriteReferences(RenameTable(), text));
}
