#include "RunReport.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "Renames/RenameTableReader.hpp"
#include "Store/KeptStore.hpp"
#include "BackupFile/ValueBackupFile.hpp"

namespace Quillmere {

namespace {

std::string StoreText(const UpdateRun& run)
{
    return run.store ? PathText(run.store->Path()) : std::string();
}

// Where what did not come back is kept: the store, once the run's end is in it; else why it could
// not be kept, and where the values are meanwhile.
GS::UniString WhereKept(const UpdateRun& run)
{
    if (run.storeWritten)
        return GS::UniString(StoreText(run).c_str());
    const FileProblem problem = run.storeProblem.value_or(FileProblem{});
    GS::UniString reason = problem.path.empty() ? GS::UniString(problem.reason.empty() ? Messages::NoProfileReason
                                                                                       : problem.reason.c_str())
                                                : FormatLine(Messages::StoreNotUsedReason, {PathText(problem.path), problem.Detail()});
    if (run.backup && !run.backupProblem)
        if (const std::optional<SystemPath> backup = BackupFilePath())
            reason = FormatLine(Messages::InBackupUntilRewritten, {reason, PathText(*backup)});
    return reason;
}

GS::UniString ValuesText(std::size_t count)
{
    return CountedText(count, Messages::OneValue, Messages::ManyValues);
}

GS::UniString SavedValuesText(std::size_t count)
{
    return CountedText(count, Messages::OneSavedValue, Messages::SavedValues);
}

GS::UniString ListsText(std::size_t count)
{
    return CountedText(count, Messages::OneExpressionList, Messages::ExpressionLists);
}

// Why a saved value, or a saved list, did not come back: "{} could not be written" counts values.
const char* FateText(ValueFate fate, bool list)
{
    switch (fate) {
        case ValueFate::NotWritten: return list ? Messages::ListNotWrittenReason : Messages::NotWrittenReason;
        case ValueFate::Occupied: return list ? Messages::ListOccupiedReason : Messages::OccupiedReason;
        case ValueFate::GaveWay: return list ? Messages::ListGaveWayReason : Messages::GaveWayReason;
        case ValueFate::NotConvertible: return Messages::NotConvertibleReason;
        default: return list ? Messages::ListNotDefinedReason : Messages::NotDefinedReason;
    }
}

// Appends `piece` to a list of pieces joined by ", ".
void AppendJoined(GS::UniString& text, const GS::UniString& piece)
{
    if (!text.IsEmpty())
        text += GS::UniString(", ");
    text += piece;
}

// What became of the run's values saved under one key of its backup: how many there were, and the
// fates of those that stay kept (were not brought back); a value still pending found no definition.
struct KeyCounts {
    std::size_t saved = 0;
    std::map<ValueFate, std::size_t> lost;
};

// By key of the run's backup; empty without a backup.
std::vector<KeyCounts> CountByKey(const UpdateRun& run)
{
    std::vector<KeyCounts> counts(run.backup ? run.backup->Keys().size() : 0);
    for (std::size_t index = 0; index < run.fates.size(); ++index) {
        KeyCounts& key = counts[run.backup->Values()[index].key];
        ++key.saved;
        if (const ValueFate fate = run.fates[index]; OwnStays(fate))
            ++key.lost[fate == ValueFate::Pending ? ValueFate::NotDefined : fate];
    }
    return counts;
}

// The reasons are joined as "12 not defined by the configuration, 1 could not be written".
void ReportOwnValues(const UpdateRun& run, const std::vector<KeyCounts>& counts)
{
    for (std::size_t key = 0; key < counts.size(); ++key) {
        std::size_t lost = 0;
        GS::UniString reasons;
        for (const auto& [fate, count] : counts[key].lost) {
            lost += count;
            AppendJoined(reasons, FormatLine(FateText(fate, false), {count}));
        }
        const ValueBackup::Key& name = run.backup->Keys()[key];
        if (lost != 0)
            ReportLine(run.storeWritten ? Messages::ValuesNotBroughtBackLine : Messages::ValuesNotKeptLine,
                       {name.GroupOrText(), name.property, lost, SavedValuesText(counts[key].saved), reasons, WhereKept(run)});
    }
}

void ReportOwnLists(const UpdateRun& run)
{
    for (const auto& [name, fate] : run.listFates)
        if (OwnStays(fate))
            ReportLine(run.storeWritten ? Messages::ListNotBroughtBackLine : Messages::ListNotKeptLine,
                       {name.group, name.property, FateText(fate, true), WhereKept(run)});
}

// What the run did not bring back of an earlier name the rename table renames, by entry.
struct RenameCount {
    std::size_t values = 0, gaveWay = 0, lists = 0;
};

std::vector<RenameCount> CountByRenameEntry(const UpdateRun& run, const std::vector<KeyCounts>& byKey)
{
    std::vector<RenameCount> counts(run.renames.Entries().size());
    std::u16string units;
    for (std::size_t key = 0; key < byKey.size(); ++key) {
        const ValueBackup::Key& name = run.backup->Keys()[key];
        if (byKey[key].lost.empty() || !name.separated)
            continue;
        const std::optional<RenameTable::Name> renamed =
            run.renames.RenamedName(ExactUtf8ToUniString(name.group, units), ExactUtf8ToUniString(name.property, units));
        if (!renamed)
            continue;
        for (const auto& [fate, count] : byKey[key].lost)
            (fate == ValueFate::GaveWay ? counts[renamed->entry].gaveWay : counts[renamed->entry].values) += count;
    }
    for (const auto& [name, fate] : run.listFates)
        if (OwnStays(fate))
            if (const std::optional<RenameTable::Name> renamed = run.renames.RenamedName(name.group, name.property))
                ++counts[renamed->entry].lists;
    return counts;
}

// One line per entry of the rename table that leads nowhere, or whose values gave way to others.
void ReportRenames(const UpdateRun& run, const std::vector<KeyCounts>& byKey)
{
    if (run.renames.IsEmpty() || !run.imported)
        return;
    const std::vector<RenameCount> counts = CountByRenameEntry(run, byKey);
    const std::string path = PathText(RenameTablePathBeside(run.configuration));
    for (std::size_t index = 0; index < counts.size(); ++index) {
        const RenameTable::Entry& entry = run.renames.Entries()[index];
        const char* element = entry.isGroup ? "group" : "property";
        const auto inGroup = [&entry](const PropertyName& defined) { return defined.group == entry.newGroup; };
        const bool leads = entry.isGroup ? std::ranges::any_of(*run.imported, inGroup)
                                         : run.imported->count(PropertyName{entry.newGroup, entry.newProperty}) != 0;
        if (!leads) {
            const GS::UniString target = entry.isGroup ? FormatLine(Messages::RenameTargetGroup, {entry.newGroup})
                                                       : FormatLine(Messages::RenameTargetProperty, {entry.newGroup, entry.newProperty});
            ReportLine(Messages::RenameEntryNoTargetLine, {path, entry.number, element, target,
                                                           SavedValuesText(counts[index].values + counts[index].gaveWay),
                                                           ListsText(counts[index].lists)});
        } else if (counts[index].gaveWay > 0) {
            ReportLine(Messages::RenameEntryGaveWayLine, {path, entry.number, element, SavedValuesText(counts[index].gaveWay)});
        }
    }
}

std::string StartedText(const UpdateRun& run, UInt32 number)
{
    const auto found = run.kept.started.find(number);
    return found != run.kept.started.end() ? found->second : std::string();
}

// One line per earlier run whose kept values came back, and one per run whose lists did, newest first.
void ReportEarlierRuns(const UpdateRun& run)
{
    std::map<UInt32, std::size_t, std::greater<>> values, lists;
    for (std::size_t index = 0; index < run.kept.fates.size(); ++index)
        if (run.kept.fates[index] == ValueFate::BroughtBack)
            ++values[run.kept.records[index].run];
    for (std::size_t index = 0; index < run.kept.listFates.size(); ++index)
        if (run.kept.listFates[index] == ValueFate::BroughtBack)
            ++lists[run.kept.lists[index].record.run];
    const std::string store = StoreText(run);
    for (const auto& [number, count] : values)
        ReportLine(Messages::ValuesCameBackLine, {ValuesText(count), StartedText(run, number), store});
    for (const auto& [number, count] : lists)
        ReportLine(Messages::ListsCameBackLine, {ListsText(count), StartedText(run, number), store});
}

// Why a kept value or list leaves the store for a reason the report tells; nullptr for any other fate.
const char* EndedText(ValueFate fate)
{
    return fate == ValueFate::Changed       ? Messages::EndedChangedReason
           : fate == ValueFate::ElementGone ? Messages::EndedElementGoneReason
           : fate == ValueFate::Superseded  ? Messages::EndedSupersededReason
                                            : nullptr;
}

// One line per property and reason of kept values that leave the store, and one per kept list.
void ReportEnded(const UpdateRun& run)
{
    // By group, property and fate: how many, and the newest run among them.
    std::map<std::tuple<std::string_view, std::string_view, ValueFate>, std::pair<std::size_t, UInt32>> ended;
    for (std::size_t index = 0; index < run.kept.fates.size(); ++index) {
        if (EndedText(run.kept.fates[index]) == nullptr)
            continue;
        const ValueBackup::Key& key = run.kept.values.Keys()[run.kept.values.Values()[index].key];
        auto& [count, newest] = ended[{key.group, key.property, run.kept.fates[index]}];
        ++count;
        newest = std::max(newest, run.kept.records[index].run);
    }
    for (const auto& [name, counted] : ended)
        ReportLine(Messages::KeptValuesEndedLine,
                   {std::get<0>(name), std::get<1>(name), StartedText(run, counted.second),
                    ValuesText(counted.first), EndedText(std::get<2>(name))});
    for (std::size_t index = 0; index < run.kept.lists.size(); ++index) {
        const KeptExpressionList& list = run.kept.lists[index];
        if (const char* reason = EndedText(run.kept.listFates[index]))
            ReportLine(Messages::KeptListEndedLine, {list.name.group, list.name.property, StartedText(run, list.record.run), reason});
    }
}

// What waits in the store for the project after the run: one line, with the groups.
void ReportWaiting(const UpdateRun& run)
{
    std::size_t values = 0, lists = 0;
    std::set<std::string> groups;
    const auto count = [&groups](std::size_t& counter, std::string_view group) {
        ++counter;
        groups.emplace(group);
    };
    for (std::size_t index = 0; index < run.fates.size(); ++index)
        if (OwnStays(run.fates[index]))
            count(values, run.backup->Keys()[run.backup->Values()[index].key].group);
    for (std::size_t index = 0; index < run.kept.fates.size(); ++index)
        if (StaysKept(run.kept.fates[index]))
            count(values, run.kept.values.Keys()[run.kept.values.Values()[index].key].group);
    for (const auto& [name, list] : run.expressions.lists) {
        const auto fate = run.listFates.find(name);
        if (fate == run.listFates.end() || OwnStays(fate->second))
            count(lists, ExactUtf8(name.group));
    }
    for (std::size_t index = 0; index < run.kept.lists.size(); ++index)
        if (StaysKept(run.kept.listFates[index]))
            count(lists, ExactUtf8(run.kept.lists[index].name.group));
    if (values + lists == 0)
        return;
    GS::UniString counts;
    if (values != 0)
        AppendJoined(counts, ValuesText(values));
    if (lists != 0)
        AppendJoined(counts, ListsText(lists));
    std::string joined;
    for (const std::string& group : groups)
        joined += (joined.empty() ? "" : ", ") + group;
    ReportLine(Messages::WaitingLine, {StoreText(run), counts, joined});
}

}  // namespace

void ReportWhatWasNotBroughtBack(const UpdateRun& run)
{
    if (!run.propertiesImported) {
        // Where what was saved waits.
        if ((run.backup && run.backup->ValueCount() > 0) || !run.expressions.lists.empty())
            ReportLine(run.storeWritten ? Messages::NothingBroughtBackLine : Messages::NothingBroughtBackNotKeptLine,
                       {WhereKept(run)});
    } else {
        const std::vector<KeyCounts> byKey = CountByKey(run);
        ReportOwnValues(run, byKey);
        ReportOwnLists(run);
        ReportRenames(run, byKey);
        ReportEarlierRuns(run);
    }
    // Lines that say what the store keeps or no longer keeps are true only once it is written.
    if (run.storeWritten) {
        ReportEnded(run);
        ReportWaiting(run);
    }
}

}  // namespace Quillmere
