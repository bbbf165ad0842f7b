// A property as the command matches it across imports: its group's name and its own, kept apart
// (no joined text can make two properties one).
#pragma once

#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

struct PropertyName {
    GS::UniString group;
    GS::UniString property;

    // By group, then by property, as GS::UniString orders texts.
    bool operator<(const PropertyName& other) const noexcept
    {
        if (group < other.group)
            return true;
        if (other.group < group)
            return false;
        return property < other.property;
    }
    bool operator==(const PropertyName& other) const noexcept
    {
        return group == other.group && property == other.property;
    }
};

}  // namespace Quillmere
