// GS::Guid: a 128-bit identifier with the text form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX.
#pragma once

#include "../PlatformExport.hpp"
#include "GSTypes.hpp"
#include "UniString.hpp"

namespace GS {

class PLATFORM_API Guid {
public:
    Guid() noexcept = default;  // the nil GUID
    Guid(UInt32 data1, UInt16 data2, UInt16 data3, const UInt8 (&data4)[8]) noexcept;
    // Parses the text form in either letter case; any other text gives the nil GUID.
    explicit Guid(const char* text) noexcept;
    explicit Guid(const UniString& text) noexcept;

    // The text form, upper-case hexadecimal.
    UniString ConvertToString() const;

    bool IsNull() const noexcept;
    bool operator==(const Guid& other) const noexcept;
    bool operator!=(const Guid& other) const noexcept { return !(*this == other); }
    bool operator<(const Guid& other) const noexcept;

    UInt32 data1 = 0;
    UInt16 data2 = 0;
    UInt16 data3 = 0;
    UInt8 data4[8] = {};
};

static_assert(sizeof(Guid) == 16);

}  // namespace GS
