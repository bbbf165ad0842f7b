#include "KeepForLaterRuns.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "HistoryFiles.hpp"
#include "ValueBackupFile.hpp"

namespace Quillmere {

namespace {

// A value that is still to be kept: one that has not come back and is not out of date.
bool StaysKept(ValueFate fate)
{
    return fate != ValueFate::BroughtBack && fate != ValueFate::Superseded;
}

// The values of `from` whose fates say they stay, as a backup of their own.
ValueBackup Remaining(const ValueBackup& from, const std::vector<ValueFate>& fates)
{
    ValueBackup remaining;
    for (const ValueBackup::Entry& entry : from.Entries()) {
        remaining.StartEntry(entry.element);
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index) {
            if (!StaysKept(fates[index]))
                continue;
            const ValueBackup::Value& value = from.Values()[index];
            const ValueBackup::Key& key = from.Keys()[value.key];
            const UInt32 kept = key.separated ? remaining.InternKey(key.group, key.property) : remaining.InternKey(key.text);
            remaining.AddValue(kept, value.valueType, value.measureType, std::string_view(value.text, value.textLength));
            if (from.IsUnwritten(index) || fates[index] == ValueFate::NotWritten || fates[index] == ValueFate::NotConvertible)
                remaining.MarkLastUnwritten();
        }
        remaining.EndEntry();
    }
    return remaining;
}

bool WriteKeptValues(const SystemPath& path, const ValueBackup& values, UInt32 run, const std::string& saved)
{
    const KeptFileHeader header{run, saved};
    return WriteValuesFile(path, values, &header);
}

void RemoveFile(const SystemPath& path)
{
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

// An earlier run's values whose property an element has had since this run's backup are the
// user's business now: they are dropped. One that a run could not write into the property is
// dropped only when the element has had a value of it.
void DropWhatElementsHad(const UpdateRun& run, KeptValues& kept)
{
    if (!run.definedAtBackup)
        return;
    for (const ValueBackup::Entry& entry : kept.values->Entries()) {
        if (!run.definedAtBackup->HasElement(entry.element))
            continue;
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index) {
            const ValueBackup::Key& key = kept.values->Keys()[kept.values->Values()[index].key];
            const bool unwritten = kept.values->IsUnwritten(index);
            if (kept.fates[index] == ValueFate::Pending && key.separated &&
                (unwritten ? run.definedAtBackup->HadValue(entry.element, key.group, key.property)
                           : run.definedAtBackup->Had(entry.element, key.group, key.property)))
                kept.fates[index] = ValueFate::Superseded;
        }
    }
}

// Rewrites an earlier run's kept file without what no longer stays (or removes it), and drops it
// once it is older than KeptRuns runs.
void UpdateKeptFile(const UpdateRun& run, KeptValues& kept)
{
    if (kept.run + KeptRuns < run.number) {
        RemoveFile(kept.path);
        return;
    }
    ReadKeptValues(kept);
    if (!kept.values)
        return;
    DropWhatElementsHad(run, kept);
    const std::size_t staying = static_cast<std::size_t>(std::count_if(kept.fates.begin(), kept.fates.end(), StaysKept));
    if (staying == kept.fates.size() && staying != 0)
        return;
    if (staying == 0)
        RemoveFile(kept.path);
    else
        WriteKeptValues(kept.path, Remaining(*kept.values, kept.fates), kept.run, kept.saved);
}

// The backup file read as a source (the project held no owned group): what of it did not come
// back goes into its run's kept file, unless that was done by the run that wrote it.
bool SettleBackupFile(UpdateRun& run, KeptValues& backupFile)
{
    if (!run.earlier.BackupUnsettled())
        return true;
    DropWhatElementsHad(run, backupFile);
    const ValueBackup remaining = Remaining(*backupFile.values, backupFile.fates);
    if (remaining.ValueCount() == 0)
        return true;
    return WriteKeptValues(KeptValuesPath(run.earlier.folder, backupFile.run), remaining, backupFile.run, backupFile.saved);
}

// The run's own values that did not come back. Answers whether they are all kept somewhere.
bool KeepOwnValues(UpdateRun& run)
{
    if (!run.backup)
        return true;
    const std::optional<SystemPath> backupPath = BackupFilePath();
    if (!run.restoreRan && run.backupWritten) {
        // The backup file holds them all; the next run moves it to a kept file.
        run.valuesKeptIn = *backupPath;
        return false;
    }
    // Without a restore every fate is still Pending: all the values stay.
    const ValueBackup remaining = Remaining(*run.backup, run.fates);
    if (remaining.ValueCount() == 0)
        return true;
    const SystemPath path = KeptValuesPath(run.earlier.folder, run.number);
    if (WriteKeptValues(path, remaining, run.number, run.started)) {
        run.valuesKeptIn = path;
        return true;
    }
    // The backup file, if it is this run's, still holds them: the next run keeps them from there.
    if (run.backupWritten)
        run.valuesKeptIn = *backupPath;
    return false;
}

// The module's store after the run: without what came back, with the run's lists that did not,
// without what is older than KeptRuns runs; of equal lists of one name only the newest, and none
// that equals a list of that name the run brought back.
void UpdateExpressionStore(const UpdateRun& run)
{
    ExpressionStoreList store;
    for (std::size_t index = 0; index < ExpressionStore.size(); ++index) {
        const bool broughtBack = index < run.keptListFates.size() && run.keptListFates[index] == ValueFate::BroughtBack;
        const bool own = ExpressionStore[index].run == run.number;  // added again below if they stay
        if (!broughtBack && !own && ExpressionStore[index].run + KeptRuns >= run.number)
            store.push_back(std::move(ExpressionStore[index]));
    }
    for (const auto& entry : run.expressions.lists) {
        // Named apart: a lambda may not capture the names of a structured binding before C++20.
        const auto& name = entry.first;
        const auto& list = entry.second;
        const auto equal = [&](const KeptExpressionList& kept) {
            return kept.name == name && kept.list.GetSize() == list.GetSize() &&
                   std::equal(list.begin(), list.end(), kept.list.begin());
        };
        store.erase(std::remove_if(store.begin(), store.end(), equal), store.end());
        const auto fate = run.listFates.find(name);
        if (fate != run.listFates.end() && fate->second == ValueFate::BroughtBack)
            continue;
        const bool unwritten = fate != run.listFates.end() && fate->second == ValueFate::NotWritten;
        store.push_back(KeptExpressionList{name, list, run.number, run.started, unwritten});
    }
    // Held while the module is loaded: an empty store holds no memory.
    store.shrink_to_fit();
    ExpressionStore = std::move(store);
}

// Where the run's lists wait: the history file; empty without a profile folder (they wait in memory).
std::string ListsFileText(const UpdateRun& run)
{
    return run.earlier.HasProfile() ? PathText(HistoryFilePath(run.earlier.folder)) : std::string();
}

// Why values could not be kept: no profile folder, or their file could not be written.
const char* NotKeptReason(const UpdateRun& run)
{
    return run.earlier.HasProfile() ? Messages::KeptFileNotWrittenReason : Messages::NoProfileReason;
}

const char* FateText(ValueFate fate)
{
    switch (fate) {
        case ValueFate::NotWritten: return Messages::NotWrittenReason;
        case ValueFate::NotConvertible: return Messages::NotConvertibleReason;
        case ValueFate::GaveWay: return Messages::GaveWayReason;
        default: return Messages::NotDefinedReason;
    }
}

// "12 not defined by the configuration, 1 could not be written"
GS::UniString Reasons(const std::map<ValueFate, std::size_t>& counts)
{
    GS::UniString text;
    for (const auto& [fate, count] : counts) {
        if (!text.IsEmpty())
            text += GS::UniString(", ");
        text += FormatLine(FateText(fate), {count});
    }
    return text;
}

void ReportOwnValues(const UpdateRun& run)
{
    if (!run.backup)
        return;
    // By key, in the order of the keys: the fates of the values not brought back, and how many were saved.
    const ValueBackup& backup = *run.backup;
    std::vector<std::map<ValueFate, std::size_t>> lost(backup.Keys().size());
    std::vector<std::size_t> saved(backup.Keys().size(), 0);
    for (std::size_t index = 0; index < backup.ValueCount(); ++index) {
        const UInt32 key = backup.Values()[index].key;
        ++saved[key];
        if (run.fates[index] != ValueFate::BroughtBack)
            ++lost[key][run.fates[index] == ValueFate::Pending ? ValueFate::NotDefined : run.fates[index]];
    }
    for (std::size_t key = 0; key < lost.size(); ++key) {
        if (lost[key].empty())
            continue;
        std::size_t count = 0;
        for (const auto& [fate, n] : lost[key])
            count += n;
        const ValueBackup::Key& name = backup.Keys()[key];
        const std::string_view group = name.separated ? name.group : name.text;
        const GS::UniString of = CountedText(saved[key], Messages::OneSavedValue, Messages::SavedValues);
        if (run.valuesKeptIn.empty())
            ReportLine(Messages::ValuesNotKeptLine, {group, name.property, count, of, Reasons(lost[key]), NotKeptReason(run)});
        else
            ReportLine(Messages::ValuesNotBroughtBackLine,
                       {group, name.property, count, of, Reasons(lost[key]), PathText(run.valuesKeptIn)});
    }
}

void ReportOwnLists(const UpdateRun& run)
{
    const std::string where = ListsFileText(run);
    for (const auto& [name, list] : run.expressions.lists) {
        const auto fate = run.listFates.find(name);
        if (fate == run.listFates.end() || fate->second == ValueFate::BroughtBack)
            continue;
        const char* reason =
            fate->second == ValueFate::NotWritten ? Messages::ListNotWrittenReason : Messages::ListNotDefinedReason;
        if (where.empty())
            ReportLine(Messages::ListNotKeptLine, {name.group, name.property, reason});
        else
            ReportLine(Messages::ListNotBroughtBackLine, {name.group, name.property, reason, where});
    }
}

// What the run did not bring back of an earlier name the rename table renames, by entry.
struct RenameCount {
    std::size_t values = 0, gaveWay = 0, lists = 0;
};

std::vector<RenameCount> CountByRenameEntry(const UpdateRun& run)
{
    std::vector<RenameCount> counts(run.renames.Entries().size());
    std::u16string units;
    const auto entryOf = [&run, &units](std::string_view group, std::string_view property) {
        const std::optional<RenameTable::Name> renamed =
            run.renames.RenamedName(ExactUtf8ToUniString(group, units), ExactUtf8ToUniString(property, units));
        return renamed ? std::optional<std::size_t>(renamed->entry) : std::nullopt;
    };
    if (run.backup) {
        const ValueBackup& backup = *run.backup;
        // The entry each key's name follows, found once a key.
        std::vector<std::optional<std::optional<std::size_t>>> entryOfKey(backup.Keys().size());
        for (std::size_t index = 0; index < backup.ValueCount(); ++index) {
            const UInt32 key = backup.Values()[index].key;
            if (run.fates[index] == ValueFate::BroughtBack)
                continue;
            if (!entryOfKey[key])
                entryOfKey[key] = backup.Keys()[key].separated ? entryOf(backup.Keys()[key].group, backup.Keys()[key].property)
                                                              : std::nullopt;
            if (const std::optional<std::size_t> entry = *entryOfKey[key])
                ++(run.fates[index] == ValueFate::GaveWay ? counts[*entry].gaveWay : counts[*entry].values);
        }
    }
    for (const auto& [name, list] : run.expressions.lists) {
        const auto fate = run.listFates.find(name);
        if (fate != run.listFates.end() && fate->second != ValueFate::BroughtBack)
            if (const std::optional<RenameTable::Name> renamed = run.renames.RenamedName(name.group, name.property))
                ++counts[renamed->entry].lists;
    }
    return counts;
}

// One line per entry of the rename table that leads nowhere, or whose values gave way to others.
void ReportRenames(const UpdateRun& run)
{
    if (run.renames.IsEmpty() || !run.importedOwned)
        return;
    const std::vector<RenameCount> counts = CountByRenameEntry(run);
    std::set<GS::UniString> groups;
    for (const PropertyName& owned : *run.importedOwned)
        groups.insert(owned.group);
    const std::string path = PathText(run.renamesPath);
    for (std::size_t index = 0; index < counts.size(); ++index) {
        const RenameTable::Entry& entry = run.renames.Entries()[index];
        const char* element = entry.isGroup ? "group" : "property";
        const bool leads = entry.isGroup ? groups.count(entry.newGroup) != 0
                                         : run.importedOwned->count(PropertyName{entry.newGroup, entry.newProperty}) != 0;
        if (!leads) {
            const GS::UniString target = entry.isGroup ? FormatLine(Messages::RenameTargetGroup, {entry.newGroup})
                                                       : FormatLine(Messages::RenameTargetProperty, {entry.newGroup, entry.newProperty});
            ReportLine(Messages::RenameEntryNoTargetLine,
                       {path, entry.number, element, target,
                        CountedText(counts[index].values + counts[index].gaveWay, Messages::OneSavedValue, Messages::SavedValues),
                        CountedText(counts[index].lists, Messages::OneExpressionList, Messages::ExpressionLists)});
        } else if (counts[index].gaveWay > 0) {
            ReportLine(Messages::RenameEntryGaveWayLine,
                       {path, entry.number, element,
                        CountedText(counts[index].gaveWay, Messages::OneSavedValue, Messages::SavedValues)});
        }
    }
}

// After a failed property import: where what was saved waits.
void ReportNothingBroughtBack(const UpdateRun& run)
{
    const bool values = run.backup && run.backup->ValueCount() > 0;
    if (!values && run.expressions.lists.empty())
        return;
    if (!run.earlier.HasProfile() || (values && run.valuesKeptIn.empty())) {
        ReportLine(Messages::NothingBroughtBackNotKeptLine, {NotKeptReason(run)});
        return;
    }
    const std::string lists = ListsFileText(run);
    if (!values)
        ReportLine(Messages::NothingBroughtBackLine, {FormatLine(Messages::KeptInFile, {lists})});
    else if (run.expressions.lists.empty())
        ReportLine(Messages::NothingBroughtBackLine, {FormatLine(Messages::KeptInFile, {PathText(run.valuesKeptIn)})});
    else
        ReportLine(Messages::NothingBroughtBackLine,
                   {FormatLine(Messages::KeptInFiles, {PathText(run.valuesKeptIn), lists})});
}

void ReportEarlierRuns(const UpdateRun& run)
{
    for (const KeptValues& kept : run.earlier.kept)
        if (kept.broughtBack > 0)
            ReportLine(Messages::ValuesCameBackLine, {CountedText(kept.broughtBack, Messages::OneValue, Messages::ManyValues),
                                                      kept.saved, PathText(kept.path)});
    // The lists by the run that saved them.
    std::map<UInt32, std::pair<std::size_t, std::string>> lists;
    for (std::size_t index = 0; index < run.keptListFates.size(); ++index)
        if (run.keptListFates[index] == ValueFate::BroughtBack) {
            auto& [count, saved] = lists[run.keptListSources[index].first];
            ++count;
            saved = run.keptListSources[index].second;
        }
    const std::string where = ListsFileText(run);
    for (auto at = lists.rbegin(); at != lists.rend(); ++at)
        ReportLine(Messages::ListsCameBackLine,
                   {CountedText(at->second.first, Messages::OneExpressionList, Messages::ExpressionLists), at->second.second, where});
}

}  // namespace

