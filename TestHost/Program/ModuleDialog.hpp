// Answering the module's open-file dialog during one run of quillmere-host, as the options ask:
// with the file of --choose, with a cancel, or by the user. Each answer is printed as it is given:
//     dialog   "<the dialog's title>": <the file as given on the command line> | cancelled
// On POSIX the platform's GetOpenFileNameW asks the provider installed here (scripted, or a prompt
// on the terminal). On Windows the real common dialog comes up: for --choose and --cancel it is
// operated by automation as a user would operate it, and without them the user answers it.
#pragma once

#include <memory>
#include <ostream>

#include "ProgramInputs.hpp"
#include "ProgramOptions.hpp"

namespace HostProgram {

class ModuleDialog {
public:
    // Starts answering the dialogs shown on the calling thread, the one that runs the module's
    // command. Throws std::runtime_error when the system refuses.
    ModuleDialog(const ProgramOptions& options, const ProgramInputs& inputs, std::ostream& out);
    // Stops answering.
    ~ModuleDialog();
    ModuleDialog(const ModuleDialog&) = delete;
    ModuleDialog& operator=(const ModuleDialog&) = delete;

private:
    struct Answering;
    std::unique_ptr<Answering> answering;
};

}  // namespace HostProgram
