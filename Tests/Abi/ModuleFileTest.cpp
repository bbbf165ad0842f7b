// The module file as a host sees it without running it: its exported symbols, what it takes from
// other libraries, and its resources byte for byte.
#include <algorithm>
#include <cstring>
#include <elf.h>
#include <set>

#include "AbiSupport.hpp"
#include "ElfFile.hpp"
#include "RS/ResourceFile.hpp"

namespace {

std::vector<UInt8> Bytes(std::initializer_list<UInt8> bytes)
{
    return std::vector<UInt8>(bytes);
}

// A string list as the host expects it: a little-endian byte count, then NUL-terminated items.
std::vector<UInt8> StringList(const std::vector<std::string>& items)
{
    std::vector<UInt8> payload;
    for (const std::string& item : items) {
        payload.insert(payload.end(), item.begin(), item.end());
        payload.push_back(0);
    }
    const auto count = static_cast<UInt32>(payload.size());
    std::vector<UInt8> list;
    list.reserve(4 + payload.size());
    for (unsigned shift = 0; shift < 32; shift += 8)
        list.push_back(static_cast<UInt8>(count >> shift));
    list.insert(list.end(), payload.begin(), payload.end());
    return list;
}

UInt32 ReadBigEndian32(const UInt8* at)
{
    return (UInt32{at[0]} << 24) | (UInt32{at[1]} << 16) | (UInt32{at[2]} << 8) | at[3];
}

UInt32 ReadLittleEndian32(const UInt8* at)
{
    return UInt32{at[0]} | (UInt32{at[1]} << 8) | (UInt32{at[2]} << 16) | (UInt32{at[3]} << 24);
}

const std::vector<UInt8> PngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool IsPng(const std::vector<UInt8>& image)
{
    return image.size() >= 33 && std::equal(PngSignature.begin(), PngSignature.end(), image.begin()) &&
           std::memcmp(image.data() + 12, "IHDR", 4) == 0;
}

// Width, height and bits per pixel as the image itself states them: a PNG's header (8-bit RGBA is
// 32 bits), or a bitmap header whose height counts the pixels and the mask.
struct ImageHeader {
    UInt32 width = 0;
    UInt32 height = 0;
    UInt32 bitCount = 0;
};

ImageHeader ReadImageHeader(const std::vector<UInt8>& image)
{
    if (IsPng(image)) {
        const UInt8 depth = image[24];
        const UInt8 colourType = image[25];
        return {ReadBigEndian32(image.data() + 16), ReadBigEndian32(image.data() + 20),
                colourType == 6 && depth == 8 ? 32u : 0u};
    }
    if (image.size() >= 40 && ReadLittleEndian32(image.data()) == 40) {
        const UInt16 bitCount = static_cast<UInt16>(image[14] | (image[15] << 8));
        return {ReadLittleEndian32(image.data() + 4), ReadLittleEndian32(image.data() + 8) / 2, bitCount};
    }
    return {};
}

class ModuleFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(module.Open(Abi::ModuleFile()), RSFileError::None); }

    std::vector<UInt8> Read(const char* type, UInt16 id)
    {
        std::vector<UInt8> bytes;
        EXPECT_EQ(module.ReadResource(RSResourceKey::Named(type), RSResourceKey::Number(id), bytes), RSFileError::None)
            << type << " " << id;
        return bytes;
    }

    RSModuleFile module;
};

TEST_F(ModuleFile, ExportsExactlyTheTwoFunctions)
{
    const ElfFile file(Abi::ModuleFile());
    ASSERT_TRUE(file.IsValid());
    std::set<std::string> exported;
    for (const ElfSymbol& symbol : file.Symbols(SHT_DYNSYM)) {
        if (!symbol.defined)
            continue;
        exported.insert(symbol.name);
        EXPECT_EQ(symbol.type, STT_FUNC) << symbol.name;
        EXPECT_EQ(symbol.binding, STB_GLOBAL) << symbol.name;
        EXPECT_EQ(symbol.visibility, STV_DEFAULT) << symbol.name;
    }
    EXPECT_EQ(exported, (std::set<std::string>{"GetExportedFuncAddrs", "SetImportedFuncAddrs"}));
}

