// What one run of the update command carries from phase to phase. The update command
// (AddOnMain.cpp) makes it once the configuration is chosen and read and drops it when the run
// ends, however it ends; the phases take it and add what they learn.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "Common/FileProblem.hpp"
#include "Renames/RenameTable.hpp"
#include "Run/KeptData.hpp"
#include "Run/ValueBackup.hpp"
#include "Run/ValueFate.hpp"

namespace Quillmere {

class KeptStore;

// What this run's expression export saved before the owned groups are removed.
struct SavedExpressions {
    // The lists of the owned definitions whose expression flag was set, by name; of two definitions
    // of one name the later one's.
    std::map<PropertyName, ExpressionList> lists;
    // Every owned definition the project had then, with a list or without, and its list's state:
    // what a kept list may come back over.
    PropertyStates found;
};

struct UpdateRun {
    // --- Chosen before anything else ---
    SystemPath configuration;  // the configuration file the user chose
    RenameTable renames;       // the table beside it (RenameTablePathBeside)

    // --- The store ---
    std::shared_ptr<KeptStore> store;         // open for the run; nothing when it cannot be used
    std::optional<FileProblem> storeProblem;  // why not, or why it could not be read or written
    bool storeHoldsAnything = false;          // for any project: only then is this project's part read
    bool projectKnown = false;                // `end.project` is the project's identity
    ProjectIdentity anchor;                   // the identity a project without a file takes when the store knew none
    bool setAsideTold = false;                // a damaged store set aside has been reported
    KeptData kept;                            // what it keeps for the project
    KeptAtRunEnd end;                         // what the run leaves in it (its project, number, ...)
    bool storeWritten = false;                // the run's end is in the store

    // --- Saved before the owned groups are removed ---
    SavedExpressions expressions;
    // The values, kept in memory: the restore takes them from here, so that neither a failed
    // write nor another program's change of the file costs a value. Nothing when the project held
    // no owned group: the run then saved nothing.
    std::optional<ValueBackup> backup;
    std::optional<FileProblem> backupProblem;  // the backup file could not be written
    // The owned properties of the elements with kept values, as the backup found them.
    std::unordered_map<API_Guid, PropertyStates, GuidHash> found;

    // --- Made by the import ---
    // The definitions the expression import found (owned or not), when it could list them.
    std::optional<std::set<PropertyName>> imported;

    // --- What came back ---
    bool propertiesImported = false;  // the property import succeeded
    std::vector<ValueFate> fates;                 // by value of `backup`
    std::map<PropertyName, ValueFate> listFates;  // by list of `expressions`
};

}  // namespace Quillmere
