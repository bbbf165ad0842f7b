#include "PropertyGroupCache.hpp"

#include "Common/OwnedGroups.hpp"
#include "HostBinding.hpp"

namespace Quillmere {

GSErrCode ReadPropertyGroupName(const API_Guid& groupGuid, GS::UniString& name)
{
    API_PropertyGroup group;
    group.kind = API_PropertyCustomDefinitionKind;
    group.guid = groupGuid;
    const GSErrCode code = HostReadPropertyGroup(&group);
    name = code == NoError ? std::move(group.name) : GS::UniString();
    return code;
}

const PropertyGroupCache::Group& PropertyGroupCache::Get(const API_Guid& groupGuid)
{
    const auto found = groups.find(groupGuid);
    if (found != groups.end())
        return found->second;
    Group group;
    group.readCode = ReadPropertyGroupName(groupGuid, group.name);
    group.owned = IsOwnedGroupName(group.name);
    // A failed read is asked again next time: one refusal must not cost every value of the group.
    if (group.readCode != NoError) {
        failed = std::move(group);
        return failed;
    }
    return groups.emplace(groupGuid, std::move(group)).first->second;
}

bool IsOwnedDefinition(const API_PropertyDefinition& definition, PropertyGroupCache& groups,
                       const PropertyGroupCache::Group*& group)
{
    group = &groups.Get(definition.groupGuid);
    return definition.kind == API_PropertyCustomDefinitionKind && group->owned;
}

}  // namespace Quillmere
