#include "ValueRestore.hpp"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"
#include "BackupFile/ValueBackupFile.hpp"
#include "ComingBack.hpp"
#include "ValueConversion.hpp"

namespace Quillmere {

namespace {

// Saved values the restore writes back: the run's own, or those the store keeps. While an element
// is at hand its values are listed by key.
class Source {
public:
    Source(const ValueBackup& values, std::vector<ValueFate>& fates)
        : values(values), fates(fates), byKey(values.Keys().size())
    {
    }

    // Lists the values of `entry` (if any) by key, each key's in document order (open), or empties
    // the lists again before the next element's entry is opened.
    void List(const ValueBackup::Entry* entry, bool open)
    {
        if (entry == nullptr)
            return;
        for (UInt32 value = entry->firstValue; value < entry->firstValue + entry->valueCount; ++value)
            open ? byKey[values.Values()[value].key].push_back(value) : byKey[values.Values()[value].key].clear();
    }

    // The values of the open entry under `key`.
    std::span<const UInt32> Under(std::optional<UInt32> key) const
    {
        return key ? std::span<const UInt32>(byKey[*key]) : std::span<const UInt32>();
    }

    // The fates of the values of `entry`; none without an entry.
    std::span<ValueFate> FatesOf(const ValueBackup::Entry* entry) const
    {
        return entry != nullptr ? std::span(fates).subspan(entry->firstValue, entry->valueCount) : std::span<ValueFate>();
    }

    const ValueBackup& values;
    std::vector<ValueFate>& fates;

private:
    std::vector<std::vector<UInt32>> byKey;
};

using Found = Candidates<ValueBackup::Value>;
using FoundValue = Candidate<ValueBackup::Value>;

// Writes the run's own values, and the store's kept values where they may come back, onto the
// elements: one pass over each element's definitions. A group's name is read once, a definition's
// names made once, and one property record per definition serves all its writes.
class ValueWriter {
public:
    explicit ValueWriter(UpdateRun& run)
        : run(run), own(run.backup ? *run.backup : noBackup, run.fates), kept(run.kept.values, run.kept.fates)
    {
        for (const ValueBackup::Entry& entry : run.kept.values.Entries())
            keptEntries.emplace(entry.element, &entry);
    }

    // The run's own entries, with what the store keeps for their elements; then the elements only
    // the store keeps values of.
    void RestoreAll()
    {
        // An element standing in several entries has each of them written in turn, with what is
        // kept for it once, with the first: its kept entry is taken out of the map then.
        for (const ValueBackup::Entry& entry : own.values.Entries()) {
            const auto keptEntry = keptEntries.extract(entry.element);
            RestoreElement(entry.element, &entry, keptEntry ? keptEntry.mapped() : nullptr);
        }
        for (const ValueBackup::Entry& entry : run.kept.values.Entries())
            if (keptEntries.erase(entry.element) != 0 && std::ranges::count(kept.FatesOf(&entry), ValueFate::Pending) > 0)
                RestoreElement(entry.element, nullptr, &entry);
    }

private:
    // A definition as met first: the keys of its name and then of its earlier names (in the order
    // to try) in each source, and the one property record that serves all its writes.
    struct Definition {
        std::string stateKey;  // StateKey of its 8-bit names
        std::vector<std::optional<UInt32>> ownKeys;
        std::vector<std::optional<UInt32>> keptKeys;
        ElementPropertyRecord record;
    };

    void RestoreElement(const API_Guid& element, const ValueBackup::Entry* ownEntry, const ValueBackup::Entry* keptEntry)
    {
        groupUnread = false;
        written.clear();
        const bool listed = HostListElementPropertyDefinitions(&element, 0, &definitions) == NoError;
        if (listed) {
            own.List(ownEntry, true);
            kept.List(keptEntry, true);
            for (const API_PropertyDefinition& listedDefinition : definitions)
                RestoreDefinition(element, listedDefinition);
            own.List(ownEntry, false);
            kept.List(keptEntry, false);
        }
        // What is left pending found no property of its name.
        const ValueFate unplaced = listed && !groupUnread ? ValueFate::NotDefined : ValueFate::NotWritten;
        std::ranges::replace(own.FatesOf(ownEntry), ValueFate::Pending, unplaced);
        std::ranges::replace(kept.FatesOf(keptEntry), ValueFate::Pending, unplaced);
        NoteLeft(element, ownEntry, keptEntry, listed);
    }

    // Only the entries open for the element give values to find. A property of a group that is not
    // owned takes a saved value only when the rename table leads there, and only where the element
    // holds no value of it: the user's or the host's stands. Nothing else of such a group is touched.
    void RestoreDefinition(const API_Guid& element, const API_PropertyDefinition& listed)
    {
        // A group that cannot be read leaves the name empty, so the definition counts as not owned.
        const PropertyGroupCache::Group& group = groups.Get(listed.groupGuid);
        groupUnread = groupUnread || group.readCode != NoError;
        if (!group.owned && (group.readCode != NoError || run.renames.IsEmpty()))
            return;
        Definition& definition = DefinitionOf(listed, group);
        if (!group.owned && definition.keptKeys.size() == 1)
            return;  // no earlier names
        const Found found = Find(definition);
        auto write = [&](const FoundValue& value) { return Write(element, listed, definition, *value.saved); };
        if (group.owned) {
            auto match = [&](const FoundValue& kept) {
                const auto at = run.found.find(element);
                return MatchLeft(run.kept.LeftFor(element, kept.index), at != run.found.end() ? &at->second : nullptr,
                                 definition.stateKey);
            };
            ComeBack(found, match, write);
        } else if (!found.own.empty() || !found.kept.empty()) {
            MakeFresh(scratch);
            const bool read = HostReadElementPropertyValue(&element, &listed.guid, &scratch) == NoError;
            const ValueFate held = !read ? ValueFate::NotWritten
                                   : ValueState(listed, scratch) ? ValueFate::Occupied : ValueFate::Pending;
            ComeBackIntoOtherGroup(found, held, write);
        }
    }

