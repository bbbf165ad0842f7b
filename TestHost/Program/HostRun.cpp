#include "HostRun.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

#include "HostErrors.hpp"
#include "ModuleDialog.hpp"
#include "ProjectFile.hpp"
#include "RecordConversion.hpp"
#include "SystemCalls.hpp"
#include "WatchedServices.hpp"

namespace HostProgram {

namespace {

using TestHost::Host;
using TestHost::Project;

// The add-on's menu: string resource 32500, its first item is the command.
constexpr Int16 MenuResourceId = 32500;
constexpr Int32 MenuItemIndex = 1;

// Prints and records what the module does through the watched services and the alert.
class CommandWatcher final : public ServiceWatcher {
public:
    CommandWatcher(Host& host, std::ostream& out, RunResults& results) : host(host), out(out), results(results) {}

    void CommandStarting(const std::string& name) override
    {
        if (name == "Import Expressions")
            updated.clear();
    }

    void CommandFinished(const std::string& name, GSErrCode result) override
    {
        results.commands.push_back(CommandStep{name, result});
        if (result == NoError)
            out << "  step     " << name << std::endl;
        else
            out << "  failed   " << name << " (" << result << "; no step kept)" << std::endl;
        if (name != "Import Expressions" || result != NoError)
            return;
        const Project& project = host.GetProject();
        for (const API_Guid& guid : updated) {
            const TestHost::PropertyDefinition* definition = project.FindDefinition(guid);
            const TestHost::PropertyGroup* group = definition != nullptr ? project.FindGroup(definition->group) : nullptr;
            if (group != nullptr)
                results.reapplied.push_back(ExpressionList{group->name, definition->name, definition->expressions});
        }
        updated.clear();
    }

    void ReportLineAdded(const Host::ReportLine& line) override
    {
        out << "  report   " << line.text << std::endl;
    }

    void DefinitionUpdated(const API_Guid& definition) override { updated.push_back(definition); }

