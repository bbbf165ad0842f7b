// Finding the file of an object loaded in this process by its load address. Internal to the
// platform library (GetModuleFileNameW and the resource cache use it).
#pragma once

#include <string>

namespace QmLoadedModule {

// The absolute path of the object whose first mapping starts at `base` (the address dladdr gives
// as dli_fbase); nullptr names the program itself. Returns false when nothing is loaded there.
bool FindModuleFile(const void* base, std::string& path);

}  // namespace QmLoadedModule
