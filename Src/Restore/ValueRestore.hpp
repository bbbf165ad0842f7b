// Writes the saved values back onto the elements after the import.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Writes each value of the run's backup to its element under the owned definition with the same
// group and property names (or one the rename table maps them to), converting it to the type the
// property has now where that is exact, and reporting each value the host refuses. A value the
// store keeps for the element comes back into a definition of its name (or a later one) when the
// property is as the run that kept it left it (KeptData.hpp: MatchLeft), the newest first; where
// the property has held another value since, the user's stands and the kept value ends. What
// became of each value goes into the fates of the run and of the kept data, and what the run
// leaves on the owned properties of each element that still has kept values into `run.end.left`.
// Answers false when there was nothing to restore from at all (no backup, and no store): the run
// then ends without its completion alert.
bool RestoreElementValues(UpdateRun& run);

}  // namespace Quillmere
