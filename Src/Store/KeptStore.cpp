#include "KeptStore.hpp"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "Common/ExactText.hpp"

namespace Quillmere {

namespace {

constexpr const char* Schema = R"(
CREATE TABLE IF NOT EXISTS project (
    id INTEGER PRIMARY KEY,
    identity TEXT NOT NULL UNIQUE,
    lists_left_known INTEGER NOT NULL DEFAULT 1);
CREATE TABLE IF NOT EXISTS run (
    number INTEGER PRIMARY KEY,
    project INTEGER NOT NULL,
    started TEXT NOT NULL,
    configuration TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS kept_value (
    project INTEGER NOT NULL, element TEXT NOT NULL, grp TEXT NOT NULL, property TEXT NOT NULL,
    run INTEGER NOT NULL, reason TEXT NOT NULL, value_type INTEGER NOT NULL, value TEXT NOT NULL,
    PRIMARY KEY (project, element, grp, property, run)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS kept_element (
    project INTEGER NOT NULL, element TEXT NOT NULL, left_known INTEGER NOT NULL,
    PRIMARY KEY (project, element)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS left_property (
    project INTEGER NOT NULL, element TEXT NOT NULL, grp TEXT NOT NULL, property TEXT NOT NULL,
    state TEXT, written INTEGER NOT NULL,
    PRIMARY KEY (project, element, grp, property)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS kept_list (
    project INTEGER NOT NULL, grp TEXT NOT NULL, property TEXT NOT NULL, run INTEGER NOT NULL, reason TEXT NOT NULL,
    PRIMARY KEY (project, grp, property, run)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS kept_expression (
    project INTEGER NOT NULL, grp TEXT NOT NULL, property TEXT NOT NULL, run INTEGER NOT NULL,
    position INTEGER NOT NULL, text TEXT NOT NULL,
    PRIMARY KEY (project, grp, property, run, position)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS left_definition (
    project INTEGER NOT NULL, grp TEXT NOT NULL, property TEXT NOT NULL, state TEXT, written INTEGER NOT NULL,
    PRIMARY KEY (project, grp, property)) WITHOUT ROWID;
)";
constexpr std::int64_t SchemaVersion = 1;

// The reasons as the store writes them, so that a look inside reads plainly.
struct ReasonName {
    ValueFate fate;
    const char* name;
};
constexpr ReasonName ReasonNames[] = {
    {ValueFate::Pending, "not brought back yet"},
    {ValueFate::NotDefined, "not defined"},
    {ValueFate::NotWritten, "not written"},
    {ValueFate::NotConvertible, "not convertible"},
    {ValueFate::GaveWay, "gave way"},
    {ValueFate::Occupied, "target holds a value"},
};

const char* ReasonText(ValueFate fate)
{
    for (const ReasonName& reason : ReasonNames)
        if (reason.fate == fate)
            return reason.name;
    return ReasonNames[1].name;
}

ValueFate ReasonOf(std::string_view text)
{
    for (const ReasonName& reason : ReasonNames)
        if (text == reason.name)
            return reason.fate;
    return ValueFate::NotDefined;
}

std::string GuidText(const API_Guid& guid)
{
    const GS::UniString text = APIGuid2GSGuid(guid).ConvertToString();
    return text.ToCStr().Get();
}

// The order of the GUIDs' texts: by each part in turn, as hexadecimal numbers.
bool GuidTextLess(const API_Guid& a, const API_Guid& b)
{
    return std::tie(a.data1, a.data2, a.data3) < std::tie(b.data1, b.data2, b.data3) ||
           (std::tie(a.data1, a.data2, a.data3) == std::tie(b.data1, b.data2, b.data3) &&
            std::memcmp(a.data4, b.data4, sizeof a.data4) < 0);
}

API_Guid GuidOf(std::string_view text)
{
    return GSGuid2APIGuid(GS::Guid(std::string(text).c_str()));
}

std::optional<std::string> OptionalText(const SqliteStatement& row, int column)
{
    return row.IsNull(column) ? std::nullopt : std::optional<std::string>(row.Text(column));
}

void BindState(SqliteStatement& statement, int index, const std::optional<std::string>& state)
{
    if (state)
        statement.Bind(index, *state);
    else
        statement.BindNull(index);
}

// Splits a state key back into its group and property.
std::pair<std::string_view, std::string_view> NamesOfKey(const std::string& key)
{
    const std::size_t nul = key.find('\0');
    return {std::string_view(key).substr(0, nul), std::string_view(key).substr(nul + 1)};
}

}  // namespace

std::optional<SystemPath> KeptStore::DefaultPath()
{
    if (std::optional<SystemPath> local = EnvironmentPath("LOCALAPPDATA", "/Quillmere/store.sqlite"))
        return local;
    return EnvironmentPath("USERPROFILE", "/AppData/Local/Quillmere/store.sqlite");
}

void KeptStore::CreateTables()
{
    SqliteStatement version = database.Prepare("PRAGMA user_version");
    const std::int64_t found = version.Step() ? version.Number(0) : 0;
    version.Run();
    if (found == SchemaVersion)
        return;
    if (found > SchemaVersion)
        throw SqliteFailure(0, "the store was made by a newer version of the add-on");
    SqliteDatabase::Transaction transaction(database, true);
    database.Execute(Schema);
    database.Execute("PRAGMA user_version = " + std::to_string(SchemaVersion));
    transaction.Commit();
}

std::optional<FileProblem> KeptStore::SetDamagedAside()
{
    database.Close();
    setAside = SetFileAside(path, "damaged");
    if (setAside.empty())
        return FileProblem{path, 0, "it is damaged and could not be renamed"};
    SystemPath journal = path;
    journal += "-journal";
    RemoveFile(journal);
    try {
        database.Open(path, busyMilliseconds);
        CreateTables();
    } catch (const SqliteFailure& failure) {
        database.Close();
        return FileProblem{path, 0, failure.what()};
    }
    return std::nullopt;
}

std::optional<FileProblem> KeptStore::Open()
{
    if (const SystemError error = CreateFolderOf(path))
        return FileProblem{path, error};
    // A named pipe or a device in the store's place could keep SQLite's first read waiting.
    if (IsSomethingElse(path))
        return FileProblem{path, NotARegularFile};
    std::optional<FileProblem> problem = Attempt([this](SqliteDatabase& opened) {
        if (!opened.IsOpen())
            opened.Open(path, busyMilliseconds);
        CreateTables();
    });
    if (problem)
        database.Close();
    return problem;
}

std::optional<FileProblem> KeptStore::HoldsAnything(bool& holds)
{
    holds = false;
    return Attempt([&holds](SqliteDatabase& database) {
        SqliteStatement any = database.Prepare("SELECT EXISTS (SELECT 1 FROM kept_value) OR EXISTS (SELECT 1 FROM kept_list)");
        holds = any.Step() && any.Number(0) != 0;
        any.Run();
    });
}

namespace {

// The project's row id; -1 when there is none and `make` is false.
std::int64_t ProjectId(SqliteDatabase& database, const ProjectIdentity& identity, bool make)
{
    if (make)
        database.Prepare("INSERT OR IGNORE INTO project (identity) VALUES (?1)").Bind(1, identity).Run();
    SqliteStatement find = database.Prepare("SELECT id FROM project WHERE identity = ?1");
    find.Bind(1, identity);
    std::int64_t id = -1;
    if (find.Step())
        id = find.Number(0);
    find.Run();
    return id;
}

}  // namespace

ProjectIdentity NewAnchor(const GS::Array<API_Guid>& elements)
{
    const auto least = std::min_element(elements.begin(), elements.end(), GuidTextLess);
    return least == elements.end() ? "anchor:" : "anchor:" + GuidText(*least);
}

std::optional<FileProblem> KeptStore::AnchorIdentity(const ElementSet& elements, ProjectIdentity& identity)
{
    identity.clear();
    std::optional<FileProblem> problem = Attempt([&](SqliteDatabase& database) {
        SqliteStatement anchors = database.Prepare(
            "SELECT identity FROM project WHERE identity LIKE 'anchor:%' ORDER BY id");
        while (anchors.Step()) {
            const std::string_view known = anchors.Text(0);
            if (identity.empty() && elements.count(GuidOf(known.substr(7))) != 0)
                identity = known;
        }
    });
    if (problem)
        return problem;
    if (identity.empty()) {
        const auto least = std::min_element(elements.begin(), elements.end(), GuidTextLess);
        identity = least == elements.end() ? "anchor:" : "anchor:" + GuidText(*least);
    }
    return std::nullopt;
}


namespace {

struct ReadIds {
    std::int64_t project = -1;
    std::int64_t earlier = -1;  // what an earlier version left
};

// The kept values of the project and of what an earlier version left, by element and property,
// older runs first, and of one run the project's own row first. Without an earlier version's values
// the rows come in the primary key's order, so the read needs no sort.
constexpr const char* ValuesOfProject =
    "SELECT project, element, grp, property, run, reason, value_type, value FROM kept_value "
    "WHERE project = ?1 ORDER BY element, grp, property, run";
constexpr const char* ValuesOfProjectAndEarlier =
    "SELECT project, element, grp, property, run, reason, value_type, value FROM kept_value "
    "WHERE project IN (?1, ?2) ORDER BY element, grp, property, run, project = ?2";

// Whether the row holds the value at `standing` once more: of the same run, type and text.
bool SameAs(const SqliteStatement& row, const KeptData& kept, std::size_t standing)
{
    const ValueBackup::Value& value = kept.values.Values()[standing];
    return kept.records[standing].run == row.Number(4) && value.valueType == row.Number(6) &&
           std::string_view(value.text, value.textLength) == row.Text(7);
}

void ReadValues(SqliteDatabase& database, const ReadIds& ids, const ElementSet* elements, KeptData& kept)
{
    SqliteStatement rows = database.Prepare(ids.earlier < 0 ? ValuesOfProject : ValuesOfProjectAndEarlier);
    rows.Bind(1, ids.project);
    if (ids.earlier >= 0)
        rows.Bind(2, ids.earlier);
    std::string element, group, property;
    API_Guid guid = APINULLGuid;
    bool open = false;
    std::size_t standing = 0;  // the row of the current property that stands so far
    while (rows.Step()) {
        const bool earlier = rows.Number(0) == ids.earlier;
        const bool sameElement = open && element == rows.Text(1);
        const API_Guid rowGuid = sameElement ? guid : GuidOf(rows.Text(1));
        if (earlier && (elements == nullptr || elements->count(rowGuid) == 0))
            continue;
        // A newer run's row of one property stands (the older run ended before it could settle);
        // an earlier version's copy of the project's row was taken in twice, and leaves quietly.
        const bool again = sameElement && group == rows.Text(2) && property == rows.Text(3);
        const bool copy = again && earlier && SameAs(rows, kept, standing);
        if (again && !copy)
            kept.fates[standing] = ValueFate::Superseded;
        if (!sameElement) {
            if (open)
                kept.values.EndEntry();
            guid = rowGuid;
            kept.values.StartEntry(guid);
            element = rows.Text(1);
            open = true;
            kept.left.emplace(guid, std::nullopt);
        }
        group = rows.Text(2);
        property = rows.Text(3);
        kept.values.AddValue(kept.values.InternKey(group, property), static_cast<Int32>(rows.Number(6)), 0, rows.Text(7));
        kept.records.push_back(KeptRecord{static_cast<UInt32>(rows.Number(4)), ReasonOf(rows.Text(5)), earlier});
        if (!copy)
            standing = kept.fates.size();
        kept.fates.push_back(copy ? ValueFate::AlreadyHeld : ValueFate::Pending);
    }
    if (open)
        kept.values.EndEntry();
}

void ReadLeft(SqliteDatabase& database, const ReadIds& ids, KeptData& kept)
{
    SqliteStatement elements = database.Prepare("SELECT element, left_known FROM kept_element WHERE project = ?1");
    elements.Bind(1, ids.project);
    while (elements.Step())
        if (elements.Number(1) != 0)
            if (const auto at = kept.left.find(GuidOf(elements.Text(0))); at != kept.left.end())
                at->second.emplace();
    SqliteStatement rows = database.Prepare(
        "SELECT element, grp, property, state, written FROM left_property WHERE project = ?1");
    rows.Bind(1, ids.project);
    while (rows.Step()) {
        const auto at = kept.left.find(GuidOf(rows.Text(0)));
        if (at != kept.left.end() && at->second)
            (*at->second)[StateKey(rows.Text(1), rows.Text(2))] = PropertyState{OptionalText(rows, 3), rows.Number(4) != 0};
    }
}

ExpressionList ReadExpressions(SqliteDatabase& database, std::int64_t project, const std::string& group,
                               const std::string& property, std::int64_t run, std::u16string& units)
{
    SqliteStatement rows = database.Prepare(
        "SELECT text FROM kept_expression WHERE project = ?1 AND grp = ?2 AND property = ?3 AND run = ?4 "
        "ORDER BY position");
    rows.Bind(1, project).Bind(2, group).Bind(3, property).Bind(4, run);
    ExpressionList list;
    while (rows.Step())
        list.Push(ExactUtf8ToUniString(rows.Text(0), units));
    return list;
}

void ReadLists(SqliteDatabase& database, const ReadIds& ids, KeptData& kept)
{
    SqliteStatement rows = database.Prepare(
        "SELECT project, grp, property, run, reason FROM kept_list WHERE project IN (?1, ?2) "
        "ORDER BY project = ?2, grp, property, run DESC");
    rows.Bind(1, ids.project).Bind(2, ids.earlier);
    std::u16string units;
    while (rows.Step()) {
        const std::string group(rows.Text(1)), property(rows.Text(2));
        KeptExpressionList list;
        list.name = PropertyName{ExactUtf8ToUniString(group, units), ExactUtf8ToUniString(property, units)};
        list.list = ReadExpressions(database, rows.Number(0), group, property, rows.Number(3), units);
        list.record = KeptRecord{static_cast<UInt32>(rows.Number(3)), ReasonOf(rows.Text(4)), rows.Number(0) == ids.earlier};
        const bool older = !kept.lists.empty() && kept.lists.back().name == list.name &&
                           kept.lists.back().record.earlierVersion == list.record.earlierVersion;
        kept.lists.push_back(std::move(list));
        kept.listFates.push_back(older ? ValueFate::Superseded : ValueFate::Pending);
    }
    SqliteStatement known = database.Prepare("SELECT lists_left_known FROM project WHERE id = ?1");
    known.Bind(1, ids.project);
    const bool leftKnown = !known.Step() || known.Number(0) != 0;
    known.Run();
    if (!leftKnown)
        return;
    kept.listsLeft.emplace();
    SqliteStatement left = database.Prepare("SELECT grp, property, state, written FROM left_definition WHERE project = ?1");
    left.Bind(1, ids.project);
    while (left.Step())
        (*kept.listsLeft)[StateKey(left.Text(0), left.Text(1))] = PropertyState{OptionalText(left, 2), left.Number(3) != 0};
}

void ReadRuns(SqliteDatabase& database, KeptData& kept)
{
    SqliteStatement rows = database.Prepare("SELECT number, started FROM run");
    while (rows.Step())
        kept.started[static_cast<UInt32>(rows.Number(0))] = rows.Text(1);
}

}  // namespace

std::optional<FileProblem> KeptStore::Read(const ProjectIdentity& project, const ElementSet* elements, KeptData& kept)
{
    std::optional<FileProblem> problem = Attempt([&](SqliteDatabase& database) {
        kept = KeptData();
        SqliteDatabase::Transaction transaction(database, false);
        ReadIds ids;
        ids.project = ProjectId(database, project, false);
        ids.earlier = ProjectId(database, ProjectIdentity(), false);
        ReadValues(database, ids, elements, kept);
        ReadLeft(database, ids, kept);
        ReadLists(database, ids, kept);
        ReadRuns(database, kept);
        transaction.Commit();
    });
    if (problem)
        kept = KeptData();
    return problem;
}

namespace {

// The statements that put values and lists into the store, prepared once for a transaction.
class KeptWriter {
public:
    KeptWriter(SqliteDatabase& database)
        : database(database),
          insertValue(database.Prepare("INSERT OR REPLACE INTO kept_value (project, element, grp, property, run, reason, "
                                       "value_type, value) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)")),
          deleteValue(database.Prepare(
              "DELETE FROM kept_value WHERE project = ?1 AND element = ?2 AND grp = ?3 AND property = ?4 AND run = ?5"))
    {
    }

    void InsertValue(std::int64_t project, const std::string& element, const ValueBackup& values, UInt32 index,
                     UInt32 run, ValueFate reason)
    {
        const ValueBackup::Value& value = values.Values()[index];
        const ValueBackup::Key& key = values.Keys()[value.key];
        insertValue.Bind(1, project).Bind(2, element).Bind(3, key.GroupOrText());
        insertValue.Bind(4, key.property).Bind(5, std::int64_t{run}).Bind(6, ReasonText(reason));
        insertValue.Bind(7, std::int64_t{value.valueType}).Bind(8, std::string_view(value.text, value.textLength)).Run();
    }

    // Every value of `values` for which `keep(index)` answers a reason.
    template <typename Keep>
    void InsertValues(std::int64_t project, UInt32 run, const ValueBackup& values, Keep keep)
    {
        for (const ValueBackup::Entry& entry : values.Entries()) {
            const std::string element = GuidText(entry.element);
            for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index)
                if (const std::optional<ValueFate> reason = keep(index))
                    InsertValue(project, element, values, index, run, *reason);
        }
    }

    void DeleteValue(std::int64_t project, const std::string& element, const ValueBackup::Key& key, UInt32 run)
    {
        deleteValue.Bind(1, project).Bind(2, element).Bind(3, key.GroupOrText());
        deleteValue.Bind(4, key.property).Bind(5, std::int64_t{run}).Run();
    }

    void InsertList(std::int64_t project, const KeptExpressionList& list, ValueFate reason)
    {
        const std::string group = ExactUtf8(list.name.group), property = ExactUtf8(list.name.property);
        database.Prepare("INSERT OR REPLACE INTO kept_list (project, grp, property, run, reason) VALUES (?1, ?2, ?3, ?4, ?5)")
            .Bind(1, project).Bind(2, group).Bind(3, property).Bind(4, std::int64_t{list.record.run}).Bind(5, ReasonText(reason))
            .Run();
        SqliteStatement expression = database.Prepare(
            "INSERT OR REPLACE INTO kept_expression (project, grp, property, run, position, text) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        std::int64_t position = 0;
        for (const GS::UniString& text : list.list)
            expression.Bind(1, project).Bind(2, group).Bind(3, property).Bind(4, std::int64_t{list.record.run})
                .Bind(5, position++).Bind(6, ExactUtf8(text)).Run();
    }

    void DeleteList(std::int64_t project, const KeptExpressionList& list)
    {
        const std::string group = ExactUtf8(list.name.group), property = ExactUtf8(list.name.property);
        for (const char* table : {"kept_list", "kept_expression"})
            database.Prepare(std::string("DELETE FROM ") + table + " WHERE project = ?1 AND grp = ?2 AND property = ?3 AND run = ?4")
                .Bind(1, project).Bind(2, group).Bind(3, property).Bind(4, std::int64_t{list.record.run}).Run();
    }

private:
    SqliteDatabase& database;
    SqliteStatement insertValue;
    SqliteStatement deleteValue;
};

// This run's number, taken while the write lock is held so that no other instance takes it too.
void NumberRun(SqliteDatabase& database, KeptAtRunEnd& end)
{
    if (end.run != 0)
        return;
    SqliteStatement last = database.Prepare("SELECT coalesce(max(number), 0) FROM run");
    end.run = last.Step() ? static_cast<UInt32>(last.Number(0)) + 1 : 1;
    last.Run();
}

void InsertRun(SqliteDatabase& database, std::int64_t project, const KeptAtRunEnd& end)
{
    database.Prepare("INSERT OR IGNORE INTO run (number, project, started, configuration) VALUES (?1, ?2, ?3, ?4)")
        .Bind(1, std::int64_t{end.run}).Bind(2, project).Bind(3, end.started).Bind(4, end.configuration).Run();
}

// Deletes the project's runs none of whose values stays, each with one statement rather than a row
// at a time, and answers them. A run's rows are counted in the store too, inside the write
// transaction, so that a row another instance wrote since the read is never deleted unseen.
std::set<UInt32> DeleteRunsLeavingWhole(SqliteDatabase& database, std::int64_t project, const KeptData& kept)
{
    std::map<UInt32, std::int64_t> read;  // by run: its rows read, or -1 when one of them stays
    for (std::size_t index = 0; index < kept.records.size(); ++index)
        if (const KeptRecord& record = kept.records[index]; !record.earlierVersion) {
            std::int64_t& count = read[record.run];
            count = count < 0 || StaysKept(kept.fates[index]) ? -1 : count + 1;
        }
    std::set<UInt32> whole;
    if (std::none_of(read.begin(), read.end(), [](const auto& run) { return run.second > 0; }))
        return whole;
    SqliteStatement stored = database.Prepare("SELECT run, count(*) FROM kept_value WHERE project = ?1 GROUP BY run");
    stored.Bind(1, project);
    while (stored.Step())
        if (const auto at = read.find(static_cast<UInt32>(stored.Number(0))); at != read.end() && at->second == stored.Number(1))
            whole.insert(at->first);
    SqliteStatement remove = database.Prepare("DELETE FROM kept_value WHERE project = ?1 AND run = ?2");
    for (const UInt32 run : whole)
        remove.Bind(1, project).Bind(2, std::int64_t{run}).Run();
    return whole;
}

// The kept values as read: what left is deleted, what an earlier version left moves to the project,
// what stays takes its new reason.
void SettleKeptValues(SqliteDatabase& database, KeptWriter& writer, std::int64_t project, std::int64_t earlier,
                      const KeptData& kept)
{
    const std::set<UInt32> gone = DeleteRunsLeavingWhole(database, project, kept);
    SqliteStatement reason = database.Prepare(
        "UPDATE kept_value SET reason = ?6 WHERE project = ?1 AND element = ?2 AND grp = ?3 AND property = ?4 AND run = ?5");
    for (const ValueBackup::Entry& entry : kept.values.Entries()) {
        const std::string element = GuidText(entry.element);
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index) {
            const KeptRecord& record = kept.records[index];
            if (!record.earlierVersion && gone.count(record.run) != 0)
                continue;
            const ValueFate fate = kept.fates[index];
            const ValueFate now = fate == ValueFate::Pending ? record.reason : fate;
            const ValueBackup::Key& key = kept.values.Keys()[kept.values.Values()[index].key];
            if (!StaysKept(fate) || record.earlierVersion)
                writer.DeleteValue(record.earlierVersion ? earlier : project, element, key, record.run);
            if (StaysKept(fate) && record.earlierVersion)
                writer.InsertValue(project, element, kept.values, index, record.run, now);
            else if (StaysKept(fate) && now != record.reason)
                reason.Bind(1, project).Bind(2, element).Bind(3, key.GroupOrText()).Bind(4, key.property)
                    .Bind(5, std::int64_t{record.run}).Bind(6, ReasonText(now)).Run();
        }
    }
}

void WriteLeft(SqliteDatabase& database, std::int64_t project, const KeptAtRunEnd& end)
{
    database.Prepare("DELETE FROM kept_element WHERE project = ?1").Bind(1, project).Run();
    database.Prepare("DELETE FROM left_property WHERE project = ?1").Bind(1, project).Run();
    SqliteStatement element = database.Prepare("INSERT INTO kept_element (project, element, left_known) VALUES (?1, ?2, ?3)");
    SqliteStatement property = database.Prepare(
        "INSERT INTO left_property (project, element, grp, property, state, written) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    for (const auto& [guid, states] : end.left) {
        const std::string text = GuidText(guid);
        element.Bind(1, project).Bind(2, text).Bind(3, std::int64_t{states ? 1 : 0}).Run();
        if (!states)
            continue;
        for (const auto& [key, state] : *states) {
            const auto [group, name] = NamesOfKey(key);
            property.Bind(1, project).Bind(2, text).Bind(3, group).Bind(4, name);
            BindState(property, 5, state.value);
            property.Bind(6, std::int64_t{state.written ? 1 : 0}).Run();
        }
    }
}

void WriteLists(SqliteDatabase& database, KeptWriter& writer, std::int64_t project, std::int64_t earlier,
                const KeptAtRunEnd& end)
{
    for (std::size_t index = 0; index < end.kept->lists.size(); ++index) {
        const KeptExpressionList& list = end.kept->lists[index];
        const ValueFate fate = end.kept->listFates[index];
        const std::int64_t owner = list.record.earlierVersion ? earlier : project;
        writer.DeleteList(owner, list);
        if (StaysKept(fate))
            writer.InsertList(owner, list, fate == ValueFate::Pending ? list.record.reason : fate);
    }
    for (const KeptExpressionList& list : end.ownLists)
        writer.InsertList(project, list, list.record.reason);
    database.Prepare("DELETE FROM left_definition WHERE project = ?1").Bind(1, project).Run();
    database.Prepare("UPDATE project SET lists_left_known = ?2 WHERE id = ?1").Bind(1, project)
        .Bind(2, std::int64_t{end.listsLeft ? 1 : 0}).Run();
    if (!end.listsLeft)
        return;
    SqliteStatement left = database.Prepare(
        "INSERT INTO left_definition (project, grp, property, state, written) VALUES (?1, ?2, ?3, ?4, ?5)");
    for (const auto& [key, state] : *end.listsLeft) {
        const auto [group, name] = NamesOfKey(key);
        left.Bind(1, project).Bind(2, group).Bind(3, name);
        BindState(left, 4, state.value);
        left.Bind(5, std::int64_t{state.written ? 1 : 0}).Run();
    }
}

// Runs no kept value or list refers to any more, and projects with nothing kept, go.
void DropWhatNothingNeeds(SqliteDatabase& database)
{
    database.Execute(
        "DELETE FROM run WHERE number NOT IN (SELECT run FROM kept_value UNION SELECT run FROM kept_list);"
        "DELETE FROM kept_element WHERE project NOT IN (SELECT project FROM kept_value);"
        "DELETE FROM left_property WHERE project NOT IN (SELECT project FROM kept_value);"
        "DELETE FROM left_definition WHERE project NOT IN (SELECT project FROM kept_list);"
        "DELETE FROM project WHERE id NOT IN (SELECT project FROM kept_value UNION SELECT project FROM kept_list);");
}

}  // namespace

std::optional<FileProblem> KeptStore::WriteSaved(KeptAtRunEnd& run, const ValueBackup* values,
                                                 std::vector<KeptExpressionList>& lists)
{
    return Attempt([&](SqliteDatabase& database) {
        SqliteDatabase::Transaction transaction(database, true);
        const std::int64_t project = ProjectId(database, run.project, true);
        NumberRun(database, run);
        InsertRun(database, project, run);
        for (KeptExpressionList& list : lists)
            list.record.run = run.run;
        KeptWriter writer(database);
        if (values != nullptr)
            writer.InsertValues(project, run.run, *values, [](UInt32) { return std::optional<ValueFate>(ValueFate::Pending); });
        for (const KeptExpressionList& list : lists)
            writer.InsertList(project, list, ValueFate::Pending);
        transaction.Commit();
    });
}

std::optional<FileProblem> KeptStore::WriteRunEnd(KeptAtRunEnd& end)
{
    return Attempt([&](SqliteDatabase& database) {
        SqliteDatabase::Transaction transaction(database, true);
        const std::int64_t project = ProjectId(database, end.project, true);
        const std::int64_t earlier = ProjectId(database, ProjectIdentity(), false);
        NumberRun(database, end);
        InsertRun(database, project, end);
        for (KeptExpressionList& list : end.ownLists)
            list.record.run = end.run;
        KeptWriter writer(database);
        SettleKeptValues(database, writer, project, earlier, *end.kept);
        if (end.ownValuesWritten)
            database.Prepare("DELETE FROM kept_value WHERE project = ?1 AND run = ?2").Bind(1, project)
                .Bind(2, std::int64_t{end.run}).Run();
        if (end.own != nullptr)
            writer.InsertValues(project, end.run, *end.own, [&](UInt32 index) {
                const ValueFate fate = (*end.ownFates)[index];
                return OwnStays(fate) ? std::optional<ValueFate>(fate) : std::nullopt;
            });
        WriteLeft(database, project, end);
        if (end.ownListsWritten)
            for (const char* table : {"kept_list", "kept_expression"})
                database.Prepare(std::string("DELETE FROM ") + table + " WHERE project = ?1 AND run = ?2").Bind(1, project)
                    .Bind(2, std::int64_t{end.run}).Run();
        WriteLists(database, writer, project, earlier, end);
        DropWhatNothingNeeds(database);
        transaction.Commit();
    });
}

std::optional<FileProblem> KeptStore::WriteEarlierVersion(const std::vector<std::pair<UInt32, ValueBackup>>& values,
                                                          const std::vector<KeptExpressionList>& lists,
                                                          const std::map<UInt32, std::string>& started)
{
    return Attempt([&](SqliteDatabase& database) {
        SqliteDatabase::Transaction transaction(database, true);
        const std::int64_t project = ProjectId(database, ProjectIdentity(), true);
        SqliteStatement run = database.Prepare(
            "INSERT OR IGNORE INTO run (number, project, started, configuration) VALUES (?1, ?2, ?3, '')");
        for (const auto& [number, when] : started)
            run.Bind(1, std::int64_t{number}).Bind(2, project).Bind(3, when).Run();
        KeptWriter writer(database);
        for (const auto& [number, kept] : values)
            writer.InsertValues(project, number, kept, [](UInt32) { return std::optional<ValueFate>(ValueFate::NotDefined); });
        for (const KeptExpressionList& list : lists)
            writer.InsertList(project, list, list.record.reason);
        transaction.Commit();
    });
}

}  // namespace Quillmere
