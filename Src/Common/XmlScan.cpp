#include "XmlScan.hpp"

#include <cstring>

namespace Quillmere::XmlScan {

namespace {

std::size_t After(std::string_view text, std::size_t from, std::string_view close)
{
    const std::size_t found = text.find(close, from);
    return found == NotFound ? NotFound : found + close.size();
}

// A document type declaration: to its ">", past a "[...]" with nested brackets, as rapidxml reads it.
std::size_t EndOfDoctype(std::string_view text, std::size_t at)
{
    std::size_t brackets = 0;
    for (std::size_t i = at + 10; i < text.size(); ++i) {
        if (text[i] == '[')
            ++brackets;
        else if (text[i] == ']' && brackets > 0)
            --brackets;
        else if (text[i] == '>' && brackets == 0)
            return i + 1;
    }
    return NotFound;
}

}  // namespace

std::size_t EndOfTag(std::string_view text, std::size_t at)
{
    char quote = 0;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '>')
            return i + 1;
    }
    return NotFound;
}

std::size_t EndOfMarkup(std::string_view text, std::size_t at)
{
    if (StartsWith(text, at, "<?"))
        return After(text, at + 2, "?>");
    // Which "<!" it is takes up to ten characters to tell.
    const std::string_view start = text.substr(at, 10);
    for (const std::string_view opener : {"<!--", "<![CDATA[", "<!DOCTYPE "})
        if (start.size() < opener.size() && opener.substr(0, start.size()) == start)
            return NotFound;
    if (StartsWith(text, at, "<!--"))
        return After(text, at + 4, "-->");
    if (StartsWith(text, at, "<![CDATA["))
        return After(text, at + 9, "]]>");
    if (StartsWith(text, at, "<!DOCTYPE") && IsSpace(text[at + 9]))
        return EndOfDoctype(text, at);
    return After(text, at + 2, ">");
}

Markup KindAt(std::string_view text, std::size_t at)
{
    const char next = at + 1 < text.size() ? text[at + 1] : '\0';
    return next == '/' ? Markup::EndTag : next == '!' || next == '?' ? Markup::Other : Markup::StartTag;
}

std::size_t EndOfElement(std::string_view text, std::size_t at, std::size_t deepest, std::size_t* tooDeepAt)
{
    std::size_t depth = 0;
    for (std::size_t i = at; i < text.size();) {
        if (text[i] != '<') {
            const void* next = std::memchr(text.data() + i, '<', text.size() - i);
            if (next == nullptr)
                return NotFound;
            i = static_cast<std::size_t>(static_cast<const char*>(next) - text.data());
            continue;
        }
        if (i + 1 >= text.size())
            return NotFound;
        const Markup kind = KindAt(text, i);
        const std::size_t end = kind == Markup::Other ? EndOfMarkup(text, i) : EndOfTag(text, i);
        if (end == NotFound)
            return NotFound;
        if (kind == Markup::EndTag)
            --depth;
        else if (kind == Markup::StartTag && text[end - 2] != '/' && ++depth > deepest) {
            if (tooDeepAt != nullptr)
                *tooDeepAt = i;
            return TooDeep;
        }
        i = end;
        if (depth == 0)
            return i;
    }
    return NotFound;
}

}  // namespace Quillmere::XmlScan
