#include "OwnedGroups.hpp"

namespace Quillmere {

bool IsOwnedGroupName(const GS::UniString& name)
{
    const GS::UniString::CStr bytes = name.ToCStr(0, GS::UniString::MaxUSize, CC_Default);
    return std::string_view(bytes.Get(), bytes.GetLength()).find(OwnedGroupMarker) != std::string_view::npos;
}

}  // namespace Quillmere
