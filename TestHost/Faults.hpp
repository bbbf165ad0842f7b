// Fault injection for the host's services: a service can be made to fail on every call or on its
// n-th call with a chosen code (it then does nothing but return that code), or be left out of the
// service table. Also counts the calls that reach each service.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "Api/HostServices.hpp"

namespace TestHost {

// The table entry of a service by its name ("HostRunUndoableCommand"); empty for another name.
std::optional<UInt32> FindServiceIndex(std::string_view name);
// The name of the service at a table entry; nullptr for an entry that the host does not offer.
const char* ServiceName(UInt32 index);

// One fault as the command line gives it: "SERVICE=CODE" (every call) or "SERVICE@N=CODE" (the
// n-th call, counting from 1).
struct InjectedFault {
    UInt32 index = 0;     // the service's table entry
    UInt32 nthCall = 0;   // 0: every call
    GSErrCode code = NoError;
};

// Parses "SERVICE[@N]=CODE" where CODE is decimal or 0x hexadecimal, possibly negative (0x81060387
// and -2130312313 are the same code). Returns false and a message naming what is wrong for bad text.
bool ParseFault(std::string_view text, InjectedFault& fault, std::string& error);

class Faults {
public:
    // `index` is a service's table entry; entries that name no service are ignored.
    void FailAlways(UInt32 index, GSErrCode code);
    void FailNthCall(UInt32 index, UInt32 nthCall, GSErrCode code);
    void Add(const InjectedFault& fault);
    // Leaves the service out of the table (entry 0) or puts it back; the host applies this to its
    // table at once, and the module sees it only if the table is handed over afterwards.
    void SetRemoved(UInt32 index, bool removed);
    bool IsRemoved(UInt32 index) const;
    // Forgets every fault and removal, so the table is complete again; call counts stay.
    void Clear();
    // Called after every change of the removals (SetRemoved, Clear): the host rebuilds its table there.
    void SetRemovalListener(std::function<void()> listener) { removalListener = std::move(listener); }

    // Counts a call of the service and tells whether it is to fail, and with which code.
    std::optional<GSErrCode> OnCall(UInt32 index);
    // Told of every call that reaches a service, with its table entry and its number (from 1), before
    // the service answers; an empty function (the default) for none.
    void SetCallListener(std::function<void(UInt32 index, UInt64 call)> listener) { callListener = std::move(listener); }
    UInt64 CallCount(UInt32 index) const;
    void ResetCallCounts();

private:
    struct ServiceFaults {
        std::optional<GSErrCode> always;
        std::map<UInt32, GSErrCode> nth;
        bool removed = false;
    };
    std::array<ServiceFaults, HostServiceTableSize> services{};
    std::array<UInt64, HostServiceTableSize> calls{};
    std::function<void()> removalListener;
    std::function<void(UInt32, UInt64)> callListener;
};

}  // namespace TestHost
