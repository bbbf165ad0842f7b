// What the store reads for a project: one entry per element, the newest of several kept values of
// one property standing (the others superseded) whatever order the rows were written in and
// whichever of the project and an earlier version kept them, and what an earlier version left only
// for the project's own elements.
#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "Api/ApiRecords.hpp"
#include "Store/KeptStore.hpp"
#include "Support/Folders.hpp"
#include "Support/Store.hpp"

namespace {

using Quillmere::ValueBackup;
using Quillmere::ValueFate;

// Element GUIDs in the order of their texts; the project holds the first and the last.
const char* const First = "10000000-0000-0000-0000-000000000001";
const char* const Lacking = "20000000-0000-0000-0000-000000000002";
const char* const Last = "30000000-0000-0000-0000-000000000003";

const Quillmere::ProjectIdentity Project = "file:/projects/clinic.pln";

// A kept value as a row of the store: of the project, or of what an earlier version left.
struct Row {
    bool earlier;
    const char* element;
    const char* property;  // of SGPset_Wall
    int run;
};

struct Case {
    const char* name;
    std::vector<Row> rows;  // in the order they are written
    // The values read, sorted, each as "element's first digit, property, e(arlier version) or
    // p(roject) and run, fate"; and the number of element entries.
    std::vector<std::string> values;
    std::size_t entries;
};

// gtest names a failing case by its name.
void PrintTo(const Case& test, std::ostream* out)
{
    *out << test.name;
}

const std::vector<Case> Cases = {
    {"TheNewestOfThreeRunsOfOnePropertyStands",
     {{false, First, "FireRating", 3}, {false, First, "FireRating", 1}, {false, First, "FireRating", 2}},
     {"1 FireRating p1 superseded", "1 FireRating p2 superseded", "1 FireRating p3 pending"},
     1},
    {"ValuesOfOtherPropertiesAndElementsAllStand",
     {{false, Last, "FireRating", 1}, {false, First, "Thickness", 2}, {false, First, "FireRating", 1}},
     {"1 FireRating p1 pending", "1 Thickness p2 pending", "3 FireRating p1 pending"},
     2},
    {"AnEarlierVersionsValueNewerThanTheProjectsStands",
     {{false, First, "FireRating", 2}, {true, First, "FireRating", 5}},
     {"1 FireRating e5 pending", "1 FireRating p2 superseded"},
     1},
    {"TheProjectsValueNewerThanAnEarlierVersionsStands",
     {{true, First, "FireRating", 1}, {false, First, "FireRating", 4}},
     {"1 FireRating e1 superseded", "1 FireRating p4 pending"},
     1},
    {"AnEarlierVersionsValuesOfAnElementTheProjectLacksAreLeftOut",
     {{false, Last, "FireRating", 1}, {true, Lacking, "FireRating", 3}, {true, First, "Thickness", 3},
      {false, First, "FireRating", 1}, {true, Last, "FireRating", 3}},
     {"1 FireRating p1 pending", "1 Thickness e3 pending", "3 FireRating e3 pending", "3 FireRating p1 superseded"},
     2},
};

API_Guid Guid(const char* text)
{
    return GSGuid2APIGuid(GS::Guid(text));
}

// The tables of kept values as the first version of the store made them: one row per value.
constexpr const char* FirstLayout = R"(
CREATE TABLE project (id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE,
    lists_left_known INTEGER NOT NULL DEFAULT 1);
CREATE TABLE kept_value (
    project INTEGER NOT NULL, element TEXT NOT NULL, grp TEXT NOT NULL, property TEXT NOT NULL,
    run INTEGER NOT NULL, reason TEXT NOT NULL, value_type INTEGER NOT NULL, value TEXT NOT NULL,
    PRIMARY KEY (project, element, grp, property, run)) WITHOUT ROWID;
PRAGMA user_version = 1;
)";

