// The rename table without a host: its look-ups (against a plain restatement of the rules), the
// rewriting of property references in expressions, and the strict reading of its file, with
// xmllint as the independent judge of well-formedness.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Common/RenameTable.hpp"
#include "Support/Folders.hpp"

using namespace Quillmere;
using namespace std::string_literals;

namespace {

std::string Utf8(const GS::UniString& text)
{
    return text.ToCStr().Get();
}

RenameTable TableOf(const std::string& entries)
{
    RenameTableReading reading = ParseRenameTable("<renames>" + entries + "</renames>");
    EXPECT_TRUE(reading.problems.empty()) << entries;
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

TEST(RenameTable, RewriteReferencesRenamesTheReferencesTheTableNames)
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
      <group from="SGPset_Raum" to="SGPset_Zimmer"/>)");

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
        // No change: names the table does not rename, or renames to themselves; no reference.
        {"{Property:SGPset_Same/Width}", nullptr},
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
        EXPECT_EQ(table.RewriteReferences(text), c.expected != nullptr) << c.text;
        EXPECT_EQ(Utf8(text), c.expected != nullptr ? c.expected : c.text) << c.text;
    }
    GS::UniString text("{Property:SGPset_Column/Width}");
    EXPECT_FALSE(RenameTable().RewriteReferences(text));
}

namespace {

enum class Outcome {
    Read,           // read; entries may still be skipped
    NotWellFormed,  // no table: not well-formed
    Entity,         // no table: an entity that is not expanded
    NotRenames,     // no table: another root
};

Outcome OutcomeOf(const RenameTableReading& reading)
{
    if (!reading.problems.empty()) {
        switch (reading.problems[0].kind) {
            case RenameTableProblem::Kind::NotWellFormed: return Outcome::NotWellFormed;
            case RenameTableProblem::Kind::UnsupportedEntity: return Outcome::Entity;
            case RenameTableProblem::Kind::NoRenamesRoot: return Outcome::NotRenames;
            default: break;
        }
    }
    return Outcome::Read;
}

// xmllint's verdict on `text`: 0 well-formed, 1 not; -1 when there is no xmllint.
int XmllintAccepts(const Support::ScratchFolder& folder, const std::string& text)
{
    static const bool available = std::system("xmllint --version >/dev/null 2>&1") == 0;
    if (!available)
        return -1;
    const std::filesystem::path file = folder.Write("table.xml", text);
    return std::system(("xmllint --noout '" + file.string() + "' >/dev/null 2>&1").c_str()) == 0 ? 1 : 0;
}

}  // namespace

