#include "OwnedGroups.hpp"

#include <string_view>

#include "Host/HostCalls.hpp"

namespace {

constexpr std::string_view OwnedGroupMarker = "SGPset_";

}  // namespace

bool IsOwnedGroupName(const GS::UniString& name)
{
    const GS::UniString::CStr bytes = name.ToCStr(0, GS::UniString::MaxUSize, CC_Default);
    return std::string_view(bytes.Get(), bytes.GetLength()).find(OwnedGroupMarker) != std::string_view::npos;
}

GSErrCode ReadPropertyGroupName(const API_Guid& groupGuid, GS::UniString& name)
{
    API_PropertyGroup group;
    group.kind = API_PropertyCustomDefinitionKind;
    group.guid = groupGuid;
    const GSErrCode code = HostReadPropertyGroup(&group);
    name = code == NoError ? std::move(group.name) : GS::UniString();
    return code;
}

bool IsOwnedDefinition(const API_PropertyDefinition& definition, GS::UniString& groupName)
{
    ReadPropertyGroupName(definition.groupGuid, groupName);
    return definition.kind == API_PropertyCustomDefinitionKind && IsOwnedGroupName(groupName);
}

void RemoveOwnedPropertyGroups()
{
    GS::Array<API_PropertyGroup> groups;
    if (HostListPropertyGroups(&groups) != NoError)
        return;

    for (USize index = 0; index < groups.GetSize(); ++index) {
        if (!IsOwnedGroupName(groups[index].name))
            continue;
        // The host runs the callable before the command returns, so it reads the list in place.
        auto removeGroup = [&groups, &index]() { return HostRemovePropertyGroup(&groups[index].guid); };
        const GSErrCode code = RunUndoableCommand("Delete Property Groups", removeGroup);
        if (code != NoError)
            ReportErrorCode("Deleting properties error: %d", code);
    }
}
