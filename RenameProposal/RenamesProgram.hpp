// The quillmere-renames program: OLD.xml NEW.xml [--output FILE] [--report FILE] [--force]. It
// proposes the rename table from the configuration OLD.xml to the newer NEW.xml, writes it (beside
// NEW.xml as its rename table, NEW.renames.xml, unless --output names another file) and prints or
// writes the change report.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace RenameProposal {

// What one run printed and answered.
struct ProgramResult {
    int status = 0;   // 0 when everything was written (or the help asked for); 2 on any problem
    std::string out;  // the report when it is not written to a file, then the files written; or the help
    std::string err;  // one line on a problem, "quillmere-renames: ..."
};

// Runs the program on `arguments` (those after the program's name). On a problem (an unknown,
// repeated or incomplete option, a missing or extra configuration, an input that cannot be read or
// is no configuration, an output that names an input, a folder, or a file that exists without
// --force, a write that fails) nothing is written. The same inputs give the same table and report,
// byte for byte.
ProgramResult RunRenamesProgram(const std::vector<std::filesystem::path>& arguments);

// The program's help: its arguments and options.
std::string RenamesProgramUsage();

}  // namespace RenameProposal