    void AlertShown(const Host::Alert& alert)
    {
        out << "  alert    " << alert.title << ": " << alert.mainText;
        if (!alert.secondaryText.empty())
            out << " (" << alert.secondaryText << ")";
        out << " [" << alert.button1;
        for (const std::string* button : {&alert.button2, &alert.button3})
            if (!button->empty())
                out << "] [" << *button;
        out << "]" << std::endl;
    }

private:
    Host& host;
    std::ostream& out;
    RunResults& results;
    std::vector<API_Guid> updated;  // definitions changed inside the running "Import Expressions"
};

// The expression lists that the add-on saves before the import: those of owned definitions of
// kind 2 whose expression flag is set, by group and definition name (a later one of equal names wins).
std::vector<ExpressionList> SavedExpressionLists(const Project& project)
{
    std::vector<ExpressionList> lists;
    std::map<std::pair<std::string, std::string>, std::size_t> at;
    for (const TestHost::PropertyDefinition& definition : project.Definitions()) {
        const TestHost::PropertyGroup* group = project.FindGroup(definition.group);
        if (group == nullptr || !IsOwnedGroup(group->name) || definition.kind != API_PropertyCustomDefinitionKind ||
            definition.expressionFlag == 0)
            continue;
        const auto key = std::make_pair(group->name, definition.name);
        if (const auto found = at.find(key); found != at.end()) {
            lists[found->second].expressions = definition.expressions;
            continue;
        }
        at.emplace(key, lists.size());
        lists.push_back(ExpressionList{group->name, definition.name, definition.expressions});
    }
    return lists;
}

std::map<API_Guid, std::string, TestHost::GuidLess> GroupsOf(const Project& project)
{
    std::map<API_Guid, std::string, TestHost::GuidLess> groups;
    for (const TestHost::PropertyGroup& group : project.Groups())
        groups.emplace(group.guid, group.name);
    return groups;
}

std::size_t CountOwnedGroups(const Project& project)
{
    std::size_t owned = 0;
    for (const TestHost::PropertyGroup& group : project.Groups())
        owned += IsOwnedGroup(group.name) ? 1 : 0;
    return owned;
}

void PrintProjectLine(std::ostream& out, const std::string& shownAs, const Project& project, std::size_t ownedValues)
{
    out << "Project  " << shownAs << ": " << project.Elements().size() << " elements, " << project.Groups().size()
        << " property groups (" << CountOwnedGroups(project) << " owned), " << project.Definitions().size()
        << " definitions, " << project.ValueCount() << " values (" << ownedValues << " owned)" << std::endl;
}

std::string StartFailure(const TestHost::ModuleLoader& loader, TestHost::ModuleError error, GSErrCode code)
{
    std::string message = "module " + loader.File().string() + ": " + TestHost::DescribeModuleError(error);
    if (code != NoError)
        message += " (code " + std::to_string(code) + ")";
    if (!loader.ErrorDetail().empty() && error != TestHost::ModuleError::RegisterFailed &&
        error != TestHost::ModuleError::InitializeFailed)
        message += ": " + loader.ErrorDetail();
    return message;
}

}  // namespace

std::size_t RunResults::Count(ValueStatus status) const
{
    return static_cast<std::size_t>(
        std::count_if(values.begin(), values.end(), [status](const ValueRow& row) { return row.status == status; }));
}

bool RunHostCommand(const ProgramOptions& options, ProgramInputs& inputs, const std::filesystem::path& profile,
                    std::ostream& out, RunResults& results, std::string& error)
{
    Host host;
    host.ReplaceProject(std::move(inputs.project));
    const Project& project = host.GetProject();
    for (const std::string& name : options.missing)
        host.RemoveService(name);
    for (const TestHost::InjectedFault& fault : options.faults)
        host.AddFault(fault);

    results.project = options.project;
    results.moduleShownAs = inputs.moduleShownAs;
    results.module = inputs.module;
    results.configuration = options.configuration;
    results.dialog = options.dialog == DialogAnswer::Choose ? "choose"
                     : options.dialog == DialogAnswer::Cancel ? "cancel"
                                                              : "terminal";
    results.profile = profile.string();
    const std::filesystem::path backupFile = profile / "Documents" / "IFC_SG_Properties.xml";
    results.backupFile = backupFile.string();

    const ValueSnapshot ownedBefore = ValueSnapshot::Take(project, true);
    const ValueSnapshot otherBefore = ValueSnapshot::Take(project, false);
    const std::vector<ExpressionList> savedExpressions = SavedExpressionLists(project);

    PrintProjectLine(out, options.project, project, ownedBefore.Values().size());
    out << "Module   " << inputs.moduleShownAs << "\n"
        << "  name         " << inputs.module.name << "\n"
        << "  description  " << inputs.module.description << "\n"
        << "  menu text    " << inputs.module.menuText << "\n";
    out << "Profile  " << results.profile << " (backup file " << results.backupFile << ")" << std::endl;
    for (const std::string& name : options.missing)
        out << "Service  " << name << " left out of the table" << std::endl;
    for (const std::string& fault : options.faultTexts)
        out << "Fault    " << fault << std::endl;

    CommandWatcher watcher(host, out, results);
    API_ServiceEntry table[HostServiceTableSize] = {};
    MakeWatchedServiceTable(host, watcher, table);
    struct AlertPrinter final : Host::Listener {
        explicit AlertPrinter(CommandWatcher& watcher) : watcher(watcher) {}
        void AlertShown(const Host::Alert& alert) override { watcher.AlertShown(alert); }
        CommandWatcher& watcher;
    } alertPrinter(watcher);
    host.SetListener(&alertPrinter);

    TestHost::ModuleLoader loader;
    if (const TestHost::ModuleError loadError = loader.Load(inputs.moduleFile); loadError != TestHost::ModuleError::None) {
        error = StartFailure(loader, loadError, NoError);
        StopWatching();
        return false;
    }
    API_EnvirParams environment;
    GSErrCode code = NoError;
    const TestHost::ModuleError startError =
        loader.Start(table, environment, reinterpret_cast<API_RegistrationContext*>(host.Context()), host.Context(), &code);
    if (startError != TestHost::ModuleError::None) {
        error = StartFailure(loader, startError, code);
        StopWatching();
        return false;
    }
    out << "Started  exports, service table, identify, register, initialize" << std::endl;

    if (!SetProcessVariable("USERPROFILE", profile.string())) {
        error = "cannot set USERPROFILE";
        StopWatching();
        return false;
    }

    out << "Command  " << inputs.module.menuText.substr(0, inputs.module.menuText.find(" ^")) << " (menu "
        << MenuResourceId << ", item " << MenuItemIndex << ")" << std::endl;
    GSErrCode handlerResult = NoError;
    {
        const ModuleDialog dialog(options, inputs, out);
        handlerResult = host.ChooseMenuItem(MenuResourceId, MenuItemIndex);
    }
    if (handlerResult == TestHost::HostError::NoMenuHandler) {
        error = "the module installed no handler for menu " + std::to_string(MenuResourceId);
        StopWatching();
        return false;
    }
    if (handlerResult != NoError)
        out << "  the menu handler answered " << handlerResult << std::endl;

    GSErrCode releaseCode = NoError;
    loader.Release(&releaseCode);
    const bool unloaded = loader.Unload();
    out << "Released (" << releaseCode << ") and " << (unloaded ? "unloaded" : "asked to unload; the file stays loaded")
        << std::endl;
    StopWatching();
    host.SetListener(nullptr);
    for (const std::string& line : host.DebugLines())
        out << "Debug    " << line << (line.ends_with("\n") ? "" : "\n");

    std::error_code ignored;
    results.backupFilePresent = std::filesystem::is_regular_file(backupFile, ignored);
    results.history = host.StepNames();
    results.reportLines = host.ReportLines();
    results.alerts = host.Alerts();
    results.debugLines = host.DebugLines();

    const ValueSnapshot ownedAfter = ValueSnapshot::Take(project, true);
    const ValueSnapshot otherAfter = ValueSnapshot::Take(project, false);
    std::optional<ValueSnapshot> ownedAfterUndo;
    if (options.undo.has_value()) {
        UndoOutcome undo;
        undo.requested = *options.undo;
        const auto groupsBefore = GroupsOf(project);
        const std::size_t undone = host.Undo(*options.undo);
        for (std::size_t i = 0; i < undone; ++i)
            undo.steps.push_back(results.history[results.history.size() - 1 - i]);
        const auto groupsAfter = GroupsOf(project);
        for (const TestHost::PropertyGroup& group : project.Groups())
            if (groupsBefore.count(group.guid) == 0)
                undo.groupsBack.push_back(group.name);
        for (const auto& [guid, name] : groupsBefore)
            if (groupsAfter.count(guid) == 0)
                undo.groupsGone.push_back(name);
        std::sort(undo.groupsGone.begin(), undo.groupsGone.end());
        ownedAfterUndo = ValueSnapshot::Take(project, true);
        results.undo = std::move(undo);
    }

    results.values = CompareValues(ownedBefore, ownedAfter, ownedAfterUndo ? &*ownedAfterUndo : nullptr);
    results.otherValuesBefore = otherBefore.Values().size();
    results.otherValuesUnchanged = CountUnchanged(otherBefore, otherAfter);

    std::set<std::pair<std::string, std::string>> reappliedKeys;
    for (const ExpressionList& list : results.reapplied)
        reappliedKeys.emplace(list.group, list.definition);
    for (const ExpressionList& list : savedExpressions)
        if (reappliedKeys.count({list.group, list.definition}) == 0)
            results.notReapplied.push_back(list);

    for (UInt32 index = 0; index < HostServiceTableSize; ++index)
        if (const char* name = TestHost::ServiceName(index); name != nullptr && host.CallCount(index) != 0)
            results.serviceCalls.emplace_back(name, host.CallCount(index));

    if (!options.save.empty() && !TestHost::SaveProjectFile(project, options.save, error))
        return false;
    return true;
}

}  // namespace HostProgram
