// The XML text the program reads and writes: which characters XML allows, and names written into
// attribute values and comments so that they read back as they were.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace RenameProposal {

// The length of the well-formed UTF-8 sequence at `text[at]` (1 to 4 bytes, the shortest form, at
// most U+10FFFF), with its code point in `code`; 0 when the byte there starts no such sequence.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, char32_t& code);

// The offset of the first byte in `text` that starts no well-formed UTF-8 sequence or a character
// that XML 1.0 does not allow (a control character other than tab and line ends, a surrogate,
// U+FFFE, U+FFFF); std::string_view::npos when there is none. `reason` receives which of the two.
std::size_t FirstNonXmlCharacter(std::string_view text, const char*& reason);

// `text` as the value of an attribute in double quotes: "&", "<", ">" and '"' as entity references,
// tab, line feed and carriage return as character references, so that a reader gives back the same
// characters (attribute values' white space is otherwise read as blanks).
std::string AttributeText(std::string_view text);

// `text` made fit to stand between "<!-- " and " -->": a "-" that follows another "-" becomes the
// character reference "&#45;" (inside an attribute value it then reads back as "-"); nothing else
// changes.
std::string CommentText(std::string_view text);

}  // namespace RenameProposal
