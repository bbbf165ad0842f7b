#include "HostRun.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>
#include <unordered_set>

#include "HostErrors.hpp"
#include "ModuleDialog.hpp"
#include "ProjectFile.hpp"
#include "SystemCalls.hpp"

namespace HostProgram {

namespace {

using TestHost::Host;
using TestHost::Project;

// The add-on's menu: string resource 32500, its first item is the command.
constexpr Int16 MenuResourceId = 32500;
constexpr Int32 MenuItemIndex = 1;

// What the project held before the command, for the comparison afterwards.
struct ProjectBefore {
    std::vector<std::string> groups;        // group names, host order
    ValuesBefore values;
    std::vector<ExpressionList> flagged;    // lists whose flag is set, one per group and definition name
    std::set<std::pair<std::string, std::string>> definitionNames;  // group and definition names

    static ProjectBefore Take(const Project& project)
    {
        ProjectBefore before;
        for (const TestHost::PropertyGroup& group : project.Groups())
            before.groups.push_back(group.name);
        before.values = ValuesBefore::Take(project);
        // Lists are matched by names across the command, so a later definition of equal names
        // stands for both.
        std::map<std::pair<std::string, std::string>, std::size_t> at;
        for (const TestHost::PropertyDefinition& definition : project.Definitions()) {
            const TestHost::PropertyGroup* group = project.FindGroup(definition.group);
            if (group != nullptr)
                before.definitionNames.emplace(group->name, definition.name);
            if (group == nullptr || definition.expressionFlag == 0)
                continue;
            const auto [found, added] = at.emplace(std::make_pair(group->name, definition.name), before.flagged.size());
            if (added)
                before.flagged.push_back(ExpressionList{group->name, definition.name, definition.expressions, {}});
            else
                before.flagged[found->second].expressions = definition.expressions;
        }
        return before;
    }
};

// Prints what the module does as the host tells it, and keeps what the results are derived from:
// the commands, the definitions changed by successful commands, and the names of the groups the
// module treats as its own, those whose removal it asks for and those whose values it reads.
class CommandWatcher final : public Host::Listener {
public:
    CommandWatcher(const Project& project, std::ostream& out) : project(project), out(out) {}

    void CommandStarting(const std::string& /*name*/) override { running.emplace_back(); }

    void CommandFinished(const std::string& name, GSErrCode result) override
    {
        steps.push_back(CommandStep{name, result});
        if (result == NoError)
            out << "  step     " << name << std::endl;
        else
            out << "  failed   " << name << " (" << result << "; no step kept)" << std::endl;
        std::vector<API_Guid> updated;
        if (!running.empty()) {
            updated = std::move(running.back());
            running.pop_back();
        }
        // A failed command's changes were taken back; a nested one's count with the enclosing step.
        if (result != NoError)
            return;
        if (!running.empty()) {
            running.back().insert(running.back().end(), updated.begin(), updated.end());
            return;
        }
        for (const API_Guid& guid : updated) {
            const TestHost::PropertyDefinition* definition = project.FindDefinition(guid);
            const TestHost::PropertyGroup* group = definition != nullptr ? project.FindGroup(definition->group) : nullptr;
            if (group != nullptr)
                reapplied.push_back(ExpressionList{group->name, definition->name, definition->expressions, {}});
        }
    }

    void ReportLineAdded(const Host::ReportLine& line) override { out << "  report   " << line.text << std::endl; }

    void AlertShown(const Host::Alert& alert) override
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

    void DefinitionUpdated(const API_Guid& definition) override
    {
        if (!running.empty())
            running.back().push_back(definition);
    }

    void GroupRemovalAsked(const API_Guid& group) override
    {
        if (const TestHost::PropertyGroup* found = project.FindGroup(group))
            ownedGroups.insert(found->name);
    }

    void ElementValueAsked(const API_Guid& /*element*/, const API_Guid& definition) override
    {
        // The backup reads every element's values: each definition is looked up once.
        if (readDefinitions.count(definition) != 0)
            return;
        const TestHost::PropertyDefinition* found = project.FindDefinition(definition);
        const TestHost::PropertyGroup* group = found != nullptr ? project.FindGroup(found->group) : nullptr;
        if (group == nullptr)
            return;
        readDefinitions.insert(definition);
        ownedGroups.insert(group->name);
    }

