// A module file that has the resources of a module but exports only GetExportedFuncAddrs, for the
// loader's missing-export path.
extern "C" __attribute__((visibility("default"))) void GetExportedFuncAddrs(void*) {}
