// A module file run by the test host through whole update commands, as a host runs it: loaded and
// started, its file dialog answered by the test, in a profile folder of its own.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <tuple>

#include "AbiSupport.hpp"

#include "ConfigurationXml.hpp"
#include "Host.hpp"
#include "ProjectFile.hpp"
#include "Win/DialogProviders.hpp"

namespace Abi {

// The owned values of a project by element, group name and property name.
using ValueMap = std::map<std::tuple<std::string, std::string, std::string>, TestHost::Value>;

inline ValueMap OwnedValues(const TestHost::Project& project)
{
    ValueMap values;
    project.ForEachValue([&](const API_Guid& element, const API_Guid& definition, const TestHost::Value& value) {
        const TestHost::PropertyDefinition* held = project.FindDefinition(definition);
        const std::string& group = project.FindGroup(held->group)->name;
        if (group.find("SGPset_") != std::string::npos)
            values[{TestHost::GuidToText(element), group, held->name}] = value;
    });
    return values;
}

// Equal values, reals bit for bit (so -0.0 is not 0.0).
inline bool SameValues(const ValueMap& left, const ValueMap& right)
{
    if (left.size() != right.size())
        return false;
    for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r)
        if (l->first != r->first || !(l->second == r->second) ||
            std::memcmp(&l->second.real, &r->second.real, sizeof(double)) != 0)
            return false;
    return true;
}

inline std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Loads and starts the module file on a host whose project holds `configuration` (the groups and
// classifications) and nothing else; the test adds elements and values.
class ModuleRunTest : public ::testing::Test {
protected:
    explicit ModuleRunTest(const char* configuration) : configurationText(configuration) {}

    void SetUp() override
    {
        setenv("USERPROFILE", home.path.c_str(), 1);
        std::filesystem::create_directories(Documents());
        configuration = home.Write("config.xml", configurationText);
        previousProvider = QmSetOpenFileDialogProvider(&Answer, this);
        TestHost::Project& project = host.GetProject();
        ASSERT_EQ(TestHost::ImportClassificationXml(project, configurationText).code, 0);
        ASSERT_EQ(TestHost::ImportPropertyXml(project, configurationText).code, 0);
    }

    void TearDown() override
    {
        Stop();
        QmSetOpenFileDialogProvider(previousProvider, nullptr);
        unsetenv("USERPROFILE");
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
    // cancelled; `whileOpen` runs while the dialog is up, between the backup and the restore.
    void RunCommand(bool choose = true, std::function<void()> whileOpen = {}, std::filesystem::path chosen = {})
    {
        host.ClearOutput();
        answerChoose = choose;
        answerPath = chosen.empty() ? configuration : chosen;
        dialogAction = std::move(whileOpen);
        EXPECT_EQ(host.ChooseMenuItem(32500, 1), 0);
    }

    std::vector<std::string> ReportTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& line : host.ReportLines())
            texts.push_back(line.text);
        return texts;
    }

    std::filesystem::path Documents() const { return home.path / "Documents"; }
    std::filesystem::path BackupFile() const { return Documents() / "IFC_SG_Properties.xml"; }

    ScratchFolder home;
    std::filesystem::path configuration;
    TestHost::Host host;
    TestHost::ModuleLoader loader;

private:
    static BOOL Answer(OPENFILENAMEW* request, void* self)
    {
        auto& test = *static_cast<ModuleRunTest*>(self);
        if (test.dialogAction)
            test.dialogAction();
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
    std::function<void()> dialogAction;
    API_EnvirParams environment;
};

}  // namespace Abi
