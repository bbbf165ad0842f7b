// Keeps the expression lists of owned property definitions across the replacement of the owned
// groups: saved before the removal, written into the re-imported definitions afterwards.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Saves into `run.expressions` the expression list of every owned definition whose expression flag
// is set, and the names of all owned definitions. Answers false, reporting ExpressionsExportError
// with the host's code, when a list may be left unsaved: the definitions cannot be listed, or the
// group of a custom definition cannot be read. The run must then remove nothing.
bool ExportExpressions(UpdateRun& run);

// Puts the run's saved lists into the module's store until they come back: should the run end
// abruptly after the removal, a later run of the session still has them.
void KeepSavedExpressions(const UpdateRun& run);

// Writes each list of the run into every owned definition of the same name or, through the run's
// rename table, of a later name of it; and into an owned definition the project did not have at
// the export, the newest kept list of an earlier run (ExpressionStore) of its name or an earlier
// one. One undoable command "Import Expressions" each; what became of each list goes into the
// run's list fates. When the definitions cannot be listed it reports ExpressionsListError and
// answers false: every list stays for a later run.
bool ImportExpressions(UpdateRun& run);

}  // namespace Quillmere
