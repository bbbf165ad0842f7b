// Everything the module keeps while it is loaded, in one object.
//
// The object is made when the module file is loaded, before the module's load steps run
// (Module/ModuleLifecycle.cpp: register the dialog message, record the instance and the file path,
// open the resources), and destroyed when the module is unloaded, after its unload steps (close
// the resources, the debug line for an unreleased add-on). On Windows the C runtime constructs
// the module's statics before DllMain's process attach and destroys them after its detach; on
// Linux the object asks to be constructed ahead of the load hook's object, which is destroyed
// first. Between runs of the command it holds the host binding, the resources' handle and the saved
// expression lists; during a run also the run's value backup and rename table.
#pragma once

#include <string>

#include "Common/RenameTable.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "GSRoot/GSRoot.hpp"
#include "Host/HostBinding.hpp"
#include "RS/RS.hpp"
#include "ValueBackup/CommandBackup.hpp"
#include "Win/Win.hpp"

namespace Quillmere {

// The start of the line that tells that the command stopped early; the reason follows.
constexpr const char* StoppedCommandText = "Import IFC-SG Classifications and Properties stopped: ";

struct ModuleState {
    HostBinding binding;                        // the host's service table and context pointers
    GSInstance instance = nullptr;              // where the module file is loaded, recorded at load
    WCHAR filePath[MAX_PATH] = {};              // the module file's path, recorded at load
    GSResModule resources = InvalidResModule;   // the module's open resources; -1 for none
    ExpressionMap expressions;                  // saved expression lists (ExpressionStore)
    CommandBackup commandBackup;                // the running command's value backup
    RenameTable commandRenames;                 // the running command's rename table
    // Made here because once memory has run out no line could be made to say so.
    GS::UniString outOfMemoryLine{(std::string(StoppedCommandText) + "std::bad_alloc").c_str()};
};

extern ModuleState TheModule;

}  // namespace Quillmere
