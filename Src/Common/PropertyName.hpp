// A property as the command matches it across imports: its group's name and its own, kept apart
// (no joined text can make two properties one).
#pragma once

#include <compare>

#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

struct PropertyName {
    GS::UniString group;
    GS::UniString property;

    // By group, then by property, as GS::UniString orders texts; the defaulted <=> brings a
    // defaulted == with it.
    std::weak_ordering operator<=>(const PropertyName& other) const noexcept = default;
};

}  // namespace Quillmere
