// The store of kept values as tables: what each write puts in and takes out, in one transaction
// that a failure leaves undone; each project's part apart from every other's, with what an earlier
// version left read beside it for the project's elements; failed writes staying kept; a damaged
// file set aside under a name of its own; a locked store waited for and never set aside.
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Common/ExactText.hpp"
#include "Store/KeptStore.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "Support/Store.hpp"
#include "Support/StoreLock.hpp"

namespace {

namespace fs = std::filesystem;
using Quillmere::ElementSet;
using Quillmere::ExpressionList;
using Quillmere::ExpressionListState;
using Quillmere::FileProblem;
using Quillmere::KeptAtRunEnd;
using Quillmere::KeptData;
using Quillmere::KeptExpressionList;
using Quillmere::KeptRecord;
using Quillmere::ProjectIdentity;
using Quillmere::PropertyName;
using Quillmere::PropertyState;
using Quillmere::PropertyStates;
using Quillmere::StateKey;
using Quillmere::ValueBackup;
using Quillmere::ValueFate;
using Store = Quillmere::KeptStore;

const char* const E1 = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
const char* const E2 = "3F2504E0-4F89-11D3-9A0C-0305E82C3302";
const char* const E3 = "3F2504E0-4F89-11D3-9A0C-0305E82C3303";

const ProjectIdentity ClinicA = "file:/projects/clinic.pln";
const ProjectIdentity ClinicB = "file:/projects/clinic copy.pln";

API_Guid Guid(const char* text)
{
    return GSGuid2APIGuid(GS::Guid(text));
}

// The GUID as the store writes it.
std::string GuidText(const API_Guid& guid)
{
    return APIGuid2GSGuid(guid).ConvertToString().ToCStr().Get();
}

ElementSet Elements(const std::vector<const char*>& guids)
{
    ElementSet elements;
    for (const char* guid : guids)
        elements.insert(Guid(guid));
    return elements;
}

struct Saved {
    const char* element;
    const char* group;
    const char* property;
    Int32 valueType;
    std::string text;
};

// The values as a run's backup holds them, one entry per element in the order given.
ValueBackup Backup(const std::vector<Saved>& values)
{
    ValueBackup backup;
    std::string open;
    for (const Saved& value : values) {
        if (open != value.element) {
            if (!open.empty())
                backup.EndEntry();
            backup.StartEntry(Guid(value.element));
            open = value.element;
        }
        backup.AddValue(backup.InternKey(value.group, value.property), value.valueType, 0, std::string_view(value.text));
    }
    if (!open.empty())
        backup.EndEntry();
    return backup;
}

ExpressionList Expressions(std::initializer_list<const char*> texts)
{
    ExpressionList list;
    for (const char* text : texts)
        list.Push(GS::UniString(text));
    return list;
}

// A list as a run saved it (its number comes with the write), or as an earlier version's history
// recorded it (with the run that saved it).
KeptExpressionList List(const char* group, const char* property, std::initializer_list<const char*> texts,
                        ValueFate reason = ValueFate::Pending, UInt32 run = 0)
{
    return KeptExpressionList{PropertyName{GS::UniString(group), GS::UniString(property)}, Expressions(texts),
                              KeptRecord{run, reason, run != 0}};
}

KeptAtRunEnd RunOf(const ProjectIdentity& project, const char* started = "2026-12-09 14:05")
{
    KeptAtRunEnd run;
    run.project = project;
    run.started = started;
    run.configuration = "/configurations/IFC-SG-2026.xml";
    return run;
}

const char* FateName(ValueFate fate)
{
    switch (fate) {
        case ValueFate::Pending: return "Pending";
        case ValueFate::BroughtBack: return "BroughtBack";
        case ValueFate::NotDefined: return "NotDefined";
        case ValueFate::NotWritten: return "NotWritten";
        case ValueFate::NotConvertible: return "NotConvertible";
        case ValueFate::GaveWay: return "GaveWay";
        case ValueFate::Changed: return "Changed";
        case ValueFate::Superseded: return "Superseded";
        case ValueFate::ElementGone: return "ElementGone";
        case ValueFate::AlreadyHeld: return "AlreadyHeld";
        case ValueFate::Occupied: return "Occupied";
    }
    return "?";
}

// What a read gave, one line per value and list: "E1 SGPset_Wall/FireRating 3:REI 60 run 1 not
// defined" (the reason by its fate's name), " earlier" for what an earlier version left.
std::vector<std::string> Describe(const KeptData& kept)
{
    const auto short_ = [](const API_Guid& guid) {
        for (const char* name : {E1, E2, E3})
            if (Guid(name) == guid)
                return std::string("E") + name[35];
        return GuidText(guid);
    };
    std::vector<std::string> lines;
    for (const ValueBackup::Entry& entry : kept.values.Entries())
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index) {
            const ValueBackup::Value& value = kept.values.Values()[index];
            const ValueBackup::Key& key = kept.values.Keys()[value.key];
            const KeptRecord& record = kept.records[index];
            lines.push_back(short_(entry.element) + " " + std::string(key.group) + "/" + std::string(key.property) + " " +
                            std::to_string(value.valueType) + ":" + std::string(value.text, value.textLength) + " run " +
                            std::to_string(record.run) + " " + FateName(record.reason) +
                            (record.earlierVersion ? " earlier" : "") +
                            (kept.fates[index] != ValueFate::Pending ? std::string(" ") + FateName(kept.fates[index]) : ""));
        }
    for (std::size_t index = 0; index < kept.lists.size(); ++index) {
        const KeptExpressionList& list = kept.lists[index];
        std::string line = "list " + Quillmere::ExactUtf8(list.name.group) + "/" + Quillmere::ExactUtf8(list.name.property) + " [";
        for (const GS::UniString& text : list.list)
            line += Quillmere::ExactUtf8(text) + ";";
        line += "] run " + std::to_string(list.record.run) + " " + FateName(list.record.reason) +
                (list.record.earlierVersion ? " earlier" : "") +
                (kept.listFates[index] != ValueFate::Pending ? std::string(" ") + FateName(kept.listFates[index]) : "");
        lines.push_back(line);
    }
    return lines;
}

// Where a kept value of `kept` is, by element and property; fails the test when it is not there.
UInt32 IndexOf(const KeptData& kept, const char* element, const std::string& property)
{
    for (const ValueBackup::Entry& entry : kept.values.Entries())
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index)
            if (entry.element == Guid(element) && kept.values.Keys()[kept.values.Values()[index].key].property == property)
                return index;
    ADD_FAILURE() << "no kept value of " << element << " " << property;
    return 0;
}

class KeptStore : public ::testing::Test {
protected:
    fs::path StorePath() const { return folder.Path() / "Quillmere" / "store.sqlite"; }

    std::unique_ptr<Store> OpenStore(int busyMilliseconds = Store::DefaultBusyMilliseconds)
    {
        auto store = std::make_unique<Store>(StorePath(), busyMilliseconds);
        const std::optional<FileProblem> problem = store->Open();
        EXPECT_EQ(problem, std::nullopt) << problem->Detail();
        return store;
    }

    KeptData Read(Store& store, const ProjectIdentity& project, const ElementSet* elements)
    {
        KeptData kept;
        const std::optional<FileProblem> problem = store.Read(project, elements, kept);
        EXPECT_EQ(problem, std::nullopt) << problem->Detail();
        return kept;
    }

    std::vector<std::string> Rows(const std::string& sql) const { return Support::StoreRows(StorePath(), sql); }

    // The kept values, "project|element|group|property|run|reason|type|value", by project identity.
    // The view that unpacks them for people looking inside gives the same.
    std::vector<std::string> Values() const
    {
        const std::vector<std::string> values = Support::KeptValues(StorePath());
        std::vector<std::string> viewed = Rows(
            "SELECT p.identity, v.element, v.grp, v.property, v.run, v.reason, v.value_type, v.value "
            "FROM kept_value_each v LEFT JOIN project p ON p.id = v.project");
        std::sort(viewed.begin(), viewed.end(), [](const std::string& a, const std::string& b) {
            return Support::KeptValueColumns(a) < Support::KeptValueColumns(b);
        });
        EXPECT_EQ(viewed, values) << "as kept_value_each shows them";
        return values;
    }

