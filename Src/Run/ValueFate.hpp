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
    Superseded,        // (an earlier run's) the element has had the property since, or a newer
                       // value of it came back instead: it is dropped
};

}  // namespace Quillmere
