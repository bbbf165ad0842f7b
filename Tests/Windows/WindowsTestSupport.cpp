#include "WindowsTestSupport.hpp"

#include "RecordConversion.hpp"
#include "Support/Projects.hpp"
#include "Win/Win.hpp"

namespace WinTests {

std::filesystem::path BinaryFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(path).parent_path();
}

std::filesystem::path ModuleFile()
{
    return BinaryFolder() / L"Quillmere.dll";
}

std::string Utf8(const std::wstring& text)
{
    return TestHost::ToUtf8(std::wstring_view(text));
}

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

std::string WithCrLf(const std::string& text)
{
    std::string converted;
    for (char c : text) {
        if (c == '\n')
            converted += '\r';
        converted += c;
    }
    return converted;
}

const char* const SampleConfiguration = R"xml(<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <classificationSystem name="IFC-SG" version="2024.2">
    <item id="IfcWall" name="Wall"/>
    <item id="IfcDoor" name="Door"/>
  </classificationSystem>
  <propertyGroup name="SGPset_Wall" description="Wall data checked by the agencies">
    <property name="FireResistancePeriod" type="Integer" default="60">
      <appliesTo item="IfcWall"/>
    </property>
    <property name="Thickness" type="Real" measure="Length" default="0.2">
      <appliesTo item="IfcWall"/>
    </property>
  </propertyGroup>
  <propertyGroup name="SGPset_Door">
    <property name="ClearWidth" type="Real" measure="Length" default="0.9">
      <appliesTo item="IfcDoor"/>
    </property>
    <property name="FireExit" type="Boolean">
      <appliesTo item="IfcDoor"/>
    </property>
    <property name="Location" type="String">
      <appliesTo item="IfcDoor"/>
    </property>
  </propertyGroup>
  <propertyGroup name="Pset_WallCommon">
    <property name="AcousticRating" type="String" default="Rw 45">
      <appliesTo item="IfcWall"/>
    </property>
  </propertyGroup>
</configuration>
)xml";

namespace {

API_Guid DefinitionGuid(const TestHost::Project& project, const char* group, const char* property)
{
    const TestHost::PropertyGroup* found = project.FindGroupByName(group);
    const TestHost::PropertyDefinition* definition =
        found != nullptr ? project.FindDefinitionByName(found->guid, property) : nullptr;
    return definition != nullptr ? definition->guid : APINULLGuid;
}

}  // namespace

SampleProject::SampleProject(TestHost::Project& project)
{
    using namespace TestHost;
    Support::ImportConfiguration(project, SampleConfiguration);
    wall = project.AddElement("W-001", "IfcWall", project.FindItemById("IfcWall")->guid);
    door = project.AddElement("D-001", "IfcDoor", project.FindItemById("IfcDoor")->guid);
    const auto set = [&](const API_Guid& element, const char* group, const char* property, Value value) {
        EXPECT_EQ(project.SetElementValue(element, DefinitionGuid(project, group, property), std::move(value)), NoError)
            << group << "-" << property;
    };
    set(wall, "SGPset_Wall", "Thickness", MakeRealValue(0.25));
    set(wall, "SGPset_Wall", "FireResistancePeriod", MakeIntegerValue(120));
    set(wall, "Pset_WallCommon", "AcousticRating", MakeStringValue("Rw 52"));
    set(door, "SGPset_Door", "ClearWidth", MakeRealValue(1.05));
    set(door, "SGPset_Door", "FireExit", MakeBooleanValue(true));
    set(door, "SGPset_Door", "Location", MakeStringValue("Lobby & <stair> \xCE\x94\xCE\xB9\xCE\xAC\xCE\xB4\xCF\x81\xCE\xBF\xCE\xBC\xCE\xBF\xCF\x82 \xE8\xB5\xB0\xE5\xBB\x8A"));
}

const TestHost::Value* FindValue(const TestHost::Project& project, const API_Guid& element, const char* group,
                                 const char* property)
{
    const API_Guid definition = DefinitionGuid(project, group, property);
    return definition == APINULLGuid ? nullptr : project.FindElementValue(element, definition);
}

void RunningModuleTest::SetUp()
{
    ASSERT_EQ(loader.Load(ModuleFile()), TestHost::ModuleError::None) << loader.ErrorDetail();
    API_EnvirParams environment;
    ASSERT_EQ(loader.Start(host.ServiceTable(), environment, nullptr, host.Context()), TestHost::ModuleError::None)
        << loader.ErrorDetail();
    dialogs.emplace();
}

void RunningModuleTest::TearDown()
{
    dialogs.reset();
    if (loader.IsLoaded()) {
        EXPECT_EQ(loader.Release(), TestHost::ModuleError::None);
        EXPECT_TRUE(loader.Unload()) << "FreeLibrary left the module in the process";
    }
}

bool RunningModuleTest::RanCommand(const std::string& name) const
{
    for (const TestHost::Host::CommandRun& run : host.Commands())
        if (run.name == name)
            return true;
    return false;
}

}  // namespace WinTests
