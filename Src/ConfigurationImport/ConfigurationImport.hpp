// Choosing and reading the configuration file and its rename table, removing the owned property
// groups, and handing the configuration's text to the host's classification and property imports.
#pragma once

#include <optional>
#include <string>

#include "Common/SystemFiles.hpp"
#include "Renames/RenameTableReader.hpp"
#include "Run/UpdateRun.hpp"

namespace Quillmere {

// The configuration the user chose: where it is, and its whole text as ReadTextFile reads it (CR
// LF becomes LF), opened by its full Unicode path.
struct Configuration {
    SystemPath path;
    std::string text;
};

// Lets the user choose the configuration file and reads it. Nothing, and no message, when the
// dialog was cancelled; nothing, reported as UnreadableConfigurationLine, when the file cannot be
// read (it is then no regular file, or was removed or locked after it was chosen).
std::optional<Configuration> ChooseConfiguration();

// The rename table beside the configuration (RenameTablePathBeside); each of its problems is
// reported as one line. An empty table when there is none or it cannot be used.
RenameTable ReadRenameTableBeside(const Configuration& configuration);

// Removes every owned property group, each in an undoable command "Delete Property Groups" of its
// own. A failing removal is reported and the others still run; when the groups cannot be listed
// nothing is removed and nothing is reported.
void RemoveOwnedPropertyGroups();

// Runs "Import Classifications" and "Import Properties" on the configuration's text as undoable
// commands (the second also after the first failed), reporting each failure. Notes in
// `run.propertiesImported` whether the property import succeeded; answers whether both did.
bool ImportConfiguration(const Configuration& configuration, UpdateRun& run);

}  // namespace Quillmere
