#include "ValueRestore.hpp"

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"
#include "HistoryFiles.hpp"
#include "BackupReader.hpp"
#include "ValueBackupFile.hpp"
#include "ValueConversion.hpp"

namespace Quillmere {

namespace {

constexpr UInt32 NoValue = std::numeric_limits<UInt32>::max();

// A backup whose values the restore writes back: the run's own, or an earlier run's that fills
// what the run's own could not. While an element is at hand its values are chained by key.
class Source {
public:
    Source(const ValueBackup& values, std::vector<ValueFate>& fates)
        : values(values), fates(fates), firstOfKey(values.Keys().size(), NoValue), nextOfValue(values.ValueCount(), NoValue)
    {
    }

    // Chains the values of `entry` by key, each key's in document order; an element's entries
    // are opened together, and closed before the next element's are opened.
    void Open(const ValueBackup::Entry& entry)
    {
        for (UInt32 value = entry.firstValue + entry.valueCount; value-- > entry.firstValue;) {
            const UInt32 key = values.Values()[value].key;
            nextOfValue[value] = firstOfKey[key];
            firstOfKey[key] = value;
        }
    }
    void Close(const ValueBackup::Entry& entry)
    {
        for (UInt32 value = entry.firstValue; value < entry.firstValue + entry.valueCount; ++value)
            firstOfKey[values.Values()[value].key] = NoValue;
    }

    // The first value of the open entries under `key`, and the one after `value` under its key.
    UInt32 First(std::optional<UInt32> key) const { return key ? firstOfKey[*key] : NoValue; }
    UInt32 Next(UInt32 value) const { return nextOfValue[value]; }

    const ValueBackup& values;
    std::vector<ValueFate>& fates;
    // By definition: the key of its name and those of its earlier names, in the order to try.
    struct Keys {
        std::optional<UInt32> own;
        std::vector<UInt32> earlier;
    };
    std::unordered_map<API_Guid, Keys, GuidHash> keys;

private:
    std::vector<UInt32> firstOfKey;
    std::vector<UInt32> nextOfValue;
};

// Writes the values of the run's backup, and of earlier runs' where the run's own has none, back
// onto the elements: one pass over each element's definitions, each finding its saved values by
// key. A group's name is read once, a definition's names made once, and one property record per
// definition serves all its writes.
class ValueWriter {
public:
    ValueWriter(UpdateRun& run, std::vector<KeptValues*> earlierSources) : run(run)
    {
        if (run.backup)
            own.emplace(*run.backup, run.fates);
        for (KeptValues* kept : earlierSources)
            earlier.push_back(std::make_unique<Source>(*kept->values, kept->fates));
        earlierCounts.assign(earlierSources.size(), 0);
    }

    // The run's own entries, each with whatever of earlier runs its element lacks.
    void RestoreOwnEntries()
    {
        if (!own)
            return;
        for (const ValueBackup::Entry& entry : own->values.Entries()) {
            visited.insert(entry.element);
            const bool restored = RestoreElement(entry.element, &entry);
            // What is left of the entry did not find its property.
            for (UInt32 value = entry.firstValue; value < entry.firstValue + entry.valueCount; ++value)
                if (run.fates[value] == ValueFate::Pending)
                    run.fates[value] = restored && !groupUnread ? ValueFate::NotDefined : ValueFate::NotWritten;
        }
    }

    // The elements that only earlier runs saved values of.
    void RestoreEarlierEntries()
    {
        for (const std::unique_ptr<Source>& source : earlier)
            for (const ValueBackup::Entry& entry : source->values.Entries()) {
                // An element the project did not hold at the backup is another project's, or gone.
                if (run.definedAtBackup && !run.definedAtBackup->HasElement(entry.element))
                    continue;
                if (visited.insert(entry.element).second)
                    RestoreElement(entry.element, nullptr);
            }
    }

    // How many values came back from each earlier source.
    const std::vector<std::size_t>& EarlierCounts() const { return earlierCounts; }

private:
    struct Definition {
        std::string group;     // the 8-bit names
        std::string property;
        std::vector<RenameTable::Name> earlierNames;
        std::unique_ptr<ElementPropertyRecord> record;
    };

    // Answers false when the element's definitions cannot be listed.
    bool RestoreElement(const API_Guid& element, const ValueBackup::Entry* ownEntry)
    {
        groupUnread = false;
        if (HostListElementPropertyDefinitions(&element, 0, &definitions) != NoError)
            return false;
        OpenAll(element, ownEntry, true);
        for (USize index = 0; index < definitions.GetSize(); ++index)
            RestoreDefinition(element, definitions[index], ownEntry != nullptr);
        OpenAll(element, ownEntry, false);
        return true;
    }

    void OpenAll(const API_Guid& element, const ValueBackup::Entry* ownEntry, bool open)
    {
        if (ownEntry != nullptr)
            open ? own->Open(*ownEntry) : own->Close(*ownEntry);
        // Opened last to first, so that each key's values chain in document order across entries.
        for (std::size_t index = 0; index < earlier.size(); ++index) {
            const std::vector<UInt32>& entries = EntriesOf(index, element);
            for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
                open ? earlier[index]->Open(earlier[index]->values.Entries()[*entry])
                     : earlier[index]->Close(earlier[index]->values.Entries()[*entry]);
        }
    }

