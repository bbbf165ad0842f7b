// What the Windows tests share: where the built files are, UTF-8 and UTF-16 conversion, scratch
// folders (their names may hold any characters), the user profile the module sees, and a fixture
// that runs the module file in the test host with the real file dialog answered by automation.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "FileDialogAutomation_win.hpp"
#include "Host.hpp"
#include "ModuleLoader.hpp"

namespace WinTests {

// The folder of the running test program, where the build puts Quillmere.dll too.
std::filesystem::path BinaryFolder();
std::filesystem::path ModuleFile();

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

// The file's bytes as stored; nullopt when it cannot be read.
std::optional<std::string> ReadBytes(const std::filesystem::path& file);
// Writes `bytes` as they are (binary mode); false on failure.
bool WriteBytes(const std::filesystem::path& file, const std::string& bytes);
// `text` with CR before each LF, as a text-mode stream writes it on Windows.
std::string WithCrLf(const std::string& text);

// A fresh folder under the temporary folder, whose name ends in `suffix`; removed at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& suffix = L"");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const noexcept { return path; }

private:
    std::filesystem::path path;
};

// Points "USERPROFILE" at `folder` for the module, which reads it with _wgetenv: through the C
// runtime's environment, which host and module share. The earlier value comes back at the end.
class UserProfile {
public:
    explicit UserProfile(const std::filesystem::path& folder);
    ~UserProfile();
    UserProfile(const UserProfile&) = delete;
    UserProfile& operator=(const UserProfile&) = delete;

private:
    std::optional<std::wstring> previous;
};

// A configuration of two owned groups and a standard set, and the project it describes with
// elements that hold their own values.
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
// folder holding Documents and an automation answering the file dialogs of this thread.
class RunningModuleTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the menu command as the user's choice of it would.
    GSErrCode RunCommand() { return host.ChooseMenuItem(32500, 1); }
    // The backup file the module writes in the profile folder.
    std::filesystem::path BackupFile() const { return profileFolder.Path() / L"Documents" / L"IFC_SG_Properties.xml"; }
    // Whether the host ran a command of that name.
    bool RanCommand(const std::string& name) const;

    TestHost::Host host;
    TestHost::ModuleLoader loader;
    ScratchFolder profileFolder{L"-profile"};
    std::optional<UserProfile> profile;
    std::optional<TestHost::FileDialogAutomation> dialogs;
};

}  // namespace WinTests
