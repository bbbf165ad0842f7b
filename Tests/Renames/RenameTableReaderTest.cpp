// Reading a rename table's file: entries as XML means them, bad entries skipped, and for a text
// that is no table the one problem that says what and where; expat's memory from the platform
// allocator.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "GSRoot/MemoryManager.hpp"
#include "Renames/RenameTableReader.hpp"
#include "Support/Folders.hpp"
#include "Support/Memory.hpp"

using namespace Quillmere;
using namespace std::string_literals;

namespace {

std::string Utf8(const GS::UniString& text)
{
    return text.ToCStr().Get();
}

}  // namespace

TEST(RenameTableReader, EntriesAreReadAsXmlMeansThemAndBadOnesAreSkipped)
{
    const RenameTableReading reading = ParseRenameTable("\xEF\xBB\xBF" R"(<?xml version="1.0" encoding="utf-8"?>
<?editor keep?>
<renames>
  <!-- 1 --><group from="SGPset_Column" to="SGPset_StructuralColumn"/>
  <!-- 2 --><property group="SGPset_Space" from="Width&#9;Tab" to="Width
Line"/>
  <!-- 3 --><alias from="SGPset_A" to="SGPset_C"/>
  <!-- 4 --><property group="SGPset_Old" from="Width"/>
  <!-- 5 --><property group="SGPset_R&#xE4;ume" from="Fl&#228;che&amp;&lt;&#x1F3E0;" toGroup="SGPset_New" to="&quot;x&apos;"/>
  <!-- 6 --><group to="SGPset_X"><group from="inner" to="not an entry"/></group>
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
        {5, false, "SGPset_R\xC3\xA4ume", "Fl\xC3\xA4" "che&<\xF0\x9F\x8F\xA0", "SGPset_New", "\"x'"},
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

    struct Skipped {
        std::size_t number;
        const char* element;
        const char* missing;
    } const skipped[] = {
        {3, "alias", ""},
        {4, "property", "to"},
        {6, "group", "from"},
    };
    EXPECT_FALSE(reading.problem.has_value());
    ASSERT_EQ(reading.skipped.size(), std::size(skipped));
    for (std::size_t at = 0; at < reading.skipped.size(); ++at) {
        EXPECT_EQ(reading.skipped[at].number, skipped[at].number) << at;
        EXPECT_EQ(reading.skipped[at].element, skipped[at].element) << at;
        EXPECT_EQ(reading.skipped[at].missing, skipped[at].missing) << at;
    }
}

// A text that is no table gets one problem: the first in the text, with expat's reason for what is
// not well-formed, and its line and byte.
TEST(RenameTableReader, TextsThatAreNoTableGiveOneProblemThatSaysWhatAndWhere)
{
    struct Case {
        std::string text;
        std::string detail;  // as the problem's line tells it
    } const cases[] = {
        {"<renames>\n<group from=\"a\" to=\"b\"></property>", "mismatched tag at line 2, byte 35"},
        {"<renames/>\n<renames/>", "junk after document element at line 2, byte 11"},
        {"", "no element found at line 1, byte 0"},
        {"<?xml version=\"1.0\"?>\n<!-- nothing -->\n", "no element found at line 3, byte 39"},
        // An attribute given twice, on an entry too: the whole table is not well-formed.
        {"<renames>\n  <group from=\"a\" to=\"b\" to=\"c\"/>\n</renames>", "duplicate attribute at line 2, byte 35"},
        {"<renames><x a=\"&#1;\"/></renames>", "reference to invalid character number at line 1, byte 15"},
        {"<renames>a & b</renames>", "not well-formed (invalid token) at line 1, byte 12"},
        {"<renames>\0</renames>"s, "not well-formed (invalid token) at line 1, byte 9"},
        {"<renames>\xFF</renames>", "not well-formed (invalid token) at line 1, byte 9"},
        // Read as UTF-8 whatever the declaration says.
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<renames a=\"\xE9\"/>", "not well-formed (invalid token) at line 2, byte 56"},
        // A document type declaration is refused by its name before anything in it is read.
        {"<?xml version=\"1.0\"?>\n<!-- c -->\n<!DOCTYPE renames [<!ENTITY g \"SGPset_\">]>\n<renames><group from=\"&g;A\" "
         "to=\"B\"/></renames>",
         "a document type declaration \"renames\" at line 3, byte 33"},
        {"<!DOCTYPE renames SYSTEM \"renames.dtd\"><renames/>", "a document type declaration \"renames\" at line 1, byte 0"},
        // An entity, in text or in an attribute on a later line of its tag, by its name.
        {"<renames>&nbsp;</renames>", "the undefined entity \"&nbsp;\" at line 1, byte 9"},
        {"<renames>\n<group from=\"&amp;&#65;&lt;\"\n  to=\"&old;\"/></renames>", "the undefined entity \"&old;\" at line 3, byte 45"},
        // The first problem in the text is the one told.
        {"<renames a=\"1\"></y>&nbsp;", "mismatched tag at line 1, byte 17"},
        {"<renames>&nbsp;</y>", "the undefined entity \"&nbsp;\" at line 1, byte 9"},
        // Another root is told only of a text that is otherwise fine.
        {"<tables><group from=\"a\" to=\"b\"/></tables>", "no \"renames\" root element"},
        {"<tables></renames>", "mismatched tag at line 1, byte 10"},
    };
    for (const Case& c : cases) {
        const RenameTableReading reading = ParseRenameTable(c.text);
        ASSERT_TRUE(reading.problem.has_value()) << c.text;
        EXPECT_EQ(reading.problem->Detail(), c.detail) << c.text;
        EXPECT_EQ(reading.problem->error, 0) << c.text;
        EXPECT_TRUE(reading.skipped.empty()) << c.text;
        EXPECT_TRUE(reading.table.IsEmpty()) << c.text;
    }
}

