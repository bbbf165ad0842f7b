// The built module file under the test host with the platform allocator failing at every
// allocation point of a complete update command: once there and never again, or there and at
// every later call as exhausted memory does. The command always ends normally, leaks nothing,
// undoes to the original project, and the process's platform memory is back at its start once
// the module is unloaded.
#include <iostream>

#include "Abi/AbiSupport.hpp"

#include "ConfigurationXml.hpp"
#include "Host.hpp"
#include "ProjectFile.hpp"
#include "Win/DialogProviders.hpp"

namespace {

const char* const Configuration = R"(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="FireRating" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>)";

const std::string Stopped = "Import IFC-SG Classifications and Properties stopped: std::bad_alloc";

class AllocationSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        startBlocks = GS::MemoryManager::LiveBlocks();
        startBytes = GS::MemoryManager::LiveBytes();
        host.emplace();
        setenv("USERPROFILE", home.path.c_str(), 1);
        std::filesystem::create_directories(home.path / "Documents");
        configuration = home.Write("config.xml", Configuration);
        previousProvider = QmSetOpenFileDialogProvider(&Answer, this);

        TestHost::Project& project = host->GetProject();
        ASSERT_EQ(TestHost::ImportClassificationXml(project, Configuration).code, 0);
        ASSERT_EQ(TestHost::ImportPropertyXml(project, Configuration).code, 0);
        const API_Guid group = project.FindGroupByName("SGPset_Wall")->guid;
        TestHost::PropertyDefinition thickness = *project.FindDefinitionByName(group, "Thickness");
        thickness.expressions = {"{Wall.Width}"};
        thickness.expressionFlag = 1;
        ASSERT_EQ(project.UpdateDefinition(thickness), 0);
        for (int i = 0; i < 4; ++i) {
            const API_Guid wall = project.AddElement("W" + std::to_string(i), "IfcWall", project.FindItemById("IfcWall")->guid);
            project.SetElementValue(wall, project.FindDefinitionByName(group, "FireRating")->guid,
                                    TestHost::MakeStringValue("REI " + std::to_string(i)));
            project.SetElementValue(wall, thickness.guid, TestHost::MakeRealValue(0.1 * i));
        }
        original = TestHost::WriteProjectXml(project);

        ASSERT_EQ(loader.Load(Abi::ModuleFile()), TestHost::ModuleError::None);
        ASSERT_EQ(loader.Start(host->ServiceTable(), *environment, nullptr, host->Context()), TestHost::ModuleError::None);
    }

    void TearDown() override
    {
        GS::MemoryManager::FailAllocation(0, false);
        if (loader.IsLoaded()) {
            loader.Release();
            EXPECT_TRUE(loader.Unload());
        }
        QmSetOpenFileDialogProvider(previousProvider, nullptr);
        unsetenv("USERPROFILE");
        host.reset();
        environment.reset();  // the add-on's name and description, which the host keeps
        // Everything the module and the host took from the platform allocator is back.
        EXPECT_EQ(GS::MemoryManager::LiveBlocks(), startBlocks);
        EXPECT_EQ(GS::MemoryManager::LiveBytes(), startBytes);
    }

    // Chooses the command; answers the handler's result.
    GSErrCode Run()
    {
        host->ClearOutput();
        return host->ChooseMenuItem(32500, 1);
    }

    void UndoAll() { host->Undo(host->StepNames().size()); }

    static BOOL Answer(OPENFILENAMEW* request, void* self)
    {
        ScriptedFileDialog dialog;
        dialog.QueueChoice(static_cast<AllocationSweep*>(self)->configuration.string());
        return dialog.Answer(*request);
    }

    std::size_t startBlocks = 0;
    std::size_t startBytes = 0;
    Abi::ScratchFolder home;
    std::filesystem::path configuration;
    OpenFileDialogProvider previousProvider = nullptr;
    std::optional<TestHost::Host> host;
    TestHost::ModuleLoader loader;
    std::optional<API_EnvirParams> environment{std::in_place};
    std::string original;
};

}  // namespace

