// Load and unload of the module file: the debug line of an unload without release, a module that
// really leaves the process, and a reload that starts afresh. (ModuleReloadTest.cpp repeats load
// and unload with no module loaded beforehand.)
#include <dlfcn.h>

#include "AbiSupport.hpp"
#include "Win/Win.hpp"

namespace {

using Abi::ServiceTable;

class Lifecycle : public Abi::LoadedModuleTest {
protected:
    // Runs the start sequence up to initialize with a complete table.
    void StartModule()
    {
        API_EnvirParams environment;
        ASSERT_EQ(loader.Start(table.Get(), environment, nullptr, context), TestHost::ModuleError::None);
    }

    const ServiceTable table = ServiceTable::Complete();
    API_HostContext* const context = reinterpret_cast<API_HostContext*>(0x2000);
};

TEST_F(Lifecycle, UnloadAfterReleaseWritesNothing)
{
    Abi::DebugCapture debug;
    StartModule();
    ASSERT_EQ(loader.Release(), TestHost::ModuleError::None);

    EXPECT_TRUE(loader.Unload());
    EXPECT_TRUE(debug.texts.empty()) << debug.texts.front();
}

TEST_F(Lifecycle, UnloadWithoutInitializeWritesNothing)
{
    Abi::DebugCapture debug;
    ASSERT_EQ(loader.Bind(table.Get()), TestHost::ModuleError::None);

    EXPECT_TRUE(loader.Unload());
    EXPECT_TRUE(debug.texts.empty()) << debug.texts.front();
}

TEST_F(Lifecycle, UnloadWithoutReleaseReportsAbnormalTerminationWithThePath)
{
    Abi::DebugCapture debug;
    StartModule();
    const std::string path = loader.File().string();

    EXPECT_TRUE(loader.Unload());
    const std::vector<std::string> expected{"Abnormal add-on termination (\"" + path + "\")", "\n"};
    EXPECT_EQ(debug.texts, expected);
}

TEST_F(Lifecycle, ReleaseThenInitializeAgainCountsAsRunning)
{
    Abi::DebugCapture debug;
    StartModule();
    ASSERT_EQ(loader.Release(), TestHost::ModuleError::None);
    ASSERT_EQ(loader.Exports().initialize(context), NoError);

    EXPECT_TRUE(loader.Unload());
    ASSERT_EQ(debug.texts.size(), 2u);
    EXPECT_EQ(debug.texts[0], "Abnormal add-on termination (\"" + loader.File().string() + "\")");
}

TEST_F(Lifecycle, AReloadedModuleStartsUnbound)
{
    StartModule();
    ASSERT_EQ(loader.Release(), TestHost::ModuleError::None);
    ASSERT_TRUE(loader.Unload());
    EXPECT_FALSE(TestHost::ModuleLoader::IsModuleFileLoaded(Abi::ModuleFile()));

    // A module kept in memory would still hold the table and answer identify with 1.
    ASSERT_EQ(loader.Load(Abi::ModuleFile()), TestHost::ModuleError::None);
    ExportRecord fresh;
    ASSERT_EQ(loader.GetExports(fresh), TestHost::ModuleError::None);
    API_EnvirParams environment;
    EXPECT_EQ(fresh.identify(&environment), 0);
    EXPECT_EQ(fresh.release(), static_cast<GSErrCode>(0x81060001));
}

TEST_F(Lifecycle, LoadAndUnloadOpenAndCloseTheModulesResources)
{
    // While loaded, the module's identify finds its strings; that needs the resources opened at
    // load time under the module's own instance handle.
    ASSERT_EQ(loader.Bind(table.Get()), TestHost::ModuleError::None);
    API_EnvirParams environment;
    ASSERT_EQ(exports.identify(&environment), 1);
    EXPECT_EQ(Abi::Utf8(environment.addOnInfo.description), Abi::AddOnDescription);

    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(loader.ExportedFunctions()), &info), 0);
    EXPECT_EQ(std::filesystem::path(info.dli_fname), loader.File());
}

TEST_F(Lifecycle, AWholeRunLeavesNoPlatformMemoryBehind)
{
    ASSERT_TRUE(loader.Unload());
    const Support::ScratchFolder home;
    const Support::UserProfile user(home.Path());
    QmSetOpenFileDialogProvider(nullptr, nullptr);
    const std::size_t blocksBefore = GS::MemoryManager::LiveBlocks();
    const std::size_t bytesBefore = GS::MemoryManager::LiveBytes();
    {
        ASSERT_EQ(loader.Load(Abi::ModuleFile()), TestHost::ModuleError::None);
        API_EnvirParams environment;
        ASSERT_EQ(loader.Start(table.Get(), environment, nullptr, context), TestHost::ModuleError::None);
        const MenuCommandParams chosen{32500, 0, 1, 0};
        ASSERT_NE(Abi::FakeHost::handler, nullptr);
        EXPECT_EQ(Abi::FakeHost::handler(&chosen), NoError);
        ASSERT_EQ(loader.Release(), TestHost::ModuleError::None);
        ASSERT_TRUE(loader.Unload());
    }
    EXPECT_EQ(GS::MemoryManager::LiveBlocks(), blocksBefore);
    EXPECT_EQ(GS::MemoryManager::LiveBytes(), bytesBefore);
}

}  // namespace