// expat keeps open elements on the heap, not the stack: a text of nothing but start tags is not
// well-formed, not a crash.
TEST(RenameTableReader, ElementsNestedAsDeepAsATextAllowsAreNoCrash)
{
    std::string flood;
    for (int level = 0; level < 200000; ++level)
        flood += "<a>";
    const RenameTableReading reading = ParseRenameTable(flood);
    ASSERT_TRUE(reading.problem.has_value());
    EXPECT_EQ(reading.problem->reason, "no element found");
}

// Every allocation expat makes comes from the platform allocator, as the module's do; one that
// fails ends the reading with std::bad_alloc, and nothing is left behind. The long name makes
// expat grow its buffers.
TEST(RenameTableReader, ExpatsMemoryIsThePlatformsAndRunningOutThrows)
{
    const std::string name(70000, 'n');
    const std::string table = "<renames><group from=\"" + name + "\" to=\"B\"/></renames>";
    const std::size_t before = GS::MemoryManager::AllocationCount();
    ParseRenameTable("<renames/>");
    EXPECT_GT(GS::MemoryManager::AllocationCount(), before);  // only expat allocates for this text
    EXPECT_EQ(Utf8(ParseRenameTable(table).table.Entries().at(0).group), name);

    const std::size_t blocks = GS::MemoryManager::LiveBlocks();
    const std::size_t start = GS::MemoryManager::AllocationCount();
    ParseRenameTable(table);
    const std::size_t allocations = GS::MemoryManager::AllocationCount() - start;
    for (const bool andLater : {false, true}) {
        for (std::size_t nth = 1; nth <= allocations; ++nth) {
            const Support::FailingAllocation failing(nth, andLater);
            EXPECT_THROW(ParseRenameTable(table), std::bad_alloc) << nth << (andLater ? " and later" : "");
        }
        EXPECT_EQ(GS::MemoryManager::LiveBlocks(), blocks);
    }
}

TEST(RenameTableReader, FilesThatAreMissingOrCannotBeRead)
{
    const Support::ScratchFolder folder;
    const std::filesystem::path table = folder.Path() / "config.renames.xml";
    EXPECT_EQ(RenameTablePathBeside(folder.Path() / "config.xml"), table);
    EXPECT_EQ(RenameTablePathBeside(folder.Path() / "config"), table);

    // Nothing there: no table and nothing to say.
    RenameTableReading reading = ReadRenameTable(table);
    EXPECT_FALSE(reading.problem.has_value());
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
        ASSERT_TRUE(reading.problem.has_value()) << c.what;
        EXPECT_EQ(reading.problem->Detail(), "system error " + std::to_string(c.error)) << c.what;
        EXPECT_EQ(reading.problem->path, table) << c.what;
        EXPECT_TRUE(reading.table.IsEmpty()) << c.what;
        std::filesystem::remove(table);
    }
}
