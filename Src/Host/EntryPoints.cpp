#include "EntryPoints.hpp"

#include <cstring>

#include "HostBinding.hpp"

void GetExportedFuncAddrs(ExportRecord* exports)
{
    std::memset(static_cast<void*>(exports), 0, sizeof(ExportRecord));
    exports->version = ExportRecordVersion;
    exports->identify = &Quillmere::GuardedIdentify;
    exports->registerMenu = &Quillmere::GuardedRegister;
    exports->initialize = &Quillmere::GuardedInitialize;
    exports->release = &Quillmere::GuardedRelease;
    exports->apiVersion = ExportRecordApiVersion;
}

GSErrCode SetImportedFuncAddrs(const API_ServiceEntry* table)
{
    std::memcpy(Quillmere::Binding.serviceTable, table, sizeof(Quillmere::Binding.serviceTable));
    Quillmere::Binding.serviceTableBound = true;
    return NoError;
}
