#include "HostBinding.hpp"

namespace Quillmere {

GSErrCode HostReportMessage(const GS::UniString* text, Int32 flag, ...)
{
    const API_ServiceEntry raw = Binding.serviceTable[ServiceIndex::HostReportMessage];
    if (raw == nullptr)
        return 0;
    va_list arguments;
    va_start(arguments, flag);
    const GSErrCode result =
        reinterpret_cast<ServiceEntry::HostReportMessage>(raw)(Binding.hostContext, text, static_cast<UInt8>(flag), &arguments);
    va_end(arguments);
    return result;
}

}  // namespace Quillmere
