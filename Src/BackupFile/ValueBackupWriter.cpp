#include "ValueBackupWriter.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>

#include "Common/Messages.hpp"
#include "Common/OwnedGroups.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"
#include "Store/RunStore.hpp"
#include "ValueBackupFile.hpp"

namespace Quillmere {

namespace {

// Whether a host call answered `code` NoError; else the code is reported with `format`.
bool Succeeded(GSErrCode code, const char* format)
{
    if (code != NoError)
        ReportErrorCode(format, code);
    return code == NoError;
}

using KeysByDefinition = std::unordered_map<API_Guid, std::optional<UInt32>, GuidHash>;

// The backup's key of a definition met before (in `keys`), or else as its group's read now makes it:
// nothing for a definition of a group that is not owned. Nullptr (reported as ReadGroupError) when
// the group cannot be read.
const std::optional<UInt32>* KeyOf(const API_PropertyDefinition& definition, ValueBackup& backup,
                                   PropertyGroupCache& groups, KeysByDefinition& keys)
{
    if (const auto found = keys.find(definition.guid); found != keys.end())
        return &found->second;
    const PropertyGroupCache::Group& group = groups.Get(definition.groupGuid);
    if (!Succeeded(group.readCode, Messages::ReadGroupError))
        return nullptr;
    std::optional<UInt32> key;
    if (group.owned)
        key = backup.InternKey(ExactUtf8(group.name), ExactUtf8(definition.name));
    return &keys.emplace(definition.guid, key).first->second;
}

// Collects the saved values of `elements` into the run's backup, asking the host for each group's
// name once and making each definition's key once. Answers false, with the failure reported, when a
// value cannot be saved: an element's definitions cannot be listed, a definition's group cannot be
// read (so whether it is owned is not known), or an owned value cannot be read.
bool CollectValues(UpdateRun& run, const GS::Array<API_Guid>& elements)
{
    ValueBackup& backup = run.backup.emplace();
    PropertyGroupCache groups;
    KeysByDefinition keys;
    // Reused from element to element and value to value: the host fills them anew each time.
    GS::Array<API_PropertyDefinition> definitions;
    ElementPropertyRecord property;
    std::string text;
    for (const API_Guid& element : elements) {
        if (!Succeeded(HostListElementPropertyDefinitions(&element, 0, &definitions), Messages::ListElementDefinitionsError))
            return false;
        // Only an element with kept values needs its properties noted, for the kept ones to come back into.
        PropertyStates* found = run.kept.left.count(element) != 0 ? &run.found[element] : nullptr;
        backup.StartEntry(element);
        for (const API_PropertyDefinition& definition : definitions) {
            const std::optional<UInt32>* key = KeyOf(definition, backup, groups, keys);
            if (key == nullptr)
                return false;
            if (!*key)
                continue;
            MakeFresh(property);
            if (!Succeeded(HostReadElementPropertyValue(&element, &definition.guid, &property), Messages::ReadValueError))
                return false;
            if (found != nullptr) {
                const ValueBackup::Key& name = backup.Keys()[**key];
                (*found)[StateKey(name.group, name.property)] = PropertyState{ValueState(definition, property), false};
            }
            if (property.isDefault || property.status != API_VariantStatusNormal)
                continue;
            text.clear();
            AppendValueText(text, definition.valueType, property.value);
            backup.AddValue(**key, definition.valueType, definition.measureType, text);
        }
        backup.EndEntry();
    }
    return true;
}

// Whether the host lists its groups and none of them is owned. A project without owned groups has
// no value to save, and an earlier backup must not be overwritten with an empty one.
bool HoldsNoOwnedGroup()
{
    GS::Array<API_PropertyGroup> groups;
    return HostListPropertyGroups(&groups) == NoError &&
           std::none_of(groups.begin(), groups.end(), [](const API_PropertyGroup& group) { return IsOwnedGroupName(group.name); });
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
    if (!Succeeded(ListEveryElement(elements), Messages::ListElementsError))
        return false;
    ReadKeptData(run, &elements);
    // The restore of this run takes the values from the run, whatever becomes of the file.
    if (!CollectValues(run, elements))
        return false;
    run.fates.assign(run.backup->ValueCount(), ValueFate::Pending);

    const auto print = [&run](const ByteWriter& write) { PrintValueBackup(*run.backup, write); };
    if (!path) {
        ReportLine(Messages::NoProfileLine, {});
        run.backupProblem = FileProblem{SystemPath(), 0, Messages::NoProfileReason};
    } else if (const SystemError error = WriteInPlaceOf(*path, print); error != 0) {
        ReportErrorCode(Messages::BackupWriteError, error);
        run.backupProblem = FileProblem{*path, error};
    }
    return true;
}

}  // namespace Quillmere
