// The store as one run of the command uses it: opened once the configuration is read, read for the
// project by the backup, written before the removal where the backup file cannot hold what was
// saved, and written at the end with what the run leaves for later runs.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Opens the store (KeptStore::DefaultPath). A store that cannot be used is reported as one line
// (StoreUnusableLine), a damaged one set aside as one line (StoreSetAsideLine); the run goes on
// without it.
void OpenStore(UpdateRun& run);
// Notes whether the store keeps anything for any project (once what an earlier version left is in).
void ReadWhetherStoreHoldsAnything(UpdateRun& run);

// Reads what the store keeps for the project into `run.kept`: the project's identity comes from
// the host, or for a project without a file from its elements (`elements`, listed here when
// nullptr and needed). Kept values of elements the project no longer holds end (ElementGone).
// Nothing is asked of the host when the store keeps nothing at all.
void ReadKeptData(UpdateRun& run, const GS::Array<API_Guid>* elements);

// Before the removal: keeps in the store what the backup file does not hold safely, the run's
// expression lists and, when the backup file could not be written, its values. Answers false,
// having reported both files and why (NotSafeLine), when something saved is safe in neither: the run
// must then remove nothing.
bool KeepSavedBeforeRemoval(UpdateRun& run);

// At the end of a run that removed the owned groups: writes what it leaves, in one transaction:
// its values and lists that did not come back, the kept ones that stay (those that came back or
// ended leave), and what it left on the properties they could come back into.
void KeepForLaterRuns(UpdateRun& run);

}  // namespace Quillmere
