// The test host: an in-memory project behind the host's service table, with everything a test
// looks at afterwards (report lines, alerts, debug lines, commands and undo steps, menus, call
// counts) and the faults it may inject. The module is handed ServiceTable() and Context() exactly
// as a real host would hand them over.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Api/Api.hpp"
#include "DG/DG.hpp"
#include "GSRoot/GSRoot.hpp"
#include "ConfigurationXml.hpp"
#include "Faults.hpp"
#include "Project.hpp"
#include "Services.hpp"
#include "UndoHistory.hpp"

namespace TestHost {

class Host {
public:
    // One line of the report window: the flag it was sent with and the finished UTF-8 text.
    struct ReportLine {
        UInt8 flag = 0;
        std::string text;
        bool operator==(const ReportLine& other) const = default;
    };

    // One alert shown through DGAlert, texts in UTF-8.
    struct Alert {
        Int16 type = 0;
        std::string title;
        std::string mainText;
        std::string secondaryText;
        std::string button1;
        std::string button2;
        std::string button3;
    };

    // One run of HostRunUndoableCommand, in the order the commands started.
    struct CommandRun {
        std::string name;
        GSErrCode result = NoError;
        bool nested = false;  // ran inside another command, as part of its step
    };

    // Builds the service table and installs the alert and debug sinks (the previous ones come back
    // on destruction). Throws std::logic_error if another Host exists.
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The host that exists now; nullptr if none.
    static Host* Current() noexcept;
    // The host behind a context pointer handed out by Context(); nullptr for any other pointer
    // (null included) or when no host exists.
    static Host* FromContext(API_HostContext* context) noexcept;

    // The 648-entry table to hand to SetImportedFuncAddrs; removed services are 0 in it.
    const API_ServiceEntry* ServiceTable() const noexcept { return table; }
    // The opaque pointer to hand to the initialize entry point.
    API_HostContext* Context() noexcept { return reinterpret_cast<API_HostContext*>(this); }

    Project& GetProject() noexcept { return project; }
    const Project& GetProject() const noexcept { return project; }
    UndoHistory& History() noexcept { return history; }
    // Takes `replacement` as the open project and forgets the undo history. Fails (false) while a
    // command runs.
    bool ReplaceProject(Project&& replacement);

    // Undoes the last `count` steps; returns how many were undone (none while a command runs).
    std::size_t Undo(std::size_t count = 1) { return history.Undo(count); }
    std::vector<std::string> StepNames() const { return history.StepNames(); }
    const std::vector<CommandRun>& Commands() const noexcept { return commands; }

    // The project's file as HostGetProjectInfo tells it (UTF-8); empty for a project never saved.
    void SetProjectLocation(std::string path) { projectLocation = std::move(path); }
    const std::string& ProjectLocation() const noexcept { return projectLocation; }

    // --- Faults and call counts ----------------------------------------------------------------
    Faults& GetFaults() noexcept { return faults; }
    void AddFault(const InjectedFault& fault) { faults.Add(fault); }
    // Sets the service's table entry to 0, or back to the service. The module copies the table when
    // it is handed over (SetImportedFuncAddrs), so remove services before that, or hand it over again.
    void RemoveService(UInt32 index);
    void RestoreService(UInt32 index);
    // Removes or restores by name; false for an unknown name.
    bool RemoveService(std::string_view name);
    bool RestoreService(std::string_view name);
    // Calls that reached the service, the injected failures included; 0 for an unknown name.
    UInt64 CallCount(UInt32 index) const { return faults.CallCount(index); }
    UInt64 CallCount(std::string_view name) const;
    // The per-service call timer (off until enabled).
    ServiceClock& Clock() noexcept { return clock; }
    // Whether the services check what the contract fixes for the module's calls (on by default).
    // Off only for tests that use a service beyond that contract, such as a reset to the default.
    void SetContractChecks(bool enabled) noexcept { contractChecks = enabled; }
    bool ChecksContract() const noexcept { return contractChecks; }

    // --- Menus -----------------------------------------------------------------------------------
    // The request records received by HostAddMenu, in order.
    const std::vector<API_MenuRequest>& MenuRequests() const noexcept { return menuRequests; }
    bool HasMenuHandler(Int16 menuResID) const { return menuHandlers.count(menuResID) != 0; }
    // Calls the handler installed for the menu with the chosen item (1-based), as the user's choice
    // would; returns its result, or HostError::NoMenuHandler.
    GSErrCode ChooseMenuItem(Int16 menuResID, Int32 itemIndex);

    // --- What the module showed ------------------------------------------------------------------
    const std::vector<ReportLine>& ReportLines() const noexcept { return reportLines; }
    const std::vector<Alert>& Alerts() const noexcept { return alerts; }
    const std::vector<std::string>& DebugLines() const noexcept { return debugLines; }

    // --- Listening -------------------------------------------------------------------------------
    // Told by the host of what the module does through it, as it happens, on the thread that calls
    // the services; what the host records (report lines, alerts) is recorded before the listener is
    // told. Each function does nothing unless overridden.
    class Listener {
    public:
        virtual ~Listener() = default;
        // HostRunUndoableCommand was called with `name` (UTF-8), before the host answers; also for
        // a call the host then refuses (an injected fault, a bad argument) without running it.
        virtual void CommandStarting(const std::string& /*name*/) {}
        // The same call's answer: 0, or the code of a command that failed or was refused, for
        // which the host kept no step.
        virtual void CommandFinished(const std::string& /*name*/, GSErrCode /*result*/) {}
        // A line was added to the report window.
        virtual void ReportLineAdded(const ReportLine& /*line*/) {}
        // An alert is shown; the module waits for its answer meanwhile.
        virtual void AlertShown(const Alert& /*alert*/) {}
        // HostUpdatePropertyDefinition changed the definition with this GUID.
        virtual void DefinitionUpdated(const API_Guid& /*definition*/) {}
        // HostRemovePropertyGroup was called for the group, before the host answers: the group, if
        // there is one, is still in the project, and the call may yet fail.
        virtual void GroupRemovalAsked(const API_Guid& /*group*/) {}
        // HostReadElementPropertyValue was called for the element's value of the definition, before
        // the host answers.
        virtual void ElementValueAsked(const API_Guid& /*element*/, const API_Guid& /*definition*/) {}
    };
    // The listener told from now on; nullptr (the default) for none. Not owned: it must stay alive
    // while it is set.
    void SetListener(Listener* listener) noexcept { this->listener = listener; }
    // The outcome of the last configuration import (code and message), for diagnostics.
    const ImportOutcome& LastImport() const noexcept { return lastImport; }
    // Forgets report lines, alerts, debug lines and command runs.
    void ClearOutput();

private:
    friend struct Services;

    // The listener set, or one that does nothing.
    Listener& Notify() noexcept;
    static Int16 RecordAlert(const DGAlertRequest& request, void* userData);
    static void RecordDebugText(const char* text, void* userData);
    void RebuildTable();

    Project project;
    UndoHistory history{project};
    Faults faults;
    ServiceClock clock;
    bool contractChecks = true;
    std::string projectLocation;
    API_ServiceEntry table[HostServiceTableSize] = {};
    std::map<Int16, APIMenuCommandProc> menuHandlers;
    std::vector<API_MenuRequest> menuRequests;
    std::vector<ReportLine> reportLines;
    std::vector<Alert> alerts;
    std::vector<std::string> debugLines;
    std::vector<CommandRun> commands;
    ImportOutcome lastImport;
    Listener* listener = nullptr;
    DGAlertSink previousAlertSink = nullptr;
    DBPrintSink previousPrintSink = nullptr;
};

}  // namespace TestHost