    // The kept lists, "project|group|property|run|reason|expressions" (each "position:text;").
    std::vector<std::string> Lists() const
    {
        return Rows("SELECT p.identity, l.grp, l.property, l.run, l.reason, "
                    "  (SELECT group_concat(e.position || ':' || e.text || ';', '') FROM "
                    "    (SELECT * FROM kept_expression e WHERE e.project = l.project AND e.grp = l.grp AND "
                    "     e.property = l.property AND e.run = l.run ORDER BY e.position) e) "
                    "FROM kept_list l JOIN project p ON p.id = l.project ORDER BY 1, 2, 3, 4");
    }

    // Every row of every table, "table: row", to compare the whole store.
    std::vector<std::string> Everything() const
    {
        std::vector<std::string> everything;
        for (const char* table : {"project", "run", "kept_value", "kept_element", "left_property", "kept_list",
                                  "kept_expression", "left_definition"})
            for (const std::string& row : Rows(std::string("SELECT * FROM ") + table))
                everything.push_back(std::string(table) + ": " + row);
        std::sort(everything.begin(), everything.end());
        return everything;
    }

    // Runs `sql` on the store through a connection of its own, as a user with the sqlite3 shell.
    void Execute(const std::string& sql) const
    {
        sqlite3* database = nullptr;
        ASSERT_EQ(sqlite3_open_v2(StorePath().c_str(), &database, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        char* message = nullptr;
        const int code = sqlite3_exec(database, sql.c_str(), nullptr, nullptr, &message);
        EXPECT_EQ(code, SQLITE_OK) << (message != nullptr ? message : "");
        sqlite3_free(message);
        sqlite3_close(database);
    }

    // The files beside the store, but for the store itself.
    std::vector<std::string> FilesBeside() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(StorePath().parent_path()))
            if (entry.path() != StorePath())
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Every file and folder under `root`, relative, sorted.
    static std::vector<std::string> Listing(const fs::path& root)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            names.push_back(fs::relative(entry.path(), root).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The rows of every table that belong to `project`, "table: row".
    std::vector<std::string> PartOf(const ProjectIdentity& project) const
    {
        std::vector<std::string> part;
        const std::string id = "(SELECT id FROM project WHERE identity = '" + project + "')";
        for (const char* table : {"kept_value", "kept_element", "left_property", "kept_list", "kept_expression",
                                  "left_definition"})
            for (const std::string& row : Rows(std::string("SELECT * FROM ") + table + " WHERE project = " + id))
                part.push_back(std::string(table) + ": " + row);
        for (const std::string& row : Rows("SELECT * FROM run WHERE project = " + id))
            part.push_back("run: " + row);
        std::sort(part.begin(), part.end());
        return part;
    }

    // One run of ClinicA that kept three values of two elements, one list, and what it left.
    void KeepForClinicA(Store& store)
    {
        const ValueBackup own = Backup({{E1, "SGPset_Wall", "FireRating", 3, "REI 60"},
                                        {E1, "SGPset_Wall", "Thickness", 2, "0.2"},
                                        {E2, "SGPset_Door", "ClearWidth", 2, "0.9"}});
        const std::vector<ValueFate> fates(3, ValueFate::NotDefined);
        const KeptData read;
        KeptAtRunEnd run = RunOf(ClinicA);
        run.ownLists = {List("SGPset_Door", "ClearWidth", {"{Door.Width} - 0.05"}, ValueFate::NotDefined)};
        run.left[Guid(E1)] = PropertyStates{{StateKey("SGPset_Wall", "FireRating"), PropertyState{}}};
        run.left[Guid(E2)] = std::nullopt;
        run.listsLeft = PropertyStates{{StateKey("SGPset_Wall", "Thickness"), PropertyState{}}};
        ASSERT_EQ(store.WriteRunEnd(run, read, &own, &fates), std::nullopt);
    }

    // The end of ClinicA's next run, which left E1 and E2 without owned properties.
    static KeptAtRunEnd NextRunOfClinicA()
    {
        KeptAtRunEnd next = RunOf(ClinicA, "2026-12-10 09:00");
        next.left[Guid(E1)] = PropertyStates();
        next.left[Guid(E2)] = PropertyStates();
        next.listsLeft = PropertyStates();
        return next;
    }

    Support::ScratchFolder folder;
};

}  // namespace

TEST_F(KeptStore, TheWriteBeforeTheRemovalHoldsAllThatWasSavedAndTheEndTakesOutWhatCameBack)
{
    const std::unique_ptr<Store> store = OpenStore();
    const ValueBackup own = Backup({{E1, "SGPset_Wall", "FireRating", 3, "REI 60"},
                                    {E1, "SGPset_Wall", "Thickness", 2, "0.2"},
                                    {E2, "SGPset_Door", "ClearWidth", 2, "0.9"}});
    KeptAtRunEnd run = RunOf(ClinicA);
    run.ownLists = {List("SGPset_Door", "ClearWidth", {"{Door.Width} - 0.05"}),
                    List("SGPset_Wall", "Thickness", {"{Wall.Width}", "{Wall.Width} * 2"})};
    ASSERT_EQ(store->WriteSaved(run, &own), std::nullopt);

    // Before the removal: everything the run saved, numbered as the store's first run.
    EXPECT_EQ(run.run, 1u);
    const std::vector<KeptExpressionList> lists = run.ownLists;
    EXPECT_EQ(lists[0].record.run, 1u);
    EXPECT_EQ(lists[1].record.run, 1u);
    const std::string e1 = GuidText(Guid(E1)), e2 = GuidText(Guid(E2));
    EXPECT_EQ(Values(), (std::vector<std::string>{
                            ClinicA + "|" + e1 + "|SGPset_Wall|FireRating|1|not brought back yet|3|REI 60",
                            ClinicA + "|" + e1 + "|SGPset_Wall|Thickness|1|not brought back yet|2|0.2",
                            ClinicA + "|" + e2 + "|SGPset_Door|ClearWidth|1|not brought back yet|2|0.9"}));
    EXPECT_EQ(Lists(), (std::vector<std::string>{
                           ClinicA + "|SGPset_Door|ClearWidth|1|not brought back yet|0:{Door.Width} - 0.05;",
                           ClinicA + "|SGPset_Wall|Thickness|1|not brought back yet|0:{Wall.Width};1:{Wall.Width} * 2;"}));
    EXPECT_EQ(Rows("SELECT number, started, configuration FROM run"),
              std::vector<std::string>{"1|2026-12-09 14:05|/configurations/IFC-SG-2026.xml"});

    // The end: the wall's rating and the door's list came back, the rest did not.
    const KeptData read;
    const std::vector<ValueFate> fates = {ValueFate::BroughtBack, ValueFate::NotDefined, ValueFate::NotConvertible};
    run.ownLists = {lists[1]};
    run.ownLists[0].record.reason = ValueFate::NotDefined;
    run.ownValuesWritten = run.ownListsWritten = true;
    const PropertyStates wallLeft = {{StateKey("SGPset_Wall", "FireRating"), PropertyState{"String:REI 60", true}},
                                     {StateKey("SGPset_Wall", "Thickness"), PropertyState{std::nullopt, false}}};
    run.left[Guid(E1)] = wallLeft;
    run.left[Guid(E2)] = std::nullopt;
    const PropertyStates listsLeft = {
        {StateKey("SGPset_Door", "ClearWidth"), PropertyState{ExpressionListState(true, lists[0].list), true}},
        {StateKey("SGPset_Wall", "Thickness"), PropertyState{std::nullopt, false}}};
    run.listsLeft = listsLeft;
    ASSERT_EQ(store->WriteRunEnd(run, read, &own, &fates), std::nullopt);
    EXPECT_EQ(run.run, 1u);
    EXPECT_EQ(Values(), (std::vector<std::string>{ClinicA + "|" + e1 + "|SGPset_Wall|Thickness|1|not defined|2|0.2",
                                                  ClinicA + "|" + e2 + "|SGPset_Door|ClearWidth|1|not convertible|2|0.9"}));
    EXPECT_EQ(Lists(), std::vector<std::string>{
                           ClinicA + "|SGPset_Wall|Thickness|1|not defined|0:{Wall.Width};1:{Wall.Width} * 2;"});
    EXPECT_EQ(Rows("SELECT number FROM run"), std::vector<std::string>{"1"});

    // The next run reads it all back, with what this one left.
    const std::unique_ptr<Store> next = OpenStore();
    const ElementSet elements = Elements({E1, E2, E3});
    const KeptData kept = Read(*next, ClinicA, &elements);
    EXPECT_EQ(Describe(kept), (std::vector<std::string>{
                                  "E1 SGPset_Wall/Thickness 2:0.2 run 1 NotDefined",
                                  "E2 SGPset_Door/ClearWidth 2:0.9 run 1 NotConvertible",
                                  "list SGPset_Wall/Thickness [{Wall.Width};{Wall.Width} * 2;] run 1 NotDefined"}));
    ASSERT_EQ(kept.left.size(), 2u);
    EXPECT_EQ(kept.left.at(Guid(E1)), wallLeft);
    EXPECT_EQ(kept.left.at(Guid(E2)), std::nullopt);
    EXPECT_EQ(kept.listsLeft, listsLeft);
    EXPECT_EQ(kept.started.at(1), "2026-12-09 14:05");

    // A run numbers itself above every run the store knows.
    KeptAtRunEnd later = RunOf(ClinicB);
    ASSERT_EQ(next->WriteSaved(later, &own), std::nullopt);
    EXPECT_EQ(later.run, 2u);
}

TEST_F(KeptStore, AFailingWriteLeavesTheStoreAsItWas)
{
    // Each write fails part way, at the first row it puts into (or takes out of) a table, which a
    // trigger refuses; its earlier statements in the same transaction had changed the store.
    struct Case {
        const char* what;
        const char* trigger;
        std::function<std::optional<FileProblem>(Store&)> write;
    };
    const auto savedForClinicB = [](Store& store) {
        const ValueBackup own = Backup({{E3, "SGPset_Wall", "FireRating", 3, "REI 90"}});
        KeptAtRunEnd run = RunOf(ClinicB);
        run.ownLists = {List("SGPset_Wall", "Thickness", {"{Wall.Width}"})};
        return store.WriteSaved(run, &own);
    };
    // ClinicA's kept values come back, its list ends, and the run keeps a value of its own.
    const auto endOfClinicA = [](Store& store) {
        KeptData kept;
        const ElementSet elements = Elements({E1, E2});
        if (std::optional<FileProblem> problem = store.Read(ClinicA, &elements, kept))
            return problem;
        std::fill(kept.fates.begin(), kept.fates.end(), ValueFate::BroughtBack);
        std::fill(kept.listFates.begin(), kept.listFates.end(), ValueFate::Changed);
        const ValueBackup own = Backup({{E1, "SGPset_Door", "FireExit", 4, "1"}});
        const std::vector<ValueFate> fates = {ValueFate::NotDefined};
        KeptAtRunEnd run = RunOf(ClinicA);
        run.left[Guid(E1)] = PropertyStates();
        run.listsLeft = PropertyStates{{StateKey("SGPset_Wall", "Thickness"), PropertyState{}}};
        return store.WriteRunEnd(run, kept, &own, &fates);
    };
    // Everything of ClinicA comes back: its project's row goes last of all.
    const auto allBackForClinicA = [](Store& store) {
        KeptData kept;
        const ElementSet elements = Elements({E1, E2});
        if (std::optional<FileProblem> problem = store.Read(ClinicA, &elements, kept))
            return problem;
        std::fill(kept.fates.begin(), kept.fates.end(), ValueFate::BroughtBack);
        std::fill(kept.listFates.begin(), kept.listFates.end(), ValueFate::BroughtBack);
        KeptAtRunEnd run = RunOf(ClinicA);
        return store.WriteRunEnd(run, kept);
    };
    const auto earlierVersion = [](Store& store) {
        std::vector<std::pair<UInt32, ValueBackup>> values;
        values.emplace_back(7, Backup({{E2, "SGPset_Door", "FireExit", 4, "0"}}));
        const std::vector<KeptExpressionList> lists = {List("SGPset_Door", "FireExit", {"true"}, ValueFate::NotDefined, 7)};
        return store.WriteEarlierVersion(values, lists, {{7, "2025-03-01 09:00"}});
    };
    const Case cases[] = {
        {"the write before the removal, at its first expression", "BEFORE INSERT ON kept_expression", savedForClinicB},
        {"the end of a run, at what it left of the definitions", "BEFORE INSERT ON left_definition", endOfClinicA},
        {"the end of a run, at its last step", "BEFORE DELETE ON project", allBackForClinicA},
        {"an earlier version's files, at their first list", "BEFORE INSERT ON kept_list", earlierVersion},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        fs::remove_all(StorePath().parent_path());
        const std::unique_ptr<Store> store = OpenStore();
        KeepForClinicA(*store);
        const std::vector<std::string> before = Everything();
        ASSERT_FALSE(before.empty());
        Execute(std::string("CREATE TRIGGER refuse ") + row.trigger + " BEGIN SELECT RAISE(ABORT, 'refused by the test'); END");

        const std::optional<FileProblem> problem = row.write(*store);
        ASSERT_NE(problem, std::nullopt);
        EXPECT_NE(problem->Detail().find("refused by the test"), std::string::npos) << problem->Detail();
        Execute("DROP TRIGGER refuse");
        EXPECT_EQ(Everything(), before);
        EXPECT_TRUE(store->SetAside().empty());
        EXPECT_EQ(FilesBeside(), std::vector<std::string>{});

        // Nothing of the failed transaction stays open: the same write on the same connection
        // succeeds now.
        EXPECT_EQ(row.write(*store), std::nullopt);
        EXPECT_NE(Everything(), before);
    }
}

TEST_F(KeptStore, EachProjectSeesItsOwnRowsOnly)
{
    // Three projects keep a value of the same element and property, and a list of the same
    // definition, each its own; each left something else there.
    const std::vector<ProjectIdentity> projects = {ClinicA, ClinicB, "anchor:" + GuidText(Guid(E1))};
    const ElementSet elements = Elements({E1});
    {
        const std::unique_ptr<Store> store = OpenStore();
        for (std::size_t index = 0; index < projects.size(); ++index) {
            const std::string number = std::to_string(index);
            const ValueBackup own = Backup({{E1, "SGPset_Wall", "FireRating", 3, "REI " + number}});
            const std::vector<ValueFate> fates = {ValueFate::NotDefined};
            const KeptData read = Read(*store, projects[index], &elements);
            EXPECT_TRUE(read.Empty()) << projects[index];
            KeptAtRunEnd run = RunOf(projects[index]);
            run.ownLists = {List("SGPset_Door", "ClearWidth", {"{Door.Width}"}, ValueFate::NotDefined)};
            run.ownLists[0].list.Push(GS::UniString(number.c_str()));
            run.left[Guid(E1)] = PropertyStates{{StateKey("SGPset_Wall", "Thickness"), PropertyState{"Real:" + number, false}}};
            run.listsLeft = PropertyStates{{StateKey("SGPset_Door", "Width"), PropertyState{number, false}}};
            ASSERT_EQ(store->WriteRunEnd(run, read, &own, &fates), std::nullopt);
            EXPECT_EQ(run.run, index + 1);
        }
    }
    const std::unique_ptr<Store> store = OpenStore();
    std::vector<std::vector<std::string>> parts;
    for (std::size_t index = 0; index < projects.size(); ++index) {
        const std::string number = std::to_string(index), run = std::to_string(index + 1);
        const KeptData kept = Read(*store, projects[index], &elements);
        EXPECT_EQ(Describe(kept), (std::vector<std::string>{"E1 SGPset_Wall/FireRating 3:REI " + number + " run " + run + " NotDefined",
                                                            "list SGPset_Door/ClearWidth [{Door.Width};" + number + ";] run " + run +
                                                                " NotDefined"}))
            << projects[index];
        EXPECT_EQ(kept.left.at(Guid(E1)),
                  (PropertyStates{{StateKey("SGPset_Wall", "Thickness"), PropertyState{"Real:" + number, false}}}));
        EXPECT_EQ(kept.listsLeft, (PropertyStates{{StateKey("SGPset_Door", "Width"), PropertyState{number, false}}}));
        parts.push_back(PartOf(projects[index]));
        EXPECT_FALSE(parts.back().empty());
    }

    // Everything of the first comes back: its rows go, and the others' stay as they were.
    KeptData kept = Read(*store, projects[0], &elements);
    std::fill(kept.fates.begin(), kept.fates.end(), ValueFate::BroughtBack);
    std::fill(kept.listFates.begin(), kept.listFates.end(), ValueFate::BroughtBack);
    KeptAtRunEnd run = RunOf(projects[0]);
    ASSERT_EQ(store->WriteRunEnd(run, kept), std::nullopt);
    EXPECT_TRUE(Read(*store, projects[0], &elements).Empty());
    EXPECT_EQ(Rows("SELECT identity FROM project ORDER BY id"), (std::vector<std::string>{projects[1], projects[2]}));
    EXPECT_EQ(PartOf(projects[0]), std::vector<std::string>{});
    for (std::size_t index = 1; index < projects.size(); ++index)
        EXPECT_EQ(PartOf(projects[index]), parts[index]) << projects[index];
    // Nothing is left behind under the first one's number.
    for (const char* table : {"run", "kept_value", "kept_element", "left_property", "kept_list", "kept_expression",
                              "left_definition"})
        EXPECT_EQ(Rows(std::string("SELECT count(*) FROM ") + table + " WHERE project NOT IN (SELECT id FROM project)"),
                  std::vector<std::string>{"0"})
            << table;
}

TEST_F(KeptStore, WhatAnEarlierVersionLeftIsReadWithEveryProjectForItsElementsOnly)
{
    std::vector<std::pair<UInt32, ValueBackup>> values;
    values.emplace_back(1, Backup({{E1, "SGPset_Door", "FireExit", 4, "1"}, {E2, "SGPset_Door", "FireExit", 4, "0"}}));
    values.emplace_back(2, Backup({{E1, "SGPset_Door", "ClearWidth", 2, "0.85"}}));
    const std::vector<KeptExpressionList> lists = {
        List("SGPset_Door", "ClearWidth", {"{Door.Width} - 0.05"}, ValueFate::NotDefined, 1)};
    const std::map<UInt32, std::string> started = {{1, "2025-01-10 08:00"}, {2, "2025-02-10 08:00"}};
    {
        const std::unique_ptr<Store> store = OpenStore();
        ASSERT_EQ(store->WriteEarlierVersion(values, lists, started), std::nullopt);
        // Taken twice (their files could not be renamed): each row once.
        const std::vector<std::string> once = Everything();
        ASSERT_EQ(store->WriteEarlierVersion(values, lists, started), std::nullopt);
        EXPECT_EQ(Everything(), once);
    }
    EXPECT_EQ(Rows("SELECT identity FROM project"), std::vector<std::string>{""});

    const std::unique_ptr<Store> store = OpenStore();
    bool holds = false;
    ASSERT_EQ(store->HoldsAnything(holds), std::nullopt);
    EXPECT_TRUE(holds);
    // Only the values of the project's elements (older runs first); the lists for any project; what
    // was left unknown.
    const ElementSet clinicA = Elements({E1, E3});
    KeptData kept = Read(*store, ClinicA, &clinicA);
    EXPECT_EQ(Describe(kept), (std::vector<std::string>{
                                  "E1 SGPset_Door/FireExit 4:1 run 1 NotDefined earlier",
                                  "E1 SGPset_Door/ClearWidth 2:0.85 run 2 NotDefined earlier",
                                  "list SGPset_Door/ClearWidth [{Door.Width} - 0.05;] run 1 NotDefined earlier"}));
    EXPECT_EQ(kept.left.at(Guid(E1)), std::nullopt);
    EXPECT_EQ(kept.started, started);
    EXPECT_EQ(Describe(Read(*store, ClinicA, nullptr)),
              std::vector<std::string>{"list SGPset_Door/ClearWidth [{Door.Width} - 0.05;] run 1 NotDefined earlier"});
    const ElementSet clinicB = Elements({E2});
    EXPECT_EQ(Describe(Read(*store, ClinicB, &clinicB)),
              (std::vector<std::string>{"E2 SGPset_Door/FireExit 4:0 run 1 NotDefined earlier",
                                        "list SGPset_Door/ClearWidth [{Door.Width} - 0.05;] run 1 NotDefined earlier"}));

    // ClinicA's run: the width came back, the exit waits, the list waits. What waits of its
    // elements is its own from now on; the rest stays for any project.
    kept.fates[IndexOf(kept, E1, "ClearWidth")] = ValueFate::BroughtBack;
    KeptAtRunEnd run = RunOf(ClinicA);
    run.left[Guid(E1)] = PropertyStates{{StateKey("SGPset_Door", "FireExit"), PropertyState{}}};
    ASSERT_EQ(store->WriteRunEnd(run, kept), std::nullopt);
    const std::string e1 = GuidText(Guid(E1)), e2 = GuidText(Guid(E2));
    EXPECT_EQ(Values(), (std::vector<std::string>{"|" + e2 + "|SGPset_Door|FireExit|1|not defined|4|0",
                                                  ClinicA + "|" + e1 + "|SGPset_Door|FireExit|1|not defined|4|1"}));
    EXPECT_EQ(Lists(), std::vector<std::string>{"|SGPset_Door|ClearWidth|1|not defined|0:{Door.Width} - 0.05;"});
    const ElementSet both = Elements({E1, E2});
    EXPECT_EQ(Describe(Read(*store, ClinicB, &both)),
              (std::vector<std::string>{"E2 SGPset_Door/FireExit 4:0 run 1 NotDefined earlier",
                                        "list SGPset_Door/ClearWidth [{Door.Width} - 0.05;] run 1 NotDefined earlier"}));
    const ElementSet onlyE1 = Elements({E1});
    const KeptData again = Read(*store, ClinicA, &onlyE1);
    EXPECT_EQ(Describe(again), (std::vector<std::string>{
                                   "E1 SGPset_Door/FireExit 4:1 run 1 NotDefined",
                                   "list SGPset_Door/ClearWidth [{Door.Width} - 0.05;] run 1 NotDefined earlier"}));
    EXPECT_EQ(again.left.at(Guid(E1)), (PropertyStates{{StateKey("SGPset_Door", "FireExit"), PropertyState{}}}));
    EXPECT_EQ(again.started.at(1), "2025-01-10 08:00");

    // Taken in once more (the files could not be renamed): the exit ClinicA made its own comes
    // once, and the copy leaves at the end without a word (it is no newer value).
    ASSERT_EQ(store->WriteEarlierVersion(values, lists, started), std::nullopt);
    KeptData twice = Read(*store, ClinicA, &onlyE1);
    std::vector<std::string> exits;
    for (const std::string& line : Describe(twice))
        if (line.find("FireExit") != std::string::npos)
            exits.push_back(line);
    EXPECT_EQ(exits, (std::vector<std::string>{"E1 SGPset_Door/FireExit 4:1 run 1 NotDefined",
                                               "E1 SGPset_Door/FireExit 4:1 run 1 NotDefined earlier AlreadyHeld"}));
    KeptAtRunEnd third = RunOf(ClinicA);
    third.left[Guid(E1)] = PropertyStates{{StateKey("SGPset_Door", "FireExit"), PropertyState{}}};
    ASSERT_EQ(store->WriteRunEnd(third, twice), std::nullopt);
    std::vector<std::string> fireExit;
    for (const std::string& value : Values())
        if (const std::vector<std::string> columns = Support::KeptValueColumns(value); columns[1] == e1 && columns[3] == "FireExit")
            fireExit.push_back(columns[0] + "|" + columns[7]);
    EXPECT_EQ(fireExit, std::vector<std::string>{ClinicA + "|1"});
}

TEST_F(KeptStore, AProjectWithoutAFileIsKnownByAnAnchorAmongItsElements)
{
    // The least GUID in the order of the texts, whatever order the elements come in: by each part
    // as a hexadecimal number, the last two parts byte by byte.
    const std::vector<std::pair<std::vector<const char*>, const char*>> least = {
        {{}, ""},
        {{"10000000-0000-0000-0000-000000000000", "0FFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"}, "0FFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"},
        {{"00000000-0100-0000-0000-000000000000", "00000000-00FF-FFFF-0000-000000000000"}, "00000000-00FF-FFFF-0000-000000000000"},
        {{"00000000-0000-0100-0000-000000000000", "00000000-0000-00FF-FFFF-000000000000"}, "00000000-0000-00FF-FFFF-000000000000"},
        {{"00000000-0000-0000-0100-000000000000", "00000000-0000-0000-00FF-FFFFFFFFFFFF"}, "00000000-0000-0000-00FF-FFFFFFFFFFFF"},
        {{"00000000-0000-0000-0000-010000000000", "00000000-0000-0000-0000-00FFFFFFFFFF"}, "00000000-0000-0000-0000-00FFFFFFFFFF"},
        {{"00000000-0000-0000-0000-000000000002", "00000000-0000-0000-0000-000000000001"}, "00000000-0000-0000-0000-000000000001"},
        {{E3, E1, E2}, E1},
    };
    for (const auto& [elements, expected] : least) {
        GS::Array<API_Guid> forwards, backwards;
        for (const char* element : elements)
            forwards.Push(Guid(element));
        for (auto element = elements.rbegin(); element != elements.rend(); ++element)
            backwards.Push(Guid(*element));
        const std::string anchor = *expected == '\0' ? "anchor:" : "anchor:" + GuidText(Guid(expected));
        EXPECT_EQ(Quillmere::NewAnchor(forwards), anchor);
        EXPECT_EQ(Quillmere::NewAnchor(backwards), anchor);
    }

    // The store knows the anchors of two projects without a file, E3's first: a project is the
    // first of them whose element it holds; one that holds none takes a new anchor.
    const std::unique_ptr<Store> store = OpenStore();
    for (const char* anchor : {E3, E2}) {
        const ValueBackup own = Backup({{anchor, "SGPset_Wall", "FireRating", 3, "REI 60"}});
        const std::vector<ValueFate> fates = {ValueFate::NotDefined};
        const KeptData read;
        KeptAtRunEnd run = RunOf("anchor:" + GuidText(Guid(anchor)));
        ASSERT_EQ(store->WriteRunEnd(run, read, &own, &fates), std::nullopt);
    }
    // A project with a file that names an element is no anchor.
    {
        const ValueBackup own = Backup({{E1, "SGPset_Wall", "FireRating", 3, "REI 60"}});
        const std::vector<ValueFate> fates = {ValueFate::NotDefined};
        const KeptData read;
        KeptAtRunEnd run = RunOf("file:" + GuidText(Guid(E1)));
        ASSERT_EQ(store->WriteRunEnd(run, read, &own, &fates), std::nullopt);
    }
    const std::vector<std::pair<std::vector<const char*>, const char*>> anchors = {
        {{E1, E2, E3}, E3},
        {{E2, E3}, E3},
        {{E1, E2}, E2},
        {{E1}, E1},
        {{"00000000-0000-0000-0000-0000000000FF", E1}, "00000000-0000-0000-0000-0000000000FF"},
    };
    for (const auto& [elements, expected] : anchors) {
        ProjectIdentity identity = "left over";
        ASSERT_EQ(store->AnchorIdentity(Elements(elements), identity), std::nullopt);
        EXPECT_EQ(identity, "anchor:" + GuidText(Guid(expected))) << elements.size();
    }
    ProjectIdentity identity;
    ASSERT_EQ(store->AnchorIdentity(ElementSet(), identity), std::nullopt);
    EXPECT_EQ(identity, "anchor:");
}

TEST_F(KeptStore, AKeptValueOrListWhoseWriteFailedStaysAndTheOthersGo)
{
    struct Case {
        ValueFate fate;
        std::optional<const char*> reasonAfter;  // nothing: it leaves the store
    };
    const Case cases[] = {
        {ValueFate::Pending, "not convertible"},  // nothing more was learnt: the reason stays
        {ValueFate::NotDefined, "not defined"},
        {ValueFate::NotWritten, "not written"},
        {ValueFate::NotConvertible, "not convertible"},
        {ValueFate::GaveWay, "gave way"},
        {ValueFate::BroughtBack, std::nullopt},
        {ValueFate::Changed, std::nullopt},
        {ValueFate::Superseded, std::nullopt},
        {ValueFate::ElementGone, std::nullopt},
        {ValueFate::AlreadyHeld, std::nullopt},
        {ValueFate::Occupied, "target holds a value"},
    };
    const auto property = [](const Case& row) { return std::string("P") + FateName(row.fate); };
    const std::unique_ptr<Store> store = OpenStore();
    // An earlier version's values of E2 and its lists of SGPset_Door, run 5; then ClinicA's run 6
    // kept values of E1 and lists of SGPset_Wall that did not convert.
    std::vector<Saved> earlierValues, ownValues;
    std::vector<KeptExpressionList> earlierLists;
    KeptAtRunEnd first = RunOf(ClinicA);
    for (const Case& row : cases) {
        earlierValues.push_back({E2, "SGPset_Door", nullptr, 3, "door " + property(row)});
        ownValues.push_back({E1, "SGPset_Wall", nullptr, 3, "wall " + property(row)});
        earlierLists.push_back(List("SGPset_Door", "", {"door"}, ValueFate::NotDefined, 5));
        first.ownLists.push_back(List("SGPset_Wall", "", {"wall"}, ValueFate::NotConvertible));
    }
    std::vector<std::string> names;
    for (const Case& row : cases)
        names.push_back(property(row));
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        earlierValues[index].property = ownValues[index].property = names[index].c_str();
        earlierLists[index].name.property = first.ownLists[index].name.property = GS::UniString(names[index].c_str());
    }
    std::vector<std::pair<UInt32, ValueBackup>> earlier;
    earlier.emplace_back(5, Backup(earlierValues));
    ASSERT_EQ(store->WriteEarlierVersion(earlier, earlierLists, {{5, "2025-05-05 05:05"}}), std::nullopt);
    const ValueBackup own = Backup(ownValues);
    const std::vector<ValueFate> ownFates(std::size(cases), ValueFate::NotConvertible);
    const KeptData none;
    first.left[Guid(E1)] = PropertyStates();
    first.listsLeft = PropertyStates();
    ASSERT_EQ(store->WriteRunEnd(first, none, &own, &ownFates), std::nullopt);
    ASSERT_EQ(first.run, 6u);

