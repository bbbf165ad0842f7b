#include "KeptStore.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <initializer_list>
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
-- One row per element, run and group: its values packed, each as its property, value type, reason
-- and text, every one as LENGTH:BYTES. The view kept_value_each unpacks them, a row per value, for
-- people looking inside with a SQLite shell; the add-on itself unpacks them (AddPackedValues).
CREATE TABLE IF NOT EXISTS kept_value (
    project INTEGER NOT NULL, element TEXT NOT NULL, run INTEGER NOT NULL, grp TEXT NOT NULL,
    count INTEGER NOT NULL, packed TEXT NOT NULL,
    PRIMARY KEY (project, element, run, grp)) WITHOUT ROWID;
CREATE VIEW IF NOT EXISTS kept_value_each AS
WITH RECURSIVE field (project, element, run, grp, number, text, rest) AS (
    SELECT project, element, run, grp, 0, NULL, CAST(packed AS BLOB) FROM kept_value
    UNION ALL
    SELECT project, element, run, grp, number + 1,
        CAST(substr(rest, instr(rest, X'3A') + 1, CAST(CAST(substr(rest, 1, instr(rest, X'3A') - 1) AS TEXT) AS INTEGER)) AS TEXT),
        substr(rest, instr(rest, X'3A') + 1 + CAST(CAST(substr(rest, 1, instr(rest, X'3A') - 1) AS TEXT) AS INTEGER))
    FROM field WHERE length(rest) > 0)
SELECT project, element, run, grp,
    max(CASE number % 4 WHEN 1 THEN text END) AS property,
    CAST(max(CASE number % 4 WHEN 2 THEN text END) AS INTEGER) AS value_type,
    max(CASE number % 4 WHEN 3 THEN text END) AS reason,
    max(CASE number % 4 WHEN 0 THEN text END) AS value
FROM field WHERE number > 0
GROUP BY project, element, run, grp, (number - 1) / 4;
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
constexpr std::int64_t SchemaVersion = 2;

// The first version of the store kept one row per value; its rows are packed, one per element, run
// and group, as the module packs them (PackedRow::Add).
constexpr const char* PackRowsOfVersion1 = R"(
CREATE TABLE kept_value_packed (
    project INTEGER NOT NULL, element TEXT NOT NULL, run INTEGER NOT NULL, grp TEXT NOT NULL,
    count INTEGER NOT NULL, packed TEXT NOT NULL,
    PRIMARY KEY (project, element, run, grp)) WITHOUT ROWID;
INSERT INTO kept_value_packed
    SELECT project, element, run, grp, count(*), group_concat(
        length(CAST(property AS BLOB)) || ':' || property ||
        length(CAST(value_type AS TEXT)) || ':' || value_type ||
        length(CAST(reason AS BLOB)) || ':' || reason ||
        length(CAST(value AS BLOB)) || ':' || value, '')
    FROM kept_value GROUP BY project, element, run, grp;
DROP TABLE kept_value;
ALTER TABLE kept_value_packed RENAME TO kept_value;
)";

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
    const auto at = std::ranges::find(ReasonNames, fate, &ReasonName::fate);
    return at != std::end(ReasonNames) ? at->name : ReasonNames[1].name;
}

ValueFate ReasonOf(std::string_view text)
{
    const auto at = std::ranges::find(ReasonNames, text, &ReasonName::name);
    return at != std::end(ReasonNames) ? at->fate : ValueFate::NotDefined;
}

std::string GuidText(const API_Guid& guid)
{
    return APIGuid2GSGuid(guid).ConvertToString().ToCStr().Get();
}

API_Guid GuidOf(std::string_view text)
{
    return GSGuid2APIGuid(GS::Guid(std::string(text).c_str()));
}

// Binds each state's group, property, value and whether the run wrote it from the parameter
// `first` on, and runs `insert` for it.
void WriteStates(SqliteStatement& insert, int first, const PropertyStates& states)
{
    for (const auto& [key, state] : states) {
        const std::size_t nul = key.find('\0');
        insert.Bind(first, std::string_view(key).substr(0, nul)).Bind(first + 1, std::string_view(key).substr(nul + 1))
            .BindOptional(first + 2, state.value).Bind(first + 3, std::int64_t{state.written ? 1 : 0}).Run();
    }
}

