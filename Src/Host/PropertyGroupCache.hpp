// The names of property groups, read from the host once per group in a phase, and whether they
// are the add-on's.
#pragma once

#include <unordered_map>

#include "Api/Api.hpp"
#include "Common/GuidHash.hpp"
#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

// The groups a phase has met, each read from the host the first time: a project has a handful of
// groups and a phase meets each once per element. A read that succeeded stands for the phase; a
// failed one is tried again at the next meeting.
class PropertyGroupCache {
public:
    struct Group {
        GSErrCode readCode = NoError;  // the host's answer; the name is empty when it failed
        bool owned = false;
        GS::UniString name;
    };

    // The group as read; valid until the next call.
    const Group& Get(const API_Guid& groupGuid);

private:
    std::unordered_map<API_Guid, Group, GuidHash> groups;
    Group failed;
};

}  // namespace Quillmere