    // The next run of ClinicA: each kept value and list meets its fate.
    const ElementSet elements = Elements({E1, E2});
    KeptData kept = Read(*store, ClinicA, &elements);
    ASSERT_EQ(kept.values.ValueCount(), 2 * std::size(cases));
    ASSERT_EQ(kept.lists.size(), 2 * std::size(cases));
    for (const Case& row : cases) {
        kept.fates[IndexOf(kept, E1, property(row))] = row.fate;
        kept.fates[IndexOf(kept, E2, property(row))] = row.fate;
        for (std::size_t index = 0; index < kept.lists.size(); ++index)
            if (Quillmere::ExactUtf8(kept.lists[index].name.property) == property(row))
                kept.listFates[index] = row.fate;
    }
    KeptAtRunEnd next = NextRunOfClinicA();
    ASSERT_EQ(store->WriteRunEnd(next, kept), std::nullopt);

    // What stays keeps its value and its run, with the reason this run learnt; an earlier version's
    // value that stays is the project's now, its list stays for any project.
    std::vector<std::string> values, lists;
    const std::string e1 = GuidText(Guid(E1)), e2 = GuidText(Guid(E2));
    for (const Case& row : cases) {
        if (!row.reasonAfter)
            continue;
        const std::string name = property(row), reason = *row.reasonAfter;
        const std::string earlierReason = row.fate == ValueFate::Pending ? "not defined" : reason;
        values.push_back(ClinicA + "|" + e1 + "|SGPset_Wall|" + name + "|6|" + reason + "|3|wall " + name);
        values.push_back(ClinicA + "|" + e2 + "|SGPset_Door|" + name + "|5|" + earlierReason + "|3|door " + name);
        lists.push_back("|SGPset_Door|" + name + "|5|" + earlierReason + "|0:door;");
        lists.push_back(ClinicA + "|SGPset_Wall|" + name + "|6|" + reason + "|0:wall;");
    }
    std::vector<std::string> valuesNow = Values(), listsNow = Lists();
    for (std::vector<std::string>* rows : {&values, &lists, &valuesNow, &listsNow})
        std::sort(rows->begin(), rows->end());
    EXPECT_EQ(valuesNow, values);
    EXPECT_EQ(listsNow, lists);
}

