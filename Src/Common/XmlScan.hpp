// Where XML markup ends, as rapidxml reads it, found without parsing: for taking a text apart before
// rapidxml parses the pieces, and for counting how deep elements nest before rapidxml, which
// descends one call per level, is let at a text.
#pragma once

#include <cstddef>
#include <string_view>

namespace Quillmere::XmlScan {

constexpr std::size_t NotFound = std::string_view::npos;

// XML's white space.
inline bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Whether `prefix` stands in `text` at `at`.
inline bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix)
{
    return text.compare(at, prefix.size(), prefix) == 0;
}

// The end (just past its ">") of the start or end tag that begins at `at` (its "<"), past quoted
// attribute values; NotFound when the text ends first.
std::size_t EndOfTag(std::string_view text, std::size_t at);

// The end of the markup that begins at `at` with "<!" or "<?": a comment, a processing instruction,
// a CDATA section, a document type declaration (with its bracketed subset) or any other "<!...>".
// NotFound when the text ends first, or too soon to tell which it is.
std::size_t EndOfMarkup(std::string_view text, std::size_t at);

// What begins at `at` ("<" and the character after it).
enum class Markup { StartTag, EndTag, Other };
Markup KindAt(std::string_view text, std::size_t at);

// The end of the element whose start tag begins at `at`, with everything in it; NotFound when the
// text ends first, TooDeep when elements in it nest deeper than `deepest` (`tooDeepAt`, when given,
// then receives where the first such element starts).
constexpr std::size_t TooDeep = NotFound - 1;
std::size_t EndOfElement(std::string_view text, std::size_t at, std::size_t deepest, std::size_t* tooDeepAt = nullptr);

}  // namespace Quillmere::XmlScan
