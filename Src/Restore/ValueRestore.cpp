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
#include "BackupFile/ValueBackupFile.hpp"
#include "ValueConversion.hpp"

namespace Quillmere {

namespace {

constexpr UInt32 NoValue = std::numeric_limits<UInt32>::max();

// Saved values the restore writes back: the run's own, or those the store keeps. While an element
// is at hand its values are chained by key.
class Source {
public:
    Source(const ValueBackup& values, std::vector<ValueFate>& fates)
        : values(values), fates(fates), firstOfKey(values.Keys().size(), NoValue), nextOfValue(values.ValueCount(), NoValue)
    {
    }

    // Chains the values of `entry` by key, each key's in document order; closed before the next
    // element's entry is opened.
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

    // The first value of the open entry under `key`, and the one after `value` under its key.
    UInt32 First(std::optional<UInt32> key) const { return key ? firstOfKey[*key] : NoValue; }
    UInt32 Next(UInt32 value) const { return nextOfValue[value]; }

    // By definition: the keys of its name and of its earlier names, in the order to try.
    struct Keys {
        std::optional<UInt32> own;
        std::vector<UInt32> earlier;
    };
    const Keys& KeysOf(const API_Guid& definition, const std::string& group, const std::string& property,
                       const std::vector<RenameTable::Name>& earlierNames)
    {
        auto [at, added] = keys.try_emplace(definition);
        if (added) {
            at->second.own = values.FindKey(group, property);
            for (const RenameTable::Name& name : earlierNames)
                if (const std::optional<UInt32> key = values.FindKey(BackupName(name.group), BackupName(name.property)))
                    at->second.earlier.push_back(*key);
        }
        return at->second;
    }

    const ValueBackup& values;
    std::vector<ValueFate>& fates;

private:
    std::vector<UInt32> firstOfKey;
    std::vector<UInt32> nextOfValue;
    std::unordered_map<API_Guid, Keys, GuidHash> keys;
};

// What a definition's names find in a source.
struct Found {
    UInt32 first = NoValue;  // the first value to write (own), or the one chosen (kept)
    bool renamed = false;    // found under an earlier name
};

}  // namespace

namespace {

// Writes the run's own values, and the store's kept values where they may come back, onto the
// elements: one pass over each element's definitions. A group's name is read once, a definition's
// names made once, and one property record per definition serves all its writes.
class ValueWriter {
public:
    explicit ValueWriter(UpdateRun& run) : run(run), kept(run.kept.values, run.kept.fates)
    {
        if (run.backup)
            own.emplace(*run.backup, run.fates);
        const std::vector<ValueBackup::Entry>& entries = run.kept.values.Entries();
        for (std::size_t index = 0; index < entries.size(); ++index)
            keptEntries.emplace(entries[index].element, &entries[index]);
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
            if (visited.insert(entry.element).second && HasPending(kept, entry))
                RestoreElement(entry.element, nullptr, true);
    }

private:
    struct Definition {
        std::string group;  // the 8-bit names
        std::string property;
        std::vector<RenameTable::Name> earlierNames;
        std::unique_ptr<ElementPropertyRecord> record;
    };

    static bool HasPending(const Source& source, const ValueBackup::Entry& entry)
    {
        for (UInt32 value = entry.firstValue; value < entry.firstValue + entry.valueCount; ++value)
            if (source.fates[value] == ValueFate::Pending)
                return true;
        return false;
    }

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
                RestoreDefinition(element, definitions[index], ownEntry != nullptr, keptEntry != nullptr);
            Toggle(ownEntry, keptEntry, false);
        }
        // What is left pending found no property of its name.
        const ValueFate unplaced = listed && !groupUnread ? ValueFate::NotDefined : ValueFate::NotWritten;
        if (ownEntry != nullptr)
            Settle(*own, *ownEntry, unplaced);
        if (keptEntry != nullptr)
            Settle(kept, *keptEntry, unplaced);
        NoteLeft(element, ownEntry, keptEntry, listed);
    }

    void Toggle(const ValueBackup::Entry* ownEntry, const ValueBackup::Entry* keptEntry, bool open)
    {
        if (ownEntry != nullptr)
            open ? own->Open(*ownEntry) : own->Close(*ownEntry);
        if (keptEntry != nullptr)
            open ? kept.Open(*keptEntry) : kept.Close(*keptEntry);
    }

