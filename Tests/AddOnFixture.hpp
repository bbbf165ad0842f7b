// Runs the add-on in-process against the test host, through the real service table: the host's
// table goes to SetImportedFuncAddrs and its context to the initialize entry point, as a real host
// hands them over. Each test gets its own profile folder as "USERPROFILE" and a scripted dialog.
// The in-process suites of the module's units that need a host share it (Tests/ConfigurationImport,
// Tests/BackupFile, Tests/Restore, Tests/Command); it lies in Tests/ because it needs gtest and the module's
// internals, which Tests/Support, shared with the fuzz targets and the benchmark, must not.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AddOnMain.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "Host.hpp"
#include "Host/EntryPoints.hpp"
#include "Run/UpdateRun.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "Support/OwnedValues.hpp"
#include "Support/Projects.hpp"
#include "Win/DialogProviders.hpp"

namespace AddOnTesting {

using namespace Quillmere;
// The values the tests put on elements.
using TestHost::MakeBooleanValue;
using TestHost::MakeIntegerValue;
using TestHost::MakeRealValue;
using TestHost::MakeStringValue;

// Classifications and owned groups as a project typically holds them, plus a standard set.
inline const char* const BaseConfiguration = R"(<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <classificationSystem name="IFC-SG" version="2025">
    <item id="IfcWall" name="Wall"/>
    <item id="IfcDoor" name="Door"/>
    <item id="IfcSpace" name="Space"/>
  </classificationSystem>
  <propertyGroup name="SGPset_Wall" description="Walls for regulatory submission">
    <property name="FireRating" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
    <property name="IsExternal" type="Boolean"><appliesTo item="IfcWall"/></property>
    <property name="LayerCount" type="Integer"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Door">
    <property name="FireExit" type="Boolean"><appliesTo item="IfcDoor"/></property>
    <property name="ClearWidth" type="Real" measure="Length" default="0.9"><appliesTo item="IfcDoor"/></property>
  </propertyGroup>
  <propertyGroup name="Pset_WallCommon">
    <property name="Reference" type="String"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>
)";

inline API_Guid Guid(const char* text)
{
    return GSGuid2APIGuid(GS::Guid(text));
}

// An error code no service gives of itself, for the faults the tests inject.
constexpr GSErrCode SomeHostError = 0x1234;

// ServiceNotAvailable as the report lines give it.
inline const std::string NotAvailableText = std::to_string(static_cast<Int32>(0x81060387));  // -2130312313

// The names of the project's owned groups, in the host's order.
inline std::vector<std::string> OwnedGroupNames(const TestHost::Project& project)
{
    std::vector<std::string> names;
    for (const TestHost::PropertyGroup& group : project.Groups())
        if (Support::IsOwnedGroup(group.name))
            names.push_back(group.name);
    return names;
}

// The elements that hold what users put on owned properties (AddOnTest::PutUsersWork).
inline const char* const WallGuid = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
inline const char* const DoorGuid = "3F2504E0-4F89-11D3-9A0C-0305E82C3302";

// A backup file holding one wall entry with `values` inside.
inline std::string BackupWithWallValues(const std::string& values)
{
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<project>\n\t<element guid=\"") + WallGuid + "\">\n" +
           values + "\t</element>\n</project>\n";
}

class AddOnTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousProvider = dialog.Install();
        Bind();
    }

    void TearDown() override
    {
        GuardedRelease();
        QmSetOpenFileDialogProvider(previousProvider, nullptr);
    }

    // Hands the host's table (as it stands now, removed services included) and context over.
    void Bind()
    {
        SetImportedFuncAddrs(host.ServiceTable());
        ASSERT_EQ(GuardedInitialize(host.Context()), 0);
    }

    TestHost::Project& Model() { return host.GetProject(); }

    // Brings `configuration` into the project as the host's own import would, outside any command.
    void LoadConfiguration(const std::string& configuration = BaseConfiguration)
    {
        Support::ImportConfiguration(Model(), configuration);
    }

    API_Guid GroupGuid(const char* name) { return Model().FindGroupByName(name)->guid; }

    // The definition `name` of the first group named `group`; fails the test when there is none.
    const TestHost::PropertyDefinition& Definition(const char* group, const char* name)
    {
        const TestHost::PropertyGroup* owner = Model().FindGroupByName(group);
        const TestHost::PropertyDefinition* definition =
            owner != nullptr ? Model().FindDefinitionByName(owner->guid, name) : nullptr;
        if (definition == nullptr)
            throw std::runtime_error(std::string("no definition ") + group + "/" + name);
        return *definition;
    }

    // Adds a group `group` (a new one, also when one of that name exists) holding one definition
    // `name` of `valueType` that applies to walls.
    void AddGroupWithDefinition(const char* group, const char* name, Int32 valueType)
    {
        const API_Guid groupGuid = Model().AddGroup(group, "");
        ASSERT_NE(groupGuid, APINULLGuid);
        TestHost::PropertyDefinition definition;
        definition.group = groupGuid;
        definition.name = name;
        definition.valueType = valueType;
        definition.defaultValue = TestHost::MakeZeroValue(valueType);
        definition.availability = {Model().FindItemById("IfcWall")->guid};
        ASSERT_NE(Model().AddDefinition(definition), APINULLGuid);
    }

    API_Guid AddElement(const char* guidText, const char* ifcType)
    {
        return Model().AddElement(std::string(ifcType) + " " + guidText, ifcType,
                                  Model().FindItemById(ifcType)->guid, Guid(guidText));
    }

    void SetValue(const API_Guid& element, const char* group, const char* name, TestHost::Value value)
    {
        ASSERT_EQ(Model().SetElementValue(element, Definition(group, name).guid, std::move(value)), 0);
    }

    // The element's own value, or nullptr when it has the default.
    const TestHost::Value* ValueOf(const API_Guid& element, const char* group, const char* name)
    {
        return Model().FindElementValue(element, Definition(group, name).guid);
    }

    void SetExpressions(const char* group, const char* name, std::vector<std::string> expressions, UInt8 flag = 1)
    {
        TestHost::PropertyDefinition changed = Definition(group, name);
        changed.expressions = std::move(expressions);
        changed.expressionFlag = flag;
        ASSERT_EQ(Model().UpdateDefinition(changed), 0);
    }

    // Writes a configuration file into the profile folder and queues it as the dialog's answer.
    std::filesystem::path ChooseConfiguration(const std::string& bytes, const std::string& name = "config.xml")
    {
        const std::filesystem::path path = profile.Write(name, bytes);
        dialog.QueueChoice(path.string());
        return path;
    }

    GSErrCode RunCommand() { return host.ChooseMenuItem(MenuStringsResID, 1); }


    std::vector<std::string> ReportTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& line : host.ReportLines())
            texts.push_back(line.text);
        return texts;
    }

    std::vector<std::string> CommandNames() const
    {
        std::vector<std::string> names;
        for (const auto& command : host.Commands())
            names.push_back(command.name);
        return names;
    }

    // The elements PutUsersWork makes.
    struct UsersWork {
        API_Guid wall;
        API_Guid door;
    };

    // Brings in BaseConfiguration and puts on it what users put on owned properties: values on a
    // wall and a door (and one on the wall in a group that is not owned), expression lists on two
    // definitions, and one list whose flag is off, which is not saved.
    UsersWork PutUsersWork()
    {
        LoadConfiguration();
        const API_Guid wall = AddElement(WallGuid, "IfcWall");
        const API_Guid door = AddElement(DoorGuid, "IfcDoor");
        SetValue(wall, "SGPset_Wall", "FireRating", MakeStringValue("REI 120 & \"tested\""));
        SetValue(wall, "SGPset_Wall", "Thickness", MakeRealValue(0.25));
        SetValue(wall, "SGPset_Wall", "IsExternal", MakeBooleanValue(true));
        SetValue(wall, "SGPset_Wall", "LayerCount", MakeIntegerValue(-3));
        SetValue(wall, "Pset_WallCommon", "Reference", MakeStringValue("W-01"));
        SetValue(door, "SGPset_Door", "FireExit", MakeBooleanValue(true));
        SetExpressions("SGPset_Wall", "Thickness", {"{Wall.Width}", "{Wall.Width} * 2"});
        SetExpressions("SGPset_Door", "ClearWidth", {"{Door.Width} - 0.1"});
        SetExpressions("SGPset_Wall", "LayerCount", {"not saved: flag off"}, 0);
        return {wall, door};
    }

    TestHost::Host host;
    UpdateRun run;  // for tests that run single phases
    ScriptedFileDialog dialog;
    OpenFileDialogProvider previousProvider = nullptr;
    const Support::ProfileFolder profile;  // "USERPROFILE" while the test runs
};

}  // namespace AddOnTesting
