// What a run of the command tells the user at its end, after the imports, once what it keeps is
// in the store.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// One line per property whose saved values (or expression list) did not all come back: how many,
// why, and where they are kept or why they could not be; one per entry of the rename table that
// leads nowhere or whose values gave way; one per earlier run whose kept values or lists came back;
// one per property whose kept values ended, and why; and one line that says what waits in the store
// for the project. After a failed property import, one line says where everything waits.
void ReportWhatWasNotBroughtBack(const UpdateRun& run);

}  // namespace Quillmere
