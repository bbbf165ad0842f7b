#include "Host.hpp"

#include <stdexcept>

#include "HostErrors.hpp"
#include "RecordConversion.hpp"
#include "Services.hpp"

namespace TestHost {

namespace {

Host* currentHost = nullptr;

std::string TextOf(const GS::UniString* text)
{
    return text != nullptr ? ToUtf8(*text) : std::string();
}

}  // namespace

Host::Host()
{
    if (currentHost != nullptr)
        throw std::logic_error("only one TestHost::Host may exist at a time");
    currentHost = this;
    // Whoever changes the removals (RemoveService, GetFaults().Clear()), the table follows at once.
    faults.SetRemovalListener([this]() { RebuildTable(); });
    RebuildTable();
    // The sinks' user data is not handed back by the platform, so the previous sinks are restored
    // with none; the platform's defaults need none.
    previousAlertSink = DGSetAlertSink(&Host::RecordAlert, this);
    previousPrintSink = DBSetPrintSink(&Host::RecordDebugText, this);
}

Host::~Host()
{
    DBSetPrintSink(previousPrintSink, nullptr);
    DGSetAlertSink(previousAlertSink, nullptr);
    currentHost = nullptr;
}

Host* Host::Current() noexcept
{
    return currentHost;
}

Host* Host::FromContext(API_HostContext* context) noexcept
{
    return currentHost != nullptr && context == currentHost->Context() ? currentHost : nullptr;
}

bool Host::ReplaceProject(Project&& replacement)
{
    if (history.IsStepOpen())
        return false;
    project = std::move(replacement);
    project.SetChangeRecorder(&history);
    history.Clear();
    return true;
}

void Host::RemoveService(UInt32 index)
{
    faults.SetRemoved(index, true);
}

void Host::RestoreService(UInt32 index)
{
    faults.SetRemoved(index, false);
}

bool Host::RemoveService(std::string_view name)
{
    const std::optional<UInt32> index = FindServiceIndex(name);
    if (index.has_value())
        RemoveService(*index);
    return index.has_value();
}

bool Host::RestoreService(std::string_view name)
{
    const std::optional<UInt32> index = FindServiceIndex(name);
    if (index.has_value())
        RestoreService(*index);
    return index.has_value();
}

UInt64 Host::CallCount(std::string_view name) const
{
    const std::optional<UInt32> index = FindServiceIndex(name);
    return index.has_value() ? faults.CallCount(*index) : 0;
}

GSErrCode Host::ChooseMenuItem(Int16 menuResID, Int32 itemIndex)
{
    const auto found = menuHandlers.find(menuResID);
    if (found == menuHandlers.end())
        return HostError::NoMenuHandler;
    MenuCommandParams params;
    params.menuResID = menuResID;
    params.itemIndex = itemIndex;
    return found->second(&params);
}

void Host::ClearOutput()
{
    reportLines.clear();
    alerts.clear();
    debugLines.clear();
    commands.clear();
}

Host::Listener& Host::Notify() noexcept
{
    static Listener nobody;
    return listener != nullptr ? *listener : nobody;
}

Int16 Host::RecordAlert(const DGAlertRequest& request, void* userData)
{
    Host* host = static_cast<Host*>(userData);
    host->alerts.push_back(Alert{request.type, TextOf(request.title), TextOf(request.mainText),
                                 TextOf(request.secondaryText), TextOf(request.button1), TextOf(request.button2),
                                 TextOf(request.button3)});
    host->Notify().AlertShown(host->alerts.back());
    return 1;
}

void Host::RecordDebugText(const char* text, void* userData)
{
    static_cast<Host*>(userData)->debugLines.emplace_back(text != nullptr ? text : "");
}

void Host::RebuildTable()
{
    FillServiceTable(table);
    for (UInt32 i = 0; i < HostServiceTableSize; ++i)
        if (faults.IsRemoved(i))
            table[i] = nullptr;
}

}  // namespace TestHost
