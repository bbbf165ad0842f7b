// The module loader's answers for files that are not a usable module, and its start sequence.
#include <unistd.h>

#include "AbiSupport.hpp"

namespace {

using TestHost::ModuleError;
using TestHost::ModuleLoader;

TEST(ModuleLoader, RefusesWhatIsNotAUsableModule)
{
    const Support::ScratchFolder folder;
    ModuleLoader loader;

    EXPECT_EQ(loader.Load(folder.Path() / "Missing.so"), ModuleError::FileNotFound);
    EXPECT_EQ(loader.Load(folder.Path()), ModuleError::FileNotFound);
    EXPECT_EQ(loader.Load(folder.Write("Text.so", "not a module")), ModuleError::NotAModule);
    // A shared object, but without the texts a host shows for a module.
    EXPECT_EQ(loader.Load(Abi::PlatformLibraryFile()), ModuleError::MissingResources);
    EXPECT_FALSE(loader.IsLoaded());

    // The resources of a module, but SetImportedFuncAddrs is missing: nothing stays loaded.
    EXPECT_EQ(loader.Load(Abi::HalfModuleFile()), ModuleError::MissingExport);
    EXPECT_NE(loader.ErrorDetail().find("SetImportedFuncAddrs"), std::string::npos) << loader.ErrorDetail();
    EXPECT_FALSE(loader.IsLoaded());
    EXPECT_FALSE(ModuleLoader::IsModuleFileLoaded(Abi::HalfModuleFile()));

    ExportRecord exports;
    EXPECT_EQ(loader.GetExports(exports), ModuleError::NotLoaded);
    EXPECT_EQ(loader.Bind(nullptr), ModuleError::NotLoaded);
    EXPECT_EQ(loader.Release(), ModuleError::NotLoaded);
    EXPECT_FALSE(loader.Unload());
}

TEST(ModuleLoader, ReadsTheDescriptionWithoutLoading)
{
    TestHost::ModuleDescription description;
    ASSERT_EQ(TestHost::ReadModuleDescription(Abi::ModuleFile(), description), ModuleError::None);
    EXPECT_EQ(description.name, Abi::AddOnName);
    EXPECT_EQ(description.description, Abi::AddOnDescription);
    EXPECT_EQ(description.menuText, Abi::MenuText);
    EXPECT_FALSE(ModuleLoader::IsModuleFileLoaded(Abi::ModuleFile()));

    TestHost::ModuleDescription untouched{"a", "b", "c"};
    std::string detail;
    EXPECT_EQ(TestHost::ReadModuleDescription(Abi::PlatformLibraryFile(), untouched, &detail),
              ModuleError::MissingResources);
    EXPECT_EQ(untouched.name, "a");
    EXPECT_FALSE(detail.empty());
}

TEST(ModuleLoader, LoadsABareFileNameFromTheWorkingFolder)
{
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(Support::BinaryFolder());
    ModuleLoader loader;
    const ModuleError error = loader.Load("Quillmere.so");
    std::filesystem::current_path(previous);

    ASSERT_EQ(error, ModuleError::None) << loader.ErrorDetail();
    EXPECT_TRUE(loader.File().is_absolute());
    EXPECT_EQ(loader.File(), Abi::ModuleFile());
    EXPECT_TRUE(loader.Unload());
}

TEST(ModuleLoader, StartStopsAtTheFirstFailingStep)
{
    Abi::FakeHost::Reset();
    ModuleLoader loader;
    API_EnvirParams environment;
    auto* context = reinterpret_cast<API_HostContext*>(0x2000);
    GSErrCode code = 0;
    EXPECT_EQ(loader.Start(nullptr, environment, nullptr, context, &code), ModuleError::NotLoaded);

    Abi::ServiceTable withoutMenu = Abi::ServiceTable::Complete();
    withoutMenu.Remove(ServiceIndex::HostAddMenu);
    ASSERT_EQ(loader.Load(Abi::ModuleFile()), ModuleError::None);
    EXPECT_EQ(loader.Start(withoutMenu.Get(), environment, nullptr, context, &code), ModuleError::RegisterFailed);
    EXPECT_EQ(code, static_cast<GSErrCode>(0x81060387));
    EXPECT_TRUE(Abi::FakeHost::calls.empty()) << "initialize must not run after a failed register";

    Abi::FakeHost::setHandlerAnswer = 42;
    const Abi::ServiceTable complete = Abi::ServiceTable::Complete();
    EXPECT_EQ(loader.Start(complete.Get(), environment, nullptr, context, &code), ModuleError::InitializeFailed);
    EXPECT_EQ(code, 42);
    EXPECT_EQ(loader.Release(&code), ModuleError::None);
    EXPECT_EQ(code, NoError);
    EXPECT_TRUE(loader.Unload());
}

}  // namespace
