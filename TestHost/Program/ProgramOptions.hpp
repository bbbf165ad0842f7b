// The quillmere-host command line: what it asks for, read from the arguments without touching any
// file (the files are checked afterwards, see ProgramInputs.hpp).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Faults.hpp"

namespace HostProgram {

// How the module's open-file dialog is answered.
enum class DialogAnswer {
    Terminal,  // nothing given: ask the user on the terminal
    Choose,    // --choose FILE
    Cancel,    // --cancel
};

struct ProgramOptions {
    bool help = false;
    std::string project;                 // --project FILE (required)
    std::string module;                  // --module FILE; empty: the module beside the executable
    DialogAnswer dialog = DialogAnswer::Terminal;
    std::string configuration;           // the FILE of --choose
    std::string profile;                 // --profile DIR; empty: a new folder for the run
    std::string save;                    // --save FILE; empty: none
    std::string json;                    // --json FILE; empty: none
    std::optional<std::size_t> undo;     // --undo N
    std::vector<TestHost::InjectedFault> faults;  // --fail, in the order given
    std::vector<std::string> faultTexts;          // the same, as given
    std::vector<std::string> missing;             // --missing, service names
};

// Reads the arguments (argv[1] on). Options take their value as the next argument or after "=".
// Returns false with a one-line message in `error` for an unknown option, a missing or bad value,
// an option given twice that may be given once, or a missing --project (unless --help is given).
bool ParseProgramOptions(int argc, const char* const* argv, ProgramOptions& options, std::string& error);

// The text of --help.
std::string UsageText();

}  // namespace HostProgram
