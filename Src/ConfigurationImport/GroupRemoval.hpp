// The removal of the owned property groups before a new configuration is imported.
#pragma once

namespace Quillmere {

// Removes every owned property group, each in an undoable command "Delete Property Groups" of its
// own. A failing removal is reported and the others still run; when the groups cannot be listed
// nothing is removed and nothing is reported.
void RemoveOwnedPropertyGroups();

}  // namespace Quillmere