void KeepForLaterRuns(UpdateRun& run)
{
    // The lists' sources are needed for the report once the store has changed.
    for (const KeptExpressionList& kept : ExpressionStore)
        run.keptListSources.emplace_back(kept.run, kept.saved);
    UpdateExpressionStore(run);
    EarlierRuns& earlier = run.earlier;
    if (!earlier.HasProfile())
        return;

    bool backupSettled = earlier.BackupRecorded() && earlier.backup->settled;
    for (KeptValues& kept : earlier.kept) {
        if (kept.isBackupFile)
            backupSettled = SettleBackupFile(run, kept) || backupSettled;
        else
            UpdateKeptFile(run, kept);
    }
    const bool ownKept = KeepOwnValues(run);
    if (run.backupWritten)
        backupSettled = ownKept;

    HistoryFile history;
    history.lastRun = run.number;
    if (earlier.backupFile)
        history.backup = BackupRecord{*earlier.backupFile, earlier.backupRun, BackupSavedText(earlier), backupSettled};
    history.lists = ExpressionStore;
    WriteHistory(earlier.folder, history);
}

void ReportWhatWasNotBroughtBack(const UpdateRun& run)
{
    if (!run.importRan)
        return;  // a cancelled dialog says nothing
    if (!run.propertiesImported) {
        ReportNothingBroughtBack(run);
        return;
    }
    ReportOwnValues(run);
    ReportOwnLists(run);
    ReportRenames(run);
    ReportEarlierRuns(run);
}

}  // namespace Quillmere