// Reads the states of `rows`, whose columns from `first` on are a group, property, value and whether
// the run wrote it.
void ReadStates(SqliteStatement& rows, int first, PropertyStates& states)
{
    states[StateKey(rows.Text(first), rows.Text(first + 1))] =
        PropertyState{rows.OptionalText(first + 2), rows.Number(first + 3) != 0};
}

// The values of one row of kept_value, packed: each as its property, value type, reason and text,
// each as LENGTH:BYTES, so that no text of one can look like another's.
struct PackedRow {
    std::int64_t count = 0;
    std::string packed;

    void Add(const ValueBackup& values, const ValueBackup::Value& value, ValueFate reason)
    {
        AppendField(packed, values.Keys()[value.key].property);
        AppendField(packed, std::to_string(value.valueType));
        AppendField(packed, ReasonText(reason));
        AppendField(packed, {value.text, value.textLength});
        ++count;
    }
};

// Fails the read of a row of kept values that is not in the form the add-on writes.
void CheckPacked(bool wellFormed)
{
    if (!wellFormed)
        throw SqliteFailure(0, "a row of its kept values is not in the form the add-on writes");
}

// The number that is the whole of `text` (from_chars finds none in an empty text).
template <typename Number>
Number NumberOf(std::string_view text)
{
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    CheckPacked(error == std::errc() && end == text.data() + text.size());
    return number;
}

// Takes the first field, LENGTH:BYTES, off `packed` and answers its bytes.
std::string_view NextField(std::string_view& packed)
{
    const std::size_t colon = packed.find(':');
    const std::size_t length = NumberOf<std::size_t>(packed.substr(0, colon));
    CheckPacked(colon != std::string_view::npos && length <= packed.size() - colon - 1);
    const std::string_view field = packed.substr(colon + 1, length);
    packed.remove_prefix(colon + 1 + length);
    return field;
}

std::int64_t SchemaVersionOf(SqliteDatabase& database)
{
    const std::int64_t found = database.Prepare("PRAGMA user_version").FirstNumber().value_or(0);
    if (found > SchemaVersion)
        throw SqliteFailure(0, "the store was made by a newer version of the add-on");
    return found;
}

// The project's row id; -1 when there is none and `make` is false.
std::int64_t ProjectId(SqliteDatabase& database, const ProjectIdentity& identity, bool make)
{
    if (make)
        database.Prepare("INSERT OR IGNORE INTO project (identity) VALUES (?1)").Bind(1, identity).Run();
    return database.Prepare("SELECT id FROM project WHERE identity = ?1").Bind(1, identity).FirstNumber().value_or(-1);
}

// Makes the tables, or converts those of the first version. The version is read again under the
// write lock: another host instance may have made or changed the tables meanwhile.
void CreateTables(SqliteDatabase& database)
{
    if (SchemaVersionOf(database) == SchemaVersion)
        return;
    database.Execute("BEGIN IMMEDIATE");
    if (SchemaVersionOf(database) == 1)
        database.Execute(PackRowsOfVersion1);
    database.Execute(Schema);
    database.Execute("PRAGMA user_version = " + std::to_string(SchemaVersion) + "; COMMIT");
}

// "anchor:" and the least of `elements` in the order of their texts: by each part in turn, as
// hexadecimal numbers.
template <typename Elements>
ProjectIdentity AnchorOfLeast(const Elements& elements)
{
    const auto least = std::ranges::min_element(elements, {}, [](const API_Guid& guid) {
        return std::tuple(guid.data1, guid.data2, guid.data3, std::to_array(guid.data4));
    });
    return least == elements.end() ? "anchor:" : "anchor:" + GuidText(*least);
}

}  // namespace

std::optional<SystemPath> KeptStore::DefaultPath()
{
    if (std::optional<SystemPath> local = EnvironmentPath("LOCALAPPDATA", "/Quillmere/store.sqlite"))
        return local;
    return EnvironmentPath("USERPROFILE", "/AppData/Local/Quillmere/store.sqlite");
}