// Writes the rows into a new store at `path` through the module's own connection, in the store's
// layout or in the first one (`firstLayout`), which the module then packs on opening.
void WriteRows(const Quillmere::SystemPath& path, const std::vector<Row>& rows, bool firstLayout)
{
    if (!firstLayout) {
        Quillmere::KeptStore store(path);
        ASSERT_FALSE(store.Open().has_value());
    }
    Quillmere::SqliteDatabase database;
    database.Open(path, 1000);
    if (firstLayout)
        database.Execute(FirstLayout);
    // Without an earlier version's row the store has no such project, and the read takes the
    // project's rows alone (another query than with one).
    const bool earlier = std::any_of(rows.begin(), rows.end(), [](const Row& row) { return row.earlier; });
    database.Execute("INSERT INTO project (id, identity) VALUES (1, '" + Project + "')" + (earlier ? ", (2, '')" : ""));
    for (const Row& row : rows) {
        const std::string project = row.earlier ? "2" : "1", text = (row.earlier ? "e" : "p") + std::to_string(row.run);
        const std::string run = std::to_string(row.run);
        // Values of one element, run and group share a row.
        database.Execute(firstLayout ? "INSERT INTO kept_value VALUES (" + project + ", '" + row.element + "', 'SGPset_Wall', '" +
                                           row.property + "', " + run + ", 'not defined', 1, '" + text + "')"
                                     : "INSERT INTO kept_value VALUES (" + project + ", '" + row.element + "', " + run +
                                           ", 'SGPset_Wall', 1, '" + Support::PackedValue(row.property, 1, "not defined", text) +
                                           "') ON CONFLICT DO UPDATE SET count = count + 1, packed = packed || excluded.packed");
    }
}

const char* FateText(ValueFate fate)
{
    return fate == ValueFate::Pending ? "pending" : fate == ValueFate::Superseded ? "superseded" : "other";
}

// Each case is written in the store's layout and in the first one.
class KeptStoreRead : public ::testing::TestWithParam<std::tuple<Case, bool>> {};

}  // namespace

TEST_P(KeptStoreRead, ReadsOneEntryPerElementWithTheNewestValueOfEachPropertyStanding)
{
    const auto& [test, firstLayout] = GetParam();
    const Support::ScratchFolder folder;
    const Quillmere::SystemPath path = folder.Path() / "store.sqlite";
    WriteRows(path, test.rows, firstLayout);
    Quillmere::KeptStore store(path);
    ASSERT_FALSE(store.Open().has_value());
    const Quillmere::ElementSet elements = {Guid(First), Guid(Last)};
    Quillmere::KeptData kept;
    ASSERT_FALSE(store.Read(Project, &elements, kept).has_value());

    std::vector<std::string> values;
    std::vector<std::string> elementsSeen;
    for (const ValueBackup::Entry& entry : kept.values.Entries()) {
        const std::string element = APIGuid2GSGuid(entry.element).ConvertToString().ToCStr().Get();
        elementsSeen.push_back(element);
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index) {
            const ValueBackup::Value& value = kept.values.Values()[index];
            const std::string text(value.text, value.textLength);
            EXPECT_EQ(kept.records[index].earlierVersion, text[0] == 'e') << text;
            EXPECT_EQ(std::to_string(kept.records[index].run), text.substr(1));
            values.push_back(element.substr(0, 1) + " " + std::string(kept.values.Keys()[value.key].property) + " " + text +
                             " " + FateText(kept.fates[index]));
        }
    }
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, test.values);
    // The restore finds an element's kept values through its one entry.
    EXPECT_EQ(kept.values.Entries().size(), test.entries);
    std::sort(elementsSeen.begin(), elementsSeen.end());
    EXPECT_EQ(std::adjacent_find(elementsSeen.begin(), elementsSeen.end()), elementsSeen.end()) << "an element in two entries";
}

INSTANTIATE_TEST_SUITE_P(Cases, KeptStoreRead, ::testing::Combine(::testing::ValuesIn(Cases), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Case, bool>>& info) {
                             return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_FirstLayout" : "");
                         });

// A row the add-on did not write in its packed form (a hand edit) makes the read fail with a reason
// that says so, and the row stays as it is.
TEST(KeptStoreReadRows, ARowNotInThePackedFormIsReportedAndLeftAlone)
{
    const Support::ScratchFolder folder;
    const Quillmere::SystemPath path = folder.Path() / "store.sqlite";
    WriteRows(path, {{false, First, "FireRating", 1}}, false);
    for (const char* packed : {"10:FireRating1:1", "10:FireRating1:x11:not defined2:p1", "99:FireRating"}) {
        SCOPED_TRACE(packed);
        {
            Quillmere::SqliteDatabase database;
            database.Open(path, 1000);
            database.Execute(std::string("UPDATE kept_value SET packed = '") + packed + "'");
        }
        Quillmere::KeptStore store(path);
        ASSERT_FALSE(store.Open().has_value());
        const Quillmere::ElementSet elements = {Guid(First)};
        Quillmere::KeptData kept;
        const std::optional<Quillmere::FileProblem> problem = store.Read(Project, &elements, kept);
        ASSERT_TRUE(problem.has_value());
        EXPECT_NE(problem->Detail().find("not in the form the add-on writes"), std::string::npos) << problem->Detail();
        EXPECT_TRUE(kept.Empty());
        EXPECT_EQ(Support::StoreRows(path, "SELECT packed FROM kept_value"), std::vector<std::string>{packed});
    }
}
