// The add-on's own routines behind the entry points, the menu handler and the update command.
#pragma once

#include "Api/Api.hpp"
#include "RS/RS.hpp"

// Menu and string resources of the module.
constexpr Int16 AddOnInfoStringsResID = 32000;
constexpr Int16 MenuStringsResID = 32500;

// Module-wide load state: the handle of the module's open resources (-1 for none).
extern GSResModule ResourceModuleHandle;

// Fills the environment record's add-on name and description from items 1 and 2 of "STRS" 32000.
void IdentifyAddOn(API_EnvirParams* environment);
// Asks the host for the menu of "STRS" 32500; answers the host's code.
GSErrCode RegisterAddOnMenu();
// Installs MenuCommandHandler for menu 32500; answers the host's code.
GSErrCode InitializeAddOn();
// Nothing to release; answers 0.
GSErrCode ReleaseAddOn();

// The host calls this when an item of menu 32500 is chosen. Item 1 runs the update command;
// anything else does nothing. Answers 0 in every case.
GSErrCode MenuCommandHandler(const MenuCommandParams* params);

// The update command: the phases in their fixed order, each whatever the ones before did.
void UpdateCommand();
