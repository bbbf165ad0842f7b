// What became of one saved value, or one saved expression list, by the end of a run.
#pragma once

#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

enum class ValueFate : UInt8 {
    Pending,           // not brought back; nothing more is known
    BroughtBack,
    NotDefined,        // the configuration defines no owned property of its name, nor one the
                       // rename table renames it to, for its element
    NotWritten,        // the host refused it, or could not list or name the definitions it needed
    NotConvertible,    // its text does not convert exactly to the type the property has now
    GaveWay,           // the property the rename table gives it took another saved value: one saved
                       // under that name, or under the name of a later entry
    Occupied,          // the rename table gives it a property of a group that is not owned, and the
                       // element (or the definition, for a list) holds a value of its own there
    // Only a kept value or list of an earlier run ends so; it then leaves the store:
    Changed,           // its property has held another value since that run left it: the user's stands
    Superseded,        // a newer value of the same property is kept or came back instead
    ElementGone,       // its element is no longer in the project
    AlreadyHeld,       // its property holds that very value: nothing is left to bring back
};

// Whether a kept value or list of that fate stays kept after the run.
inline bool StaysKept(ValueFate fate)
{
    return fate != ValueFate::BroughtBack && fate != ValueFate::Changed && fate != ValueFate::Superseded &&
           fate != ValueFate::ElementGone && fate != ValueFate::AlreadyHeld;
}

// Whether a value or list this run saved stays kept after it: it did not come back, and no kept one
// of the same property came back over it (the run's was then the state the import left, not the
// user's).
inline bool OwnStays(ValueFate fate)
{
    return fate != ValueFate::BroughtBack && fate != ValueFate::Superseded;
}

}  // namespace Quillmere
