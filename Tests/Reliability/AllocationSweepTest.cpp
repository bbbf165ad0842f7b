// The built module file under the test host with the platform allocator failing at every
// allocation point of a complete update command: once there and never again, or there and at
// every later call as exhausted memory does. The command always ends normally, leaks nothing,
// undoes to the original project, and the process's platform memory is back at its start once
// the module is unloaded.
#include <iostream>

#include "Abi/AbiSupport.hpp"

#include "Host.hpp"
#include "ProjectFile.hpp"
#include "Support/Memory.hpp"
#include "Support/Projects.hpp"
#include "Win/DialogProviders.hpp"

namespace {

const std::string Stopped = "Import IFC-SG Classifications and Properties stopped: std::bad_alloc";

class AllocationSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        startBlocks = GS::MemoryManager::LiveBlocks();
        startBytes = GS::MemoryManager::LiveBytes();
        host.emplace();
        previousProvider = QmSetOpenFileDialogProvider(&Answer, this);
        // 4 walls with their own fire rating and thickness; the thickness comes from an expression.
        Support::MakeWallProject(host->GetProject(), 4, true);
        original = TestHost::WriteProjectXml(host->GetProject());

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
    const Support::ProfileFolder home;
    const std::filesystem::path configuration = Support::WallConfigurationFile();
    OpenFileDialogProvider previousProvider = nullptr;
    std::optional<TestHost::Host> host;
    TestHost::ModuleLoader loader;
    std::optional<API_EnvirParams> environment{std::in_place};
    std::string original;
};

}  // namespace

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
            GSErrCode result = NoError;
            {
                const Support::FailingAllocation failing(nth, andLater);
                result = host->ChooseMenuItem(32500, 1);
            }
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
