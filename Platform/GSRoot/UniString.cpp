#include "UniString.hpp"

#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "MemoryManager.hpp"
#include "UnicodeCodec.hpp"

namespace GS {

namespace {

// Returned by ToUStr for a string that holds no block.
constexpr char16_t EmptyUnits[1] = {0};

// A block of `count` units plus the terminator; throws when the platform allocator is exhausted.
char16_t* AllocateUnits(std::size_t count)
{
    if (count >= UniString::MaxUSize)
        throw std::length_error("GS::UniString: text too long");
    void* block = MemoryManager::Allocate((count + 1) * sizeof(char16_t));
    if (block == nullptr)
        throw std::bad_alloc();
    return static_cast<char16_t*>(block);
}

// Calls `emit` with each code point of the NUL-terminated UTF-8 `text`, bad bytes as U+FFFD.
template <typename Emit>
void DecodeUtf8Text(const char* text, std::size_t byteCount, Emit&& emit)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t used = 0;
    for (std::size_t at = 0; at < byteCount; at += used)
        emit(Unicode::DecodeUtf8(bytes + at, byteCount - at, used));
}

}  // namespace

UniString::CStr::CStr(CStr&& other) noexcept
    : bytes(std::exchange(other.bytes, nullptr)), length(std::exchange(other.length, 0))
{
}

UniString::CStr::~CStr()
{
    MemoryManager::Free(bytes);
}

// Every character code is read as UTF-8: the platform knows no other 8-bit encoding.
UniString::UniString(const char* text, GSCharCode /*charCode*/)
{
    *this = text;
}

UniString::UniString(const char16_t* units, USize count)
{
    Assign(units, count);
}

UniString::UniString(const UniString& other)
{
    Assign(other.data, other.length);
}

UniString::UniString(UniString&& other) noexcept
    : data(std::exchange(other.data, nullptr)),
      length(std::exchange(other.length, 0)),
      capacity(std::exchange(other.capacity, 0))
{
}

UniString::~UniString()
{
    Release();
}

UniString& UniString::operator=(const UniString& other)
{
    if (this != &other)
        Assign(other.data, other.length);
    return *this;
}

UniString& UniString::operator=(UniString&& other) noexcept
{
    if (this != &other) {
        Release();
        data = std::exchange(other.data, nullptr);
        length = std::exchange(other.length, 0);
        capacity = std::exchange(other.capacity, 0);
    }
    return *this;
}

UniString& UniString::operator=(const char* text)
{
    const std::size_t byteCount = text == nullptr ? 0 : std::strlen(text);
    std::size_t unitCount = 0;
    DecodeUtf8Text(text, byteCount, [&](char32_t codePoint) { unitCount += Unicode::Utf16Size(codePoint); });
    if (unitCount == 0) {
        length = 0;
        if (data != nullptr)
            data[0] = 0;
        return *this;
    }

    // Decode into a fresh block first, so that `text` may lie inside this string's own bytes and a
    // failed allocation leaves the string as it was.
    char16_t* units = AllocateUnits(unitCount);
    char16_t* out = units;
    DecodeUtf8Text(text, byteCount, [&](char32_t codePoint) { out += Unicode::EncodeUtf16(codePoint, out); });
    *out = 0;
    Release();
    data = units;
    length = capacity = static_cast<USize>(unitCount);
    return *this;
}

const char16_t* UniString::ToUStr() const noexcept
{
    return data != nullptr ? data : EmptyUnits;
}

UniString::CStr UniString::ToCStr(USize from, USize range, GSCharCode /*charCode*/) const
{
    const USize begin = from < length ? from : length;
    const USize end = range < length - begin ? begin + range : length;

    std::size_t byteCount = 0;
    std::size_t used = 0;
    for (USize at = begin; at < end; at += static_cast<USize>(used))
        byteCount += Unicode::Utf8Size(Unicode::DecodeUtf16(data + at, end - at, used));
    if (byteCount >= MaxUSize)
        throw std::length_error("GS::UniString::ToCStr: text too long");

    auto* bytes = static_cast<char*>(MemoryManager::Allocate(byteCount + 1));
    if (bytes == nullptr)
        throw std::bad_alloc();
    char* out = bytes;
    for (USize at = begin; at < end; at += static_cast<USize>(used))
        out += Unicode::EncodeUtf8(Unicode::DecodeUtf16(data + at, end - at, used), out);
    *out = '\0';
    return CStr(bytes, static_cast<USize>(byteCount));
}

UniString& UniString::Append(const UniString& other)
{
    if (other.length == 0)
        return *this;
    if (other.length >= MaxUSize - length)
        throw std::length_error("GS::UniString::Append: text too long");
    const USize joinedLength = length + other.length;
    if (joinedLength <= capacity) {
        // Also right when `other` is this string: its units are not overwritten.
        std::memcpy(data + length, other.data, other.length * sizeof(char16_t));
    } else {
        USize grown = capacity < MaxUSize / 2 ? capacity * 2 : MaxUSize - 1;
        if (grown < joinedLength)
            grown = joinedLength;
        char16_t* units = AllocateUnits(grown);
        if (length != 0)
            std::memcpy(units, data, length * sizeof(char16_t));
        std::memcpy(units + length, other.data, other.length * sizeof(char16_t));
        MemoryManager::Free(data);
        data = units;
        capacity = grown;
    }
    length = joinedLength;
    data[length] = 0;
    return *this;
}

bool UniString::operator<(const UniString& other) const noexcept
{
    const USize common = length < other.length ? length : other.length;
    for (USize i = 0; i < common; ++i) {
        if (data[i] != other.data[i])
            return data[i] < other.data[i];
    }
    return length < other.length;
}

bool UniString::operator==(const UniString& other) const noexcept
{
    return length == other.length &&
           (length == 0 || std::memcmp(data, other.data, length * sizeof(char16_t)) == 0);
}

void UniString::Assign(const char16_t* units, USize count)
{
    if (count == 0) {
        length = 0;
        if (data != nullptr)
            data[0] = 0;
        return;
    }
    if (count > capacity) {
        char16_t* grown = AllocateUnits(count);
        std::memcpy(grown, units, count * sizeof(char16_t));
        Release();
        data = grown;
        capacity = count;
    } else {
        std::memmove(data, units, count * sizeof(char16_t));
    }
    length = count;
    data[length] = 0;
}

void UniString::Release() noexcept
{
    MemoryManager::Free(data);
    data = nullptr;
    length = 0;
    capacity = 0;
}

}  // namespace GS
