// The built module file driven by the test host through a whole update command: what it leaves
// in the platform allocator once the command has returned.
#include "AbiSupport.hpp"

#include "ConfigurationXml.hpp"
#include "Host.hpp"
#include "Win/DialogProviders.hpp"

namespace {

const char* const Configuration = R"(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="FireRating" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>)";

class CompleteRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("USERPROFILE", home.path.c_str(), 1);
        std::filesystem::create_directories(home.path / "Documents");
        configuration = home.Write("config.xml", Configuration);
        previousProvider = dialog.Install();

        TestHost::Project& project = host.GetProject();
        ASSERT_EQ(TestHost::ImportClassificationXml(project, Configuration).code, 0);
        ASSERT_EQ(TestHost::ImportPropertyXml(project, Configuration).code, 0);
        const API_Guid group = project.FindGroupByName("SGPset_Wall")->guid;
        TestHost::PropertyDefinition thickness = *project.FindDefinitionByName(group, "Thickness");
        thickness.expressions = {"{Wall.Width}"};
        thickness.expressionFlag = 1;
        ASSERT_EQ(project.UpdateDefinition(thickness), 0);
        for (int i = 0; i < 20; ++i) {
            const API_Guid wall = project.AddElement("W" + std::to_string(i), "IfcWall", project.FindItemById("IfcWall")->guid);
            project.SetElementValue(wall, project.FindDefinitionByName(group, "FireRating")->guid,
                                    TestHost::MakeStringValue("REI " + std::to_string(i)));
        }

        ASSERT_EQ(loader.Load(Abi::ModuleFile()), TestHost::ModuleError::None);
        ASSERT_EQ(loader.Start(host.ServiceTable(), environment, nullptr, host.Context()), TestHost::ModuleError::None);
    }

    void TearDown() override
    {
        loader.Release();
        loader.Unload();
        QmSetOpenFileDialogProvider(previousProvider, nullptr);
        unsetenv("USERPROFILE");
    }

    Abi::ScratchFolder home;
    std::filesystem::path configuration;
    ScriptedFileDialog dialog;
    OpenFileDialogProvider previousProvider = nullptr;
    TestHost::Host host;
    TestHost::ModuleLoader loader;
    API_EnvirParams environment;
};

}  // namespace

TEST_F(CompleteRun, LeavesNothingInThePlatformAllocatorButTheSavedExpressions)
{
    const std::size_t blocks = GS::MemoryManager::LiveBlocks();
    const std::size_t bytes = GS::MemoryManager::LiveBytes();

    // A run that gets to the end applies and empties the store: every block the module took for
    // the command has been given back.
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

    // A cancelled run keeps the saved expression list in the store, and that is all it keeps.
    dialog.QueueCancel();
    EXPECT_EQ(host.ChooseMenuItem(32500, 1), 0);
    EXPECT_GT(GS::MemoryManager::LiveBlocks(), blocks);
    dialog.QueueChoice(configuration.string());
    EXPECT_EQ(host.ChooseMenuItem(32500, 1), 0);
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
    for (std::size_t headroom = 0; !completed; headroom = headroom == 0 ? 64 : headroom * 4) {
        SCOPED_TRACE("headroom " + std::to_string(headroom));
        ASSERT_LT(headroom, std::size_t{1} << 30);
        host.ClearOutput();
        dialog.QueueChoice(configuration.string());
        const std::size_t previous = GS::MemoryManager::SetLiveBytesLimit(GS::MemoryManager::LiveBytes() + headroom);
        const GSErrCode result = host.ChooseMenuItem(32500, 1);
        GS::MemoryManager::SetLiveBytesLimit(previous);

        EXPECT_EQ(result, 0);
        completed = host.Alerts().size() == 1;
        if (!completed) {
            ASSERT_FALSE(host.ReportLines().empty());
            EXPECT_EQ(host.ReportLines().back().text, stopped);
        }
    }
}
