// The entry points' add-on side (declared in Host/EntryPoints.hpp), and the menu handler with the
// one command it runs, from the first phase to the completion alert.
#pragma once

#include "Api/Api.hpp"
#include "Host/EntryPoints.hpp"

namespace Quillmere {

// Menu and string resources of the module.
constexpr Int16 AddOnInfoStringsResID = 32000;
constexpr Int16 MenuStringsResID = 32500;

// The host calls this when an item of menu 32500 is chosen. Item 1 runs the update command;
// anything else does nothing. Answers 0 in every case: a failure inside the command is reported
// to the report window, never to the host.
GSErrCode MenuCommandHandler(const MenuCommandParams* params);

}  // namespace Quillmere
