#include "ValueRestore.hpp"

#include <algorithm>
#include <limits>
#include <memory>
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
#include "ValueConversion.hpp"

namespace Quillmere {

namespace {

constexpr UInt32 NoValue = std::numeric_limits<UInt32>::max();

// Saved values the restore writes back: the run's own, or those the store keeps. While an element
// is at hand its values are listed by key.
class Source {
public:
    Source(const ValueBackup& values, std::vector<ValueFate>& fates)
        : values(values), fates(fates), byKey(values.Keys().size())
    {
    }

    // Lists the values of `entry` by key, each key's in document order (open), or empties the
    // lists again before the next element's entry is opened.
    void List(const ValueBackup::Entry& entry, bool open)
    {
        for (UInt32 value = entry.firstValue; value < entry.firstValue + entry.valueCount; ++value)
            open ? byKey[values.Values()[value].key].push_back(value) : byKey[values.Values()[value].key].clear();
    }

    // The values of the open entry under `key`.
    std::span<const UInt32> Under(std::optional<UInt32> key) const
    {
        return key ? std::span<const UInt32>(byKey[*key]) : std::span<const UInt32>();
    }

    std::span<ValueFate> FatesOf(const ValueBackup::Entry& entry) const
    {
        return std::span(fates).subspan(entry.firstValue, entry.valueCount);
    }

    const ValueBackup::Value& Saved(UInt32 value) const { return values.Values()[value]; }

    const ValueBackup& values;
    std::vector<ValueFate>& fates;

private:
    std::vector<std::vector<UInt32>> byKey;
};

// The run's values found for a definition, and whether under an earlier name.
struct OwnFound {
    std::span<const UInt32> values;
    bool renamed = false;
};

// The kept value chosen for a definition (NoValue: none), and whether under an earlier name.
struct KeptFound {
    UInt32 value = NoValue;
    bool renamed = false;
};

// Writes the run's own values, and the store's kept values where they may come back, onto the
// elements: one pass over each element's definitions. A group's name is read once, a definition's
// names made once, and one property record per definition serves all its writes.
class ValueWriter {
public:
    explicit ValueWriter(UpdateRun& run) : run(run), kept(run.kept.values, run.kept.fates)
    {
        if (run.backup)
            own.emplace(*run.backup, run.fates);
        for (const ValueBackup::Entry& entry : run.kept.values.Entries())
            keptEntries.emplace(entry.element, &entry);
    }

    // The run's own entries, with what the store keeps for their elements; then the elements only
    // the store keeps values of.
    void RestoreAll()
    {
        // An element standing in several entries has each of them written in turn, with what is
        // kept for it once, with the first.
        if (own)
            for (const ValueBackup::Entry& entry : own->values.Entries())
                RestoreElement(entry.element, &entry, visited.insert(entry.element).second);
        for (const ValueBackup::Entry& entry : run.kept.values.Entries())
            if (visited.insert(entry.element).second && std::ranges::count(kept.FatesOf(entry), ValueFate::Pending) > 0)
                RestoreElement(entry.element, nullptr, true);
    }

private:
    // A definition as met first: the keys of its name and then of its earlier names (in the order
    // to try) in each source, and the one property record that serves all its writes.
    struct Definition {
        std::string stateKey;  // StateKey of its 8-bit names
        std::vector<std::optional<UInt32>> ownKeys;
        std::vector<std::optional<UInt32>> keptKeys;
        std::unique_ptr<ElementPropertyRecord> record;
    };

    void RestoreElement(const API_Guid& element, const ValueBackup::Entry* ownEntry, bool withKept)
    {
        const auto keptAt = withKept ? keptEntries.find(element) : keptEntries.end();
        const ValueBackup::Entry* keptEntry = keptAt != keptEntries.end() ? keptAt->second : nullptr;
        groupUnread = false;
        written.clear();
        const bool listed = HostListElementPropertyDefinitions(&element, 0, &definitions) == NoError;
        if (listed) {
            Toggle(ownEntry, keptEntry, true);
            for (USize index = 0; index < definitions.GetSize(); ++index)
                RestoreDefinition(element, definitions[index]);
            Toggle(ownEntry, keptEntry, false);
        }
        // What is left pending found no property of its name.
        const ValueFate unplaced = listed && !groupUnread ? ValueFate::NotDefined : ValueFate::NotWritten;
        if (ownEntry != nullptr)
            std::ranges::replace(own->FatesOf(*ownEntry), ValueFate::Pending, unplaced);
        if (keptEntry != nullptr)
            std::ranges::replace(kept.FatesOf(*keptEntry), ValueFate::Pending, unplaced);
        NoteLeft(element, ownEntry, keptEntry, listed);
    }

