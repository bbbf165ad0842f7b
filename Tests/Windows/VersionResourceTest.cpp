// Quillmere.dll's version resource as Windows' version API reads it (what Explorer shows in the
// file's properties and installers compare): the numbers are the project's version, and the texts,
// found through the file's translation table, name the product and the file.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "WindowsTestSupport.hpp"

namespace {

// The file's whole version information block; empty when it has none.
std::vector<BYTE> ReadVersionBlock(const std::filesystem::path& file)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data()))
        return {};
    return block;
}

// The text at `path` in the block (e.g. \StringFileInfo\040904B0\ProductName); nullopt when absent.
std::optional<std::wstring> QueryText(std::vector<BYTE>& block, const std::wstring& path)
{
    void* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &text, &length) || text == nullptr)
        return std::nullopt;
    // The length counts the terminating NUL, when the text has one.
    std::wstring value(static_cast<const wchar_t*>(text), length);
    while (!value.empty() && value.back() == L'\0')
        value.pop_back();
    return value;
}

TEST(VersionResource, TheNumbersAreTheProjectVersionOfARetailDll)
{
    std::vector<BYTE> block = ReadVersionBlock(WinTests::ModuleFile());
    ASSERT_FALSE(block.empty()) << "Quillmere.dll has no version resource";

    void* data = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &data, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(data);
    EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);

    const DWORD expectedMs = MAKELONG(QM_EXPECTED_VERSION_MINOR, QM_EXPECTED_VERSION_MAJOR);
    const DWORD expectedLs = MAKELONG(QM_EXPECTED_VERSION_TWEAK, QM_EXPECTED_VERSION_PATCH);
    EXPECT_EQ(info->dwFileVersionMS, expectedMs);
    EXPECT_EQ(info->dwFileVersionLS, expectedLs);
    EXPECT_EQ(info->dwProductVersionMS, expectedMs);
    EXPECT_EQ(info->dwProductVersionLS, expectedLs);
    EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(info->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    // Neither a debug nor a pre-release or private build.
    EXPECT_EQ(info->dwFileFlags & info->dwFileFlagsMask, 0u);
}

TEST(VersionResource, TheTextsNameTheProductAndTheFileInTheTranslationTheFileLists)
{
    std::vector<BYTE> block = ReadVersionBlock(WinTests::ModuleFile());
    ASSERT_FALSE(block.empty()) << "Quillmere.dll has no version resource";

    // Readers look the texts up under the language and code page the translation table lists.
    void* data = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &data, &length));
    ASSERT_EQ(length, 4u) << "one translation";
    const WORD language = static_cast<const WORD*>(data)[0];
    const WORD codePage = static_cast<const WORD*>(data)[1];
    EXPECT_EQ(language, 0x0409);  // US English
    EXPECT_EQ(codePage, 1200);    // Unicode
    wchar_t table[32];
    std::swprintf(table, 32, L"\\StringFileInfo\\%04x%04x\\", language, codePage);

    const std::wstring version = WinTests::Wide(QM_EXPECTED_VERSION);
    EXPECT_EQ(QueryText(block, table + std::wstring(L"ProductName")), L"Quillmere");
    EXPECT_EQ(QueryText(block, table + std::wstring(L"FileVersion")), version);
    EXPECT_EQ(QueryText(block, table + std::wstring(L"ProductVersion")), version);
    EXPECT_EQ(QueryText(block, table + std::wstring(L"OriginalFilename")), L"Quillmere.dll");
    EXPECT_EQ(QueryText(block, table + std::wstring(L"InternalName")), L"Quillmere");
    const std::optional<std::wstring> description = QueryText(block, table + std::wstring(L"FileDescription"));
    ASSERT_TRUE(description.has_value());
    EXPECT_NE(description->find(L"Import IFC-SG Classifications and Properties"), std::wstring::npos)
        << WinTests::Utf8(*description);
    for (const wchar_t* key : {L"CompanyName", L"LegalCopyright"}) {
        const std::optional<std::wstring> text = QueryText(block, table + std::wstring(key));
        ASSERT_TRUE(text.has_value()) << WinTests::Utf8(key);
        EXPECT_FALSE(text->empty()) << WinTests::Utf8(key);
    }
    // No text is there that the description does not give.
    EXPECT_EQ(QueryText(block, table + std::wstring(L"PrivateBuild")), std::nullopt);
}

}  // namespace
