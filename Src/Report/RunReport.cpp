#include "RunReport.hpp"

#include <map>
#include <set>
#include <tuple>

#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "Store/KeptStore.hpp"
#include "BackupFile/ValueBackupFile.hpp"

namespace Quillmere {

namespace {

using FateCounts = std::map<ValueFate, std::size_t>;

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

const char* FateText(ValueFate fate)
{
    switch (fate) {
        case ValueFate::NotWritten: return Messages::NotWrittenReason;
        case ValueFate::Occupied: return Messages::OccupiedReason;
        case ValueFate::NotConvertible: return Messages::NotConvertibleReason;
        case ValueFate::GaveWay: return Messages::GaveWayReason;
        default: return Messages::NotDefinedReason;
    }
}

// "12 not defined by the configuration, 1 could not be written"
GS::UniString Reasons(const FateCounts& counts)
{
    GS::UniString text;
    for (const auto& [fate, count] : counts) {
        if (!text.IsEmpty())
            text += GS::UniString(", ");
        text += FormatLine(FateText(fate), {count});
    }
    return text;
}

// By key of the run's backup, the fates of its values that stay kept (were not brought back); a
// value still pending found no definition. Empty without a backup.
std::vector<FateCounts> NotBroughtBackByKey(const UpdateRun& run)
{
    std::vector<FateCounts> lost(run.backup ? run.backup->Keys().size() : 0);
    for (std::size_t index = 0; index < run.fates.size(); ++index)
        if (const ValueFate fate = run.fates[index]; OwnStays(fate))
            ++lost[run.backup->Values()[index].key][fate == ValueFate::Pending ? ValueFate::NotDefined : fate];
    return lost;
}

void ReportOwnValues(const UpdateRun& run, const std::vector<FateCounts>& lost)
{
    std::vector<std::size_t> saved(lost.size(), 0);
    for (std::size_t index = 0; index < run.fates.size(); ++index)
        ++saved[run.backup->Values()[index].key];
    for (std::size_t key = 0; key < lost.size(); ++key) {
        std::size_t count = 0;
        for (const auto& [fate, n] : lost[key])
            count += n;
        const ValueBackup::Key& name = run.backup->Keys()[key];
        if (count != 0)
            ReportLine(run.storeWritten ? Messages::ValuesNotBroughtBackLine : Messages::ValuesNotKeptLine,
                       {name.GroupOrText(), name.property, count, SavedValuesText(saved[key]), Reasons(lost[key]), WhereKept(run)});
    }
}

const char* ListFateText(ValueFate fate)
{
    return fate == ValueFate::NotWritten ? Messages::ListNotWrittenReason
           : fate == ValueFate::GaveWay  ? Messages::ListGaveWayReason
           : fate == ValueFate::Occupied ? Messages::ListOccupiedReason
                                         : Messages::ListNotDefinedReason;
}

void ReportOwnLists(const UpdateRun& run)
{
    for (const auto& [name, fate] : run.listFates)
        if (OwnStays(fate))
            ReportLine(run.storeWritten ? Messages::ListNotBroughtBackLine : Messages::ListNotKeptLine,
                       {name.group, name.property, ListFateText(fate), WhereKept(run)});
}

// What the run did not bring back of an earlier name the rename table renames, by entry.
struct RenameCount {
    std::size_t values = 0, gaveWay = 0, lists = 0;
};

std::vector<RenameCount> CountByRenameEntry(const UpdateRun& run, const std::vector<FateCounts>& lost)
{
    std::vector<RenameCount> counts(run.renames.Entries().size());
    std::u16string units;
    for (std::size_t key = 0; key < lost.size(); ++key) {
        const ValueBackup::Key& name = run.backup->Keys()[key];
        if (lost[key].empty() || !name.separated)
            continue;
        const std::optional<RenameTable::Name> renamed =
            run.renames.RenamedName(ExactUtf8ToUniString(name.group, units), ExactUtf8ToUniString(name.property, units));
        if (!renamed)
            continue;
        for (const auto& [fate, count] : lost[key])
            (fate == ValueFate::GaveWay ? counts[renamed->entry].gaveWay : counts[renamed->entry].values) += count;
    }
    for (const auto& [name, fate] : run.listFates)
        if (OwnStays(fate))
            if (const std::optional<RenameTable::Name> renamed = run.renames.RenamedName(name.group, name.property))
                ++counts[renamed->entry].lists;
    return counts;
}

// One line per entry of the rename table that leads nowhere, or whose values gave way to others.
void ReportRenames(const UpdateRun& run, const std::vector<FateCounts>& lost)
{
    if (run.renames.IsEmpty() || !run.imported)
        return;
    const std::vector<RenameCount> counts = CountByRenameEntry(run, lost);
    std::set<GS::UniString> groups;
    for (const PropertyName& defined : *run.imported)
        groups.insert(defined.group);
    const std::string path = PathText(run.renamesPath);
    for (std::size_t index = 0; index < counts.size(); ++index) {
        const RenameTable::Entry& entry = run.renames.Entries()[index];
        const char* element = entry.isGroup ? "group" : "property";
        const bool leads = entry.isGroup ? groups.count(entry.newGroup) != 0
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

const char* EndedText(ValueFate fate)
{
    return fate == ValueFate::Changed      ? Messages::EndedChangedReason
           : fate == ValueFate::ElementGone ? Messages::EndedElementGoneReason
                                            : Messages::EndedSupersededReason;
}

bool EndsWithLine(ValueFate fate)
{
    return fate == ValueFate::Changed || fate == ValueFate::Superseded || fate == ValueFate::ElementGone;
}

// One line per property and reason of kept values that leave the store, and one per kept list.
void ReportEnded(const UpdateRun& run)
{
    // By group, property and fate: how many, and the newest run among them.
    std::map<std::tuple<std::string_view, std::string_view, ValueFate>, std::pair<std::size_t, UInt32>> ended;
    for (std::size_t index = 0; index < run.kept.fates.size(); ++index) {
        if (!EndsWithLine(run.kept.fates[index]))
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
    for (std::size_t index = 0; index < run.kept.lists.size(); ++index)
        if (EndsWithLine(run.kept.listFates[index]))
            ReportLine(Messages::KeptListEndedLine, {run.kept.lists[index].name.group, run.kept.lists[index].name.property,
                                                     StartedText(run, run.kept.lists[index].record.run),
                                                     EndedText(run.kept.listFates[index])});
}

// What waits in the store for the project after the run: one line, with the groups.
void ReportWaiting(const UpdateRun& run)
{
    std::size_t values = 0, lists = 0;
    std::set<std::string> groups;
    const auto count = [&groups](std::size_t& counter, std::string group) {
        ++counter;
        groups.insert(std::move(group));
    };
    if (run.backup)
        for (std::size_t index = 0; index < run.fates.size(); ++index)
            if (OwnStays(run.fates[index]))
                count(values, std::string(run.backup->Keys()[run.backup->Values()[index].key].group));
    for (std::size_t index = 0; index < run.kept.fates.size(); ++index)
        if (StaysKept(run.kept.fates[index]))
            count(values, std::string(run.kept.values.Keys()[run.kept.values.Values()[index].key].group));
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
        counts += ValuesText(values);
    if (values != 0 && lists != 0)
        counts += GS::UniString(", ");
    if (lists != 0)
        counts += ListsText(lists);
    std::string joined;
    for (const std::string& group : groups)
        joined += (joined.empty() ? "" : ", ") + group;
    ReportLine(Messages::WaitingLine, {StoreText(run), counts, joined});
}

// After a failed property import: where what was saved waits.
void ReportNothingBroughtBack(const UpdateRun& run)
{
    const bool values = run.backup && run.backup->ValueCount() > 0;
    if (!values && run.expressions.lists.empty())
        return;
    ReportLine(run.storeWritten ? Messages::NothingBroughtBackLine : Messages::NothingBroughtBackNotKeptLine, {WhereKept(run)});
}

}  // namespace

void ReportWhatWasNotBroughtBack(const UpdateRun& run)
{
    if (!run.importRan)
        return;
    if (!run.propertiesImported) {
        ReportNothingBroughtBack(run);
    } else {
        const std::vector<FateCounts> lost = NotBroughtBackByKey(run);
        ReportOwnValues(run, lost);
        ReportOwnLists(run);
        ReportRenames(run, lost);
        ReportEarlierRuns(run);
    }
    // Lines that say what the store keeps or no longer keeps are true only once it is written.
    if (run.storeWritten) {
        ReportEnded(run);
        ReportWaiting(run);
    }
}

}  // namespace Quillmere
