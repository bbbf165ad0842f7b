// Quillmere.dll as Windows sees it: its export directory and its PE resources, read by the host
// before any module code runs. (Its process detach: ProcessDetachTest.cpp.)
#include "ImportPatch.hpp"
#include "RS/ResourceFile.hpp"
#include "RecordConversion.hpp"
#include "WindowsTestSupport.hpp"

namespace {

// The module file mapped as an image without running it.
class MappedModule {
public:
    explicit MappedModule(const std::filesystem::path& file)
        : module(LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~MappedModule()
    {
        if (module != nullptr)
            FreeLibrary(module);
    }
    MappedModule(const MappedModule&) = delete;
    MappedModule& operator=(const MappedModule&) = delete;

    HMODULE module;
};

TEST(ModuleFile, ExportsTheTwoFunctionsByNameAndNothingElse)
{
    const MappedModule mapped(WinTests::ModuleFile());
    ASSERT_NE(mapped.module, nullptr);

    const WinTests::ExportDirectory exports = WinTests::ReadExportDirectory(mapped.module);
    ASSERT_TRUE(exports.present);
    EXPECT_EQ(exports.names, (std::vector<std::string>{"GetExportedFuncAddrs", "SetImportedFuncAddrs"}));
    // No further address either, not even one exported by ordinal only.
    EXPECT_EQ(exports.addressCount, 2u);
}

TEST(ModuleFile, TheHostReadsTheTextsAndIconsFromThePeResources)
{
    TestHost::ModuleDescription description;
    std::string detail;
    ASSERT_EQ(TestHost::ReadModuleDescription(WinTests::ModuleFile(), description, &detail), TestHost::ModuleError::None)
        << detail;
    EXPECT_EQ(description.name, "Import IFC-SG Classifications and  Properties");
    EXPECT_EQ(description.description, "Import the IFC-SG Classifications and Properties for Corenet X Submission");
    EXPECT_EQ(description.menuText, "Import IFC-SG Classifications and Properties... ^E3 ^ES ^EE ^EI ^ED ^ET ^10001");

    RSModuleFile file;
    ASSERT_EQ(file.Open(WinTests::ModuleFile()), RSFileError::None);
    std::vector<UInt8> identifiers;
    ASSERT_EQ(file.ReadResource(RSResourceKey::Named("MDID"), RSResourceKey::Number(32500), identifiers), RSFileError::None);
    ASSERT_EQ(identifiers.size(), 12u);
    EXPECT_EQ(identifiers[0], 8);
    for (const auto& [name, pixels] : {std::pair{"I10001&96", 18}, std::pair{"I10001&192", 36}}) {
        RSIconGroup icon;
        ASSERT_EQ(file.ReadIconGroup(RSResourceKey::Named(name), icon), RSFileError::None) << name;
        ASSERT_EQ(icon.images.size(), 1u) << name;
        EXPECT_EQ(icon.images[0].width, pixels) << name;
        EXPECT_EQ(std::string(icon.images[0].bytes.begin(), icon.images[0].bytes.begin() + 4), "\x89PNG") << name;
    }
    RSIconGroup fileIcon;
    ASSERT_EQ(file.ReadIconGroup(RSResourceKey::Number(1), fileIcon), RSFileError::None);
    EXPECT_EQ(fileIcon.images.size(), 8u);
}

TEST(ModuleFile, IdentifyReadsTheTextsThroughTheResourceApi)
{
    TestHost::Host host;
    TestHost::ModuleLoader loader;
    ASSERT_EQ(loader.Load(WinTests::ModuleFile()), TestHost::ModuleError::None) << loader.ErrorDetail();
    API_EnvirParams environment;
    ASSERT_EQ(loader.Start(host.ServiceTable(), environment, nullptr, host.Context()), TestHost::ModuleError::None);

    EXPECT_EQ(TestHost::ToUtf8(environment.addOnInfo.name), "Import IFC-SG Classifications and  Properties");
    EXPECT_EQ(TestHost::ToUtf8(environment.addOnInfo.description),
              "Import the IFC-SG Classifications and Properties for Corenet X Submission");
    EXPECT_EQ(loader.Release(), TestHost::ModuleError::None);
    EXPECT_TRUE(loader.Unload());
}

}  // namespace
