// The phases that visit every element, on projects of the size users have: the value backup, the
// value restore, and the whole command with a configuration of the same groups.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "AddOnMain.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "Host.hpp"
#include "Host/EntryPoints.hpp"
#include "ValueBackup/ValueBackupWriter.hpp"
#include "ValueBackup/ValueRestore.hpp"
#include "Win/DialogProviders.hpp"

using namespace Quillmere;

namespace {

const char* const Configuration = R"(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/><item id="IfcDoor"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="FireRating" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
    <property name="IsExternal" type="Boolean"><appliesTo item="IfcWall"/></property>
    <property name="LayerCount" type="Integer"><appliesTo item="IfcWall"/></property>
    <property name="AcousticRating" type="String"><appliesTo item="IfcWall"/></property>
    <property name="LoadBearing" type="Boolean"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Door">
    <property name="FireExit" type="Boolean"><appliesTo item="IfcDoor"/></property>
    <property name="ClearWidth" type="Real" measure="Length"><appliesTo item="IfcDoor"/></property>
    <property name="ClearHeight" type="Real" measure="Length"><appliesTo item="IfcDoor"/></property>
  </propertyGroup>
  <propertyGroup name="Pset_WallCommon">
    <property name="Reference" type="String"><appliesTo item="IfcWall"/><appliesTo item="IfcDoor"/></property>
  </propertyGroup>
</configuration>)";

// A host holding `elements` elements, three walls to a door, each with its owned values set.
class LargeProject {
public:
    explicit LargeProject(int elements)
    {
        profile = std::filesystem::temp_directory_path() / ("quillmere-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(profile / "Documents");
        ::setenv("USERPROFILE", profile.c_str(), 1);
        configuration = profile / "config.xml";
        std::ofstream(configuration) << Configuration;

        TestHost::Project& project = host.GetProject();
        TestHost::ImportClassificationXml(project, Configuration);
        TestHost::ImportPropertyXml(project, Configuration);
        const API_Guid wallItem = project.FindItemById("IfcWall")->guid;
        const API_Guid doorItem = project.FindItemById("IfcDoor")->guid;
        const PropertyGroups groups{project.FindGroupByName("SGPset_Wall")->guid, project.FindGroupByName("SGPset_Door")->guid};
        for (int i = 0; i < elements; ++i) {
            const bool isDoor = i % 4 == 3;
            const API_Guid element =
                project.AddElement("E" + std::to_string(i), isDoor ? "IfcDoor" : "IfcWall", isDoor ? doorItem : wallItem);
            if (isDoor) {
                Set(element, groups.door, "FireExit", TestHost::MakeBooleanValue(i % 2 == 0));
                Set(element, groups.door, "ClearWidth", TestHost::MakeRealValue(0.9 + i * 1e-6));
            } else {
                Set(element, groups.wall, "FireRating", TestHost::MakeStringValue("REI " + std::to_string(30 + i % 4 * 30)));
                Set(element, groups.wall, "Thickness", TestHost::MakeRealValue(0.1 + (i % 7) * 0.05));
                Set(element, groups.wall, "IsExternal", TestHost::MakeBooleanValue(i % 3 == 0));
                Set(element, groups.wall, "LayerCount", TestHost::MakeIntegerValue(i % 5));
            }
        }
        SetImportedFuncAddrs(host.ServiceTable());
        GuardedInitialize(host.Context());
    }

    ~LargeProject()
    {
        GuardedRelease();
        std::filesystem::remove_all(profile);
    }

    TestHost::Host host;
    std::filesystem::path configuration;

private:
    struct PropertyGroups {
        API_Guid wall;
        API_Guid door;
    };

    void Set(const API_Guid& element, const API_Guid& group, const char* name, TestHost::Value value)
    {
        TestHost::Project& project = host.GetProject();
        project.SetElementValue(element, project.FindDefinitionByName(group, name)->guid, std::move(value));
    }

    std::filesystem::path profile;
};

void BackupElementValuesBench(benchmark::State& state)
{
    LargeProject project(static_cast<int>(state.range(0)));
    for (auto _ : state)
        BackupElementValues();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BackupElementValuesBench)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void RestoreElementValuesBench(benchmark::State& state)
{
    LargeProject project(static_cast<int>(state.range(0)));
    BackupElementValues();
    for (auto _ : state)
        RestoreElementValues();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(RestoreElementValuesBench)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void UpdateCommandBench(benchmark::State& state)
{
    LargeProject project(static_cast<int>(state.range(0)));
    ScriptedFileDialog dialog;
    const OpenFileDialogProvider previous = dialog.Install();
    for (auto _ : state) {
        dialog.QueueChoice(project.configuration.string());
        project.host.ChooseMenuItem(MenuStringsResID, 1);
        state.PauseTiming();
        project.host.ClearOutput();
        state.ResumeTiming();
    }
    QmSetOpenFileDialogProvider(previous, nullptr);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(UpdateCommandBench)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
