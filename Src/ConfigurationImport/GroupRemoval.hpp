// Which property groups belong to the add-on, and their removal before a new configuration is
// imported.
#pragma once

#include "GSRoot/GSRoot.hpp"
#include "Api/Api.hpp"

// True when the group name's 8-bit form contains "SGPset_" anywhere (case-sensitive).
bool IsOwnedGroupName(const GS::UniString& name);

// Asks the host for the name of the group `groupGuid`. Answers the host's code; on failure
// `name` is left empty.
GSErrCode ReadPropertyGroupName(const API_Guid& groupGuid, GS::UniString& name);

// True when `definition` is a custom definition (kind 2) whose group is owned. Reads the group's
// name from the host for every definition, whatever its kind; a group that cannot be read counts
// as not owned. `groupName` receives the name that was read.
bool IsOwnedDefinition(const API_PropertyDefinition& definition, GS::UniString& groupName);

// Removes every owned property group, each in an undoable command "Delete Property Groups" of its
// own. A failing removal is reported and the others still run; when the groups cannot be listed
// nothing is removed and nothing is reported.
void RemoveOwnedPropertyGroups();
