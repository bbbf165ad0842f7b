// GS::UniString: the platform's Unicode text, stored as UTF-16 in a block of GS::MemoryManager.
// 16 bytes in size: the host's environment record embeds two of them.
#pragma once

#include "../PlatformExport.hpp"
#include "GSTypes.hpp"

namespace GS {

class PLATFORM_API UniString {
public:
    static constexpr USize MaxUSize = 0xFFFFFFFFu;

    // 8-bit text converted back out of a UniString; owns its NUL-terminated bytes.
    class PLATFORM_API CStr {
    public:
        CStr(const CStr&) = delete;
        CStr& operator=(const CStr&) = delete;
        CStr(CStr&& other) noexcept;
        ~CStr();
        const char* Get() const noexcept { return bytes; }
        USize GetLength() const noexcept { return length; }
    private:
        friend class UniString;
        CStr(char* bytes, USize length) noexcept : bytes(bytes), length(length) {}
        char* bytes;
        USize length;
    };

    UniString() noexcept = default;
    // From NUL-terminated 8-bit text; with CC_Default the text is UTF-8 and every byte that is not
    // part of a valid UTF-8 sequence becomes U+FFFD. nullptr gives the empty string.
    UniString(const char* text, GSCharCode charCode = CC_Default);
    // From UTF-16 units; the count excludes any terminator.
    UniString(const char16_t* units, USize count);
    UniString(const UniString& other);
    UniString(UniString&& other) noexcept;
    ~UniString();

    UniString& operator=(const UniString& other);
    UniString& operator=(UniString&& other) noexcept;
    UniString& operator=(const char* text);  // same conversion as the constructor, CC_Default

    USize GetLength() const noexcept { return length; }
    bool IsEmpty() const noexcept { return length == 0; }
    // UTF-16 units, NUL-terminated; never nullptr.
    const char16_t* ToUStr() const noexcept;

    // The 8-bit form of `range` units starting at `from` (clamped to the string). With CC_Default
    // the result is UTF-8; a lone surrogate becomes U+FFFD.
    CStr ToCStr(USize from = 0, USize range = MaxUSize, GSCharCode charCode = CC_Default) const;

    UniString& Append(const UniString& other);
    UniString& operator+=(const UniString& other) { return Append(other); }
    friend UniString operator+(const UniString& left, const UniString& right)
    {
        UniString joined(left);
        joined.Append(right);
        return joined;
    }

    // Ordering and equality by UTF-16 units (so case-sensitive).
    bool operator<(const UniString& other) const noexcept;
    bool operator==(const UniString& other) const noexcept;
    bool operator!=(const UniString& other) const noexcept { return !(*this == other); }

private:
    void Assign(const char16_t* units, USize count);
    void Release() noexcept;

    char16_t* data = nullptr;
    USize length = 0;
    USize capacity = 0;
};

static_assert(sizeof(UniString) <= 16, "the host's environment record holds UniStrings 16 bytes apart");

}  // namespace GS
