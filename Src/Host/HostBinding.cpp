#include "HostBinding.hpp"

API_ServiceEntry ServiceTable[HostServiceTableSize] = {};
bool ServiceTableBound = false;
API_HostContext* HostContext = nullptr;
API_RegistrationContext* RegistrationContext = nullptr;

GSErrCode HostReportMessage(const GS::UniString* text, Int32 flag, ...)
{
    const API_ServiceEntry raw = ServiceTable[ServiceIndex::HostReportMessage];
    if (raw == nullptr)
        return 0;
    va_list arguments;
    va_start(arguments, flag);
    const GSErrCode result =
        reinterpret_cast<ServiceEntry::HostReportMessage>(raw)(HostContext, text, static_cast<UInt8>(flag), &arguments);
    va_end(arguments);
    return result;
}
