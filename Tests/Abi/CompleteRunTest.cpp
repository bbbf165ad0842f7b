// The built module file driven by the test host through a whole update command: what it leaves
// in the platform allocator once the command has returned.
#include "AbiSupport.hpp"

#include "Host.hpp"
#include "Support/Memory.hpp"
#include "Support/Store.hpp"
#include "Support/Projects.hpp"
#include "Win/DialogProviders.hpp"

namespace {

class CompleteRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousProvider = dialog.Install();
        // 20 walls with their own fire rating; the thickness comes from an expression.
        Support::MakeWallProject(host.GetProject(), 20, false);

        ASSERT_EQ(loader.Load(Abi::ModuleFile()), TestHost::ModuleError::None);
        ASSERT_EQ(loader.Start(host.ServiceTable(), environment, nullptr, host.Context()), TestHost::ModuleError::None);
    }

    void TearDown() override
    {
        loader.Release();
        loader.Unload();
        QmSetOpenFileDialogProvider(previousProvider, nullptr);
    }

    const Support::ProfileFolder home;
    const std::filesystem::path configuration = Support::WallConfigurationFile();
    ScriptedFileDialog dialog;
    OpenFileDialogProvider previousProvider = nullptr;
    TestHost::Host host;
    TestHost::ModuleLoader loader;
    API_EnvirParams environment;
};

}  // namespace

TEST_F(CompleteRun, LeavesNothingInThePlatformAllocator)
{
    const std::size_t blocks = GS::MemoryManager::LiveBlocks();
    const std::size_t bytes = GS::MemoryManager::LiveBytes();

    // A run that gets to the end: every block the module took for the command, SQLite's among them,
    // has been given back.
    dialog.QueueChoice(configuration.string());
    EXPECT_EQ(host.ChooseMenuItem(32500, 1), 0);
    ASSERT_EQ(host.Alerts().size(), 1u);
    EXPECT_TRUE(host.ReportLines().empty());
    EXPECT_EQ(GS::MemoryManager::LiveBlocks(), blocks);
    EXPECT_EQ(GS::MemoryManager::LiveBytes(), bytes);

    // The values and the expressions came back through the module file as they do in-process.
    const TestHost::Project& project = host.GetProject();
    const API_Guid group = project.FindGroupByName("SGPset_Wall")->guid;
    EXPECT_EQ(project.FindDefinitionByName(group, "Thickness")->expressions, std::vector<std::string>{"{Wall.Width}"});
    EXPECT_EQ(project.ValueCount(), 20u);

    // A cancelled run takes nothing; a run whose property import fails keeps the saved expression
    // list in the store, not in memory; and the next run brings it back.
    dialog.QueueCancel();
    EXPECT_EQ(host.ChooseMenuItem(32500, 1), 0);
    EXPECT_EQ(GS::MemoryManager::LiveBlocks(), blocks);
    dialog.QueueChoice(configuration.string());
    host.AddFault({ServiceIndex::HostImportPropertyXml, 0, 95});
    EXPECT_EQ(host.ChooseMenuItem(32500, 1), 0);
    EXPECT_EQ(Support::KeptListCount(home.Store()), 1u);
    EXPECT_EQ(GS::MemoryManager::LiveBlocks(), blocks);
    host.GetFaults().Clear();
    dialog.QueueChoice(configuration.string());
    EXPECT_EQ(host.ChooseMenuItem(32500, 1), 0);
    EXPECT_EQ(project.FindDefinitionByName(project.FindGroupByName("SGPset_Wall")->guid, "Thickness")->expressions,
              std::vector<std::string>{"{Wall.Width}"});
    EXPECT_EQ(Support::KeptListCount(home.Store()), 0u);
    EXPECT_EQ(GS::MemoryManager::LiveBlocks(), blocks);
    EXPECT_EQ(GS::MemoryManager::LiveBytes(), bytes);
}

TEST_F(CompleteRun, RunningOutOfMemoryAnywhereEndsTheCommandWithoutAborting)
{
    // A first complete run, so that the module's one-time allocations are behind us.
    dialog.QueueChoice(configuration.string());
    ASSERT_EQ(host.ChooseMenuItem(32500, 1), 0);
    const std::string stopped = "Import IFC-SG Classifications and Properties stopped: std::bad_alloc";

    bool completed = false;
    for (const std::size_t headroom : Support::GrowingHeadrooms()) {
        SCOPED_TRACE("headroom " + std::to_string(headroom));
        host.ClearOutput();
        dialog.QueueChoice(configuration.string());
        GSErrCode result = NoError;
        {
            const Support::LiveBytesLimit limit(headroom);
            result = host.ChooseMenuItem(32500, 1);
        }

        EXPECT_EQ(result, 0);
        completed = host.Alerts().size() == 1;
        if (completed)
            break;
        ASSERT_FALSE(host.ReportLines().empty());
        EXPECT_EQ(host.ReportLines().back().text, stopped);
    }
    EXPECT_TRUE(completed) << "the command never got to its end";
}
