// What one run of the update command carries from phase to phase. The update command
// (UpdateCommand.cpp) makes it when the run starts and drops it when the run ends, however it ends;
// the phases take it and add what they learn.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Renames/RenameTable.hpp"
#include "Run/DefinedNames.hpp"
#include "Run/EarlierRuns.hpp"
#include "Run/SavedExpressions.hpp"
#include "Run/ValueFate.hpp"
#include "Run/ValueBackup.hpp"

namespace Quillmere {

struct UpdateRun {
    UInt32 number = 0;    // this run's number on the profile (EarlierRuns::lastRun + 1)
    std::string started;  // when it started, as files record it ("2026-12-09 14:05")

    // --- Saved before the owned groups were removed ---
    SavedExpressions expressions;
    // The values, kept in memory: the restore takes them from here, so that neither a failed
    // write nor another program's change of the file costs a value. Nothing when the project held
    // no owned group: the run then saved nothing on purpose.
    std::optional<ValueBackup> backup;
    bool projectHeldNoOwnedGroup = false;
    bool backupWritten = false;  // the backup file holds `backup`
    // The owned properties each element had at the backup; recorded only when values of earlier
    // runs may come back (EarlierRuns has some), since only they need it.
    std::optional<DefinedNames> definedAtBackup;
    EarlierRuns earlier;

    // --- Chosen with the configuration ---
    RenameTable renames;
    SystemPath renamesPath;  // where the table was looked for

    // --- Made by the import ---
    // The owned definitions the expression import found, when it could list them.
    std::optional<std::set<PropertyName>> importedOwned;

    // --- What came back ---
    bool importRan = false;           // a configuration was chosen and read, and the imports ran
    bool propertiesImported = false;  // the property import succeeded
    bool restoreRan = false;
    std::vector<ValueFate> fates;                  // by value of `backup`
    std::map<PropertyName, ValueFate> listFates;   // by list of `expressions`
    std::vector<ValueFate> keptListFates;          // by entry of the module's ExpressionStore

    // --- Kept for later runs ---
    SystemPath valuesKeptIn;  // where the values of `backup` that did not come back are kept
    // By entry of the ExpressionStore as the run found it: the run that saved the list, and when.
    std::vector<std::pair<UInt32, std::string>> keptListSources;
};

}  // namespace Quillmere
