// Reading resources: from module files (damaged ones included), from the string lists themselves,
// and through the cache the module opens for its own instance; and the module file lookup that
// the cache relies on.
#include <dlfcn.h>

#include "AbiSupport.hpp"
#include "ElfFile.hpp"
#include "RS/RS.hpp"
#include "RS/ResourceFile.hpp"
#include "Support/Files.hpp"
#include "Win/Win.hpp"

namespace {

std::vector<UInt8> Bytes(const std::string& text)
{
    return std::vector<UInt8>(text.begin(), text.end());
}

std::u16string Utf16(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// A copy of the module file with `change` applied to its bytes.
template <typename Change>
std::filesystem::path DamagedCopy(const Support::ScratchFolder& folder, const std::string& name, Change change)
{
    std::string bytes = Support::ReadBytes(Abi::ModuleFile());
    change(bytes);
    return folder.Write(name, bytes);
}

TEST(ResourceFileTest, OpenTellsWhyAFileHasNoResources)
{
    const Support::ScratchFolder folder;
    RSModuleFile file;
    EXPECT_EQ(file.Open(folder.Path() / "Missing.so"), RSFileError::FileNotFound);
    EXPECT_EQ(file.Open(folder.Path()), RSFileError::FileNotFound);
    EXPECT_EQ(file.Open(folder.Write("Empty.so", "")), RSFileError::NotAModule);
    EXPECT_EQ(file.Open(folder.Write("Text.so", std::string(200, 'x'))), RSFileError::NotAModule);
    EXPECT_EQ(file.Open(DamagedCopy(folder, "Elf32.so", [](std::string& b) { b[4] = 1; })), RSFileError::NotAModule);
    EXPECT_EQ(file.Open(Abi::PlatformLibraryFile()), RSFileError::NoResources);
    EXPECT_FALSE(file.IsOpen());

    std::vector<UInt8> bytes{1, 2, 3};
    EXPECT_EQ(file.ReadResource(RSResourceKey::Named("STRS"), RSResourceKey::Number(32000), bytes),
              RSFileError::NotAModule);
    EXPECT_EQ(bytes, (std::vector<UInt8>{1, 2, 3}));

    ASSERT_EQ(file.Open(Abi::ModuleFile()), RSFileError::None);
    EXPECT_TRUE(file.IsOpen());
    // A failed open closes what was open before.
    EXPECT_EQ(file.Open(folder.Path() / "Missing.so"), RSFileError::FileNotFound);
    EXPECT_FALSE(file.IsOpen());
}

TEST(ResourceFileTest, DamagedResourceSectionIsMalformed)
{
    const ElfFile module(Abi::ModuleFile());
    const std::optional<ElfSection> section = module.FindSection("qm_resources");
    ASSERT_TRUE(section.has_value());
    const std::size_t at = section->offset;
    const Support::ScratchFolder folder;
    RSModuleFile file;

    // Sanity: an undamaged copy reads.
    EXPECT_EQ(file.Open(DamagedCopy(folder, "Copy.so", [](std::string&) {})), RSFileError::None);
    EXPECT_EQ(file.Open(DamagedCopy(folder, "Magic.so", [at](std::string& b) { b[at] = 'X'; })), RSFileError::Malformed);
    EXPECT_EQ(file.Open(DamagedCopy(folder, "Version.so", [at](std::string& b) { b[at + 4] = 2; })),
              RSFileError::Malformed);
    // The first entry's data offset (bytes 16..19 of the entry after the 16-byte header) far out.
    EXPECT_EQ(file.Open(DamagedCopy(folder, "Offset.so", [at](std::string& b) { b[at + 16 + 16 + 3] = '\x7F'; })),
              RSFileError::Malformed);
    // An entry count that makes the table run past the blob.
    EXPECT_EQ(file.Open(DamagedCopy(folder, "Count.so", [at](std::string& b) { b[at + 10] = 1; })),
              RSFileError::Malformed);
    // The file ends inside the section.
    EXPECT_EQ(file.Open(DamagedCopy(folder, "Cut.so", [at](std::string& b) { b.resize(at + 100); })),
              RSFileError::Malformed);
    EXPECT_FALSE(file.IsOpen());
}

TEST(ResourceFileTest, MissingResourcesLeaveTheOutputUntouched)
{
    RSModuleFile file;
    ASSERT_EQ(file.Open(Abi::ModuleFile()), RSFileError::None);
    std::vector<UInt8> bytes{9};
    EXPECT_EQ(file.ReadResource(RSResourceKey::Named("STRS"), RSResourceKey::Number(32001), bytes),
              RSFileError::ResourceNotFound);
    EXPECT_EQ(file.ReadResource(RSResourceKey::Named("STRX"), RSResourceKey::Number(32000), bytes),
              RSFileError::ResourceNotFound);
    // A number and a name are different keys, even with the same digits.
    EXPECT_EQ(file.ReadResource(RSResourceKey::Named("STRS"), RSResourceKey::Named("32000"), bytes),
              RSFileError::ResourceNotFound);
    EXPECT_EQ(bytes, (std::vector<UInt8>{9}));

    RSIconGroup group;
    group.directory = {7};
    EXPECT_EQ(file.ReadIconGroup(RSResourceKey::Named("I10001&48"), group), RSFileError::ResourceNotFound);
    EXPECT_EQ(group.directory, (std::vector<UInt8>{7}));
    EXPECT_TRUE(group.images.empty());
}

TEST(StringListTest, ItemsAreFoundByIndexAndDamageIsRefused)
{
    std::string item = "untouched";
    const std::vector<UInt8> list = Bytes(std::string("\x07\0\0\0ab\0\0cd\0", 11));
    EXPECT_TRUE(RSGetStringItem(list, 1, item));
    EXPECT_EQ(item, "ab");
    EXPECT_TRUE(RSGetStringItem(list, 2, item));
    EXPECT_EQ(item, "");
    EXPECT_TRUE(RSGetStringItem(list, 3, item));
    EXPECT_EQ(item, "cd");

    item = "untouched";
    EXPECT_FALSE(RSGetStringItem(list, 4, item));
    EXPECT_FALSE(RSGetStringItem(list, 0, item));
    EXPECT_FALSE(RSGetStringItem(list, -1, item));
    EXPECT_FALSE(RSGetStringItem({}, 1, item));
    EXPECT_FALSE(RSGetStringItem(Bytes(std::string("\0\0\0\0", 4)), 1, item));
    // The count claims more than there is.
    EXPECT_FALSE(RSGetStringItem(Bytes(std::string("\x09\0\0\0ab\0", 7)), 1, item));
    // Bytes after the counted part are not items.
    EXPECT_FALSE(RSGetStringItem(Bytes(std::string("\x03\0\0\0ab\0cd\0", 10)), 2, item));
    EXPECT_EQ(item, "untouched");

    // The last item lacks its NUL: the items before it still read.
    const std::vector<UInt8> cut = Bytes(std::string("\x05\0\0\0ab\0cd", 9));
    EXPECT_FALSE(RSGetStringItem(cut, 2, item));
    EXPECT_EQ(item, "untouched");
    EXPECT_TRUE(RSGetStringItem(cut, 1, item));
    EXPECT_EQ(item, "ab");
}

class LoadedResourcesTest : public Abi::LoadedModuleTest {
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

TEST_F(LoadedResourcesTest, IndexedStringsComeFromTheLoadedModule)
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

TEST_F(LoadedResourcesTest, NothingLoadedThereHasNoResources)
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

TEST_F(LoadedResourcesTest, ModuleFileNameIsFoundByLoadAddress)
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
