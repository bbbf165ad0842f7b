// Hashing of host identifiers, for the per-run look-up tables of the phases.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Api/Api.hpp"

namespace Quillmere {

struct GuidHash {
    std::size_t operator()(const API_Guid& guid) const noexcept
    {
        std::uint64_t low = 0;
        std::memcpy(&low, guid.data4, sizeof low);
        std::uint64_t x = low ^ ((std::uint64_t{guid.data1} << 32) | (std::uint64_t{guid.data2} << 16) | guid.data3);
        // The finalizer of splitmix64: every bit of the identifier reaches every bit of the hash.
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::size_t>(x ^ (x >> 31));
    }
};

}  // namespace Quillmere
