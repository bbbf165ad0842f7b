// What the host calls: the two exported functions and the guarded entry points they hand over.
#pragma once

#include "Api/Api.hpp"

// Marks the module file's only two exported functions; everything else of the module is hidden.
#if defined(_WIN32)
#  define QM_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#  define QM_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Fills the host's export record: zeroes all 120 bytes, then writes the version word, the four
// entry points and the interface version. Needs no service table.
QM_MODULE_EXPORT void GetExportedFuncAddrs(ExportRecord* exports);

// Copies the host's 648 service entries into the module's own table (a second call replaces the
// whole table) and marks the module bound. Checks nothing; returns 0.
QM_MODULE_EXPORT GSErrCode SetImportedFuncAddrs(const API_ServiceEntry* table);

namespace Quillmere {

// The entry points as the host sees them (the add-on defines them, AddOnMain.cpp): each answers
// for an unbound module and otherwise does the add-on's part.
// Unbound: 0, the record untouched. Bound: fills the add-on's name and description, answers 1.
Int32 GuardedIdentify(API_EnvirParams* environment);
// Unbound: ModuleNotBound. Bound: registers the menu, answers the host's code.
GSErrCode GuardedRegister(API_RegistrationContext* registration);
// Unbound: ModuleNotBound. Bound: keeps the context, installs the menu handler, answers its code.
GSErrCode GuardedInitialize(API_HostContext* context);
// Unbound: ModuleNotBound. Bound: clears the context, answers 0.
GSErrCode GuardedRelease();

}  // namespace Quillmere