    static void Settle(Source& source, const ValueBackup::Entry& entry, ValueFate unplaced)
    {
        for (UInt32 value = entry.firstValue; value < entry.firstValue + entry.valueCount; ++value)
            if (source.fates[value] == ValueFate::Pending)
                source.fates[value] = unplaced;
    }

    void RestoreDefinition(const API_Guid& element, const API_PropertyDefinition& listed, bool hasOwn, bool hasKept)
    {
        // A group that cannot be read leaves the name empty, so the definition counts as not owned.
        const PropertyGroupCache::Group& group = groups.Get(listed.groupGuid);
        groupUnread = groupUnread || group.readCode != NoError;
        if (!group.owned) {
            if (group.readCode == NoError && !run.renames.IsEmpty())
                RestoreIntoOtherGroup(element, listed, group, hasOwn, hasKept);
            return;
        }
        Definition& definition = DefinitionOf(listed, group);
        const Found ownFound = hasOwn ? FindOwn(listed, definition) : Found{};
        const Found keptFound = hasKept ? FindKept(listed, definition) : Found{};
        if (keptFound.first == NoValue) {
            WriteOwn(element, listed, definition, ownFound);
            return;
        }
        const auto found = run.found.find(element);
        const LeftMatch match = MatchLeft(run.kept.LeftFor(element, keptFound.first),
                                          found != run.found.end() ? &found->second : nullptr,
                                          StateKey(definition.group, definition.property));
        if (match == LeftMatch::AsLeft && !ownFound.renamed)
            BringBackKept(element, listed, definition, keptFound, ownFound);
        else
            KeepOwn(element, listed, definition, ownFound, match);
    }

    // A property of a group that is not owned takes a saved value only when the rename table leads
    // there, and only where the element holds no value of it: the user's or the host's stands.
    // Nothing else of such a group is touched.
    void RestoreIntoOtherGroup(const API_Guid& element, const API_PropertyDefinition& listed,
                               const PropertyGroupCache::Group& group, bool hasOwn, bool hasKept)
    {
        Definition& definition = DefinitionOf(listed, group);
        if (definition.earlierNames.empty())
            return;
        const Found ownFound = hasOwn ? FindOwn(listed, definition) : Found{};
        const Found keptFound = hasKept ? FindKept(listed, definition) : Found{};
        if (ownFound.first == NoValue && keptFound.first == NoValue)
            return;
        MakeFresh(scratch);
        const bool read = HostReadElementPropertyValue(&element, &listed.guid, &scratch) == NoError;
        const ValueFate held = !read ? ValueFate::NotWritten : ValueState(listed, scratch) ? ValueFate::Occupied : ValueFate::Pending;
        if (ownFound.first != NoValue) {
            for (UInt32 value = ownFound.first; value != NoValue; value = own->Next(value))
                own->fates[value] = held != ValueFate::Pending ? held : Write(element, listed, definition, own->values.Values()[value]);
            MarkKept(listed, definition, held != ValueFate::Pending ? held : ValueFate::Superseded);
            return;
        }
        kept.fates[keptFound.first] =
            held != ValueFate::Pending ? held : Write(element, listed, definition, run.kept.values.Values()[keptFound.first]);
        MarkKept(listed, definition, ValueFate::GaveWay);
    }

    // The run's values for the definition: under its own name, or else the first earlier name that
    // has some; those of the earlier names after it go nowhere else through the table.
    Found FindOwn(const API_PropertyDefinition& listed, const Definition& definition)
    {
        const Source::Keys& keys = own->KeysOf(listed.guid, definition.group, definition.property, definition.earlierNames);
        Found found{own->First(keys.own), false};
        std::size_t used = 0;
        for (; found.first == NoValue && used < keys.earlier.size(); ++used)
            found = Found{own->First(keys.earlier[used]), true};
        if (found.first != NoValue)
            for (std::size_t index = used; index < keys.earlier.size(); ++index)
                for (UInt32 value = own->First(keys.earlier[index]); value != NoValue; value = own->Next(value))
                    if (own->fates[value] == ValueFate::Pending)
                        own->fates[value] = ValueFate::GaveWay;
        return found;
    }

