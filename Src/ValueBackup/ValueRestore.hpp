// Writes the saved values back onto the elements after the import.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Writes each value of the run's backup to its element under the owned definition with the same
// group and property names (or one the rename table maps them to), reporting each value the host
// refuses. A run that built no backup (the project held no owned group, or a listing failed) restores from the file an
// earlier run left: a file that cannot be read is reported as one line and restores nothing.
// Answers false when there was nothing to restore from at all (no backup in memory, and
// "USERPROFILE" not set): the run then ends without its completion alert.
bool RestoreElementValues(const UpdateRun& run);

}  // namespace Quillmere