// Each row: the text, what the reading makes of it, and whether xmllint takes it as well-formed.
// Where the two differ it is on purpose (entities, a repeated attribute on an entry) or a kind of
// ill-formedness that the reading does not look for (the last rows).
TEST(RenameTable, ReadingIsAsStrictAsXml)
{
    struct Case {
        std::string text;
        Outcome outcome;
        bool xmllint;
    } const cases[] = {
        // Well-formed: every kind of node where XML allows it, references of all kinds.
        {"<renames/>", Outcome::Read, true},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!DOCTYPE renames>\n<!-- c -->\n"
         "<?app x?>\n<renames><![CDATA[ <x> & ]]>text &gt; more</renames>\n<!-- after -->\n<?app y?>\n",
         Outcome::Read, true},
        {"\xEF\xBB\xBF<?xml version=\"1.1\"?><renames/>", Outcome::Read, true},
        {"<renames><group from=\"a&amp;&lt;&gt;&quot;&apos;&#65;&#x42;&#xe9;\" to='b'/></renames>", Outcome::Read, true},
        {"<renames   ><group\tfrom=\"a\"\nto=\"b\" /><alias/></renames >", Outcome::Read, true},
        {"<?xml-stylesheet href=\"a\"?><renames><x:y/>]]&gt;</renames>", Outcome::Read, true},
        {"<tables/>", Outcome::NotRenames, true},
        // Entities: declared in the document type (well-formed) or not (not well-formed); either
        // way the table is not applied.
        {"<!DOCTYPE renames [<!ENTITY g \"SGPset_\">]><renames><group from=\"&g;A\" to=\"B\"/></renames>",
         Outcome::Entity, true},
        {"<renames><group from=\"&nbsp;\" to=\"B\"/></renames>", Outcome::Entity, false},
        {"<renames>&nbsp;</renames>", Outcome::Entity, false},
        // A repeated attribute on an entry skips the entry; on any other element the text is not XML.
        {"<renames><group from=\"a\" to=\"b\" to=\"c\"/></renames>", Outcome::Read, false},
        {"<renames a=\"1\" a=\"2\"/>", Outcome::NotWellFormed, false},
        {"<renames><group from=\"a\" to=\"b\"><x y=\"1\" y=\"2\"/></group></renames>", Outcome::NotWellFormed, false},
        // Root elements: none, two, text or an element after it.
        {"", Outcome::NotWellFormed, false},
        {"<?xml version=\"1.0\"?>\n<!-- nothing -->\n", Outcome::NotWellFormed, false},
        {"<renames/><renames/>", Outcome::NotWellFormed, false},
        {"<renames/><!-- c --><x/>", Outcome::NotWellFormed, false},
        {"<renames/>x", Outcome::NotWellFormed, false},
        {"<![CDATA[x]]><renames/>", Outcome::NotWellFormed, false},
        // Tags.
        {"<renames><group from=\"a\" to=\"b\"></property></renames>", Outcome::NotWellFormed, false},
        {"<renames><group from=\"a\" to=\"b\">", Outcome::NotWellFormed, false},
        {"<renames><1group/></renames>", Outcome::NotWellFormed, false},
        {"<renames><group 1from=\"a\"/></renames>", Outcome::NotWellFormed, false},
        {"<renames><group from=\"a\"to=\"b\"/></renames>", Outcome::NotWellFormed, false},
        {"<renames a=b/>", Outcome::NotWellFormed, false},
        {"<renames><group from=\"a<b\" to=\"c\"/></renames>", Outcome::NotWellFormed, false},
        // References and characters.
        {"<renames><group from=\"a & b\" to=\"c\"/></renames>", Outcome::NotWellFormed, false},
        {"<renames><group from=\"&amp\" to=\"c\"/></renames>", Outcome::NotWellFormed, false},
        {"<renames><group from=\"&#X41;\" to=\"c\"/></renames>", Outcome::NotWellFormed, false},
        {"<renames><group from=\"&#1;\" to=\"c\"/></renames>", Outcome::NotWellFormed, false},
        {"<renames>&#0;</renames>", Outcome::NotWellFormed, false},
        {"<renames>&#xD800;</renames>", Outcome::NotWellFormed, false},
        {"<renames>&#xFFFE;</renames>", Outcome::NotWellFormed, false},
        {"<renames>&#x110000;</renames>", Outcome::NotWellFormed, false},
        {"<renames><group from=\"a\x01\" to=\"c\"/></renames>", Outcome::NotWellFormed, false},
        {"<renames>\0</renames>"s, Outcome::NotWellFormed, false},
        // XML has no NUL character; xmllint takes one after the root element as the end of the text.
        {"<renames/>\0<x/>"s, Outcome::NotWellFormed, true},
        {"<renames>\xFF</renames>", Outcome::NotWellFormed, false},
        {"<renames>\xED\xA0\x80</renames>", Outcome::NotWellFormed, false},
        {"<renames>\xEF\xBF\xBE</renames>", Outcome::NotWellFormed, false},
        {"<renames>a]]>b</renames>", Outcome::NotWellFormed, false},
        // Comments, declarations, processing instructions, document types, other markup.
        {"<renames><!-- a -- b --></renames>", Outcome::NotWellFormed, false},
        {"<renames><!-- a ---></renames>", Outcome::NotWellFormed, false},
        {"<renames><!ELEMENT x ANY></renames>", Outcome::NotWellFormed, false},
        {"<!FOO><renames/>", Outcome::NotWellFormed, false},
        {" <?xml version=\"1.0\"?><renames/>", Outcome::NotWellFormed, false},
        {"<!-- c --><?xml version=\"1.0\"?><renames/>", Outcome::NotWellFormed, false},
        {"<renames><?xml version=\"1.0\"?></renames>", Outcome::NotWellFormed, false},
        {"<?XML version=\"1.0\"?><renames/>", Outcome::NotWellFormed, false},
        {"<renames><?xml?></renames>", Outcome::NotWellFormed, false},
        {"<?xml encoding=\"UTF-8\"?><renames/>", Outcome::NotWellFormed, false},
        {"<?xml version=\"2.0\"?><renames/>", Outcome::NotWellFormed, false},
        {"<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?><renames/>", Outcome::NotWellFormed, false},
        {"<?xml version=\"1.0\" standalone=\"maybe\"?><renames/>", Outcome::NotWellFormed, false},
        {"<renames/><!DOCTYPE renames>", Outcome::NotWellFormed, false},
        {"<!DOCTYPE renames><!DOCTYPE renames><renames/>", Outcome::NotWellFormed, false},
        {"<renames><!DOCTYPE x></renames>", Outcome::NotWellFormed, false},
        // Not looked for: the inside of a document type declaration, whether an encoding exists.
        {"<!DOCTYPE renames [ garbage ]><renames/>", Outcome::Read, false},
        {"<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><renames/>", Outcome::Read, false},
        // Read as UTF-8 whatever the declaration says: a Latin-1 byte is refused.
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><renames a=\"\xE9\"/>", Outcome::NotWellFormed, true},
    };
    const Support::ScratchFolder folder;
    for (const Case& c : cases) {
        EXPECT_EQ(OutcomeOf(ParseRenameTable(c.text)), c.outcome) << c.text;
        const int accepts = XmllintAccepts(folder, c.text);
        if (accepts >= 0) {
            EXPECT_EQ(accepts == 1, c.xmllint) << "xmllint on: " << c.text;
        }
    }
}