TEST_F(ModuleFile, BringsItsOwnHeapAndRuntime)
{
    const ElfFile file(Abi::ModuleFile());
    ASSERT_TRUE(file.IsValid());
    for (const ElfSymbol& symbol : file.Symbols(SHT_DYNSYM)) {
        EXPECT_NE(symbol.binding, STB_GNU_UNIQUE) << symbol.name << " would keep the module loaded";
        if (!symbol.defined) {
            for (const char* heap : {"_Znwm", "_Znam", "_ZdlPv", "_ZdaPv"})
                EXPECT_NE(symbol.name.rfind(heap, 0), 0u) << symbol.name << " comes from outside the module";
        }
    }
    for (const std::string& library : file.NeededLibraries())
        EXPECT_EQ(library.find("libstdc++"), std::string::npos);
    // The unwinder is the process's own, so that an exception thrown outside the module can pass
    // through the module's frames.
    const std::vector<std::string> needed = file.NeededLibraries();
    EXPECT_NE(std::find(needed.begin(), needed.end(), "libgcc_s.so.1"), needed.end());
    EXPECT_NE(std::find(needed.begin(), needed.end(), "quillmere_platform.so"), needed.end());

    // Every form of operator new and delete is the module's own, and local to it.
    std::set<std::string> ownHeap;
    for (const ElfSymbol& symbol : file.Symbols(SHT_SYMTAB)) {
        if (symbol.defined && symbol.type == STT_FUNC &&
            (symbol.name.rfind("_Znw", 0) == 0 || symbol.name.rfind("_Zna", 0) == 0 ||
             symbol.name.rfind("_Zdl", 0) == 0 || symbol.name.rfind("_Zda", 0) == 0)) {
            EXPECT_EQ(symbol.binding, STB_LOCAL) << symbol.name;
            ownHeap.insert(symbol.name);
        }
    }
    for (const char* form : {"_Znwm", "_Znam", "_ZnwmRKSt9nothrow_t", "_ZnwmSt11align_val_t",
                             "_ZnwmSt11align_val_tRKSt9nothrow_t", "_ZdlPv", "_ZdlPvm", "_ZdaPvmSt11align_val_t",
                             "_ZdlPvSt11align_val_tRKSt9nothrow_t"})
        EXPECT_EQ(ownHeap.count(form), 1u) << form;
}

TEST_F(ModuleFile, StringResourcesAreCountedNulTerminatedLists)
{
    EXPECT_EQ(Read("STRS", 32000), StringList({Abi::AddOnName, Abi::AddOnDescription}));
    EXPECT_EQ(Read("STRS", 32500), StringList({Abi::MenuText}));
    // Spelled out once, so a fault in the list helper above cannot hide one in the resource.
    const std::vector<UInt8> menu = Read("STRS", 32500);
    ASSERT_EQ(menu.size(), 4u + 78u + 1u);
    EXPECT_EQ(std::vector<UInt8>(menu.begin(), menu.begin() + 4), Bytes({78 + 1, 0, 0, 0}));
    EXPECT_EQ(menu.back(), 0);
}

TEST_F(ModuleFile, ModuleIdentifierIsTwoFixedWords)
{
    EXPECT_EQ(Read("MDID", 32500), Bytes({8, 0, 0, 0, 0x47, 0x51, 0x4D, 0x51, 1, 0, 0, 0}));
    // Types and names compare without regard to case, as on Windows.
    std::vector<UInt8> bytes;
    EXPECT_EQ(module.ReadResource(RSResourceKey::Named("mdid"), RSResourceKey::Number(32500), bytes), RSFileError::None);
    EXPECT_EQ(bytes.size(), 12u);
}

TEST_F(ModuleFile, MenuIconGroupsHoldOnePngEach)
{
    const std::pair<const char*, UInt16> groups[] = {{"I10001&96", 18}, {"I10001&192", 36}};
    for (const auto& [name, size] : groups) {
        RSIconGroup group;
        ASSERT_EQ(module.ReadIconGroup(RSResourceKey::Named(name), group), RSFileError::None) << name;
        ASSERT_EQ(group.images.size(), 1u) << name;
        const RSIconImage& image = group.images[0];
        EXPECT_TRUE(IsPng(image.bytes)) << name;
        EXPECT_EQ(image.width, size);
        EXPECT_EQ(image.height, size);
        EXPECT_EQ(image.bitCount, 32);
        const ImageHeader header = ReadImageHeader(image.bytes);
        EXPECT_EQ(header.width, size) << name;
        EXPECT_EQ(header.height, size) << name;
        EXPECT_EQ(header.bitCount, 32u) << name;
        // The directory as stored: reserved 0, type 1, one image of its size.
        ASSERT_EQ(group.directory.size(), 6u + 14u);
        EXPECT_EQ(std::vector<UInt8>(group.directory.begin(), group.directory.begin() + 8),
                  Bytes({0, 0, 1, 0, 1, 0, static_cast<UInt8>(size), static_cast<UInt8>(size)}));
    }
}

TEST_F(ModuleFile, ModuleIconGroupHoldsEightImagesOf32Bits)
{
    RSIconGroup group;
    ASSERT_EQ(module.ReadIconGroup(RSResourceKey::Number(1), group), RSFileError::None);
    const std::vector<UInt16> sizes{256, 256, 128, 96, 64, 48, 32, 16};
    ASSERT_EQ(group.images.size(), sizes.size());
    std::set<UInt16> ids;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const RSIconImage& image = group.images[i];
        EXPECT_EQ(image.width, sizes[i]) << "image " << i;
        EXPECT_EQ(image.height, sizes[i]) << "image " << i;
        EXPECT_EQ(image.bitCount, 32) << "image " << i;
        const ImageHeader header = ReadImageHeader(image.bytes);
        EXPECT_EQ(header.width, sizes[i]) << "image " << i;
        EXPECT_EQ(header.height, sizes[i]) << "image " << i;
        EXPECT_EQ(header.bitCount, 32u) << "image " << i;
        ids.insert(image.id);
    }
    EXPECT_EQ(ids.size(), sizes.size()) << "each image is a resource of its own";
    // A 256-pixel entry stores 0 as its width and height in the directory.
    EXPECT_EQ(group.directory[6], 0);
    EXPECT_EQ(group.directory[7], 0);
}

}  // namespace
