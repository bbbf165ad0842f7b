#include "XmlName.hpp"

#include "GSRoot/UnicodeCodec.hpp"

namespace Quillmere {

namespace {

bool InRange(char32_t c, char32_t low, char32_t high)
{
    return c >= low && c <= high;
}

bool IsNameStartChar(char32_t c)
{
    return InRange(c, 'A', 'Z') || InRange(c, 'a', 'z') || c == '_' || c == ':' || InRange(c, 0xC0, 0xD6) ||
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

bool IsXmlName(std::string_view name)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
    std::size_t used = 0;
    for (std::size_t at = 0; at < name.size(); at += used) {
        const char32_t c = GS::Unicode::DecodeUtf8(bytes + at, name.size() - at, used, GS::Unicode::Surrogates::Keep);
        // A byte that is not UTF-8 decodes as U+FFFD, which names may hold; it may not stand in one.
        const bool invalid = c == GS::Unicode::ReplacementCharacter && used == 1;
        if (invalid || !(at == 0 ? IsNameStartChar(c) : IsNameChar(c)))
            return false;
    }
    return !name.empty();
}

}  // namespace Quillmere
