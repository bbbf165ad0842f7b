// One run of quillmere-host: the project goes into a test host, the module is loaded and started as
// the host application does, its menu command is chosen once, and the module is released and
// unloaded; then the asked-for steps are undone and the project saved.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "ProgramInputs.hpp"
#include "ProgramOptions.hpp"
#include "RunResults.hpp"

namespace HostProgram {

// Runs the command with "USERPROFILE" set to `profile`, printing the steps, report lines, alert
// and dialog answer to `out` as they happen, and fills `results`. `inputs.project` is taken.
// Returns false with a one-line message when the module cannot be loaded or started, when its
// menu command is not installed, or when the project cannot be saved.
bool RunHostCommand(const ProgramOptions& options, ProgramInputs& inputs, const std::filesystem::path& profile,
                    std::ostream& out, RunResults& results, std::string& error);

}  // namespace HostProgram
