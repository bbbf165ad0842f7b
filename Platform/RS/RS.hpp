// The RS part of the platform: the module's resources. On Windows they are PE resources of the
// module's DLL; on Linux the same bytes sit in a section of the module file.
#pragma once

#include "../GSRoot/GSRoot.hpp"
#include "../PlatformExport.hpp"

// The module instance handle (HINSTANCE on Windows; the module's load address on Linux).
using GSInstance = void*;
// A module whose resources are open for reading; -1 means none.
using GSResModule = Int64;
constexpr GSResModule InvalidResModule = -1;

// Opens the resources of the module loaded at `instance`. Returns InvalidResModule when the
// module has no readable resources.
PLATFORM_API GSResModule RSInitModuleImageCache(GSInstance instance);
// Closes what RSInitModuleImageCache opened; InvalidResModule is ignored.
PLATFORM_API void RSRemoveModuleImageCache(GSResModule resModule);

// Puts item `index` (1-based) of the "STRS" resource `resID` into `result`, the 8-bit item
// converted with CC_Default. `srcFile` and `srcLine` name the caller for diagnostics. Returns
// false and leaves `result` unchanged when the resource or item does not exist.
PLATFORM_API bool RSGetIndString(GS::UniString* result, Int16 resID, Int16 index, GSResModule resModule,
                                 Int16 stringType, const char* srcFile, int srcLine);
