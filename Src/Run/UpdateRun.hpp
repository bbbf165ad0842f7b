// What one run of the update command carries from phase to phase. The update command
// (UpdateCommand.cpp) makes it when the run starts and drops it when the run ends, however it ends;
// the phases take it and add what they learn.
#pragma once

#include <optional>

#include "Common/RenameTable.hpp"
#include "Run/ValueBackup.hpp"

namespace Quillmere {

struct UpdateRun {
    // The values saved before the owned groups were removed, kept in memory: the restore takes
    // them from here whenever there are some, so that neither a failed write nor another program's
    // change of the file costs a value. Nothing when the backup saved none (see below).
    std::optional<ValueBackup> backup;
    // The project held no owned group when the backup looked, so it saved nothing on purpose and
    // an earlier run's file stands for its values.
    bool projectHeldNoOwnedGroup = false;
    // The rename table beside the chosen configuration; empty when there is none.
    RenameTable renames;
};

}  // namespace Quillmere
