// The end of every run that removed the owned groups: what did not come back is kept for a later
// run, and the user is told of it.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Keeps for later runs what this run saved and did not bring back, and drops what is no longer
// needed:
// - the run's values that did not come back go into the kept file of the run
//   ("IFC_SG_Properties.N.xml"), unless the run never got to the restore and the backup file holds
//   them all;
// - of each earlier run's kept values, those that came back, those whose property an element had
//   at this run's backup (the user's own since) and those older than KeptRuns runs are dropped;
// - the expression lists that did not come back join the module's ExpressionStore, those that did
//   leave it;
// - the history file records the run, the backup file as the run leaves it, and the store.
// A file that cannot be written is reported (BackupWriteError) and left as it was. Without
// "USERPROFILE" only the store is kept, in memory.
void KeepForLaterRuns(UpdateRun& run);

// Tells the user what the run did not bring back, one line per property: how many saved values
// (or the expression list), why and where they are kept; and one line per earlier run whose values
// or lists came back. Nothing after a cancelled dialog, and nothing when everything came back.
void ReportWhatWasNotBroughtBack(const UpdateRun& run);

}  // namespace Quillmere
