#include "Guid.hpp"

#include <cstdio>
#include <cstring>

namespace GS {

namespace {

constexpr USize TextLength = 36;

// The value of one hexadecimal digit in either case, or -1.
int HexDigitValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads `digits` hexadecimal digits at `text`; false when one is not a digit.
bool ReadHex(const char* text, int digits, UInt64& value) noexcept
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<UInt64>(digit);
    }
    return true;
}

// Parses the 36 characters at `text` into `guid`; false (and `guid` untouched) on any deviation.
bool ParseText(const char* text, Guid& guid) noexcept
{
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return false;
    UInt64 data1 = 0, data2 = 0, data3 = 0, clock = 0, node = 0;
    if (!ReadHex(text, 8, data1) || !ReadHex(text + 9, 4, data2) || !ReadHex(text + 14, 4, data3) ||
        !ReadHex(text + 19, 4, clock) || !ReadHex(text + 24, 12, node))
        return false;
    guid.data1 = static_cast<UInt32>(data1);
    guid.data2 = static_cast<UInt16>(data2);
    guid.data3 = static_cast<UInt16>(data3);
    guid.data4[0] = static_cast<UInt8>(clock >> 8);
    guid.data4[1] = static_cast<UInt8>(clock);
    for (int i = 0; i < 6; ++i)
        guid.data4[2 + i] = static_cast<UInt8>(node >> (8 * (5 - i)));
    return true;
}

}  // namespace

Guid::Guid(UInt32 data1, UInt16 data2, UInt16 data3, const UInt8 (&data4)[8]) noexcept
    : data1(data1), data2(data2), data3(data3)
{
    std::memcpy(this->data4, data4, sizeof(this->data4));
}

Guid::Guid(const char* text) noexcept
{
    if (text == nullptr)
        return;
    // Exactly 36 characters: look no further than one past them.
    USize length = 0;
    while (length <= TextLength && text[length] != '\0')
        ++length;
    if (length == TextLength)
        ParseText(text, *this);
}

Guid::Guid(const UniString& text) noexcept
{
    if (text.GetLength() != TextLength)
        return;
    char narrow[TextLength + 1] = {};
    const char16_t* units = text.ToUStr();
    for (USize i = 0; i < TextLength; ++i) {
        if (units[i] == 0 || units[i] > 0x7F)
            return;
        narrow[i] = static_cast<char>(units[i]);
    }
    ParseText(narrow, *this);
}

UniString Guid::ConvertToString() const
{
    char text[TextLength + 1];
    std::snprintf(text, sizeof(text), "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(data1), static_cast<unsigned>(data2), static_cast<unsigned>(data3),
                  data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
    return UniString(text);
}

bool Guid::IsNull() const noexcept
{
    return *this == Guid();
}

bool Guid::operator==(const Guid& other) const noexcept
{
    return data1 == other.data1 && data2 == other.data2 && data3 == other.data3 &&
           std::memcmp(data4, other.data4, sizeof(data4)) == 0;
}

bool Guid::operator<(const Guid& other) const noexcept
{
    if (data1 != other.data1)
        return data1 < other.data1;
    if (data2 != other.data2)
        return data2 < other.data2;
    if (data3 != other.data3)
        return data3 < other.data3;
    return std::memcmp(data4, other.data4, sizeof(data4)) < 0;
}

}  // namespace GS
