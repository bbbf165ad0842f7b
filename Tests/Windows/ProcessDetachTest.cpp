// Quillmere.dll's process detach: the termination line, with the module's path, when the host
// unloads it without having released it, and nothing after a release.
#include "WindowsTestSupport.hpp"

namespace {

// The module loaded from a copy in a folder whose name is not Latin, so that its path, as the
// module records it at load, has to travel intact into the debug line.
class ProcessDetach : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::filesystem::path copyFolder = folder.Path() / L"\u6A21\u5757 \u039C\u03BF\u03BD\u03AC\u03B4\u03B1";
        ASSERT_TRUE(std::filesystem::create_directory(copyFolder));
        copy = copyFolder / L"Quillmere.dll";
        std::filesystem::copy_file(WinTests::ModuleFile(), copy);
        ASSERT_EQ(loader.Load(copy), TestHost::ModuleError::None) << loader.ErrorDetail();
        API_EnvirParams environment;
        ASSERT_EQ(loader.Start(host.ServiceTable(), environment, nullptr, host.Context()), TestHost::ModuleError::None);
    }

    Support::ScratchFolder folder{L"-module"};
    std::filesystem::path copy;
    TestHost::Host host;
    TestHost::ModuleLoader loader;
};

TEST_F(ProcessDetach, UnloadWithoutReleaseWritesTheTerminationLineWithThePath)
{
    EXPECT_TRUE(loader.Unload());

    const std::vector<std::string> expected{
        "Abnormal add-on termination (\"" + WinTests::Utf8(copy.wstring()) + "\")", "\n"};
    EXPECT_EQ(host.DebugLines(), expected);
}

TEST_F(ProcessDetach, UnloadAfterReleaseWritesNothing)
{
    ASSERT_EQ(loader.Release(), TestHost::ModuleError::None);
    EXPECT_TRUE(loader.Unload());

    EXPECT_TRUE(host.DebugLines().empty());
}

}  // namespace