std::optional<FileProblem> KeptStore::Attempt(const std::function<void(SqliteDatabase&)>& work, bool write)
{
    while (true) {
        try {
            if (!database.IsOpen()) {
                database.Open(path, busyMilliseconds);
                CreateTables(database);
            }
            if (work) {
                database.Execute(write ? "BEGIN IMMEDIATE" : "BEGIN");
                work(database);
                database.Execute("COMMIT");
            }
            return std::nullopt;
        } catch (const SqliteFailure& failure) {
            // Closing the connection rolls back the transaction that failed. A store is set aside
            // once: after that the new one's failures are reported.
            database.Close();
            if (!failure.Damaged() || !setAside.empty())
                return FileProblem{path, 0, failure.what()};
        } catch (...) {
            database.Close();
            throw;
        }
        setAside = SetFileAside(path, "damaged");
        if (setAside.empty())
            return FileProblem{path, 0, "it is damaged and could not be renamed"};
        RemoveFile(SystemPath(path) += "-journal");
    }
}

std::optional<FileProblem> KeptStore::Open()
{
    if (const SystemError error = CreateFolderOf(path))
        return FileProblem{path, error};
    // A named pipe or a device in the store's place could keep SQLite's first read waiting.
    if (IsSomethingElse(path))
        return FileProblem{path, NotARegularFile};
    return Attempt(nullptr);
}

std::optional<FileProblem> KeptStore::HoldsAnything(bool& holds)
{
    holds = false;
    return Attempt([&holds](SqliteDatabase& database) {
        const char* const any = "SELECT EXISTS (SELECT 1 FROM kept_value) OR EXISTS (SELECT 1 FROM kept_list)";
        holds = database.Prepare(any).FirstNumber() == 1;
    });
}

ProjectIdentity NewAnchor(const GS::Array<API_Guid>& elements)
{
    return AnchorOfLeast(elements);
}

std::optional<FileProblem> KeptStore::AnchorIdentity(const ElementSet& elements, ProjectIdentity& identity)
{
    return Attempt([&](SqliteDatabase& database) {
        identity.clear();
        SqliteStatement anchors = database.Prepare(
            "SELECT identity FROM project WHERE identity LIKE 'anchor:%' ORDER BY id");
        while (identity.empty() && anchors.Step())
            if (elements.count(GuidOf(anchors.Text(0).substr(7))) != 0)
                identity = anchors.Text(0);
        if (identity.empty())
            identity = AnchorOfLeast(elements);
    });
}