TEST(RenameTable, ProblemsSayWhatAndWhere)
{
    struct Case {
        std::string text;
        RenameTableProblem::Kind kind;
        std::string detail;
        std::size_t byte;
    } const cases[] = {
        // The parser's reason, or the module's own, and the byte of the fault.
        {"<renames>\n<group from=\"a\" to=\"b\"></property>", RenameTableProblem::Kind::NotWellFormed,
         "invalid closing tag name", 43},
        {"<renames/>\n<renames/>", RenameTableProblem::Kind::NotWellFormed, "a second root element", 11},
        {"  \n", RenameTableProblem::Kind::NotWellFormed, "no root element", 3},
        {"<renames a=\"1\" a=\"2\"/>", RenameTableProblem::Kind::NotWellFormed, "an attribute given twice", 15},
        {"<renames><x a=\"&#1;\"/></renames>", RenameTableProblem::Kind::NotWellFormed,
         "a character that XML does not allow", 15},
        // A bad character before a parse error further on is the fault reported, and the other way round.
        {"<renames>\x01</group>", RenameTableProblem::Kind::NotWellFormed, "a character that XML does not allow", 9},
        {"<renames></group>\x01", RenameTableProblem::Kind::NotWellFormed, "invalid closing tag name", 16},
        // Not well-formed wins over an entity; the first entity is named, without "&" and ";".
        {"<renames a=\"&nbsp;\"><x/></y></renames>", RenameTableProblem::Kind::NotWellFormed,
         "invalid closing tag name", 27},
        {"<!DOCTYPE renames [<!ENTITY g \"SGPset_\">]>\n<renames><group from=\"&g;A\" to=\"&h;\"/></renames>",
         RenameTableProblem::Kind::UnsupportedEntity, "g", 65},
    };
    for (const Case& c : cases) {
        const RenameTableReading reading = ParseRenameTable(c.text);
        ASSERT_EQ(reading.problems.size(), 1u) << c.text;
        const RenameTableProblem& problem = reading.problems[0];
        EXPECT_EQ(problem.kind, c.kind) << c.text;
        EXPECT_EQ(problem.detail, c.detail) << c.text;
        EXPECT_EQ(problem.byte, c.byte) << c.text;
        EXPECT_TRUE(problem.LeavesNoTable());
        EXPECT_TRUE(reading.table.IsEmpty());
    }
}

