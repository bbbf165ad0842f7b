// Keeps the expression lists of owned property definitions across the replacement of the owned
// groups: saved before the removal, written into the re-imported definitions afterwards.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Saves into `run.expressions` the expression list of every owned definition whose expression flag
// is set, and how every owned definition holds its list. Answers false, reporting
// ExpressionsExportError with the host's code, when a list may be left unsaved: the definitions
// cannot be listed, or the group of a custom definition cannot be read. The run must then remove
// nothing.
bool ExportExpressions(UpdateRun& run);

// Writes each list of the run into every owned definition of the same name or, through the run's
// rename table, of a later name of it; and a list the store keeps into a definition of its name (or
// a later one) that is as the run that kept it left it (KeptData.hpp: MatchLeft), where the
// user's own list stands otherwise. One undoable command "Import Expressions" each; what became of
// each list goes into the run's list fates and the kept lists' fates, how the owned definitions
// hold their lists afterwards into `run.end.listsLeft`. When the definitions cannot be listed it
// reports ExpressionsListError and answers false: every list stays for a later run.
bool ImportExpressions(UpdateRun& run);

}  // namespace Quillmere