// The rows of a run whose kept values all came back go, but a row another host instance changed
// between this run's read and its write stays as that instance left it: its values that came back
// then end quietly in the next run, which finds them held.
TEST_F(KeptStore, RowsWhoseValuesAllCameBackGoButNoRowAnotherInstanceChangedMeanwhile)
{
    struct Case {
        std::string meanwhile;                 // what the other instance did, in SQL
        std::vector<std::string> valuesAfter;  // "project|element|property|run" of what stays
    };
    const std::string e1 = ClinicA + "|" + GuidText(Guid(E1)), annex = "file:/projects/annex.pln|";
    const Case cases[] = {
        {"", {}},
        {"UPDATE kept_value SET count = count + 1, packed = packed || '" +
             Support::PackedValue("Added", 3, "not defined", "x") + "' WHERE packed LIKE '%FireRating%'",
         {e1 + "|Added|1", e1 + "|FireRating|1", e1 + "|Thickness|1"}},
        {"DELETE FROM kept_value WHERE packed LIKE '%Thickness%'", {}},
        // Another instance may change only the reasons of a run's values (a run's texts are only
        // ever its own saved ones): those values came back, and the run still goes whole.
        {"UPDATE kept_value SET packed = replace(packed, 'not defined', 'not written')", {}},
        // Another project's rows are no business of this run's.
        {"INSERT INTO project (identity) VALUES ('file:/projects/annex.pln');"
         "INSERT INTO kept_value SELECT (SELECT max(id) FROM project), element, run, grp, count, packed FROM kept_value",
         {annex + GuidText(Guid(E1)) + "|FireRating|1", annex + GuidText(Guid(E1)) + "|Thickness|1",
          annex + GuidText(Guid(E2)) + "|ClearWidth|1"}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.meanwhile);
        fs::remove_all(StorePath().parent_path());
        const std::unique_ptr<Store> store = OpenStore();
        KeepForClinicA(*store);
        const ElementSet elements = Elements({E1, E2});
        KeptData kept = Read(*store, ClinicA, &elements);
        ASSERT_EQ(kept.values.ValueCount(), 3u);
        Execute(row.meanwhile);
        std::fill(kept.fates.begin(), kept.fates.end(), ValueFate::BroughtBack);
        KeptAtRunEnd next = NextRunOfClinicA();
        ASSERT_EQ(store->WriteRunEnd(next, kept), std::nullopt);
        std::vector<std::string> after;
        for (const std::string& value : Values()) {
            const std::vector<std::string> columns = Support::KeptValueColumns(value);
            after.push_back(columns[0] + "|" + columns[1] + "|" + columns[3] + "|" + columns[4]);
        }
        EXPECT_EQ(after, row.valuesAfter);
    }
}

