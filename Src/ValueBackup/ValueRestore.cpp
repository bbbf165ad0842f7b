#include "ValueRestore.hpp"

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"
#include "ValueBackupFile.hpp"

namespace Quillmere {

namespace {

constexpr UInt32 NoValue = std::numeric_limits<UInt32>::max();

// Writes the values of a backup back onto the elements: one pass over each element's definitions,
// each finding its saved values by key; a group's name is read once, a definition's key made once,
// and one property record per definition serves all its writes.
class ValueWriter {
public:
    ValueWriter(const ValueBackup& backup, const RenameTable& renames)
        : backup(backup), renames(renames), firstOfKey(backup.Keys().size(), NoValue)
    {
    }

    void RestoreEntry(const ValueBackup::Entry& entry)
    {
        if (HostListElementPropertyDefinitions(&entry.element, 0, &definitions) != NoError)
            return;

        // The entry's values by key, each key's in document order.
        nextOfKey.assign(entry.valueCount, NoValue);
        for (UInt32 offset = entry.valueCount; offset-- > 0;) {
            const UInt32 key = backup.Values()[entry.firstValue + offset].key;
            nextOfKey[offset] = firstOfKey[key];
            firstOfKey[key] = offset;
        }
        for (USize index = 0; index < definitions.GetSize(); ++index)
            RestoreDefinition(entry, definitions[index]);
        for (UInt32 offset = 0; offset < entry.valueCount; ++offset)
            firstOfKey[backup.Values()[entry.firstValue + offset].key] = NoValue;
    }

private:
    struct Definition {
        std::optional<UInt32> key;  // nothing when no value is saved under the definition's key
        std::vector<UInt32> earlierKeys;  // keys of its earlier names (rename table), in the order to try
        std::unique_ptr<ElementPropertyRecord> record;
    };

    void RestoreDefinition(const ValueBackup::Entry& entry, const API_PropertyDefinition& listed)
    {
        // A group that cannot be read leaves the name empty, so the definition counts as not owned.
        const PropertyGroupCache::Group& group = groups.Get(listed.groupGuid);
        if (!group.owned)
            return;
        Definition& definition = DefinitionOf(listed, group);
        // A value saved under the definition's own key wins; else one saved under an earlier name.
        UInt32 first = definition.key ? firstOfKey[*definition.key] : NoValue;
        for (std::size_t index = 0; first == NoValue && index < definition.earlierKeys.size(); ++index)
            first = firstOfKey[definition.earlierKeys[index]];
        for (UInt32 offset = first; offset != NoValue; offset = nextOfKey[offset])
            Write(entry.element, group, listed, definition, backup.Values()[entry.firstValue + offset]);
    }

    Definition& DefinitionOf(const API_PropertyDefinition& listed, const PropertyGroupCache::Group& group)
    {
        auto [at, added] = known.try_emplace(listed.guid);
        if (added) {
            at->second.key = backup.FindKey(MakeValueKey(group.name, listed.name));
            for (const RenameTable::Name& earlier : renames.EarlierNames(group.name, listed.name))
                if (const std::optional<UInt32> key = backup.FindKey(MakeValueKey(earlier.group, earlier.property)))
                    at->second.earlierKeys.push_back(*key);
        }
        return at->second;
    }

    void Write(const API_Guid& element, const PropertyGroupCache::Group& group, const API_PropertyDefinition& listed,
               Definition& definition, const ValueBackup::Value& saved)
    {
        if (definition.record == nullptr) {
            definition.record = std::make_unique<ElementPropertyRecord>();
            definition.record->definition = listed;
        }
        ElementPropertyRecord& property = *definition.record;
        property.status = 0;
        property.value = TypedValueRecord();
        property.value.typeCode = listed.valueType;
        // The text is converted by the saved "valType"; the type code is the definition's.
        switch (saved.valueType) {
            case API_PropertyStringValueType:
                property.value.stringValue = ExactUtf8ToUniString(saved.text, saved.textLength, units);
                break;
            case API_PropertyRealValueType: property.value.realValue = ParseRealText(saved.text, saved.textLength); break;
            case API_PropertyIntegerValueType: ParseIntegerText(saved.text, saved.textLength, property.value.intValue); break;
            case API_PropertyBooleanValueType:
                property.value.boolValue = saved.textLength == 1 && saved.text[0] == '1';
                break;
            default: break;
        }
        property.isDefault = false;
        if (HostWriteElementPropertyValue(&element, &property) != NoError)
            ReportLine(Messages::RestoreWriteErrorLine, {group.name, listed.name});
    }

    const ValueBackup& backup;
    const RenameTable& renames;
    PropertyGroupCache groups;
    std::unordered_map<API_Guid, Definition, GuidHash> known;
    GS::Array<API_PropertyDefinition> definitions;  // the current entry's, filled anew by the host
    std::vector<UInt32> firstOfKey;  // by key: the offset of its first value in the current entry
    std::vector<UInt32> nextOfKey;   // by offset in the current entry: the next value of its key
    std::u16string units;
};

void RestoreFrom(const ValueBackup& backup, const RenameTable& renames)
{
    ValueWriter writer(backup, renames);
    for (const ValueBackup::Entry& entry : backup.Entries())
        writer.RestoreEntry(entry);
}

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

// Restores from the backup file that an earlier run left.
void RestoreFromFile(const SystemPath& path, const UpdateRun& run)
{
    std::optional<std::string> text = ReadTextFile(path);
    if (!text) {
        if (!(run.projectHeldNoOwnedGroup && !IsExistingFile(path)))
            ReportUnreadableBackup(path, Messages::UnreadableBackupCannotOpen);
        return;
    }
    const ValueBackupReading reading = ParseValueBackup(std::move(*text));
    if (reading.backup)
        RestoreFrom(*reading.backup, run.renames);
    else
        ReportUnreadableBackup(path, reading);
}

}  // namespace

bool RestoreElementValues(const UpdateRun& run)
{
    if (run.backup) {
        RestoreFrom(*run.backup, run.renames);
        return true;
    }
    const std::optional<SystemPath> path = BackupFilePath();
    if (!path)
        return false;
    RestoreFromFile(*path, run);
    return true;
}

}  // namespace Quillmere