    void Toggle(const ValueBackup::Entry* ownEntry, const ValueBackup::Entry* keptEntry, bool open)
    {
        if (ownEntry != nullptr)
            own->List(*ownEntry, open);
        if (keptEntry != nullptr)
            kept.List(*keptEntry, open);
    }

    // The property a value goes into: the element's definition as listed, and as met first.
    struct Target {
        const API_Guid& element;
        const API_PropertyDefinition& listed;
        Definition& definition;
    };

    // Only the entries open for the element give values to find.
    void RestoreDefinition(const API_Guid& element, const API_PropertyDefinition& listed)
    {
        // A group that cannot be read leaves the name empty, so the definition counts as not owned.
        const PropertyGroupCache::Group& group = groups.Get(listed.groupGuid);
        groupUnread = groupUnread || group.readCode != NoError;
        if (!group.owned) {
            if (group.readCode == NoError && !run.renames.IsEmpty())
                RestoreIntoOtherGroup(Target{element, listed, DefinitionOf(listed, group)});
            return;
        }
        const Target target{element, listed, DefinitionOf(listed, group)};
        const OwnFound ownFound = FindOwn(target.definition);
        const KeptFound keptFound = FindKept(target.definition);
        if (keptFound.value == NoValue) {
            WriteOwn(target, ownFound);
            return;
        }
        const auto found = run.found.find(element);
        const LeftMatch match = MatchLeft(run.kept.LeftFor(element, keptFound.value),
                                          found != run.found.end() ? &found->second : nullptr, target.definition.stateKey);
        if (match == LeftMatch::AsLeft && !ownFound.renamed)
            BringBackKept(target, keptFound, ownFound);
        else
            KeepOwn(target, keptFound, ownFound, match);
    }

    // A property of a group that is not owned takes a saved value only when the rename table leads
    // there, and only where the element holds no value of it: the user's or the host's stands.
    // Nothing else of such a group is touched.
    void RestoreIntoOtherGroup(const Target& target)
    {
        if (target.definition.keptKeys.size() == 1)
            return;  // no earlier names
        const OwnFound ownFound = FindOwn(target.definition);
        const KeptFound keptFound = FindKept(target.definition);
        if (ownFound.values.empty() && keptFound.value == NoValue)
            return;
        MakeFresh(scratch);
        const bool read = HostReadElementPropertyValue(&target.element, &target.listed.guid, &scratch) == NoError;
        const ValueFate held = !read ? ValueFate::NotWritten
                               : ValueState(target.listed, scratch) ? ValueFate::Occupied : ValueFate::Pending;
        if (!ownFound.values.empty()) {
            for (const UInt32 value : ownFound.values)
                own->fates[value] = held != ValueFate::Pending ? held : Write(target, own->Saved(value));
            MarkKept(target.definition, held != ValueFate::Pending ? held : ValueFate::Superseded);
            return;
        }
        kept.fates[keptFound.value] = held != ValueFate::Pending ? held : Write(target, kept.Saved(keptFound.value));
        MarkKept(target.definition, ValueFate::GaveWay);
    }

    // The run's values for the definition: under its own name, or else the first earlier name that
    // has some; those of the earlier names after it go nowhere else through the table.
    OwnFound FindOwn(const Definition& definition)
    {
        OwnFound found;
        for (std::size_t index = 0; index < definition.ownKeys.size(); ++index) {
            const std::span<const UInt32> values = own->Under(definition.ownKeys[index]);
            if (found.values.empty())
                found = OwnFound{values, index > 0 && !values.empty()};
            else
                for (const UInt32 value : values)
                    if (own->fates[value] == ValueFate::Pending)
                        own->fates[value] = ValueFate::GaveWay;
        }
        return found;
    }

    // Calls `visit(value, renamed)` for each kept value still pending under the definition's names.
    template <typename Visit>
    void ForEachKept(const Definition& definition, Visit visit)
    {
        for (std::size_t index = 0; index < definition.keptKeys.size(); ++index)
            for (const UInt32 value : kept.Under(definition.keptKeys[index]))
                if (kept.fates[value] == ValueFate::Pending)
                    visit(value, index > 0);
    }

    // The newest kept value under the definition's names (of one run, its own name first).
    KeptFound FindKept(const Definition& definition)
    {
        KeptFound best;
        ForEachKept(definition, [&](UInt32 value, bool renamed) {
            if (best.value == NoValue || run.kept.records[value].run > run.kept.records[best.value].run)
                best = KeptFound{value, renamed};
        });
        return best;
    }

    void MarkKept(const Definition& definition, ValueFate fate)
    {
        ForEachKept(definition, [&](UInt32 value, bool) { kept.fates[value] = fate; });
    }