    // The entries of `element` in earlier source `index`, found through an index made on first use.
    const std::vector<UInt32>& EntriesOf(std::size_t index, const API_Guid& element)
    {
        if (entryIndex.size() <= index) {
            entryIndex.resize(earlier.size());
            for (std::size_t s = 0; s < earlier.size(); ++s) {
                const std::vector<ValueBackup::Entry>& entries = earlier[s]->values.Entries();
                for (UInt32 e = 0; e < entries.size(); ++e)
                    entryIndex[s][entries[e].element].push_back(e);
            }
        }
        static const std::vector<UInt32> none;
        const auto found = entryIndex[index].find(element);
        return found == entryIndex[index].end() ? none : found->second;
    }

    void RestoreDefinition(const API_Guid& element, const API_PropertyDefinition& listed, bool hasOwnEntry)
    {
        // A group that cannot be read leaves the name empty, so the definition counts as not owned.
        const PropertyGroupCache::Group& group = groups.Get(listed.groupGuid);
        groupUnread = groupUnread || group.readCode != NoError;
        if (!group.owned)
            return;
        Definition& definition = DefinitionOf(listed, group);
        if (hasOwnEntry && WriteFrom(*own, element, listed, definition, Filter::Own))
            return;
        // Earlier runs' values come back only to a property the element did not have at the backup:
        // one it had, with a value or cleared, is the user's. A value an earlier run could not write
        // may still come back to a property the element had without a value.
        if (earlier.empty())
            return;
        Filter filter = Filter::All;
        if (run.definedAtBackup && run.definedAtBackup->Had(element, definition.group, definition.property)) {
            if (run.definedAtBackup->HadValue(element, definition.group, definition.property))
                return;
            filter = Filter::OnlyUnwritten;
        }
        for (std::size_t index = 0; index < earlier.size(); ++index) {
            if (!WriteFrom(*earlier[index], element, listed, definition, filter))
                continue;
            ++earlierCounts[index];
            // An older run's value of the same property is out of date now.
            for (std::size_t older = index + 1; older < earlier.size(); ++older)
                MarkAll(*earlier[older], listed, definition, ValueFate::Superseded);
            return;
        }
    }

    // Which of a source's values may be written: the run's own, an earlier run's, or only those an
    // earlier run could not write.
    enum class Filter { Own, All, OnlyUnwritten };

    // The first value under `key` from `value` on that the filter lets through.
    static UInt32 Admitted(const Source& source, UInt32 value, Filter filter)
    {
        while (value != NoValue && filter == Filter::OnlyUnwritten && !source.values.IsUnwritten(value))
            value = source.Next(value);
        return value;
    }

    // Writes the values `source` holds for the definition at the element, under its own name or else
    // under the first earlier name that has some. Answers whether there were any.
    bool WriteFrom(Source& source, const API_Guid& element, const API_PropertyDefinition& listed, Definition& definition,
                   Filter filter)
    {
        const Source::Keys& keys = KeysOf(source, listed, definition);
        UInt32 first = Admitted(source, source.First(keys.own), filter);
        std::size_t used = 0;
        for (; first == NoValue && used < keys.earlier.size(); ++used)
            first = Admitted(source, source.First(keys.earlier[used]), filter);
        if (first == NoValue)
            return false;
        // The values of the earlier names after the one that won go nowhere else through the table.
        if (filter == Filter::Own)
            for (std::size_t index = used; index < keys.earlier.size(); ++index)
                for (UInt32 value = source.First(keys.earlier[index]); value != NoValue; value = source.Next(value))
                    if (source.fates[value] == ValueFate::Pending)
                        source.fates[value] = ValueFate::GaveWay;
        for (UInt32 value = first; value != NoValue; value = Admitted(source, source.Next(value), filter))
            source.fates[value] = Write(element, listed, definition, source.values.Values()[value]);
        return true;
    }

    void MarkAll(Source& source, const API_PropertyDefinition& listed, Definition& definition, ValueFate fate)
    {
        const Source::Keys& keys = KeysOf(source, listed, definition);
        for (UInt32 value = source.First(keys.own); value != NoValue; value = source.Next(value))
            if (source.fates[value] == ValueFate::Pending)
                source.fates[value] = fate;
        for (const UInt32 key : keys.earlier)
            for (UInt32 value = source.First(key); value != NoValue; value = source.Next(value))
                if (source.fates[value] == ValueFate::Pending)
                    source.fates[value] = fate;
    }

    Definition& DefinitionOf(const API_PropertyDefinition& listed, const PropertyGroupCache::Group& group)
    {
        auto [at, added] = known.try_emplace(listed.guid);
        if (added) {
            at->second.group = BackupName(group.name);
            at->second.property = BackupName(listed.name);
            for (const RenameTable::Name& earlierName : run.renames.EarlierNames(group.name, listed.name))
                at->second.earlierNames.push_back(earlierName);
        }
        return at->second;
    }

