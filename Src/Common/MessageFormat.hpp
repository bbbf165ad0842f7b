// Finished report lines made from the patterns of Messages.hpp: each "{}" of the pattern takes the
// next argument.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

// One value for a "{}", made a host text at once: a host text as it stands, UTF-8 text, or a
// number in decimal.
struct MessageArgument {
    MessageArgument(const GS::UniString& text) : text(text) {}
    MessageArgument(const char* utf8) : text(utf8) {}
    MessageArgument(const std::string& utf8) : text(utf8.c_str()) {}
    MessageArgument(std::string_view utf8) : MessageArgument(std::string(utf8)) {}
    MessageArgument(std::integral auto number) : MessageArgument(std::to_string(number)) {}

    GS::UniString text;
};

// `pattern` with each "{}" replaced by the next argument; a "{}" without an argument stays as it is.
// Host texts go in unit for unit, so a name comes out exactly as the host gave it.
GS::UniString FormatLine(std::string_view pattern, std::initializer_list<MessageArgument> arguments);

// The local time now, formatted by strftime: "%Y-%m-%d %H:%M" gives "2026-12-09 14:05".
std::string LocalTimeText(const char* format);

// `one` when `count` is 1, else `many` with the count in its "{}": "1 value", "12 values".
GS::UniString CountedText(std::size_t count, const char* one, const char* many);

}  // namespace Quillmere