namespace {

// The rows of kept values of the project and of what an earlier version left, by element, older
// runs first, and of one run and group the project's own row first. Without an earlier version's
// values the rows come in the primary key's order, so the read needs no sort.
constexpr const char* ValuesOfProject =
    "SELECT project, element, run, grp, packed FROM kept_value WHERE project = ?1 ORDER BY element, run, grp";
constexpr const char* ValuesOfProjectAndEarlier =
    "SELECT project, element, run, grp, packed FROM kept_value WHERE project IN (?1, ?2) "
    "ORDER BY element, run, grp, project = ?2";

// Which value of the element's values read so far (from `first` on) stands for the same key as the
// value just added (the last one): the latest that is not a copy. An older one of a newer run's
// value stands no more (its run ended before it could settle); an earlier version's copy of the
// project's value (same run, type and text) was taken in twice, and leaves quietly.
ValueFate FateOfNewest(KeptData& kept, std::size_t first)
{
    const std::size_t newest = kept.records.size() - 1;
    const ValueBackup::Value& value = kept.values.Values()[newest];
    for (std::size_t index = newest; index-- > first;) {
        const ValueBackup::Value& older = kept.values.Values()[index];
        if (older.key != value.key || kept.fates[index] == ValueFate::AlreadyHeld)
            continue;
        if (kept.records[newest].earlierVersion && kept.records[index].run == kept.records[newest].run &&
            SameSaved(older, value))
            return ValueFate::AlreadyHeld;
        kept.fates[index] = ValueFate::Superseded;
        break;
    }
    return ValueFate::Pending;
}

// Adds the values packed in a row of `group` to the element's values (from `first` on).
void AddPackedValues(KeptData& kept, std::string_view group, std::string_view packed, UInt32 run, bool earlier,
                     std::size_t first)
{
    while (!packed.empty()) {
        const std::string_view property = NextField(packed);
        const Int32 valueType = NumberOf<Int32>(NextField(packed));
        const ValueFate reason = ReasonOf(NextField(packed));
        kept.values.AddValue(kept.values.InternKey(group, property), valueType, 0, NextField(packed));
        kept.records.push_back(KeptRecord{run, reason, earlier});
        kept.fates.push_back(ValueFate::Pending);
        kept.fates.back() = FateOfNewest(kept, first);
    }
}

void ReadValues(SqliteDatabase& database, std::int64_t project, std::int64_t earlierProject, const ElementSet* elements,
                KeptData& kept)
{
    SqliteStatement rows = database.Prepare(earlierProject < 0 ? ValuesOfProject : ValuesOfProjectAndEarlier);
    rows.Bind(1, project);
    if (earlierProject >= 0)
        rows.Bind(2, earlierProject);
    API_Guid guid = APINULLGuid;
    std::size_t first = 0;  // the element's first value
    while (rows.Step()) {
        const bool earlier = rows.Number(0) == earlierProject;
        const bool sameElement = !kept.rows.empty() && kept.rows.back().element == rows.Text(1);
        const API_Guid rowGuid = sameElement ? guid : GuidOf(rows.Text(1));
        const bool held = elements != nullptr && elements->count(rowGuid) != 0;
        if (earlier && !held)
            continue;
        if (!sameElement) {
            kept.values.EndEntry();  // does nothing before the first
            guid = rowGuid;
            kept.values.StartEntry(guid);
            first = kept.fates.size();
            kept.left.emplace(guid, std::nullopt);
        }
        const std::size_t before = kept.records.size();
        AddPackedValues(kept, rows.Text(3), rows.Text(4), static_cast<UInt32>(rows.Number(2)), earlier, first);
        if (kept.records.size() > before)
            kept.rows.push_back(KeptRow{std::string(rows.Text(1)), std::string(rows.Text(4)), before, kept.records.size()});
        if (elements != nullptr && !held)
            std::fill(kept.fates.begin() + first, kept.fates.end(), ValueFate::ElementGone);
    }
    kept.values.EndEntry();
}

// What the runs left on the elements read, where that is known (an element's row without a
// property joins a row of NULLs: it left none).
void ReadLeft(SqliteDatabase& database, std::int64_t project, KeptData& kept)
{
    SqliteStatement rows = database.Prepare(
        "SELECT element, grp, property, state, written, property IS NOT NULL FROM kept_element LEFT JOIN left_property "
        "USING (project, element) WHERE project = ?1 AND left_known != 0");
    rows.Bind(1, project);
    while (rows.Step())
        if (const auto at = kept.left.find(GuidOf(rows.Text(0))); at != kept.left.end()) {
            PropertyStates& states = at->second ? *at->second : at->second.emplace();
            if (rows.Number(5) != 0)
                ReadStates(rows, 1, states);
        }
}

// The lists of the project and of what an earlier version left, each with its expressions in one
// row apiece (one row with no text for an empty list), the newest run of a name first.
void ReadLists(SqliteDatabase& database, std::int64_t project, std::int64_t earlierProject, KeptData& kept)
{
    SqliteStatement rows = database.Prepare(
        "SELECT project, grp, property, run, reason, kept_expression.text FROM kept_list "
        "LEFT JOIN kept_expression USING (project, grp, property, run) WHERE project IN (?1, ?2) "
        "ORDER BY project = ?2, grp, property, run DESC, position");
    rows.Bind(1, project).Bind(2, earlierProject);
    std::u16string units;
    while (rows.Step()) {
        const KeptRecord record{static_cast<UInt32>(rows.Number(3)), ReasonOf(rows.Text(4)), rows.Number(0) == earlierProject};
        const PropertyName name{ExactUtf8ToUniString(rows.Text(1), units), ExactUtf8ToUniString(rows.Text(2), units)};
        const bool sameName = !kept.lists.empty() && kept.lists.back().name == name &&
                              kept.lists.back().record.earlierVersion == record.earlierVersion;
        if (!sameName || kept.lists.back().record.run != record.run) {
            kept.lists.push_back(KeptExpressionList{name, ExpressionList(), record});
            kept.listFates.push_back(sameName ? ValueFate::Superseded : ValueFate::Pending);
        }
        if (const std::optional<std::string> text = rows.OptionalText(5))
            kept.lists.back().list.Push(ExactUtf8ToUniString(*text, units));
    }
    if (database.Prepare("SELECT lists_left_known FROM project WHERE id = ?1").Bind(1, project).FirstNumber().value_or(1) == 0)
        return;
    kept.listsLeft.emplace();
    SqliteStatement left = database.Prepare("SELECT grp, property, state, written FROM left_definition WHERE project = ?1");
    left.Bind(1, project);
    while (left.Step())
        ReadStates(left, 0, *kept.listsLeft);
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
        const std::int64_t id = ProjectId(database, project, false);
        const std::int64_t earlier = ProjectId(database, ProjectIdentity(), false);
        ReadValues(database, id, earlier, elements, kept);
        ReadLeft(database, id, kept);
        ReadLists(database, id, earlier, kept);
        ReadRuns(database, kept);
    });
    if (problem)
        kept = KeptData();
    return problem;
}