    const Source::Keys& KeysOf(Source& source, const API_PropertyDefinition& listed, const Definition& definition)
    {
        auto [at, added] = source.keys.try_emplace(listed.guid);
        if (added) {
            at->second.own = source.values.FindKey(definition.group, definition.property);
            for (const RenameTable::Name& earlierName : definition.earlierNames)
                if (const std::optional<UInt32> key =
                        source.values.FindKey(BackupName(earlierName.group), BackupName(earlierName.property)))
                    at->second.earlier.push_back(*key);
        }
        return at->second;
    }

    ValueFate Write(const API_Guid& element, const API_PropertyDefinition& listed, Definition& definition,
                    const ValueBackup::Value& saved)
    {
        if (definition.record == nullptr) {
            definition.record = std::make_unique<ElementPropertyRecord>();
            definition.record->definition = listed;
        }
        ElementPropertyRecord& property = *definition.record;
        property.status = 0;
        property.value = TypedValueRecord();
        if (!ConvertSavedValue(saved.valueType, saved.text, saved.textLength, listed.valueType, property.value, units))
            return ValueFate::NotConvertible;
        property.isDefault = false;
        if (HostWriteElementPropertyValue(&element, &property) != NoError) {
            ReportLine(Messages::RestoreWriteErrorLine, {groups.Get(listed.groupGuid).name, listed.name});
            return ValueFate::NotWritten;
        }
        return ValueFate::BroughtBack;
    }

    UpdateRun& run;
    std::optional<Source> own;
    std::vector<std::unique_ptr<Source>> earlier;
    std::vector<std::size_t> earlierCounts;
    std::vector<std::unordered_map<API_Guid, std::vector<UInt32>, GuidHash>> entryIndex;
    std::unordered_set<API_Guid, GuidHash> visited;
    bool groupUnread = false;  // a group of the element at hand could not be read
    PropertyGroupCache groups;
    std::unordered_map<API_Guid, Definition, GuidHash> known;
    GS::Array<API_PropertyDefinition> definitions;  // the current element's, filled anew by the host
    std::u16string units;
};

void ReportUnreadableBackup(const SystemPath& path, const MessageArgument& reason)
{
    ReportLine(Messages::UnreadableBackupLine, {PathText(path), reason});
}

void ReportUnreadableBackup(const SystemPath& path, const ValueBackupReading& reading)
{
    switch (reading.problem) {
        case ValueBackupReading::Problem::Empty: ReportUnreadableBackup(path, Messages::UnreadableBackupEmpty); break;
        case ValueBackupReading::Problem::NotWellFormed:
            ReportUnreadableBackup(path, FormatLine(Messages::UnreadableBackupNotWellFormed, {reading.reason, reading.byte}));
            break;
        default: ReportUnreadableBackup(path, Messages::UnreadableBackupNoRoot); break;
    }
}

// The backup file an earlier run left, read as a source of values for a run that saved none (the
// project held no owned group); nothing, reported, when it cannot be read.
std::optional<KeptValues> ReadBackupFileAsSource(const UpdateRun& run, const SystemPath& path)
{
    SystemError error = 0;
    std::optional<ValueBackupReading> read = ReadValueBackupFile(path, error);
    if (!read) {
        if (IsExistingFile(path))
            ReportUnreadableBackup(path, Messages::UnreadableBackupCannotOpen);
        return std::nullopt;
    }
    ValueBackupReading& reading = *read;
    if (!reading.backup) {
        ReportUnreadableBackup(path, reading);
        return std::nullopt;
    }
    KeptValues source;
    source.path = path;
    source.isBackupFile = true;
    source.run = run.earlier.backupRun;
    source.saved = BackupSavedText(run.earlier);
    source.values = std::move(reading.backup);
    source.fates.assign(source.values->ValueCount(), ValueFate::Pending);
    return source;
}

}  // namespace

bool RestoreElementValues(UpdateRun& run)
{
    run.restoreRan = true;
    EarlierRuns& earlier = run.earlier;
    if (!run.backup && !earlier.HasProfile())
        return false;
    // The sources of earlier runs' values, newest first: the backup file when the run saved none of
    // its own, then the kept files.
    if (run.projectHeldNoOwnedGroup && earlier.HasProfile())
        if (std::optional<KeptValues> backupFile = ReadBackupFileAsSource(run, *BackupFilePath()))
            earlier.kept.insert(earlier.kept.begin(), std::move(*backupFile));
    std::vector<KeptValues*> sources;
    for (KeptValues& kept : earlier.kept) {
        // A kept file older than KeptRuns runs is removed after the restore without being read.
        if (!kept.isBackupFile && kept.run + KeptRuns < run.number)
            continue;
        ReadKeptValues(kept);
        if (kept.values)
            sources.push_back(&kept);
    }

    ValueWriter writer(run, sources);
    writer.RestoreOwnEntries();
    writer.RestoreEarlierEntries();
    for (std::size_t index = 0; index < sources.size(); ++index)
        sources[index]->broughtBack = writer.EarlierCounts()[index];
    return true;
}

}  // namespace Quillmere
