#include "WatchedServices.hpp"

#include "RecordConversion.hpp"

namespace HostProgram {

namespace {

// The table entries are plain functions without a place for state: they find theirs here.
struct WatchState {
    TestHost::Host* host = nullptr;
    ServiceWatcher* watcher = nullptr;
    ServiceEntry::HostRunUndoableCommand runCommand = nullptr;
    ServiceEntry::HostReportMessage report = nullptr;
    ServiceEntry::HostUpdatePropertyDefinition updateDefinition = nullptr;
};

WatchState state;

GSErrCode WatchedRunUndoableCommand(API_HostContext* context, const GS::UniString* name,
                                    const API_CommandCallable* callable)
{
    const std::string text = name != nullptr ? TestHost::ToUtf8(*name) : std::string();
    if (state.watcher != nullptr)
        state.watcher->CommandStarting(text);
    const GSErrCode result = state.runCommand(context, name, callable);
    if (state.watcher != nullptr)
        state.watcher->CommandFinished(text, result);
    return result;
}

GSErrCode WatchedReportMessage(API_HostContext* context, const GS::UniString* text, UInt8 flag, va_list* arguments)
{
    const std::size_t before = state.host != nullptr ? state.host->ReportLines().size() : 0;
    const GSErrCode result = state.report(context, text, flag, arguments);
    if (state.watcher != nullptr && state.host != nullptr && state.host->ReportLines().size() > before)
        state.watcher->ReportLineAdded(state.host->ReportLines().back());
    return result;
}

GSErrCode WatchedUpdatePropertyDefinition(API_HostContext* context, const API_PropertyDefinition* definition)
{
    const GSErrCode result = state.updateDefinition(context, definition);
    if (state.watcher != nullptr && result == NoError && definition != nullptr)
        state.watcher->DefinitionUpdated(definition->guid);
    return result;
}

}  // namespace

void MakeWatchedServiceTable(TestHost::Host& host, ServiceWatcher& watcher, API_ServiceEntry* table)
{
    const API_ServiceEntry* own = host.ServiceTable();
    for (UInt32 i = 0; i < HostServiceTableSize; ++i)
        table[i] = own[i];
    state.host = &host;
    state.watcher = &watcher;
    state.runCommand = reinterpret_cast<ServiceEntry::HostRunUndoableCommand>(own[ServiceIndex::HostRunUndoableCommand]);
    state.report = reinterpret_cast<ServiceEntry::HostReportMessage>(own[ServiceIndex::HostReportMessage]);
    state.updateDefinition =
        reinterpret_cast<ServiceEntry::HostUpdatePropertyDefinition>(own[ServiceIndex::HostUpdatePropertyDefinition]);
    if (state.runCommand != nullptr)
        table[ServiceIndex::HostRunUndoableCommand] = reinterpret_cast<API_ServiceEntry>(&WatchedRunUndoableCommand);
    if (state.report != nullptr)
        table[ServiceIndex::HostReportMessage] = reinterpret_cast<API_ServiceEntry>(&WatchedReportMessage);
    if (state.updateDefinition != nullptr)
        table[ServiceIndex::HostUpdatePropertyDefinition] =
            reinterpret_cast<API_ServiceEntry>(&WatchedUpdatePropertyDefinition);
}

void StopWatching()
{
    state.watcher = nullptr;
    state.host = nullptr;
}

}  // namespace HostProgram
