#include "PropertyGroupCache.hpp"

#include "Common/OwnedGroups.hpp"
#include "HostBinding.hpp"

namespace Quillmere {

const PropertyGroupCache::Group& PropertyGroupCache::Get(const API_Guid& groupGuid)
{
    if (const auto found = groups.find(groupGuid); found != groups.end())
        return found->second;
    // A group request record: kind 2 (a fresh record's), the GUID, empty texts.
    API_PropertyGroup read;
    read.guid = groupGuid;
    const GSErrCode code = HostReadPropertyGroup(&read);
    // A failed read is asked again next time: one refusal must not cost every value of the group.
    if (code != NoError) {
        failed = Group{code, false, GS::UniString()};
        return failed;
    }
    const bool owned = IsOwnedGroupName(read.name);
    return groups.emplace(groupGuid, Group{NoError, owned, std::move(read.name)}).first->second;
}

}  // namespace Quillmere