// A row some of whose values came back is rewritten with those that stay, under their new reasons,
// unless another host instance changed it since the read: then it stays as that instance left it.
TEST_F(KeptStore, ARowPartlyBroughtBackIsRewrittenUnlessAnotherInstanceChangedIt)
{
    const std::string e1 = ClinicA + "|" + GuidText(Guid(E1)) + "|SGPset_Wall|";
    for (const bool changedMeanwhile : {false, true}) {
        SCOPED_TRACE(changedMeanwhile);
        fs::remove_all(StorePath().parent_path());
        const std::unique_ptr<Store> store = OpenStore();
        KeepForClinicA(*store);
        // A second group of the wall, kept by the same run: a row of its own.
        Execute("INSERT INTO kept_value SELECT project, element, run, 'SGPset_Door', 1, '" +
                Support::PackedValue("FireExit", 4, "not defined", "1") + "' FROM kept_value WHERE packed LIKE '%FireRating%'");
        const ElementSet elements = Elements({E1, E2});
        KeptData kept = Read(*store, ClinicA, &elements);
        if (changedMeanwhile)
            Execute("UPDATE kept_value SET count = count + 1, packed = packed || '" +
                    Support::PackedValue("Added", 3, "not defined", "x") + "' WHERE packed LIKE '%FireRating%'");
        std::fill(kept.fates.begin(), kept.fates.end(), ValueFate::NotWritten);
        kept.fates[IndexOf(kept, E1, "FireRating")] = ValueFate::BroughtBack;
        KeptAtRunEnd next = NextRunOfClinicA();
        ASSERT_EQ(store->WriteRunEnd(next, kept), std::nullopt);
        std::vector<std::string> wall;
        for (const std::string& value : Values())
            if (value.rfind(e1, 0) == 0)
                wall.push_back(value.substr(e1.size()));
        const std::vector<std::string> expected =
            changedMeanwhile ? std::vector<std::string>{"Added|1|not defined|3|x", "FireRating|1|not defined|3|REI 60",
                                                        "Thickness|1|not defined|2|0.2"}
                             : std::vector<std::string>{"Thickness|1|not written|2|0.2"};
        EXPECT_EQ(wall, expected);
        const std::string door = ClinicA + "|" + GuidText(Guid(E1)) + "|SGPset_Door|FireExit|1|not written|4|1";
        const std::vector<std::string> values = Values();
        EXPECT_EQ(std::count(values.begin(), values.end(), door), 1) << ::testing::PrintToString(values);
    }
}