    // Writes the run's values found for the definition, each in turn (the last one stays).
    void WriteOwn(const Target& target, const OwnFound& found)
    {
        for (const UInt32 value : found.values)
            own->fates[value] = Write(target, own->Saved(value));
    }

    // The kept value comes back; the run's own value of the property, if any, is the state the
    // import left it in then, not the user's. Should the kept value not go in, that state does.
    void BringBackKept(const Target& target, const KeptFound& keptFound, const OwnFound& ownFound)
    {
        const ValueFate fate = Write(target, kept.Saved(keptFound.value));
        kept.fates[keptFound.value] = fate;
        MarkKept(target.definition, ValueFate::GaveWay);
        if (fate != ValueFate::BroughtBack)
            WriteOwn(target, ownFound);
        else
            for (const UInt32 value : ownFound.values)
                own->fates[value] = ValueFate::Superseded;
    }

    // The property is not as the kept value's run left it, or a value saved under an earlier name
    // now takes it: the run's own value comes back; the kept ones stay where that run's own value
    // still holds the property, and end otherwise.
    void KeepOwn(const Target& target, const KeptFound& keptFound, const OwnFound& ownFound, LeftMatch match)
    {
        WriteOwn(target, ownFound);
        ValueFate fate = match == LeftMatch::Taken ? ValueFate::GaveWay
                         : match == LeftMatch::AsLeft ? ValueFate::Superseded
                                                      : ValueFate::Changed;
        if (fate == ValueFate::Changed && !ownFound.values.empty() &&
            SameValue(kept.Saved(keptFound.value), own->Saved(ownFound.values.back())))
            fate = ValueFate::AlreadyHeld;
        MarkKept(target.definition, fate);
    }

    static bool SameValue(const ValueBackup::Value& a, const ValueBackup::Value& b)
    {
        return a.valueType == b.valueType &&
               std::string_view(a.text, a.textLength) == std::string_view(b.text, b.textLength);
    }

    // Where the element still has kept values after the run, notes what the run left on each of its
    // owned properties, as the next run's backup would find it: a later run compares with it.
    void NoteLeft(const API_Guid& element, const ValueBackup::Entry* ownEntry, const ValueBackup::Entry* keptEntry, bool listed)
    {
        const bool stays = (ownEntry != nullptr && std::ranges::any_of(own->FatesOf(*ownEntry), OwnStays)) ||
                           (keptEntry != nullptr && std::ranges::any_of(kept.FatesOf(*keptEntry), StaysKept));
        if (!stays)
            return;
        std::optional<PropertyStates>& left = run.end.left[element];
        left.reset();
        if (!listed || groupUnread)
            return;  // not known: only a property without a value will count as left
        left.emplace();
        for (USize index = 0; index < definitions.GetSize(); ++index) {
            const API_PropertyDefinition& listedDefinition = definitions[index];
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
        std::vector<std::pair<std::string, std::string>> names{{BackupName(group.name), BackupName(listed.name)}};
        for (const RenameTable::Name& earlierName : run.renames.EarlierNames(group.name, listed.name))
            names.emplace_back(BackupName(earlierName.group), BackupName(earlierName.property));
        definition.stateKey = StateKey(names[0].first, names[0].second);
        for (const auto& [groupName, propertyName] : names) {
            if (own)
                definition.ownKeys.push_back(own->values.FindKey(groupName, propertyName));
            definition.keptKeys.push_back(kept.values.FindKey(groupName, propertyName));
        }
        return definition;
    }

    ValueFate Write(const Target& target, const ValueBackup::Value& saved)
    {
        std::unique_ptr<ElementPropertyRecord>& record = target.definition.record;
        if (record == nullptr) {
            record = std::make_unique<ElementPropertyRecord>();
            record->definition = target.listed;
        }
        record->status = 0;
        record->value = TypedValueRecord();
        if (!ConvertSavedValue(saved.valueType, saved.text, saved.textLength, target.listed.valueType, record->value, units))
            return ValueFate::NotConvertible;
        record->isDefault = false;
        if (HostWriteElementPropertyValue(&target.element, record.get()) != NoError) {
            ReportLine(Messages::RestoreWriteErrorLine, {groups.Get(target.listed.groupGuid).name, target.listed.name});
            written.erase(target.listed.guid);
            return ValueFate::NotWritten;
        }
        written.insert(target.listed.guid);
        return ValueFate::BroughtBack;
    }

    UpdateRun& run;
    std::optional<Source> own;
    Source kept;
    std::unordered_map<API_Guid, const ValueBackup::Entry*, GuidHash> keptEntries;
    std::unordered_set<API_Guid, GuidHash> visited;
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
    run.restoreRan = true;
    if (!run.backup && !run.store)
        return false;
    ValueWriter writer(run);
    writer.RestoreAll();
    return true;
}

}  // namespace Quillmere
