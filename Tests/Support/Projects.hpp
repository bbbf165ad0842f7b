// Projects built for tests: a configuration imported as the host's own import does it, and the
// project of walls that the module's memory tests run the command on.
#pragma once

#include <filesystem>
#include <string_view>

#include "Project.hpp"

namespace Support {

// Imports the classifications and then the property groups of `configuration`; throws
// std::runtime_error, with the import's code and message, when either fails.
void ImportConfiguration(TestHost::Project& project, std::string_view configuration);

// The fixture of one owned group "SGPset_Wall" with a String "FireRating" and a Real (length)
// "Thickness", both for the classification item "IfcWall".
std::filesystem::path WallConfigurationFile();

// Fills `project` from WallConfigurationFile(): Thickness computed by the expression "{Wall.Width}",
// and `walls` walls "W0", "W1", ... each holding its own FireRating "REI <n>" and, with
// `withThickness`, its own Thickness 0.1 n.
void MakeWallProject(TestHost::Project& project, int walls, bool withThickness);

}  // namespace Support