TEST_F(KeptStore, TheRunsOwnValuesStayUnlessTheyCameBackOrAKeptOneCameBackOverThem)
{
    const std::pair<ValueFate, std::optional<const char*>> cases[] = {
        {ValueFate::NotDefined, "not defined"},       {ValueFate::NotWritten, "not written"},
        {ValueFate::NotConvertible, "not convertible"}, {ValueFate::GaveWay, "gave way"},
        {ValueFate::BroughtBack, std::nullopt},       {ValueFate::Superseded, std::nullopt},
    };
    for (const bool writtenBefore : {false, true}) {
        SCOPED_TRACE(writtenBefore ? "values written before the removal" : "values written at the end only");
        fs::remove_all(StorePath().parent_path());
        const std::unique_ptr<Store> store = OpenStore();
        std::vector<Saved> saved;
        std::vector<ValueFate> fates;
        std::vector<std::string> expected;
        for (const auto& [fate, reason] : cases) {
            const std::string name = std::string("P") + FateName(fate);
            saved.push_back({E1, "SGPset_Wall", nullptr, 2, "0.25"});
            fates.push_back(fate);
            if (reason)
                expected.push_back(ClinicA + "|" + GuidText(Guid(E1)) + "|SGPset_Wall|" + name + "|1|" + *reason + "|2|0.25");
        }
        std::vector<std::string> names;
        for (const auto& [fate, reason] : cases)
            names.push_back(std::string("P") + FateName(fate));
        for (std::size_t index = 0; index < saved.size(); ++index)
            saved[index].property = names[index].c_str();
        const ValueBackup own = Backup(saved);
        KeptAtRunEnd run = RunOf(ClinicA);
        if (writtenBefore) {
            ASSERT_EQ(store->WriteSaved(run, &own), std::nullopt);
            run.ownValuesWritten = true;
        }
        const KeptData none;
        run.left[Guid(E1)] = PropertyStates();
        ASSERT_EQ(store->WriteRunEnd(run, none, &own, &fates), std::nullopt);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Values(), expected);
    }
}

