// What the value backup of the running command leaves for its restore.
#pragma once

#include <optional>

#include "ValueBackupFile.hpp"

namespace Quillmere {

struct CommandBackup {
    // The backup this command built, kept in memory: the restore takes the values from here
    // whenever there is one, so that neither a failed write nor another program's change of the
    // file between backup and restore costs a value. The file is the copy on disk.
    std::optional<ValueBackup> backup;
    // The backup phase found no owned group and so built no backup on purpose: a missing earlier
    // file is then nothing to report.
    bool projectHeldNoOwnedGroup = false;

    void Clear()
    {
        backup.reset();
        projectHeldNoOwnedGroup = false;
    }
};

// The running command's, a part of the module's state (ModuleState.hpp); empty outside a command.
// The update command empties it when it ends.
extern CommandBackup& RunningCommandBackup;

}  // namespace Quillmere
