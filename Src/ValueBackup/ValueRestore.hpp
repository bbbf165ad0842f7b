// Writes the saved values back onto the elements after the import.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Writes each value of the run's backup to its element under the owned definition with the same
// group and property names (or one the rename table maps them to), converting it to the type the
// property has now where that is exact, and reporting each value the host refuses. Where an
// element has no value of the run's own for a property it did not have at the backup (or had
// without a value, for a value an earlier run could not write), the newest value an earlier run
// kept for it comes back (the backup file itself for a run that saved none, since the project
// held no owned group; then the kept files). What became of each value goes into the fates of the
// run and of the kept files. A file that cannot be read is reported as one line and gives nothing. Answers false when there was nothing to restore from at all (no backup
// in memory, and "USERPROFILE" not set): the run then ends without its completion alert.
bool RestoreElementValues(UpdateRun& run);

}  // namespace Quillmere
