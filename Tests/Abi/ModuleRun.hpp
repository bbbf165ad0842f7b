// A module file run by the test host through whole update commands, as a host runs it: loaded and
// started, its file dialog answered by the test, in a profile folder of its own.
#pragma once

#include <functional>

#include "AbiSupport.hpp"

#include "Host.hpp"
#include "ProjectFile.hpp"
#include "Support/Files.hpp"
#include "Support/OwnedValues.hpp"
#include "Support/Projects.hpp"
#include "Win/DialogProviders.hpp"

namespace Abi {

// Whether `line` says that `count` values of an earlier run came back from `file` (whatever the
// run's date).
inline bool SaysValuesCameBack(const std::string& line, std::size_t count, const std::filesystem::path& file)
{
    const std::string start = std::to_string(count) + " values came back from an earlier run, saved ";
    const std::string end = " (\"" + file.string() + "\")";
    return line.rfind(start, 0) == 0 && line.size() > start.size() + end.size() &&
           line.compare(line.size() - end.size(), end.size(), end) == 0;
}

// Loads and starts the module file on a host whose project holds `configuration` (the groups and
// classifications) and nothing else; the test adds elements and values.
class ModuleRunTest : public ::testing::Test {
protected:
    explicit ModuleRunTest(const char* configuration) : configurationText(configuration) {}

    void SetUp() override
    {
        configuration = home.Write("config.xml", configurationText);
        previousProvider = QmSetOpenFileDialogProvider(&Answer, this);
        Support::ImportConfiguration(host.GetProject(), configurationText);
    }

    void TearDown() override
    {
        Stop();
        QmSetOpenFileDialogProvider(previousProvider, nullptr);
    }

    void Start()
    {
        ASSERT_EQ(loader.Load(ModuleFile()), TestHost::ModuleError::None);
        ASSERT_EQ(loader.Start(host.ServiceTable(), environment, nullptr, host.Context()), TestHost::ModuleError::None);
    }

    void Stop()
    {
        if (loader.IsLoaded()) {
            loader.Release();
            loader.Unload();
        }
    }

    API_Guid AddElement(const char* name, const char* type)
    {
        TestHost::Project& project = host.GetProject();
        return project.AddElement(name, type, project.FindItemById(type)->guid);
    }

    void Set(const API_Guid& element, const char* group, const char* name, TestHost::Value value)
    {
        TestHost::Project& project = host.GetProject();
        const TestHost::PropertyDefinition* definition =
            project.FindDefinitionByName(project.FindGroupByName(group)->guid, name);
        ASSERT_NE(definition, nullptr) << name;
        ASSERT_EQ(project.SetElementValue(element, definition->guid, std::move(value)), 0);
    }

    // Runs the command with the dialog answered by `chosen` (the configuration file when empty), or
    // cancelled; `whileImporting` runs as the first import starts, between the backup and the restore.
    void RunCommand(bool choose = true, std::function<void()> whileImporting = {}, std::filesystem::path chosen = {})
    {
        host.ClearOutput();
        answerChoose = choose;
        answerPath = chosen.empty() ? configuration : chosen;
        const bool listening = static_cast<bool>(whileImporting);
        importing.action = std::move(whileImporting);
        if (listening)
            host.SetListener(&importing);
        EXPECT_EQ(host.ChooseMenuItem(32500, 1), 0);
        if (listening)
            host.SetListener(nullptr);
    }

    std::vector<std::string> ReportTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& line : host.ReportLines())
            texts.push_back(line.text);
        return texts;
    }

    Support::ProfileFolder home;  // "USERPROFILE" while the test runs
    std::function<void()> onDialog;  // runs when the dialog is answered, before anything else of the command
    std::filesystem::path configuration;
    TestHost::Host host;
    TestHost::ModuleLoader loader;

private:
    struct ImportListener : TestHost::Host::Listener {
        std::function<void()> action;
        void CommandStarting(const std::string& name) override
        {
            if (action && name == "Import Classifications")
                action();
        }
    };

    static BOOL Answer(OPENFILENAMEW* request, void* self)
    {
        auto& test = *static_cast<ModuleRunTest*>(self);
        if (test.onDialog)
            test.onDialog();
        ScriptedFileDialog dialog;
        if (test.answerChoose)
            dialog.QueueChoice(test.answerPath.string());
        else
            dialog.QueueCancel();
        return dialog.Answer(*request);
    }

    const char* configurationText;
    OpenFileDialogProvider previousProvider = nullptr;
    bool answerChoose = true;
    std::filesystem::path answerPath;
    ImportListener importing;
    API_EnvirParams environment;
};

}  // namespace Abi
