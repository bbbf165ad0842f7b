// A property as the command matches it across imports: its group's name and its own, kept apart
// (no joined text can make two properties one).
#pragma once

#include <tuple>

#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

struct PropertyName {
    GS::UniString group;
    GS::UniString property;

    // By group, then by property, as GS::UniString orders texts.
    bool operator<(const PropertyName& other) const noexcept
    {
        return std::tie(group, property) < std::tie(other.group, other.property);
    }
    bool operator==(const PropertyName& other) const noexcept = default;
};

}  // namespace Quillmere