    std::vector<CommandStep> steps;
    std::vector<ExpressionList> reapplied;
    std::set<std::string> ownedGroups;

private:
    const Project& project;
    std::ostream& out;
    std::vector<std::vector<API_Guid>> running;  // per command running, the definitions it changed
    std::unordered_set<API_Guid, TestHost::GuidHash> readDefinitions;
};

// The listener is set while the module runs and unset on every way out.
class Listening {
public:
    Listening(Host& host, Host::Listener& listener) : host(host) { host.SetListener(&listener); }
    ~Listening() { host.SetListener(nullptr); }
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

private:
    Host& host;
};

void DescribeRun(const ProgramOptions& options, const ProgramInputs& inputs, const std::filesystem::path& profile,
                 RunResults& results)
{
    results.project = options.project;
    results.moduleShownAs = inputs.moduleShownAs;
    results.module = inputs.module;
    results.configuration = options.configuration;
    results.dialog = options.dialog == DialogAnswer::Choose   ? "choose"
                     : options.dialog == DialogAnswer::Cancel ? "cancel"
                                                              : "terminal";
    results.profile = profile.string();
    results.backupFile = (profile / "Documents" / "IFC_SG_Properties.xml").string();
}

void PrintStart(const ProgramOptions& options, const RunResults& results, const Project& project, std::ostream& out)
{
    out << "Project  " << options.project << ": " << project.Elements().size() << " elements, "
        << project.Groups().size() << " property groups, " << project.Definitions().size() << " definitions, "
        << project.ValueCount() << " values" << std::endl;
    out << "Module   " << results.moduleShownAs << "\n"
        << "  name         " << results.module.name << "\n"
        << "  description  " << results.module.description << "\n"
        << "  menu text    " << results.module.menuText << "\n";
    out << "Profile  " << results.profile << " (backup file " << results.backupFile << ")" << std::endl;
    for (const std::string& name : options.missing)
        out << "Service  " << name << " left out of the table" << std::endl;
    for (const std::string& fault : options.faultTexts)
        out << "Fault    " << fault << std::endl;
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

// Loads the module and runs the host's start sequence with the host's table.
bool StartModule(Host& host, const ProgramInputs& inputs, TestHost::ModuleLoader& loader, std::ostream& out,
                 std::string& error)
{
    if (const TestHost::ModuleError loadError = loader.Load(inputs.moduleFile); loadError != TestHost::ModuleError::None) {
        error = StartFailure(loader, loadError, NoError);
        return false;
    }
    API_EnvirParams environment;
    GSErrCode code = NoError;
    const TestHost::ModuleError startError =
        loader.Start(host.ServiceTable(), environment, reinterpret_cast<API_RegistrationContext*>(host.Context()),
                     host.Context(), &code);
    if (startError != TestHost::ModuleError::None) {
        error = StartFailure(loader, startError, code);
        return false;
    }
    out << "Started  exports, service table, identify, register, initialize" << std::endl;
    return true;
}

// Chooses the menu command once with "USERPROFILE" set to the profile, the dialog answered as the
// options say.
bool RunMenuCommand(Host& host, const ProgramOptions& options, const ProgramInputs& inputs,
                    const std::filesystem::path& profile, std::ostream& out, std::string& error)
{
    if (!SetProcessVariable("USERPROFILE", profile) || !SetProcessVariable("LOCALAPPDATA", profile / "AppData" / "Local")) {
        error = "cannot set USERPROFILE and LOCALAPPDATA";
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
        return false;
    }
    if (handlerResult != NoError)
        out << "  the menu handler answered " << handlerResult << std::endl;
    return true;
}

void StopModule(const Host& host, TestHost::ModuleLoader& loader, std::ostream& out)
{
    GSErrCode releaseCode = NoError;
    loader.Release(&releaseCode);
    const bool unloaded = loader.Unload();
    out << "Released (" << releaseCode << ") and " << (unloaded ? "unloaded" : "asked to unload; the file stays loaded")
        << std::endl;
    for (const std::string& line : host.DebugLines())
        out << "Debug    " << line << (line.ends_with("\n") ? "" : "\n");
}

// Undoes the asked-for steps and notes which steps went and which groups came back or went.
UndoOutcome UndoSteps(Host& host, std::size_t requested, const std::vector<std::string>& history)
{
    UndoOutcome undo;
    undo.requested = requested;
    std::map<API_Guid, std::string, TestHost::GuidLess> groupsBefore;
    for (const TestHost::PropertyGroup& group : host.GetProject().Groups())
        groupsBefore.emplace(group.guid, group.name);
    const std::size_t undone = host.Undo(requested);
    for (std::size_t i = 0; i < undone; ++i)
        undo.steps.push_back(history[history.size() - 1 - i]);
    std::set<API_Guid, TestHost::GuidLess> groupsAfter;
    for (const TestHost::PropertyGroup& group : host.GetProject().Groups()) {
        groupsAfter.insert(group.guid);
        if (groupsBefore.count(group.guid) == 0)
            undo.groupsBack.push_back(group.name);
    }
    for (const auto& [guid, name] : groupsBefore)
        if (groupsAfter.count(guid) == 0)
            undo.groupsGone.push_back(name);
    std::sort(undo.groupsGone.begin(), undo.groupsGone.end());
    return undo;
}

// Everything the results show, derived from what the host saw and the project before and after.
void CollectResults(Host& host, ProjectBefore& before, const CommandWatcher& watcher,
                    const ProgramOptions& options, RunResults& results)
{
    std::error_code ignored;
    results.backupFilePresent = std::filesystem::is_regular_file(results.backupFile, ignored);
    results.commands = watcher.steps;
    results.reapplied = watcher.reapplied;
    results.history = host.StepNames();
    results.reportLines = host.ReportLines();
    results.alerts = host.Alerts();
    results.debugLines = host.DebugLines();

    results.groupCount = before.groups.size();
    for (const std::string& group : before.groups)
        if (watcher.ownedGroups.count(group) != 0)
            results.ownedGroups.push_back(group);

    // The values before are compared with the project as it is now, and again after the undo.
    results.values = ValueTable(std::move(before.values), watcher.ownedGroups, host.GetProject());
    if (options.undo.has_value()) {
        results.undo = UndoSteps(host, *options.undo, results.history);
        results.values.AddAfterUndo(host.GetProject());
    }
    results.otherValuesBefore = results.values.OtherValues();
    results.otherValuesUnchanged = results.values.OtherValuesUnchanged();

    std::set<std::pair<std::string, std::string>> reappliedNames;
    for (const ExpressionList& list : results.reapplied)
        reappliedNames.emplace(list.group, list.definition);
    for (const ExpressionList& list : before.flagged)
        if (watcher.ownedGroups.count(list.group) != 0 && reappliedNames.count({list.group, list.definition}) == 0)
            results.notReapplied.push_back(list);
    FindRenamedExpressionLists(results.reapplied, results.notReapplied, before.definitionNames);

    for (UInt32 index = 0; index < HostServiceTableSize; ++index)
        if (const char* name = TestHost::ServiceName(index); name != nullptr && host.CallCount(index) != 0)
            results.serviceCalls.emplace_back(name, host.CallCount(index));
}

}  // namespace

void FindRenamedExpressionLists(std::vector<ExpressionList>& reapplied, std::vector<ExpressionList>& notReapplied,
                                const std::set<std::pair<std::string, std::string>>& namesBefore)
{
    std::vector<ExpressionList> stillNot;
    for (const ExpressionList& saved : notReapplied) {
        ExpressionList* best = nullptr;
        int bestScore = -1;
        for (ExpressionList& list : reapplied) {
            if (!list.renamedFrom.empty() || namesBefore.count({list.group, list.definition}) != 0 ||
                list.expressions != saved.expressions)
                continue;
            const int score = (list.definition == saved.definition ? 2 : 0) + (list.group == saved.group ? 1 : 0);
            if (score > bestScore) {
                best = &list;
                bestScore = score;
            }
        }
        if (best != nullptr)
            best->renamedFrom = saved.group + " / " + saved.definition;
        else
            stillNot.push_back(saved);
    }
    notReapplied = std::move(stillNot);
}

bool RunHostCommand(const ProgramOptions& options, ProgramInputs& inputs, const std::filesystem::path& profile,
                    std::ostream& out, RunResults& results, std::string& error)
{
    Host host;
    host.ReplaceProject(std::move(inputs.project));
    // The project is the file it was opened from, as a host names it.
    std::error_code ignored;
    host.SetProjectLocation(std::filesystem::absolute(options.project, ignored).lexically_normal().string());
    for (const std::string& name : options.missing)
        host.RemoveService(name);
    for (const TestHost::InjectedFault& fault : options.faults)
        host.AddFault(fault);
    DescribeRun(options, inputs, profile, results);
    ProjectBefore before = ProjectBefore::Take(host.GetProject());
    PrintStart(options, results, host.GetProject(), out);

    CommandWatcher watcher(host.GetProject(), out);
    TestHost::ModuleLoader loader;
    {
        const Listening listening(host, watcher);
        if (!StartModule(host, inputs, loader, out, error) ||
            !RunMenuCommand(host, options, inputs, profile, out, error))
            return false;
        StopModule(host, loader, out);
    }
    CollectResults(host, before, watcher, options, results);
    // Saving onto the project file given is allowed: it is replaced only once the new one is whole.
    return options.save.empty() ||
           ReplaceFileContent(
               options.save, [&host](const TextSink& sink) { TestHost::WriteProjectXml(host.GetProject(), sink); },
               error);
}

}  // namespace HostProgram
