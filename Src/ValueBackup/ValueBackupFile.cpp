#include "ValueBackupFile.hpp"

#include <cstdlib>
#include <new>

namespace {

// The fixed part of the path, in the host's form; turned into this system's form in one place.
constexpr const char* BackupFileSuffix = "\\Documents\\IFC_SG_Properties.xml";

std::string ToSystemSeparators(std::string path)
{
#if !defined(_WIN32)
    for (char& c : path)
        if (c == '\\')
            c = '/';
#endif
    return path;
}

void* AllocatePoolBlock(std::size_t bytes)
{
    void* block = GS::MemoryManager::Allocate(bytes);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void FreePoolBlock(void* block)
{
    GS::MemoryManager::Free(block);
}

// Decodes one UTF-8 sequence at `text[at]`; the writer only ever sees valid UTF-8, so a bad
// sequence simply gives a code point that no name may hold.
char32_t DecodeUtf8(std::string_view text, std::size_t& at)
{
    const unsigned char lead = static_cast<unsigned char>(text[at++]);
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (lead >= 0x80 && extra == 0)
        return 0xFFFFFFFF;
    char32_t code = extra == 3 ? lead & 0x07 : extra == 2 ? lead & 0x0F : extra == 1 ? lead & 0x1F : lead;
    for (; extra > 0; --extra) {
        if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80)
            return 0xFFFFFFFF;
        code = (code << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
    }
    return code;
}

bool InRange(char32_t c, char32_t low, char32_t high)
{
    return c >= low && c <= high;
}

// XML's name start characters, without the colon, which would make the name a namespace prefix.
bool IsNameStartChar(char32_t c)
{
    return InRange(c, 'A', 'Z') || InRange(c, 'a', 'z') || c == '_' || InRange(c, 0xC0, 0xD6) ||
           InRange(c, 0xD8, 0xF6) || InRange(c, 0xF8, 0x2FF) || InRange(c, 0x370, 0x37D) ||
           InRange(c, 0x37F, 0x1FFF) || InRange(c, 0x200C, 0x200D) || InRange(c, 0x2070, 0x218F) ||
           InRange(c, 0x2C00, 0x2FEF) || InRange(c, 0x3001, 0xD7FF) || InRange(c, 0xF900, 0xFDCF) ||
           InRange(c, 0xFDF0, 0xFFFD) || InRange(c, 0x10000, 0xEFFFF);
}

bool IsNameChar(char32_t c)
{
    return IsNameStartChar(c) || c == '-' || c == '.' || InRange(c, '0', '9') || c == 0xB7 ||
           InRange(c, 0x300, 0x36F) || InRange(c, 0x203F, 0x2040);
}

}  // namespace

std::optional<std::string> BackupFilePath()
{
    const char* profile = std::getenv("USERPROFILE");
    if (profile == nullptr)
        return std::nullopt;
    return std::string(profile) + ToSystemSeparators(BackupFileSuffix);
}

std::string MakeValueKey(const GS::UniString& groupName, const GS::UniString& definitionName)
{
    const GS::UniString::CStr group = groupName.ToCStr();
    const GS::UniString::CStr definition = definitionName.ToCStr();
    std::string key(group.Get(), group.GetLength());
    key += '-';
    key.append(definition.Get(), definition.GetLength());
    return key;
}

bool IsXmlName(std::string_view name)
{
    if (name.empty())
        return false;
    std::size_t at = 0;
    if (!IsNameStartChar(DecodeUtf8(name, at)))
        return false;
    while (at < name.size())
        if (!IsNameChar(DecodeUtf8(name, at)))
            return false;
    return true;
}

const char* ValueTypeName(Int32 valueType)
{
    switch (valueType) {
        case 0: return "Undefined";
        case 1: return "Integer";
        case 2: return "Real";
        case 3: return "String";
        case 4: return "Boolean";
        default: return "";
    }
}

const char* MeasureTypeName(Int32 measureType)
{
    switch (measureType) {
        case 1: return "Default";
        case 2: return "Length";
        case 3: return "Area";
        case 4: return "Volume";
        case 5: return "Angle";
        default: return "";
    }
}

BackupDocument::BackupDocument()
{
    set_allocator(&AllocatePoolBlock, &FreePoolBlock);
}
