// Saves the values elements hold for owned properties, before the owned groups are removed: in
// memory for this run's restore, and in the value backup file.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Visits every element, collects the values it really holds (status 2, not the default) for
// owned definitions into `run.backup` and writes them all to the backup file at the end, through a
// temporary file that replaces it only when complete. Answers false, with the failure reported
// (ListElementsError to ReadValueError), when some owned value cannot be saved: the run must then
// remove nothing. A file that cannot be written is reported (BackupWriteError) and leaves the
// earlier file as it was; the values are still in `run.backup`. A project without owned groups
// gets no backup: the earlier file stays (one report line says so) for the restore.
bool BackupElementValues(UpdateRun& run);

}  // namespace Quillmere
