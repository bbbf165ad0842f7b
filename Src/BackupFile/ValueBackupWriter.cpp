#include "ValueBackupWriter.hpp"

#include <string>
#include <unordered_map>
#include <vector>

#include "Common/Messages.hpp"
#include "Common/OwnedGroups.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"
#include "Store/RunStore.hpp"
#include "ValueBackupFile.hpp"

namespace Quillmere {

namespace {

// Collects the saved values of the elements into a backup, asking the host for each group's name
// once and making each definition's key once. The definition list and the property record are
// reused from element to element and value to value: the host fills them anew each time.
class ValueCollector {
public:
    explicit ValueCollector(UpdateRun& run) : run(run) {}

    // Adds the saved values of one element. Answers false, with the failure reported, when a value
    // of the element cannot be saved: its definitions cannot be listed, a definition's group cannot
    // be read (so whether it is owned is not known), or an owned value cannot be read.
    bool CollectElement(const API_Guid& element)
    {
        const GSErrCode listCode = HostListElementPropertyDefinitions(&element, 0, &definitions);
        if (listCode != NoError) {
            ReportErrorCode(Messages::ListElementDefinitionsError, listCode);
            return false;
        }
        // Only an element with kept values needs its properties noted, for the kept ones to come back into.
        PropertyStates* found = run.kept.left.count(element) != 0 ? &run.found[element] : nullptr;
        backup.StartEntry(element);
        for (USize index = 0; index < definitions.GetSize(); ++index) {
            const API_PropertyDefinition& definition = definitions[index];
            const Known* known = KnownDefinition(definition);
            if (known == nullptr)
                return false;
            if (known->owned && !CollectValue(element, definition, *known, found))
                return false;
        }
        backup.EndEntry();
        return true;
    }

    ValueBackup TakeBackup() { return std::move(backup); }

private:
    // What the backup needs of a definition it has met: whether its group is owned, and its key.
    struct Known {
        bool owned;
        UInt32 key;
    };

    bool CollectValue(const API_Guid& element, const API_PropertyDefinition& definition, const Known& known,
                      PropertyStates* found)
    {
        MakeFresh(property);
        const GSErrCode valueCode = HostReadElementPropertyValue(&element, &definition.guid, &property);
        if (valueCode != NoError) {
            ReportErrorCode(Messages::ReadValueError, valueCode);
            return false;
        }
        if (found != nullptr) {
            const ValueBackup::Key& key = backup.Keys()[known.key];
            (*found)[StateKey(key.group, key.property)] = PropertyState{ValueState(definition, property), false};
        }
        if (property.isDefault || property.status != API_VariantStatusNormal)
            return true;
        text.clear();
        AppendValueText(text, definition.valueType, property.value);
        backup.AddValue(known.key, definition.valueType, definition.measureType, text);
        return true;
    }

    // The definition as met before, or else as its group's read now makes it; nothing (reported
    // as ReadGroupError) when the group cannot be read.
    const Known* KnownDefinition(const API_PropertyDefinition& definition)
    {
        const auto found = known.find(definition.guid);
        if (found != known.end())
            return &found->second;
        const PropertyGroupCache::Group& group = groups.Get(definition.groupGuid);
        if (group.readCode != NoError) {
            ReportErrorCode(Messages::ReadGroupError, group.readCode);
            return nullptr;
        }
        Known made{group.owned, 0};
        if (group.owned)
            made.key = backup.InternKey(BackupName(group.name), BackupName(definition.name));
        return &known.emplace(definition.guid, made).first->second;
    }

    UpdateRun& run;
    ValueBackup backup;
    PropertyGroupCache groups;
    std::unordered_map<API_Guid, Known, GuidHash> known;
    GS::Array<API_PropertyDefinition> definitions;
    ElementPropertyRecord property;
    std::string text;
};

// Whether the host lists its groups and none of them is owned. A project without owned groups has
// no value to save, and an earlier backup must not be overwritten with an empty one.
bool HoldsNoOwnedGroup()
{
    GS::Array<API_PropertyGroup> groups;
    if (HostListPropertyGroups(&groups) != NoError)
        return false;
    for (const API_PropertyGroup& group : groups)
        if (IsOwnedGroupName(group.name))
            return false;
    return true;
}

}  // namespace

bool BackupElementValues(UpdateRun& run)
{
    const std::optional<SystemPath> path = BackupFilePath();
    if (HoldsNoOwnedGroup()) {
        if (path && IsExistingFile(*path))
            ReportLine(Messages::KeptEarlierBackupLine, {OwnedGroupMarker, PathText(*path)});
        ReadKeptData(run, nullptr);
        return true;
    }
    GS::Array<API_Guid> elements;
    const GSErrCode listCode = ListEveryElement(elements);
    if (listCode != NoError) {
        ReportErrorCode(Messages::ListElementsError, listCode);
        return false;
    }
    ReadKeptData(run, &elements);
    ValueCollector collector(run);
    for (USize index = 0; index < elements.GetSize(); ++index)
        if (!collector.CollectElement(elements[index]))
            return false;
    // The restore of this run takes the values from here, whatever becomes of the file.
    run.backup = collector.TakeBackup();
    run.fates.assign(run.backup->ValueCount(), ValueFate::Pending);

    if (!path) {
        ReportLine(Messages::NoProfileLine, {});
        run.backupProblem = FileProblem{SystemPath(), 0, Messages::NoProfileReason};
    } else if (const SystemError error = WriteValueBackupFile(*path, *run.backup); error != 0) {
        ReportErrorCode(Messages::BackupWriteError, error);
        run.backupProblem = FileProblem{*path, error};
    }
    return true;
}

}  // namespace Quillmere