TEST_F(KeptStore, ADamagedStoreIsSetAsideAndANewOneBegun)
{
    // A real store of some size, to cut short and to overwrite in part.
    std::string real;
    {
        const std::unique_ptr<Store> store = OpenStore();
        std::vector<Saved> many;
        for (int index = 0; index < 400; ++index)
            many.push_back({index % 2 == 0 ? E1 : E2, "SGPset_Wall", nullptr, 3, std::string(200, static_cast<char>('a' + index % 26))});
        std::vector<std::string> names;
        for (int index = 0; index < 400; ++index)
            names.push_back("Property" + std::to_string(index));
        for (std::size_t index = 0; index < many.size(); ++index)
            many[index].property = names[index].c_str();
        std::sort(many.begin(), many.end(), [](const Saved& a, const Saved& b) { return std::string(a.element) < b.element; });
        const ValueBackup own = Backup(many);
        const std::vector<ValueFate> fates(many.size(), ValueFate::NotDefined);
        const KeptData none;
        KeptAtRunEnd run = RunOf(ClinicA);
        ASSERT_EQ(store->WriteRunEnd(run, none, &own, &fates), std::nullopt);
    }
    real = Support::ReadBytes(StorePath());
    ASSERT_GT(real.size(), 40000u);
    std::string garbage(8192, '\0');
    for (std::size_t index = 0; index < garbage.size(); ++index)
        garbage[index] = static_cast<char>(index * 131 % 251);
    std::string overwritten = real;
    std::fill(overwritten.begin() + 4096, overwritten.begin() + 3 * 4096, '\x5A');

    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"bytes of no database", garbage},
        {"a text", "not a database\n"},
        {"a store cut short in the middle of a page", real.substr(0, real.size() / 2 + 100)},
        {"a store cut short after its first page", real.substr(0, 4096)},
        {"a store with pages overwritten", overwritten},
    };
    const std::regex asideName(R"(store\.damaged-\d{8}-\d{6}(-\d+)?\.sqlite)");
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        fs::remove_all(StorePath().parent_path());
        fs::create_directories(StorePath().parent_path());
        Support::WriteBytes(StorePath(), row.bytes);

        // Whichever step meets the damage, the run sees an empty store and can keep in it.
        Store store(StorePath());
        ASSERT_EQ(store.Open(), std::nullopt);
        bool holds = true;
        ASSERT_EQ(store.HoldsAnything(holds), std::nullopt);
        const ElementSet elements = Elements({E1, E2});
        KeptData kept;
        ASSERT_EQ(store.Read(ClinicA, &elements, kept), std::nullopt);
        EXPECT_TRUE(kept.Empty());
        const ValueBackup own = Backup({{E1, "SGPset_Wall", "FireRating", 3, "REI 60"}});
        KeptAtRunEnd run = RunOf(ClinicA);
        ASSERT_EQ(store.WriteSaved(run, &own), std::nullopt);
        EXPECT_EQ(Support::KeptValueCount(StorePath()), 1u);

        const std::vector<std::string> beside = FilesBeside();
        ASSERT_EQ(beside.size(), 1u);
        EXPECT_TRUE(std::regex_match(beside[0], asideName)) << beside[0];
        EXPECT_EQ(store.SetAside(), StorePath().parent_path() / beside[0]);
        EXPECT_EQ(Support::ReadBytes(store.SetAside()), row.bytes);

        // Damaged again, in the same second or later: set aside under another name; the first
        // stays as it was.
        Support::WriteBytes(StorePath(), garbage);
        Store again(StorePath());
        ASSERT_EQ(again.Open(), std::nullopt);
        ASSERT_FALSE(again.SetAside().empty());
        EXPECT_NE(again.SetAside(), store.SetAside());
        EXPECT_EQ(Support::ReadBytes(store.SetAside()), row.bytes);
        EXPECT_EQ(Support::ReadBytes(again.SetAside()), garbage);
        EXPECT_EQ(FilesBeside().size(), 2u);
    }
}

TEST_F(KeptStore, ALockedStoreIsWaitedForAndThenReportedButNeverSetAside)
{
    using Support::StoreLock;
    enum class Step { Open, Read, WriteSaved, WriteRunEnd };
    struct Case {
        const char* what;
        StoreLock::Kind lock;
        Step step;
    };
    const Case cases[] = {
        {"opening, while another reads and writes alone", StoreLock::Kind::Exclusive, Step::Open},
        {"reading, while another reads and writes alone", StoreLock::Kind::Exclusive, Step::Read},
        {"writing before the removal, while another writes", StoreLock::Kind::Write, Step::WriteSaved},
        {"writing at the end, while another writes", StoreLock::Kind::Write, Step::WriteRunEnd},
        {"writing at the end, while another reads and writes alone", StoreLock::Kind::Exclusive, Step::WriteRunEnd},
    };
    const ElementSet elements = Elements({E1, E2});
    const auto take = [&elements](Store& store, Step step) -> std::optional<FileProblem> {
        KeptData kept;
        KeptAtRunEnd run = RunOf(ClinicA);
        const ValueBackup own = Backup({{E3, "SGPset_Wall", "FireRating", 3, "REI 90"}});
        const std::vector<ValueFate> fates = {ValueFate::NotDefined};
        switch (step) {
            case Step::Open: return store.Open();
            case Step::Read:
                if (std::optional<FileProblem> problem = store.Read(ClinicA, &elements, kept))
                    return problem;
                return kept.values.ValueCount() == 3 ? std::nullopt : std::optional<FileProblem>(FileProblem{{}, 0, "read nothing"});
            case Step::WriteSaved: return store.WriteSaved(run, &own);
            case Step::WriteRunEnd:
                return store.WriteRunEnd(run, kept, &own, &fates);
        }
        return std::nullopt;
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        for (const bool releasedInTime : {true, false}) {
            SCOPED_TRACE(releasedInTime ? "released during the wait" : "held beyond the wait");
            fs::remove_all(StorePath().parent_path());
            KeepForClinicA(*OpenStore());
            const std::vector<std::string> before = Everything();
            const std::string bytes = Support::ReadBytes(StorePath());

            Store store(StorePath(), releasedInTime ? Store::DefaultBusyMilliseconds : 300);
            if (row.step != Step::Open) {
                ASSERT_EQ(store.Open(), std::nullopt);
            }
            StoreLock lock(StorePath(), row.lock);
            if (releasedInTime)
                lock.ReleaseAfter(std::chrono::milliseconds(500));
            const std::optional<FileProblem> problem = take(store, row.step);
            lock.Release();
            if (releasedInTime) {
                EXPECT_EQ(problem, std::nullopt) << problem->Detail();
            } else {
                ASSERT_NE(problem, std::nullopt);
                EXPECT_EQ(problem->Detail(), "database is locked");
                EXPECT_EQ(problem->path, StorePath());
                EXPECT_EQ(Support::ReadBytes(StorePath()), bytes);
            }
            EXPECT_TRUE(store.SetAside().empty());
            EXPECT_EQ(FilesBeside(), std::vector<std::string>{});
            const bool wrote = releasedInTime && (row.step == Step::WriteSaved || row.step == Step::WriteRunEnd);
            EXPECT_EQ(Everything() == before, !wrote);
        }
    }
}

TEST_F(KeptStore, AStoreThatCannotBeOpenedIsReportedAndNeverSetAside)
{
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
    };
    const Case cases[] = {
        {"a folder in its place", [](const fs::path& store) { fs::create_directories(store / "inside"); }},
        {"a named pipe in its place",
         [](const fs::path& store) {
             fs::create_directories(store.parent_path());
             ASSERT_EQ(::mkfifo(store.c_str(), 0600), 0);
         }},
        {"a file in place of its folder",
         [](const fs::path& store) {
             fs::create_directories(store.parent_path().parent_path());
             Support::WriteBytes(store.parent_path(), "not a folder");
         }},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        fs::remove_all(StorePath().parent_path());
        row.make(StorePath());
        const std::vector<std::string> before = Listing(folder.Path());
        Store store(StorePath());
        const std::optional<FileProblem> problem = store.Open();
        ASSERT_NE(problem, std::nullopt);
        EXPECT_EQ(problem->path, StorePath());
        EXPECT_TRUE(store.SetAside().empty());
        EXPECT_EQ(Listing(folder.Path()), before);
    }
}

