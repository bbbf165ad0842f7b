// UTF-8 and UTF-16 coding steps: the one decoder and encoder of each form, shared by the
// platform's own sources (UniString, the POSIX dialog), the module and the test host. Header-only
// and strict: whatever is not a valid shortest-form scalar value becomes U+FFFD.
#pragma once

#include <cstddef>
#include <string>

namespace GS::Unicode {

constexpr char32_t ReplacementCharacter = 0xFFFD;

constexpr bool IsHighSurrogate(char32_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Whether a surrogate code point (U+D800 to U+DFFF) passes through a conversion as it is. Text
// must refuse them (they are not characters); the module keeps them where a lone surrogate of a
// UTF-16 string has to survive a round trip through 8-bit text.
enum class Surrogates { Replace, Keep };

// Decodes the UTF-8 sequence at the start of `bytes` (`available` > 0 bytes readable). Sets `used`
// to the bytes it spans and returns its code point. A byte that does not start a complete, valid,
// shortest-form sequence of a scalar value up to U+10FFFF gives U+FFFD with `used` 1, so every
// such byte becomes one replacement character. With Surrogates::Keep the three-byte form of a
// surrogate code point is taken as that code point.
inline char32_t DecodeUtf8(const unsigned char* bytes, std::size_t available, std::size_t& used,
                           Surrogates surrogates = Surrogates::Replace) noexcept
{
    const unsigned char lead = bytes[0];
    used = 1;
    if (lead < 0x80)
        return lead;

    std::size_t size = 0;
    char32_t codePoint = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2, codePoint = lead & 0x1Fu, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3, codePoint = lead & 0x0Fu, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4, codePoint = lead & 0x07u, smallest = 0x10000;
    } else {
        return ReplacementCharacter;  // continuation byte, C0/C1 (always overlong) or F5..FF
    }
    if (available < size)
        return ReplacementCharacter;
    for (std::size_t i = 1; i < size; ++i) {
        if ((bytes[i] & 0xC0u) != 0x80u)
            return ReplacementCharacter;
        codePoint = (codePoint << 6) | (bytes[i] & 0x3Fu);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF && surrogates == Surrogates::Replace))
        return ReplacementCharacter;
    used = size;
    return codePoint;
}

// Number of UTF-16 units of a scalar value.
constexpr std::size_t Utf16Size(char32_t codePoint) noexcept { return codePoint >= 0x10000 ? 2 : 1; }

// Writes `codePoint` as one unit or a surrogate pair; returns the units written.
inline std::size_t EncodeUtf16(char32_t codePoint, char16_t* out) noexcept
{
    if (codePoint < 0x10000) {
        out[0] = static_cast<char16_t>(codePoint);
        return 1;
    }
    codePoint -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (codePoint >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    return 2;
}

// Reads the code point of the UTF-16 units at `units[0]` (`available` > 0 units). A surrogate
// pair gives its supplementary character (`used` 2); a lone surrogate gives U+FFFD (`used` 1), or
// itself with Surrogates::Keep.
inline char32_t DecodeUtf16(const char16_t* units, std::size_t available, std::size_t& used,
                            Surrogates surrogates = Surrogates::Replace) noexcept
{
    const char32_t first = units[0];
    used = 1;
    if (IsHighSurrogate(first) && available >= 2 && IsLowSurrogate(units[1])) {
        used = 2;
        return 0x10000 + ((first - 0xD800) << 10) + (units[1] - 0xDC00);
    }
    if ((IsHighSurrogate(first) || IsLowSurrogate(first)) && surrogates == Surrogates::Replace)
        return ReplacementCharacter;
    return first;
}

// Number of UTF-8 bytes of a scalar value.
constexpr std::size_t Utf8Size(char32_t codePoint) noexcept
{
    return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}

// Writes `codePoint` in UTF-8; returns the bytes written (at most 4).
inline std::size_t EncodeUtf8(char32_t codePoint, char* out) noexcept
{
    if (codePoint < 0x80) {
        out[0] = static_cast<char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = static_cast<char>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (codePoint >> 18));
    out[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 4;
}

// Appends the UTF-8 form of `count` UTF-16 units to `text` (any string type of char); a lone
// surrogate becomes U+FFFD, or its three-byte form with Surrogates::Keep.
template <typename String>
void AppendUtf16AsUtf8(String& text, const char16_t* units, std::size_t count,
                       Surrogates surrogates = Surrogates::Replace)
{
    char bytes[4];
    std::size_t used = 0;
    for (std::size_t at = 0; at < count; at += used) {
        if (units[at] < 0x80) {
            text.push_back(static_cast<char>(units[at]));
            used = 1;
            continue;
        }
        text.append(bytes, EncodeUtf8(DecodeUtf16(units + at, count - at, used, surrogates), bytes));
    }
}

// Appends the UTF-16 form of `count` bytes of UTF-8 to `units` (any string type of char16_t); a
// byte outside any valid sequence becomes U+FFFD, a surrogate's three-byte form too unless
// Surrogates::Keep.
template <typename String>
void AppendUtf8AsUtf16(String& units, const char* text, std::size_t count, Surrogates surrogates = Surrogates::Replace)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    char16_t pair[2];
    std::size_t used = 0;
    for (std::size_t at = 0; at < count; at += used) {
        if (bytes[at] < 0x80) {
            units.push_back(static_cast<char16_t>(bytes[at]));
            used = 1;
            continue;
        }
        units.append(pair, EncodeUtf16(DecodeUtf8(bytes + at, count - at, used, surrogates), pair));
    }
}

// The UTF-8 form of `count` UTF-16 units; a lone surrogate becomes U+FFFD.
inline std::string ConvertUtf16ToUtf8(const char16_t* units, std::size_t count)
{
    std::string text;
    text.reserve(count);
    AppendUtf16AsUtf8(text, units, count);
    return text;
}

// The UTF-16 form of `count` bytes of UTF-8; a byte outside any valid sequence becomes U+FFFD.
inline std::u16string ConvertUtf8ToUtf16(const char* text, std::size_t count)
{
    std::u16string units;
    units.reserve(count);
    AppendUtf8AsUtf16(units, text, count);
    return units;
}

}  // namespace GS::Unicode