namespace {

std::string_view GroupOf(const KeptData& kept, const KeptRow& row)
{
    return kept.values.Keys()[kept.values.Values()[row.first].key].GroupOrText();
}

// The statements that put values and lists into the store, prepared once for a transaction.
class KeptWriter {
public:
    explicit KeptWriter(SqliteDatabase& database)
        // A row is only ever added where there is none: a run's own rows are new, an earlier
        // version's taken twice stay as they are, and one moving into the project's row stays
        // where it is when another host instance made that row meanwhile.
        : addRow(database.Prepare("INSERT OR IGNORE INTO kept_value (project, element, run, grp, count, packed) "
                                  "VALUES (?1, ?2, ?3, ?4, ?5, ?6)")),
          // A row changes or goes only while it holds what the run read: another host instance may
          // have written it since.
          updateRow(database.Prepare("UPDATE kept_value SET count = ?5, packed = ?6 WHERE project = ?1 AND "
                                     "element = ?2 AND run = ?3 AND grp = ?4 AND packed = ?7")),
          deleteRow(database.Prepare("DELETE FROM kept_value WHERE project = ?1 AND element = ?2 AND run = ?3 AND "
                                     "grp = ?4 AND packed = ?5")),
          insertList(database.Prepare("INSERT INTO kept_list (project, grp, property, run, reason) VALUES (?1, ?2, ?3, ?4, ?5)")),
          insertExpression(database.Prepare(
              "INSERT INTO kept_expression (project, grp, property, run, position, text) VALUES (?1, ?2, ?3, ?4, ?5, ?6)")),
          deleteList(database.Prepare("DELETE FROM kept_list WHERE project = ?1 AND grp = ?2 AND property = ?3 AND run = ?4")),
          deleteExpressions(database.Prepare(
              "DELETE FROM kept_expression WHERE project = ?1 AND grp = ?2 AND property = ?3 AND run = ?4"))
    {
    }

    // Every value of `values` whose fate stays (OwnStays), with its fate as its reason: each one's
    // in `fates`, or `fate` for all of them when there are none (nullptr). One row per element and
    // group.
    void InsertValues(std::int64_t project, UInt32 run, const ValueBackup& values, const std::vector<ValueFate>* fates,
                      ValueFate fate)
    {
        std::map<std::pair<std::string, std::string_view>, PackedRow> rows;
        for (const ValueBackup::Entry& entry : values.Entries()) {
            const std::string element = GuidText(entry.element);
            for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index)
                if (const ValueFate reason = fates != nullptr ? (*fates)[index] : fate; OwnStays(reason)) {
                    const ValueBackup::Value& value = values.Values()[index];
                    rows[{element, values.Keys()[value.key].GroupOrText()}].Add(values, value, reason);
                }
        }
        for (const auto& [at, row] : rows)
            Bind(addRow, project, at.first, run, at.second, &row).Run();
    }