TEST_F(KeptStore, ListsReadBackNewestRunFirstEachWithItsExpressionsInOrder)
{
    const std::unique_ptr<Store> store = OpenStore();
    // Run 1 keeps a list of three expressions and an empty one; run 2, which brings neither back,
    // keeps a list of the first name again; an earlier version's files held that name too.
    const KeptData none;
    KeptAtRunEnd first = RunOf(ClinicA);
    first.ownLists = {List("SGPset_Door", "ClearWidth", {"{Door.Width} - 0.05", "{Door.Width}", "0.9"}, ValueFate::NotDefined),
                      List("SGPset_Wall", "Thickness", {}, ValueFate::NotDefined)};
    first.listsLeft = PropertyStates();
    ASSERT_EQ(store->WriteRunEnd(first, none), std::nullopt);
    const KeptData read = Read(*store, ClinicA, nullptr);
    KeptAtRunEnd second = NextRunOfClinicA();
    second.ownLists = {List("SGPset_Door", "ClearWidth", {"{Door.Width} - 0.1"}, ValueFate::GaveWay)};
    ASSERT_EQ(store->WriteRunEnd(second, read), std::nullopt);
    ASSERT_EQ(store->WriteEarlierVersion({}, {List("SGPset_Door", "ClearWidth", {"1.0"}, ValueFate::NotDefined, 7)},
                                         {{7, "2025-03-01 09:00"}}),
              std::nullopt);

    // The project's lists first, a name's newest run before the runs it supersedes; the earlier
    // version's list of the same name is not superseded by the project's.
    const std::vector<std::string> earlier = {"list SGPset_Door/ClearWidth [1.0;] run 7 NotDefined earlier"};
    std::vector<std::string> expected = {
        "list SGPset_Door/ClearWidth [{Door.Width} - 0.1;] run 2 GaveWay",
        "list SGPset_Door/ClearWidth [{Door.Width} - 0.05;{Door.Width};0.9;] run 1 NotDefined Superseded",
        "list SGPset_Wall/Thickness [] run 1 NotDefined"};
    expected.insert(expected.end(), earlier.begin(), earlier.end());
    EXPECT_EQ(Describe(Read(*store, ClinicA, nullptr)), expected);
    EXPECT_EQ(Describe(Read(*store, ClinicB, nullptr)), earlier);
}

// Opening a store that has its tables reads its first page and begins no transaction: only work
// runs in one. Every statement SQLite runs is traced on each connection it opens.
namespace {

std::vector<std::string> traced;

int TraceStatements(sqlite3* database, char**, const sqlite3_api_routines*)
{
    const auto note = [](unsigned, void*, void*, void* sql) {
        traced.emplace_back(static_cast<const char*>(sql));
        return 0;
    };
    return sqlite3_trace_v2(database, SQLITE_TRACE_STMT, note, nullptr);
}

}  // namespace

TEST_F(KeptStore, OpeningAStoreBeginsNoTransaction)
{
    OpenStore();
    traced.clear();
    const auto entry = reinterpret_cast<void (*)()>(&TraceStatements);
    ASSERT_EQ(sqlite3_auto_extension(entry), SQLITE_OK);
    Store store(StorePath());
    const std::optional<FileProblem> opened = store.Open();
    const std::vector<std::string> opening = traced;
    bool holds = true;
    const std::optional<FileProblem> read = store.HoldsAnything(holds);
    sqlite3_cancel_auto_extension(entry);
    ASSERT_EQ(opened, std::nullopt);
    ASSERT_EQ(read, std::nullopt);
    EXPECT_FALSE(holds);
    const auto begins = [](const std::vector<std::string>& statements) {
        return std::count_if(statements.begin(), statements.end(),
                             [](const std::string& sql) { return sql.rfind("BEGIN", 0) == 0 || sql.rfind("COMMIT", 0) == 0; });
    };
    EXPECT_NE(std::find(opening.begin(), opening.end(), "SELECT count(*) FROM sqlite_master;"), opening.end())
        << ::testing::PrintToString(opening);
    EXPECT_EQ(begins(opening), 0) << ::testing::PrintToString(opening);
    EXPECT_EQ(begins(traced), 2) << "the read's BEGIN and COMMIT: " << ::testing::PrintToString(traced);
}

// An earlier version's row whose values that stay were to move into the project's row of the same
// element, run and group stays where it is when another host instance wrote that row since the
// read: made it (where the project had none) or changed it.
TEST_F(KeptStore, AnEarlierVersionsValuesStayWhenAnotherInstanceWroteTheProjectsRowMeanwhile)
{
    const std::string e1 = GuidText(Guid(E1));
    const std::string earlierWidth = "|" + e1 + "|SGPset_Wall|Width|1|not defined|2|0.3";
    const std::string project = "(SELECT id FROM project WHERE identity = '" + ClinicA + "')";
    const std::string added = Support::PackedValue("Added", 3, "not defined", "x");
    for (const bool projectHadRow : {false, true}) {
        SCOPED_TRACE(projectHadRow ? "the project's row changed" : "the project's row made");
        fs::remove_all(StorePath().parent_path());
        const std::unique_ptr<Store> store = OpenStore();
        if (projectHadRow)
            KeepForClinicA(*store);  // run 1: E1's SGPset_Wall row of FireRating and Thickness
        std::vector<std::pair<UInt32, ValueBackup>> values;
        values.emplace_back(1, Backup({{E1, "SGPset_Wall", "Width", 2, "0.3"}}));
        ASSERT_EQ(store->WriteEarlierVersion(values, {}, {{1, "2025-01-10 08:00"}}), std::nullopt);
        const ElementSet elements = Elements({E1, E2});
        KeptData kept = Read(*store, ClinicA, &elements);
        ASSERT_EQ(kept.values.ValueCount(), projectHadRow ? 4u : 1u);
        if (projectHadRow)
            Execute("UPDATE kept_value SET count = count + 1, packed = packed || '" + added + "' WHERE project = " + project +
                    " AND grp = 'SGPset_Wall'");
        else
            Execute("INSERT INTO project (identity) VALUES ('" + ClinicA + "'); INSERT INTO kept_value VALUES (" + project +
                    ", '" + e1 + "', 1, 'SGPset_Wall', 1, '" + added + "')");
        std::fill(kept.fates.begin(), kept.fates.end(), ValueFate::NotWritten);
        if (projectHadRow)
            kept.fates[IndexOf(kept, E1, "FireRating")] = ValueFate::BroughtBack;
        KeptAtRunEnd next = NextRunOfClinicA();
        ASSERT_EQ(store->WriteRunEnd(next, kept), std::nullopt);
        const std::vector<std::string> after = Values();
        EXPECT_NE(std::find(after.begin(), after.end(), earlierWidth), after.end()) << ::testing::PrintToString(after);
        EXPECT_NE(std::find(after.begin(), after.end(), ClinicA + "|" + e1 + "|SGPset_Wall|Added|1|not defined|3|x"),
                  after.end());
    }
}

// The project's kept values of an element it no longer holds are read ended; those of an earlier
// version for such an element are not read at all.
TEST_F(KeptStore, KeptValuesOfAnElementTheProjectNoLongerHoldsAreReadEnded)
{
    const std::unique_ptr<Store> store = OpenStore();
    KeepForClinicA(*store);
    std::vector<std::pair<UInt32, ValueBackup>> values;
    values.emplace_back(1, Backup({{E2, "SGPset_Door", "FireExit", 4, "1"}}));
    ASSERT_EQ(store->WriteEarlierVersion(values, {}, {{1, "2025-01-10 08:00"}}), std::nullopt);
    const ElementSet onlyE1 = Elements({E1});
    EXPECT_EQ(Describe(Read(*store, ClinicA, &onlyE1)),
              (std::vector<std::string>{"E1 SGPset_Wall/FireRating 3:REI 60 run 1 NotDefined",
                                        "E1 SGPset_Wall/Thickness 2:0.2 run 1 NotDefined",
                                        "E2 SGPset_Door/ClearWidth 2:0.9 run 1 NotDefined ElementGone",
                                        "list SGPset_Door/ClearWidth [{Door.Width} - 0.05;] run 1 NotDefined"}));
}