// The parser descends one call per level, so nesting is bounded before it runs; start tags in
// comments, values and CDATA do not count.
TEST(RenameTable, ElementsNestedTooDeepAreRefusedBeforeParsing)
{
    const auto nested = [](std::size_t levels, const std::string& inner) {
        std::string text;
        for (std::size_t level = 0; level < levels; ++level)
            text += level == 0 ? "<renames>" : "<a x='>'>";
        text += inner;
        for (std::size_t level = levels; level-- > 0;)
            text += level == 0 ? "</renames>" : "</a>";
        return text;
    };
    EXPECT_EQ(OutcomeOf(ParseRenameTable(nested(256, "<b/>"))), Outcome::Read);  // <a> is an unknown entry
    const RenameTableReading deep = ParseRenameTable(nested(257, ""));
    ASSERT_EQ(deep.problems.size(), 1u);
    EXPECT_EQ(deep.problems[0].detail, "elements nested deeper than the command reads");
    EXPECT_EQ(deep.problems[0].byte, 9 + 255 * 9);
    EXPECT_EQ(OutcomeOf(ParseRenameTable(nested(2, "<!-- <a><a> --><![CDATA[<a><a>]]><?pi <a> ?><b c=\"<a>\"/>"))),
              Outcome::NotWellFormed);  // for the "<" in the value, not for depth
    std::string hidden = "<renames><!-- ";
    for (int level = 0; level < 1000; ++level)
        hidden += "<a>";
    EXPECT_TRUE(ParseRenameTable(hidden + " --><![CDATA[" + hidden + "]]></renames>").problems.empty());
    // A text of nothing but start tags, deep enough to use up the stack: refused, not a crash.
    std::string flood;
    for (int level = 0; level < 1000000; ++level)
        flood += "<a>";
    EXPECT_EQ(ParseRenameTable(flood).problems.at(0).detail, "elements nested deeper than the command reads");
}

