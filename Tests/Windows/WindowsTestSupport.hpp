// What the Windows tests share besides the shared test support (Tests/Support, whose scratch and
// profile folders take names of any characters here too): where the built files are, UTF-8 and
// UTF-16 conversion, a sample configuration, and a fixture that runs the module file in the test
// host with the real file dialog answered by automation.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "FileDialogAutomation_win.hpp"
#include "Host.hpp"
#include "ModuleLoader.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"

namespace WinTests {

// The folder of the running test program, where the build puts Quillmere.dll too.
std::filesystem::path BinaryFolder();
std::filesystem::path ModuleFile();

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

// `text` with CR before each LF, as a text-mode stream writes it on Windows.
std::string WithCrLf(const std::string& text);

// A configuration of two owned groups and a standard set, and the project it describes with
// elements that hold their own values. (The Windows tests keep their own: a fixture file's Linux
// path does not reach a program run under wine.)
extern const char* const SampleConfiguration;
struct SampleProject {
    explicit SampleProject(TestHost::Project& project);
    API_Guid wall;
    API_Guid door;
};
// The element's own value for group/property, looked up by names (the import makes new GUIDs);
// nullptr when it holds none.
const TestHost::Value* FindValue(const TestHost::Project& project, const API_Guid& element, const char* group,
                                 const char* property);

// The module file loaded into the test host and started as a host starts it, with a profile
// folder holding Documents as "USERPROFILE" and an automation answering the file dialogs of this
// thread.
class RunningModuleTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the menu command as the user's choice of it would.
    GSErrCode RunCommand() { return host.ChooseMenuItem(32500, 1); }
    // Whether the host ran a command of that name.
    bool RanCommand(const std::string& name) const;

    const Support::ProfileFolder profileFolder{L"-profile"};
    TestHost::Host host;
    TestHost::ModuleLoader loader;
    std::optional<TestHost::FileDialogAutomation> dialogs;
};

}  // namespace WinTests