TEST(AllocationFailure, TheChosenCallFailsAndWithLaterCallsTheOnesAfterIt)
{
    void* before = GS::MemoryManager::Allocate(8);
    GS::MemoryManager::FailAllocation(2, false);
    void* first = GS::MemoryManager::Allocate(8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
    void* third = GS::MemoryManager::Allocate(8);
    EXPECT_NE(third, nullptr);

    const std::size_t count = GS::MemoryManager::AllocationCount();
    GS::MemoryManager::FailAllocation(1, true);
    EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
    EXPECT_EQ(GS::MemoryManager::Allocate(0), nullptr);
    EXPECT_EQ(GS::MemoryManager::AllocationCount(), count + 2);
    GS::MemoryManager::FailAllocation(0, true);
    void* after = GS::MemoryManager::Allocate(8);
    EXPECT_NE(after, nullptr);
    for (void* block : {before, first, third, after})
        GS::MemoryManager::Free(block);
}

TEST(AllocationFailure, ACopyThatRunsOutOfMemoryHalfWayLeavesNothingBehind)
{
    GS::Array<GS::UniString> texts;
    for (const char* text : {"first text", "second text", "third text"})
        texts.Push(GS::UniString(text));
    const std::size_t blocks = GS::MemoryManager::LiveBlocks();
    const std::size_t bytes = GS::MemoryManager::LiveBytes();
    // The copy's storage, its first text, and then the second text's storage fails.
    for (std::size_t nth = 1; nth <= 4; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        GS::MemoryManager::FailAllocation(nth, false);
        bool thrown = false;
        try {
            GS::Array<GS::UniString> copy(texts);
        } catch (const std::bad_alloc&) {
            thrown = true;
        }
        GS::MemoryManager::FailAllocation(0, false);
        EXPECT_TRUE(thrown);
        EXPECT_EQ(GS::MemoryManager::LiveBlocks(), blocks);
        EXPECT_EQ(GS::MemoryManager::LiveBytes(), bytes);
    }
}

TEST_F(AllocationSweep, EveryAllocationOfACompleteRunFailing)
{
    // A first complete run, so that the module's one-time allocations are behind us; then the
    // allocations one complete run makes.
    ASSERT_EQ(Run(), 0);
    ASSERT_EQ(host->Alerts().size(), 1u);
    UndoAll();
    ASSERT_EQ(TestHost::WriteProjectXml(host->GetProject()), original);
    const std::size_t blocks = GS::MemoryManager::LiveBlocks();
    const std::size_t bytes = GS::MemoryManager::LiveBytes();
    const std::size_t before = GS::MemoryManager::AllocationCount();
    ASSERT_EQ(Run(), 0);
    const std::size_t allocations = GS::MemoryManager::AllocationCount() - before;
    ASSERT_GT(allocations, 100u);
    UndoAll();

    std::size_t stopped = 0, completed = 0;
    for (const bool andLater : {true, false}) {
        for (std::size_t nth = 1; nth <= allocations; ++nth) {
            SCOPED_TRACE(std::string(andLater ? "from allocation " : "allocation ") + std::to_string(nth));
            host->ClearOutput();
            GS::MemoryManager::FailAllocation(nth, andLater);
            const GSErrCode result = host->ChooseMenuItem(32500, 1);
            GS::MemoryManager::FailAllocation(0, false);
            ASSERT_EQ(result, 0);
            if (host->Alerts().size() == 1) {
                ++completed;
            } else {
                // The command says why it stopped: the module's own line, or a phase's report.
                ASSERT_FALSE(host->ReportLines().empty());
                if (andLater) {
                    EXPECT_EQ(host->ReportLines().back().text, Stopped);
                }
                stopped += host->ReportLines().back().text == Stopped ? 1 : 0;
            }
            UndoAll();
            ASSERT_EQ(TestHost::WriteProjectXml(host->GetProject()), original);

            // A complete run afterwards empties what a stopped run kept for the next (the saved
            // expressions): then nothing of either run is left.
            ASSERT_EQ(Run(), 0);
            ASSERT_EQ(host->Alerts().size(), 1u);
            UndoAll();
            ASSERT_EQ(GS::MemoryManager::LiveBlocks(), blocks);
            ASSERT_EQ(GS::MemoryManager::LiveBytes(), bytes);
        }
    }
    std::cout << "[ alloc    ] " << allocations << " allocations in a complete run, each failed twice (alone, and "
              << "with every later one): " << stopped << " runs stopped with the module's line, " << completed
              << " completed\n";
}
