// Reading resources from module files as a host does before it runs them, damaged files included,
// and from the string lists themselves.
#include "AbiSupport.hpp"
#include "ElfFile.hpp"
#include "RS/ResourceFile.hpp"
#include "Support/Files.hpp"

namespace {

std::vector<UInt8> Bytes(const std::string& text)
{
    return std::vector<UInt8>(text.begin(), text.end());
}

// A copy of the module file with `change` applied to its bytes.
template <typename Change>
std::filesystem::path DamagedCopy(const Support::ScratchFolder& folder, const std::string& name, Change change)
{
    std::string bytes = Support::ReadBytes(Abi::ModuleFile());
    change(bytes);
    return folder.Write(name, bytes);
}

TEST(ResourceFile, OpenTellsWhyAFileHasNoResources)
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

TEST(ResourceFile, DamagedResourceSectionIsMalformed)
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

TEST(ResourceFile, MissingResourcesLeaveTheOutputUntouched)
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

TEST(ResourceFile, StringListItemsAreFoundByIndexAndDamageIsRefused)
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

}  // namespace