    // Settles the project's row that `own` was read from (nullptr: none, or gone with its whole run)
    // and an earlier version's row of the same element, run and group (`earlier`), whose values
    // that stay move to the project's row. The earlier version's row goes only when none of its
    // values stay or they did move: another host instance may have written the project's row since.
    void SettleRows(std::int64_t project, std::int64_t earlierProject, const KeptData& kept, const KeptRow* own,
                    const KeptRow* earlier)
    {
        PackedRow stays;
        const auto addStaying = [&](const KeptRow* row) {
            for (std::size_t index = row != nullptr ? row->first : 0; row != nullptr && index < row->end; ++index)
                if (const ValueFate fate = kept.fates[index]; StaysKept(fate))
                    stays.Add(kept.values, kept.values.Values()[index],
                              fate == ValueFate::Pending ? kept.records[index].reason : fate);
        };
        addStaying(own);
        const std::int64_t ownStaying = stays.count;
        addStaying(earlier);
        const KeptRow& row = own != nullptr ? *own : *earlier;
        const UInt32 run = kept.records[row.first].run;
        const std::string_view group = GroupOf(kept, row);
        int moved = 1;  // rows the write into the project's row changed; none to write counts as done
        if (own != nullptr && stays.count == 0)
            Bind(deleteRow, project, row.element, run, group).Bind(5, own->packed).Run();
        else if (own != nullptr && stays.packed != own->packed)
            moved = Bind(updateRow, project, row.element, run, group, &stays).Bind(7, own->packed).Run();
        else if (own == nullptr && stays.count != 0)
            moved = Bind(addRow, project, row.element, run, group, &stays).Run();
        if (earlier != nullptr && (moved != 0 || stays.count == ownStaying))
            Bind(deleteRow, earlierProject, row.element, run, group).Bind(5, earlier->packed).Run();
    }

    // Writes `list` of `project` anew under its run with `reason`, or only takes it out (nothing).
    void WriteList(std::int64_t project, const KeptExpressionList& list, std::optional<ValueFate> reason)
    {
        const std::string group = ExactUtf8(list.name.group), property = ExactUtf8(list.name.property);
        const auto bind = [&](SqliteStatement& statement) -> SqliteStatement& {
            return statement.Bind(1, project).Bind(2, group).Bind(3, property).Bind(4, std::int64_t{list.record.run});
        };
        bind(deleteList).Run();
        bind(deleteExpressions).Run();
        if (!reason)
            return;
        bind(insertList).Bind(5, ReasonText(*reason)).Run();
        std::int64_t position = 0;
        for (const GS::UniString& text : list.list)
            bind(insertExpression).Bind(5, position++).Bind(6, ExactUtf8(text)).Run();
    }

private:
    // Binds a row's project, element, run and group, and its values when given.
    static SqliteStatement& Bind(SqliteStatement& statement, std::int64_t project, std::string_view element, UInt32 run,
                                 std::string_view group, const PackedRow* values = nullptr)
    {
        statement.Bind(1, project).Bind(2, element).Bind(3, std::int64_t{run}).Bind(4, group);
        return values != nullptr ? statement.Bind(5, values->count).Bind(6, values->packed) : statement;
    }

    SqliteStatement addRow;
    SqliteStatement updateRow;
    SqliteStatement deleteRow;
    SqliteStatement insertList;
    SqliteStatement insertExpression;
    SqliteStatement deleteList;
    SqliteStatement deleteExpressions;
};

// Writes the run's project (answering its id) and the run, numbering it when it has no number yet
// (`run.run` and each of its own lists): the number is taken while the write lock is held so that
// no other instance takes it too.
std::int64_t WriteRun(SqliteDatabase& database, KeptAtRunEnd& run)
{
    const std::int64_t project = ProjectId(database, run.project, true);
    if (run.run == 0)
        run.run = static_cast<UInt32>(database.Prepare("SELECT coalesce(max(number), 0) FROM run").FirstNumber().value_or(0)) + 1;
    database.Prepare("INSERT OR IGNORE INTO run (number, project, started, configuration) VALUES (?1, ?2, ?3, ?4)")
        .Bind(1, std::int64_t{run.run}).Bind(2, project).Bind(3, run.started).Bind(4, run.configuration).Run();
    for (KeptExpressionList& list : run.ownLists)
        list.record.run = run.run;
    return project;
}

