#include "EntryPoints.hpp"

#include <cstring>

#include "../AddOnMain.hpp"
#include "HostBinding.hpp"

void GetExportedFuncAddrs(ExportRecord* exports)
{
    std::memset(static_cast<void*>(exports), 0, sizeof(ExportRecord));
    exports->version = ExportRecordVersion;
    exports->identify = &GuardedIdentify;
    exports->registerMenu = &GuardedRegister;
    exports->initialize = &GuardedInitialize;
    exports->release = &GuardedRelease;
    exports->apiVersion = ExportRecordApiVersion;
}

GSErrCode SetImportedFuncAddrs(const API_ServiceEntry* table)
{
    std::memcpy(ServiceTable, table, sizeof(ServiceTable));
    ServiceTableBound = true;
    return NoError;
}

Int32 GuardedIdentify(API_EnvirParams* environment)
{
    if (!ServiceTableBound)
        return 0;
    IdentifyAddOn(environment);
    return 1;
}

GSErrCode GuardedRegister(API_RegistrationContext* registration)
{
    if (!ServiceTableBound)
        return ModuleNotBound;
    RegistrationContext = registration;
    const GSErrCode result = RegisterAddOnMenu();
    RegistrationContext = nullptr;
    return result;
}

GSErrCode GuardedInitialize(API_HostContext* context)
{
    if (!ServiceTableBound)
        return ModuleNotBound;
    HostContext = context;
    return InitializeAddOn();
}

GSErrCode GuardedRelease()
{
    if (!ServiceTableBound)
        return ModuleNotBound;
    ReleaseAddOn();
    HostContext = nullptr;
    return NoError;
}
