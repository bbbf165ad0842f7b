#include "ValueBackupWriter.hpp"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "Common/Messages.hpp"
#include "Common/OwnedGroups.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"
#include "HistoryFiles.hpp"
#include "ValueBackupFile.hpp"

namespace Quillmere {

namespace {

// Collects the saved values of the elements into a backup, asking the host for each group's name
// once and making each definition's key once. The definition list and the property record are
// reused from element to element and value to value: the host fills them anew each time.
class ValueCollector {
public:
    // With `defined`, also records which owned properties each element has.
    explicit ValueCollector(DefinedNames* defined) : defined(defined) {}

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

        backup.StartEntry(element);
        names.clear();
        valued.clear();
        for (USize index = 0; index < definitions.GetSize(); ++index) {
            const API_PropertyDefinition& definition = definitions[index];
            const Known* known = KnownDefinition(definition);
            if (known == nullptr)
                return false;
            if (!known->owned)
                continue;
            names.push_back(known->name);

            MakeFresh(property);
            const GSErrCode valueCode = HostReadElementPropertyValue(&element, &definition.guid, &property);
            if (valueCode != NoError) {
                ReportErrorCode(Messages::ReadValueError, valueCode);
                return false;
            }
            if (property.isDefault || property.status != API_VariantStatusNormal)
                continue;
            AddValue(known->key, definition, property.value);
            valued.push_back(known->name);
        }
        backup.EndEntry();
        if (defined != nullptr)
            defined->AddElement(element, names, valued);
        return true;
    }

    ValueBackup TakeBackup() { return std::move(backup); }

private:
    // What the backup needs of a definition it has met: whether its group is owned, and its key.
    struct Known {
        bool owned;
        UInt32 key;
        UInt32 name;  // its number in `defined`
    };

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
        Known made{group.owned, 0, 0};
        if (group.owned) {
            const std::string groupName = BackupName(group.name), propertyName = BackupName(definition.name);
            made.key = backup.InternKey(groupName, propertyName);
            if (defined != nullptr)
                made.name = defined->NameNumber(groupName, propertyName);
        }
        return &known.emplace(definition.guid, made).first->second;
    }

    // Every field the phase reads as a fresh record has it; the strings keep their storage.
    static void MakeFresh(ElementPropertyRecord& record)
    {
        record.status = 0;
        record.isDefault = true;
        TypedValueRecord& value = record.value;
        value.typeCode = API_PropertyUndefinedValueType;
        value.intValue = 0;
        value.realValue = 0.0;
        value.boolValue = false;
        value.stringValue = "";
        value.guidValue = APINULLGuid;
        value.listValue.Clear();
        value.variantStatus = API_VariantStatusNormal;
    }

    // The value text by the definition's value type code (not the record's own type code).
    void AddValue(UInt32 key, const API_PropertyDefinition& definition, const TypedValueRecord& value)
    {
        const Int32 valueType = definition.valueType;
        const Int32 measureType = definition.measureType;
        switch (valueType) {
            case API_PropertyIntegerValueType: {
                char text[16];
                const char* end = std::to_chars(text, text + sizeof text, value.intValue).ptr;
                backup.AddValue(key, valueType, measureType, std::string_view(text, static_cast<std::size_t>(end - text)));
                break;
            }
            case API_PropertyRealValueType:
                realText.clear();
                AppendRealText(realText, value.realValue);
                backup.AddValue(key, valueType, measureType, realText);
                break;
            case API_PropertyStringValueType: backup.AddValue(key, valueType, measureType, value.stringValue); break;
            case API_PropertyBooleanValueType:
                backup.AddValue(key, valueType, measureType, value.boolValue ? std::string_view("1") : std::string_view("0"));
                break;
            default: backup.AddValue(key, valueType, measureType, std::string_view()); break;
        }
    }