// Takes out of each of `tables` the project's rows; those of the run `run` only, when it is not 0.
void DeleteRows(SqliteDatabase& database, std::initializer_list<const char*> tables, std::int64_t project, UInt32 run = 0)
{
    std::string which = " WHERE project = " + std::to_string(project);
    if (run != 0)
        which += " AND run = " + std::to_string(run);
    for (const char* table : tables)
        database.Execute(std::string("DELETE FROM ") + table + which);
}

// Deletes the project's runs none of whose values read stays, each with one statement rather than a
// row at a time, and answers them. Only a run the store still holds as it was read goes so: the
// same rows and values (another host instance may have written rows of it since). A run's texts
// are only ever its own saved ones, so the same values may differ only in their reasons, and
// those no longer matter once every value came back.
std::set<UInt32> DeleteRunsLeavingWhole(SqliteDatabase& database, std::int64_t project, const KeptData& kept)
{
    struct RunRead {
        std::int64_t rows = 0;
        std::int64_t values = 0;
        bool stays = false;  // one of its values stays kept
    };
    std::map<UInt32, RunRead> read;  // by run of the project's rows read
    for (const KeptRow& row : kept.rows)
        if (const KeptRecord& record = kept.records[row.first]; !record.earlierVersion) {
            RunRead& run = read[record.run];
            ++run.rows;
            run.values += static_cast<std::int64_t>(row.end - row.first);
            run.stays = run.stays || std::any_of(kept.fates.begin() + row.first, kept.fates.begin() + row.end, StaysKept);
        }
    std::set<UInt32> whole;
    if (std::all_of(read.begin(), read.end(), [](const auto& run) { return run.second.stays; }))
        return whole;
    std::int64_t goingRows = 0;
    SqliteStatement stored = database.Prepare("SELECT run, count(*), sum(count) FROM kept_value WHERE project = ?1 GROUP BY run");
    stored.Bind(1, project);
    while (stored.Step()) {
        const auto run = read.find(static_cast<UInt32>(stored.Number(0)));
        if (run == read.end() || run->second.stays || run->second.rows != stored.Number(1) ||
            run->second.values != stored.Number(2))
            continue;
        whole.insert(run->first);
        goingRows += run->second.rows;
    }
    // When they are all the store keeps, the table is emptied at once: SQLite then frees its pages
    // without copying them to the journal.
    if (!whole.empty() && database.Prepare("SELECT count(*) FROM kept_value").FirstNumber() == goingRows) {
        database.Execute("DELETE FROM kept_value");
        return whole;
    }
    for (const UInt32 run : whole)
        DeleteRows(database, {"kept_value"}, project, run);
    return whole;
}

// The kept values as read: rows whose values all stay as they were stay, the others change or go;
// what an earlier version left moves to the project where it stays. An earlier version's row comes
// right after the project's row of the same element, run and group.
void SettleKeptValues(KeptWriter& writer, std::int64_t project, std::int64_t earlierProject, const KeptData& kept,
                      const std::set<UInt32>& wholeRunsGone)
{
    for (std::size_t at = 0; at < kept.rows.size(); ++at) {
        const KeptRow& row = kept.rows[at];
        const KeptRecord& record = kept.records[row.first];
        const KeptRow* next = at + 1 < kept.rows.size() ? &kept.rows[at + 1] : nullptr;
        const bool nextIsEarlier = !record.earlierVersion && next != nullptr && kept.records[next->first].earlierVersion &&
                                   kept.records[next->first].run == record.run && next->element == row.element &&
                                   GroupOf(kept, *next) == GroupOf(kept, row);
        const KeptRow* own = record.earlierVersion || wholeRunsGone.count(record.run) != 0 ? nullptr : &row;
        const KeptRow* earlier = record.earlierVersion ? &row : nextIsEarlier ? &kept.rows[++at] : nullptr;
        if (own != nullptr || earlier != nullptr)
            writer.SettleRows(project, earlierProject, kept, own, earlier);
    }
}

void WriteLeft(SqliteDatabase& database, std::int64_t project, const KeptAtRunEnd& end)
{
    DeleteRows(database, {"kept_element", "left_property"}, project);
    SqliteStatement element = database.Prepare("INSERT INTO kept_element (project, element, left_known) VALUES (?1, ?2, ?3)");
    SqliteStatement property = database.Prepare(
        "INSERT INTO left_property (project, element, grp, property, state, written) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    for (const auto& [guid, states] : end.left) {
        const std::string text = GuidText(guid);
        element.Bind(1, project).Bind(2, text).Bind(3, std::int64_t{states ? 1 : 0}).Run();
        property.Bind(1, project).Bind(2, text);
        if (states)
            WriteStates(property, 3, *states);
    }
}

