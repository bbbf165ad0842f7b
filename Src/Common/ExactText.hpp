// The 8-bit form in which the add-on keeps host texts (names, string values): UTF-8, except that a
// lone surrogate, which UTF-8 cannot hold, keeps its three-byte form. Text that goes out this way
// comes back as the same units, where the platform's own conversion would replace such a unit.
#pragma once

#include <string>
#include <string_view>

#include "GSRoot/GSRoot.hpp"
#include "GSRoot/UnicodeCodec.hpp"

namespace Quillmere {

// Appends the 8-bit form of `text` to `out`.
inline void AppendExactUtf8(std::string& out, const GS::UniString& text)
{
    GS::Unicode::AppendUtf16AsUtf8(out, text.ToUStr(), text.GetLength(), GS::Unicode::Surrogates::Keep);
}

// The 8-bit form of `text`.
inline std::string ExactUtf8(const GS::UniString& text)
{
    std::string bytes;
    bytes.reserve(text.GetLength());
    AppendExactUtf8(bytes, text);
    return bytes;
}

// The host text of the 8-bit form `bytes`; a byte outside any sequence becomes U+FFFD. `scratch` is
// working space that a caller may reuse.
inline GS::UniString ExactUtf8ToUniString(std::string_view bytes, std::u16string& scratch)
{
    scratch.clear();
    GS::Unicode::AppendUtf8AsUtf16(scratch, bytes.data(), bytes.size(), GS::Unicode::Surrogates::Keep);
    return GS::UniString(scratch.data(), static_cast<USize>(scratch.size()));
}

}  // namespace Quillmere
