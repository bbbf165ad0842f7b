// Expression lists saved before the owned groups are removed: this run's own, and those earlier
// runs saved that no run has brought back yet.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Common/PropertyName.hpp"
#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

using ExpressionList = GS::Array<GS::UniString>;

// What this run's expression export saved.
struct SavedExpressions {
    // The lists of the owned definitions whose expression flag was set, by name; of two definitions
    // of one name the later one's.
    std::map<PropertyName, ExpressionList> lists;
    // Every owned definition the project had then, with a list or without: an earlier run's list
    // is never brought back over one of these.
    std::set<PropertyName> defined;
};

// A list that an earlier run saved and no run has brought back yet (its property was not in the
// configurations imported since, or the run ended before bringing it back).
struct KeptExpressionList {
    PropertyName name;
    ExpressionList list;
    UInt32 run = 0;     // the number of the run that saved it
    std::string saved;  // when, as the history file records it ("2026-12-09 14:05")
    // The run found its definition but could not write the list into it (the host refused, or the
    // definitions could not be listed): the definition is left without a list by the add-on, not
    // by the user, so the list may go into it even though the project has it.
    bool unwritten = false;
};

// The module's kept lists (ModuleState: ExpressionStore), oldest first. With a profile folder the
// history file holds them between runs and host sessions; without one the module keeps them while
// it is loaded.
using ExpressionStoreList = std::vector<KeptExpressionList>;
extern ExpressionStoreList& ExpressionStore;

}  // namespace Quillmere