void WriteLists(SqliteDatabase& database, KeptWriter& writer, std::int64_t project, std::int64_t earlier,
                const KeptAtRunEnd& end, const KeptData& kept)
{
    for (std::size_t index = 0; index < kept.lists.size(); ++index) {
        const KeptExpressionList& list = kept.lists[index];
        const ValueFate fate = kept.listFates[index];
        std::optional<ValueFate> reason;
        if (StaysKept(fate))
            reason = fate == ValueFate::Pending ? list.record.reason : fate;
        writer.WriteList(list.record.earlierVersion ? earlier : project, list, reason);
    }
    for (const KeptExpressionList& list : end.ownLists)
        writer.WriteList(project, list, list.record.reason);
    DeleteRows(database, {"left_definition"}, project);
    database.Prepare("UPDATE project SET lists_left_known = ?2 WHERE id = ?1").Bind(1, project)
        .Bind(2, std::int64_t{end.listsLeft ? 1 : 0}).Run();
    if (!end.listsLeft)
        return;
    SqliteStatement left = database.Prepare(
        "INSERT INTO left_definition (project, grp, property, state, written) VALUES (?1, ?2, ?3, ?4, ?5)");
    left.Bind(1, project);
    WriteStates(left, 2, *end.listsLeft);
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

std::optional<FileProblem> KeptStore::WriteSaved(KeptAtRunEnd& run, const ValueBackup* values)
{
    return Attempt([&](SqliteDatabase& database) {
        const std::int64_t project = WriteRun(database, run);
        KeptWriter writer(database);
        if (values != nullptr)
            writer.InsertValues(project, run.run, *values, nullptr, ValueFate::Pending);
        for (const KeptExpressionList& list : run.ownLists)
            writer.WriteList(project, list, ValueFate::Pending);
    }, true);
}

std::optional<FileProblem> KeptStore::WriteRunEnd(KeptAtRunEnd& end, const KeptData& kept, const ValueBackup* own,
                                                  const std::vector<ValueFate>* ownFates)
{
    return Attempt([&](SqliteDatabase& database) {
        const std::int64_t project = WriteRun(database, end);
        const std::int64_t earlier = ProjectId(database, ProjectIdentity(), false);
        KeptWriter writer(database);
        SettleKeptValues(writer, project, earlier, kept, DeleteRunsLeavingWhole(database, project, kept));
        if (end.ownValuesWritten)
            DeleteRows(database, {"kept_value"}, project, end.run);
        if (own != nullptr)
            writer.InsertValues(project, end.run, *own, ownFates, ValueFate::Pending);
        WriteLeft(database, project, end);
        if (end.ownListsWritten)
            DeleteRows(database, {"kept_list", "kept_expression"}, project, end.run);
        WriteLists(database, writer, project, earlier, end, kept);
        DropWhatNothingNeeds(database);
    }, true);
}

std::optional<FileProblem> KeptStore::WriteEarlierVersion(const std::vector<std::pair<UInt32, ValueBackup>>& values,
                                                          const std::vector<KeptExpressionList>& lists,
                                                          const std::map<UInt32, std::string>& started)
{
    return Attempt([&](SqliteDatabase& database) {
        const std::int64_t project = ProjectId(database, ProjectIdentity(), true);
        SqliteStatement run = database.Prepare(
            "INSERT OR IGNORE INTO run (number, project, started, configuration) VALUES (?1, ?2, ?3, '')");
        for (const auto& [number, when] : started)
            run.Bind(1, std::int64_t{number}).Bind(2, project).Bind(3, when).Run();
        KeptWriter writer(database);
        for (const auto& [number, kept] : values)
            writer.InsertValues(project, number, kept, nullptr, ValueFate::NotDefined);
        for (const KeptExpressionList& list : lists)
            writer.WriteList(project, list, list.record.reason);
    }, true);
}

}  // namespace Quillmere
