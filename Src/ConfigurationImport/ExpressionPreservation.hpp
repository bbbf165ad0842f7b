// Keeps the expression lists of owned property definitions across the replacement of the owned
// groups: saved before the removal, written into the re-imported definitions afterwards.
#pragma once

#include <map>

#include "Api/Api.hpp"
#include "GSRoot/GSRoot.hpp"
#include "Run/UpdateRun.hpp"

namespace Quillmere {

// The owning group's name, ";" and the definition's name, exactly as the host gives them.
using ExpressionKey = GS::UniString;
using ExpressionList = GS::Array<GS::UniString>;

// Saved expression lists, ordered by key: a part of the module's state (ModuleState.hpp), empty
// when the module is loaded. Entries stay from a run that did not get to re-apply them until a
// later run does.
using ExpressionMap = std::map<ExpressionKey, ExpressionList>;
extern ExpressionMap& ExpressionStore;

ExpressionKey MakeExpressionKey(const GS::UniString& groupName, const GS::UniString& definitionName);

// Saves the expression list of every owned definition whose expression flag is set into the
// store. Answers false, reporting ExpressionsExportError with the host's code, when a list may be
// left unsaved: the definitions cannot be listed, or the group of a custom definition cannot be
// read. The run must then remove nothing.
bool ExportExpressions();

// Writes each saved list into every owned definition of the same key or, through the run's rename
// table, of a later name of it, one undoable command "Import Expressions" each, then empties the
// store. When the definitions cannot be listed it reports ExpressionsListError and answers false,
// keeping the store for a later run.
bool ImportExpressions(const UpdateRun& run);

}  // namespace Quillmere
