#include "EntryPoints.hpp"

#include <cstring>

#include "AddOnRoutines.hpp"
#include "HostBinding.hpp"

namespace Quillmere {

Int32 GuardedIdentify(API_EnvirParams* environment)
{
    if (!Binding.serviceTableBound)
        return 0;
    IdentifyAddOn(environment);
    return 1;
}

GSErrCode GuardedRegister(API_RegistrationContext* /*registration*/)
{
    if (!Binding.serviceTableBound)
        return ModuleNotBound;
    return RegisterAddOnMenu();
}

GSErrCode GuardedInitialize(API_HostContext* context)
{
    if (!Binding.serviceTableBound)
        return ModuleNotBound;
    Binding.hostContext = context;
    return InitializeAddOn();
}

GSErrCode GuardedRelease()
{
    if (!Binding.serviceTableBound)
        return ModuleNotBound;
    Binding.hostContext = nullptr;
    return NoError;
}

}  // namespace Quillmere

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
