// Expression lists saved before the owned groups are removed.
#pragma once

#include <map>

#include "Common/PropertyName.hpp"
#include "Run/KeptData.hpp"

namespace Quillmere {

// What this run's expression export saved.
struct SavedExpressions {
    // The lists of the owned definitions whose expression flag was set, by name; of two definitions
    // of one name the later one's.
    std::map<PropertyName, ExpressionList> lists;
    // Every owned definition the project had then, with a list or without, and its list's state:
    // what a kept list may come back over.
    PropertyStates found;
};

}  // namespace Quillmere
