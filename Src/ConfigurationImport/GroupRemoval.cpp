#include "GroupRemoval.hpp"

#include "Common/Messages.hpp"
#include "Common/OwnedGroups.hpp"
#include "Host/HostCalls.hpp"

namespace Quillmere {

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
        const GSErrCode code = RunUndoableCommand(Messages::DeleteGroupsStep, removeGroup);
        if (code != NoError)
            ReportErrorCode(Messages::DeleteGroupError, code);
    }
}

}  // namespace Quillmere
