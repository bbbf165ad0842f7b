// Everything the module keeps while it is loaded, in one object.
//
// The object is made when the module file is loaded, before the module's load steps run
// (Module/ModuleLifecycle.cpp: register the dialog message, record the file path, open the
// resources), and destroyed when the module is unloaded, after its unload steps (close
// the resources, the debug line for an unreleased add-on). On Windows the C runtime constructs
// the module's statics before DllMain's process attach and destroys them after its detach; on
// Linux the object asks to be constructed ahead of the load hook's object, which is destroyed
// first. It holds the host binding and the resources' handle; what a run of the command carries
// between its phases is the run's own (Run/UpdateRun.hpp), and what runs keep for later ones is in
// the store (Store/KeptStore.hpp).
#pragma once

#include "Common/MessageFormat.hpp"
#include "Common/Messages.hpp"
#include "GSRoot/GSRoot.hpp"
#include "Host/HostBinding.hpp"
#include "RS/RS.hpp"
#include "Win/Win.hpp"

namespace Quillmere {

struct ModuleState {
    HostBinding binding;                        // the host's service table and context pointers
    WCHAR filePath[MAX_PATH] = {};              // the module file's path, recorded at load
    GSResModule resources = InvalidResModule;   // the module's open resources; -1 for none
    // Made here because once memory has run out no line could be made to say so.
    GS::UniString outOfMemoryLine = FormatLine(Messages::StoppedCommandLine, {"std::bad_alloc"});
};

extern ModuleState TheModule;

}  // namespace Quillmere