    // The run's values under the definition's names, and the kept values still pending under them.
    Found Find(const Definition& definition)
    {
        Found found;
        for (std::size_t name = 0; name < definition.ownKeys.size(); ++name)
            for (const UInt32 value : own.Under(definition.ownKeys[name]))
                found.AddOwn(name, own.values.Values()[value], own.fates[value]);
        for (const std::optional<UInt32>& key : definition.keptKeys)
            for (const UInt32 value : kept.Under(key))
                if (kept.fates[value] == ValueFate::Pending)
                    found.kept.push_back(
                        FoundValue{&kept.values.Values()[value], &kept.fates[value], value, run.kept.records[value].run});
        return found;
    }

    // Where the element still has kept values after the run, notes what the run left on each of its
    // owned properties, as the next run's backup would find it: a later run compares with it.
    void NoteLeft(const API_Guid& element, const ValueBackup::Entry* ownEntry, const ValueBackup::Entry* keptEntry, bool listed)
    {
        if (std::ranges::none_of(own.FatesOf(ownEntry), OwnStays) &&
            std::ranges::none_of(kept.FatesOf(keptEntry), StaysKept))
            return;
        std::optional<PropertyStates>& left = run.end.left[element];
        left.reset();
        if (!listed || groupUnread)
            return;  // not known: only a property without a value will count as left
        left.emplace();
        for (const API_PropertyDefinition& listedDefinition : definitions) {
            const PropertyGroupCache::Group& group = groups.Get(listedDefinition.groupGuid);
            if (!group.owned)
                continue;
            MakeFresh(scratch);
            if (HostReadElementPropertyValue(&element, &listedDefinition.guid, &scratch) != NoError) {
                left.reset();
                return;
            }
            (*left)[DefinitionOf(listedDefinition, group).stateKey] =
                PropertyState{ValueState(listedDefinition, scratch), written.count(listedDefinition.guid) != 0};
        }
    }

    Definition& DefinitionOf(const API_PropertyDefinition& listed, const PropertyGroupCache::Group& group)
    {
        auto [at, added] = known.try_emplace(listed.guid);
        Definition& definition = at->second;
        if (!added)
            return definition;
        std::vector<std::pair<std::string, std::string>> names{{ExactUtf8(group.name), ExactUtf8(listed.name)}};
        for (const RenameTable::Name& earlierName : run.renames.EarlierNames(group.name, listed.name))
            names.emplace_back(ExactUtf8(earlierName.group), ExactUtf8(earlierName.property));
        definition.stateKey = StateKey(names[0].first, names[0].second);
        definition.record.definition = listed;
        for (const auto& [groupName, propertyName] : names) {
            definition.ownKeys.push_back(own.values.FindKey(groupName, propertyName));
            definition.keptKeys.push_back(kept.values.FindKey(groupName, propertyName));
        }
        return definition;
    }

    // Writes `saved` into the element's property `listed`, met first as `definition`.
    ValueFate Write(const API_Guid& element, const API_PropertyDefinition& listed, Definition& definition,
                    const ValueBackup::Value& saved)
    {
        ElementPropertyRecord& record = definition.record;
        record.status = 0;
        record.value = TypedValueRecord();
        if (!ConvertSavedValue(saved.valueType, saved.text, saved.textLength, listed.valueType, record.value, units))
            return ValueFate::NotConvertible;
        record.isDefault = false;
        if (HostWriteElementPropertyValue(&element, &record) != NoError) {
            ReportLine(Messages::RestoreWriteErrorLine, {groups.Get(listed.groupGuid).name, listed.name});
            written.erase(listed.guid);
            return ValueFate::NotWritten;
        }
        written.insert(listed.guid);
        return ValueFate::BroughtBack;
    }

    UpdateRun& run;
    const ValueBackup noBackup;  // what the run saved when it saved nothing
    Source own;
    Source kept;
    std::unordered_map<API_Guid, const ValueBackup::Entry*, GuidHash> keptEntries;  // until the element is at hand
    std::unordered_set<API_Guid, GuidHash> written;  // the definitions of the element at hand written into
    bool groupUnread = false;  // a group of the element at hand could not be read
    PropertyGroupCache groups;
    std::unordered_map<API_Guid, Definition, GuidHash> known;
    GS::Array<API_PropertyDefinition> definitions;  // the current element's, filled anew by the host
    ElementPropertyRecord scratch;
    std::u16string units;
};

}  // namespace

bool RestoreElementValues(UpdateRun& run)
{
    if (!run.backup && !run.store)
        return false;
    ValueWriter(run).RestoreAll();
    return true;
}

}  // namespace Quillmere
