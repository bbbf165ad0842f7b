// What the entry points call: the add-on's own routines behind identify, register and initialize
// (release has nothing of the add-on's to end). The add-on implements them (AddOnMain.cpp); the
// host binding knows no more of it.
#pragma once

#include "Api/Api.hpp"

namespace Quillmere {

// Fills the environment record's add-on name and description from items 1 and 2 of "STRS" 32000;
// a failed lookup leaves the text as it was.
void IdentifyAddOn(API_EnvirParams* environment);
// Asks the host for the menu of "STRS" 32500; answers the host's code.
GSErrCode RegisterAddOnMenu();
// Installs the menu command's handler for menu 32500; answers the host's code.
GSErrCode InitializeAddOn();

}  // namespace Quillmere
