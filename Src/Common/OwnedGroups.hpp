// Which property groups belong to the add-on.
#pragma once

#include <string_view>

#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

// What a group's name contains when the group is the add-on's.
constexpr std::string_view OwnedGroupMarker = "SGPset_";

// True when the group name's 8-bit form contains OwnedGroupMarker anywhere (case-sensitive).
inline bool IsOwnedGroupName(const GS::UniString& name)
{
    const GS::UniString::CStr bytes = name.ToCStr(0, GS::UniString::MaxUSize, CC_Default);
    return std::string_view(bytes.Get(), bytes.GetLength()).find(OwnedGroupMarker) != std::string_view::npos;
}

}  // namespace Quillmere