TEST(RenameTable, EntriesAreReadAsXmlMeansThemAndBadOnesAreSkipped)
{
    const RenameTableReading reading = ParseRenameTable(R"(<?xml version="1.0" encoding="utf-8"?>
<renames>
  <!-- 1 --><group from="SGPset_Column" to="SGPset_StructuralColumn"/>
  <!-- 2 --><property group="SGPset_Space" from="Width&#9;Tab" to="Width
Line"/>
  <!-- 3 --><alias from="SGPset_A" to="SGPset_C"/>
  <!-- 4 --><group from="SGPset_A" to="SGPset_B" to="SGPset_C"/>
  <!-- 5 --><property group="SGPset_Old" from="Width"/>
  <!-- 6 --><property group="SGPset_R&#xE4;ume" from="Fl&#228;che&amp;&lt;&#x1F3E0;" toGroup="SGPset_New" to="&quot;x&apos;"/>
  <!-- 7 --><group to="SGPset_X" from="SGPset_Y" from="SGPset_Z" note="a" note="b"/>
  text between <![CDATA[ and <group from="no" to="entry"/> ]]>
</renames>)");

    struct Expected {
        std::size_t number;
        bool isGroup;
        const char* group;
        const char* property;
        const char* newGroup;
        const char* newProperty;
    } const entries[] = {
        {1, true, "SGPset_Column", "", "SGPset_StructuralColumn", ""},
        // A tab by reference stays; a line end written as such is a blank, as XML normalises.
        {2, false, "SGPset_Space", "Width\tTab", "SGPset_Space", "Width Line"},
        {6, false, "SGPset_R\xC3\xA4ume", "Fl\xC3\xA4" "che&<\xF0\x9F\x8F\xA0", "SGPset_New", "\"x'"},
    };
    const std::vector<RenameTable::Entry>& read = reading.table.Entries();
    ASSERT_EQ(read.size(), std::size(entries));
    for (std::size_t at = 0; at < read.size(); ++at) {
        EXPECT_EQ(read[at].number, entries[at].number);
        EXPECT_EQ(read[at].isGroup, entries[at].isGroup);
        EXPECT_EQ(Utf8(read[at].group), entries[at].group);
        EXPECT_EQ(Utf8(read[at].property), entries[at].property);
        EXPECT_EQ(Utf8(read[at].newGroup), entries[at].newGroup);
        EXPECT_EQ(Utf8(read[at].newProperty), entries[at].newProperty);
    }

    using Kind = RenameTableProblem::Kind;
    struct ExpectedProblem {
        Kind kind;
        std::size_t entry;
        const char* element;
        const char* detail;
    } const problems[] = {
        {Kind::UnknownEntry, 3, "alias", ""},
        {Kind::DuplicateAttribute, 4, "group", "to"},
        {Kind::MissingAttribute, 5, "property", "to"},
        // The first name given again, in the order of the text.
        {Kind::DuplicateAttribute, 7, "group", "from"},
    };
    ASSERT_EQ(reading.problems.size(), std::size(problems));
    for (std::size_t at = 0; at < reading.problems.size(); ++at) {
        EXPECT_EQ(reading.problems[at].kind, problems[at].kind) << at;
        EXPECT_EQ(reading.problems[at].entry, problems[at].entry) << at;
        EXPECT_EQ(reading.problems[at].element, problems[at].element) << at;
        EXPECT_EQ(reading.problems[at].detail, problems[at].detail) << at;
        EXPECT_FALSE(reading.problems[at].LeavesNoTable());
    }
}

TEST(RenameTable, FilesThatAreMissingOrCannotBeRead)
{
    const Support::ScratchFolder folder;
    const std::filesystem::path table = folder.Path() / "config.renames.xml";

    // Nothing there: no table and nothing to say.
    RenameTableReading reading = ReadRenameTable(table);
    EXPECT_TRUE(reading.problems.empty());
    EXPECT_TRUE(reading.table.IsEmpty());

    // A table is read through a link.
    const std::filesystem::path target = folder.Write("target.xml", "<renames><group from=\"A\" to=\"B\"/></renames>");
    std::filesystem::create_symlink(target, table);
    EXPECT_EQ(ReadRenameTable(table).table.Entries().size(), 1u);
    std::filesystem::remove(table);

    struct Case {
        const char* what;
        void (*make)(const std::filesystem::path& table, const std::filesystem::path& folder);
        SystemError error;
    } const cases[] = {
        {"a folder", [](const auto& table, const auto&) { std::filesystem::create_directory(table); }, NotARegularFile},
        {"a link that leads nowhere",
         [](const auto& table, const auto& folder) { std::filesystem::create_symlink(folder / "gone.xml", table); },
         ENOENT},
        {"a link to itself", [](const auto& table, const auto&) { std::filesystem::create_symlink(table, table); },
         ELOOP},
    };
    for (const Case& c : cases) {
        c.make(table, folder.Path());
        reading = ReadRenameTable(table);
        ASSERT_EQ(reading.problems.size(), 1u) << c.what;
        EXPECT_EQ(reading.problems[0].kind, RenameTableProblem::Kind::Unreadable) << c.what;
        EXPECT_EQ(reading.problems[0].error, c.error) << c.what;
        EXPECT_TRUE(reading.table.IsEmpty()) << c.what;
        std::filesystem::remove(table);
    }
}