    ValueBackup backup;
    DefinedNames* defined;
    std::vector<UInt32> names;   // the current element's owned properties
    std::vector<UInt32> valued;  // and those of them it holds a value of
    PropertyGroupCache groups;
    std::unordered_map<API_Guid, Known, GuidHash> known;
    GS::Array<API_PropertyDefinition> definitions;
    ElementPropertyRecord property;
    std::string realText;
};

// Whether the host lists its groups and none of them is owned. A project without owned groups has
// no value to save (after a cancelled run, say), and an earlier backup must not be overwritten
// with an empty one.
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

// Puts a copy of the backup file, whose values no run has accounted for, in the kept file of the run
// that wrote it: a second name for the same file where the file system allows, else a copy. The
// backup file itself stays until the new one replaces it whole. Nothing, reported, on failure.
std::optional<KeptValues> KeepUnsettledBackup(const EarlierRuns& earlier, const SystemPath& path)
{
    KeptValues kept;
    kept.run = earlier.backupRun;
    kept.path = KeptValuesPath(earlier.folder, kept.run);
    // A kept file of that run is a part of the same backup, left by a run that ended abruptly.
    std::error_code error;
    std::filesystem::remove(kept.path, error);
    std::filesystem::create_hard_link(path, kept.path, error);
    if (error)
        std::filesystem::copy_file(path, kept.path, std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        ReportErrorCode(Messages::BackupWriteError, error.value());
        return std::nullopt;
    }
    return kept;
}

// Writes this run's backup file, keeping first what the one it replaces holds that no run has
// accounted for. A failure leaves the earlier files as they were. Answers whether it was written.
bool ReplaceBackupFile(UpdateRun& run, const SystemPath& path)
{
    EarlierRuns& earlier = run.earlier;
    std::optional<KeptValues> kept;
    if (earlier.BackupUnsettled()) {
        kept = KeepUnsettledBackup(earlier, path);
        if (!kept)
            return false;
    }
    if (!WriteValuesFile(path, *run.backup)) {
        if (kept) {
            std::error_code ignored;
            std::filesystem::remove(kept->path, ignored);
        }
        return false;
    }
    if (kept)
        earlier.kept.insert(earlier.kept.begin(), std::move(*kept));
    earlier.backupFile = StampOf(path);
    earlier.backup = BackupRecord{earlier.backupFile.value_or(FileStamp()), run.number, run.started, false};
    earlier.backupRun = run.number;
    return true;
}

}  // namespace

bool BackupElementValues(UpdateRun& run)
{
    if (HoldsNoOwnedGroup()) {
        run.projectHeldNoOwnedGroup = true;
        const std::optional<SystemPath> path = BackupFilePath();
        if (path && IsExistingFile(*path))
            ReportLine(Messages::KeptEarlierBackupLine, {OwnedGroupMarker, PathText(*path)});
        return true;
    }

    GS::Array<API_Guid> elements;
    const API_ElemType everyType;
    const GSErrCode listCode = HostListElements(&everyType, &elements, 0, &APINULLGuid);
    if (listCode != NoError) {
        ReportErrorCode(Messages::ListElementsError, listCode);
        return false;
    }

    // Only values of earlier runs need to know what the elements had, so as not to come back over it.
    if (run.earlier.HasValues())
        run.definedAtBackup.emplace();
    ValueCollector collector(run.definedAtBackup ? &*run.definedAtBackup : nullptr);
    for (USize index = 0; index < elements.GetSize(); ++index)
        if (!collector.CollectElement(elements[index]))
            return false;
    // The restore of this run takes the values from here, whatever becomes of the file.
    run.backup = collector.TakeBackup();
    run.fates.assign(run.backup->ValueCount(), ValueFate::Pending);

    const std::optional<SystemPath> path = BackupFilePath();
    if (!path) {
        ReportLine(Messages::NoProfileLine, {});
        return true;
    }
    run.backupWritten = ReplaceBackupFile(run, *path);
    return true;
}

}  // namespace Quillmere
