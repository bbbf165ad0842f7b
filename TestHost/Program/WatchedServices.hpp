// The service table that quillmere-host hands to the module: the host's own, with the entries of
// the undoable-command, report and definition-update services replaced by ones that call the
// host's service and then tell the program what happened, so it can show it as it happens.
#pragma once

#include <string>

#include "Host.hpp"

namespace HostProgram {

// Told of each watched call, after the host's own service has answered.
class ServiceWatcher {
public:
    virtual ~ServiceWatcher() = default;
    // An undoable command is about to run (`name` in UTF-8).
    virtual void CommandStarting(const std::string& name) = 0;
    // The command returned `result` (non-zero: the host kept no step).
    virtual void CommandFinished(const std::string& name, GSErrCode result) = 0;
    // The host added a line to its report window.
    virtual void ReportLineAdded(const TestHost::Host::ReportLine& line) = 0;
    // The host accepted a changed property definition.
    virtual void DefinitionUpdated(const API_Guid& definition) = 0;
};

// Copies `host`'s table (as it stands, removed services included) into `table` and replaces the
// watched entries. Entries the host left out stay 0, and faults still act, since every call goes
// to the host's own service. Only one watcher is active at a time: a later call replaces it.
void MakeWatchedServiceTable(TestHost::Host& host, ServiceWatcher& watcher, API_ServiceEntry* table);

// Ends watching: the watched entries of tables made earlier then only call the host's services.
void StopWatching();

}  // namespace HostProgram
