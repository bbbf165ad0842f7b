// Fixed-width integer names and the error code type shared by the host, the platform and the module.
#pragma once

#include <cstdint>

using Int8 = std::int8_t;
using UInt8 = std::uint8_t;
using Int16 = std::int16_t;
using UInt16 = std::uint16_t;
using Int32 = std::int32_t;
using UInt32 = std::uint32_t;
using Int64 = std::int64_t;
using UInt64 = std::uint64_t;
using USize = std::uint32_t;

// Errors travel as 32-bit codes; 0 is success.
using GSErrCode = Int32;
constexpr GSErrCode NoError = 0;

// Character code of 8-bit text. 0 is UTF-8 on this platform.
using GSCharCode = Int32;
constexpr GSCharCode CC_Default = 0;