    // Calls `visit(value, renamed)` for each kept value still pending under the definition's names.
    template <typename Visit>
    void ForEachKept(const API_PropertyDefinition& listed, const Definition& definition, Visit visit)
    {
        const Source::Keys& keys = kept.KeysOf(listed.guid, definition.group, definition.property, definition.earlierNames);
        for (UInt32 value = kept.First(keys.own); value != NoValue; value = kept.Next(value))
            if (kept.fates[value] == ValueFate::Pending)
                visit(value, false);
        for (const UInt32 key : keys.earlier)
            for (UInt32 value = kept.First(key); value != NoValue; value = kept.Next(value))
                if (kept.fates[value] == ValueFate::Pending)
                    visit(value, true);
    }

    // The newest kept value under the definition's names (of one run, its own name first).
    Found FindKept(const API_PropertyDefinition& listed, const Definition& definition)
    {
        Found best;
        ForEachKept(listed, definition, [&](UInt32 value, bool renamed) {
            if (best.first == NoValue || run.kept.records[value].run > run.kept.records[best.first].run)
                best = Found{value, renamed};
        });
        return best;
    }

    void MarkKept(const API_PropertyDefinition& listed, const Definition& definition, ValueFate fate)
    {
        ForEachKept(listed, definition, [&](UInt32 value, bool) { kept.fates[value] = fate; });
    }

    // Writes the run's values found for the definition, each in turn (the last one stays).
    void WriteOwn(const API_Guid& element, const API_PropertyDefinition& listed, Definition& definition, const Found& found)
    {
        for (UInt32 value = found.first; value != NoValue; value = own->Next(value))
            own->fates[value] = Write(element, listed, definition, own->values.Values()[value]);
    }

    // The kept value comes back; the run's own value of the property, if any, is the state the
    // import left it in then, not the user's. Should the kept value not go in, that state does.
    void BringBackKept(const API_Guid& element, const API_PropertyDefinition& listed, Definition& definition,
                       const Found& keptFound, const Found& ownFound)
    {
        const ValueFate fate = Write(element, listed, definition, run.kept.values.Values()[keptFound.first]);
        kept.fates[keptFound.first] = fate;
        MarkKept(listed, definition, ValueFate::GaveWay);
        if (fate == ValueFate::BroughtBack)
            for (UInt32 value = ownFound.first; value != NoValue; value = own->Next(value))
                own->fates[value] = ValueFate::Superseded;
        else
            WriteOwn(element, listed, definition, ownFound);
    }

    // The property is not as the kept value's run left it, or a value saved under an earlier name
    // now takes it: the run's own value comes back; the kept ones stay where that run's own value
    // still holds the property, and end otherwise.
    void KeepOwn(const API_Guid& element, const API_PropertyDefinition& listed, Definition& definition,
                 const Found& ownFound, LeftMatch match)
    {
        WriteOwn(element, listed, definition, ownFound);
        const Found keptFound = FindKept(listed, definition);
        ValueFate fate = match == LeftMatch::Taken ? ValueFate::GaveWay
                         : match == LeftMatch::AsLeft ? ValueFate::Superseded
                                                      : ValueFate::Changed;
        if (fate == ValueFate::Changed && ownFound.first != NoValue &&
            SameValue(run.kept.values.Values()[keptFound.first], own->values.Values()[LastOf(ownFound.first)]))
            fate = ValueFate::AlreadyHeld;
        MarkKept(listed, definition, fate);
    }

    UInt32 LastOf(UInt32 value) const
    {
        while (own->Next(value) != NoValue)
            value = own->Next(value);
        return value;
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
        const auto stays = [](const std::vector<ValueFate>& fates, const ValueBackup::Entry* entry, bool (*keptAfter)(ValueFate)) {
            if (entry != nullptr)
                for (UInt32 value = entry->firstValue; value < entry->firstValue + entry->valueCount; ++value)
                    if (keptAfter(fates[value]))
                        return true;
            return false;
        };
        if (!stays(run.fates, ownEntry, OwnStays) && !stays(run.kept.fates, keptEntry, StaysKept))
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
            const Definition& definition = DefinitionOf(listedDefinition, group);
            (*left)[StateKey(definition.group, definition.property)] =
                PropertyState{ValueState(listedDefinition, scratch), written.count(listedDefinition.guid) != 0};
        }
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
            written.erase(listed.guid);
            return ValueFate::NotWritten;
        }
        written.insert(listed.guid);
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
