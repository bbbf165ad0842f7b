// Everything the command line names, checked before the program creates any folder or file: the
// project read whole, the module's description read from its file, the configuration readable, the
// places for the results usable.
#pragma once

#include <filesystem>
#include <string>

#include "ModuleLoader.hpp"
#include "Project.hpp"
#include "ProgramOptions.hpp"

namespace HostProgram {

struct ProgramInputs {
    TestHost::Project project;
    std::filesystem::path moduleFile;         // absolute
    std::string moduleShownAs;                // as given, or the default file name
    TestHost::ModuleDescription module;
    std::filesystem::path configuration;      // absolute; empty unless --choose
};

// Checks the files of `options` and fills `inputs`. Returns false with a one-line message naming
// the file (and for a malformed project file the line) when any of them is unusable, or when
// nobody can answer the file dialog (no --choose or --cancel and no terminal). Creates nothing.
bool CheckProgramInputs(const ProgramOptions& options, ProgramInputs& inputs, std::string& error);

}  // namespace HostProgram
