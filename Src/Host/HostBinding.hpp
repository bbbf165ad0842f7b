// The module's side of the host boundary: its copy of the host's service table, the context
// pointers, and one forwarder per host service the module uses. The add-on's logic calls the
// forwarders as if the host were linked in.
#pragma once

#include "Api/Api.hpp"

namespace Quillmere {

// What the module keeps of the host. The table is written only by SetImportedFuncAddrs; the
// host context by the entry points (EntryPoints.cpp). The forwarders only read.
struct HostBinding {
    API_ServiceEntry serviceTable[HostServiceTableSize] = {};  // the module's own copy
    bool serviceTableBound = false;
    API_HostContext* hostContext = nullptr;  // set from initialize to release
};

// The module's binding, a part of the module's state (ModuleState.hpp).
extern HostBinding& Binding;

// A forwarder reads its entry at the time of the call, answers ServiceNotAvailable when the host
// left it out, and otherwise passes the arguments through unchanged: after the host context, except
// to HostAddMenu, which runs during registration and takes the request record alone.
#define QM_FORWARD(name, params, ...)                                          \
    inline GSErrCode name(QM_UNPAREN params)                                   \
    {                                                                          \
        const API_ServiceEntry raw = Binding.serviceTable[ServiceIndex::name]; \
        if (raw == nullptr)                                                    \
            return ServiceNotAvailable;                                        \
        return reinterpret_cast<ServiceEntry::name>(raw)(__VA_ARGS__);         \
    }
#define QM_FORWARDER_Plain(name, entry, params, args) QM_FORWARD(name, params, Binding.hostContext, QM_UNPAREN args)
#define QM_FORWARDER_AddMenu(name, entry, params, args) QM_FORWARD(name, params, QM_UNPAREN args)
#define QM_FORWARDER_Report(name, entry, params, args)
#define QM_FORWARDER(shape, name, entry, params, args) QM_FORWARDER_##shape(name, entry, params, args)
QM_HOST_SERVICES(QM_FORWARDER)
#undef QM_FORWARDER

// Writes one line to the host's report window. With flag 1 `text` is a printf format applied to
// the further arguments; with flag 0 it is the line as it stands. The result is the host's; a host
// without the service gives 0.
GSErrCode HostReportMessage(const GS::UniString* text, Int32 flag, ...);

}  // namespace Quillmere
