// Resources through the cache the module opens for its own instance, once the module file is
// loaded, and the module file lookup that the cache relies on.
#include <dlfcn.h>

#include "AbiSupport.hpp"
#include "RS/RS.hpp"
#include "Win/Win.hpp"

namespace {

std::u16string Utf16(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

class LoadedResources : public Abi::LoadedModuleTest {
protected:
    // The module's instance handle: where its file is mapped.
    void* Instance() const
    {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(loader.ExportedFunctions()), &info) == 0)
            return nullptr;
        return info.dli_fbase;
    }
};

TEST_F(LoadedResources, IndexedStringsComeFromTheLoadedModule)
{
    const GSResModule resources = RSInitModuleImageCache(Instance());
    ASSERT_NE(resources, InvalidResModule);
    GS::UniString text("untouched");
    EXPECT_TRUE(RSGetIndString(&text, 32000, 1, resources, 0, __FILE__, __LINE__));
    EXPECT_EQ(Abi::Utf8(text), Abi::AddOnName);
    EXPECT_TRUE(RSGetIndString(&text, 32000, 2, resources, 0, __FILE__, __LINE__));
    EXPECT_EQ(Abi::Utf8(text), Abi::AddOnDescription);
    EXPECT_TRUE(RSGetIndString(&text, 32500, 1, resources, 0, __FILE__, __LINE__));
    EXPECT_EQ(Abi::Utf8(text), Abi::MenuText);

    // Each open is a handle of its own; closing one leaves the other.
    const GSResModule second = RSInitModuleImageCache(Instance());
    EXPECT_NE(second, resources);
    RSRemoveModuleImageCache(second);
    EXPECT_TRUE(RSGetIndString(&text, 32000, 1, resources, 0, __FILE__, __LINE__));

    Abi::DebugCapture debug;  // failed lookups leave a line for the developer
    text = "untouched";
    EXPECT_FALSE(RSGetIndString(&text, 32000, 3, resources, 0, __FILE__, __LINE__));
    EXPECT_FALSE(RSGetIndString(&text, 32001, 1, resources, 0, __FILE__, __LINE__));
    EXPECT_FALSE(RSGetIndString(&text, 32000, 1, resources, 1, __FILE__, __LINE__));
    EXPECT_FALSE(RSGetIndString(&text, 32000, 1, second, 0, __FILE__, __LINE__));
    EXPECT_FALSE(RSGetIndString(&text, 32000, 1, InvalidResModule, 0, __FILE__, __LINE__));
    RSRemoveModuleImageCache(resources);
    EXPECT_FALSE(RSGetIndString(&text, 32000, 1, resources, 0, __FILE__, __LINE__));
    EXPECT_EQ(Abi::Utf8(text), "untouched");
    EXPECT_EQ(debug.texts.size(), 6u);
    RSRemoveModuleImageCache(InvalidResModule);
}

TEST_F(LoadedResources, NothingLoadedThereHasNoResources)
{
    int local = 0;
    EXPECT_EQ(RSInitModuleImageCache(&local), InvalidResModule);
    // An address inside the module is not where it is mapped.
    EXPECT_EQ(RSInitModuleImageCache(static_cast<char*>(Instance()) + 4096), InvalidResModule);
    // The platform library is loaded but has no resources.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&RSInitModuleImageCache), &info), 0);
    EXPECT_EQ(RSInitModuleImageCache(info.dli_fbase), InvalidResModule);
}

TEST_F(LoadedResources, ModuleFileNameIsFoundByLoadAddress)
{
    const std::u16string expected = Utf16(loader.File().string());
    char16_t buffer[MAX_PATH];
    ASSERT_EQ(GetModuleFileNameW(Instance(), buffer, MAX_PATH), expected.size());
    EXPECT_EQ(std::u16string(buffer), expected);

    // Cut to the buffer as on Windows: size - 1 units and a NUL, and the answer is the size.
    char16_t small[10];
    EXPECT_EQ(GetModuleFileNameW(Instance(), small, 10), 10u);
    EXPECT_EQ(std::u16string(small), expected.substr(0, 9));
    EXPECT_EQ(GetModuleFileNameW(Instance(), small, 0), 0u);

    int local = 0;
    small[0] = u'x';
    EXPECT_EQ(GetModuleFileNameW(&local, small, 10), 0u);
    // No module names the program itself.
    const std::u16string program = Utf16(std::filesystem::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, MAX_PATH), program.size());
    EXPECT_EQ(std::u16string(buffer), program);
}

}  // namespace
