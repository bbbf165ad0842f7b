// Saves the values elements hold for owned properties, before the owned groups are removed: in
// memory for this run's restore, and in the value backup file.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Visits every element, collects the values it really holds (status 2, not the default) for owned
// definitions into `run.backup`, and writes them all to the backup file at the end, through a
// temporary file that replaces it only when complete and flushed. On the way it reads what the
// store keeps for the project (Store/RunStore.hpp) and notes how the elements with kept values hold
// their owned properties now. Answers false, with the failure reported (ListElementsError to
// ReadValueError), when some owned value cannot be saved: the run must then remove nothing. A file
// that cannot be written is reported (BackupWriteError), leaves the earlier file as it was and
// goes into `run.backupProblem`; the values are still in `run.backup`. A project without owned
// groups gets no backup, and the earlier file stays.
bool BackupElementValues(UpdateRun& run);

}  // namespace Quillmere
