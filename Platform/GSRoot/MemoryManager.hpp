// The platform allocator. Every GS:: type, the module's own heap and rapidxml's pool draw from it,
// so a block made on one side of the host/module boundary can be released on the other.
#pragma once

#include <cstddef>

#include "../PlatformExport.hpp"
#include "GSTypes.hpp"

namespace GS {

class PLATFORM_API MemoryManager {
public:
    // Returns a block aligned for any fundamental type, or nullptr when memory is exhausted.
    // A request of 0 bytes gives a valid, distinct block.
    static void* Allocate(std::size_t bytes) noexcept;
    // Releases a block from Allocate; nullptr is ignored.
    static void Free(void* block) noexcept;

    // Blocks and bytes handed out and not yet released, over the whole process.
    static std::size_t LiveBlocks() noexcept;
    static std::size_t LiveBytes() noexcept;
    // The highest LiveBytes() since the process started or the last ResetPeakLiveBytes(), which
    // sets it to the live bytes of the moment; for measuring what a piece of work adds at its peak.
    static std::size_t PeakLiveBytes() noexcept;
    static void ResetPeakLiveBytes() noexcept;

    // Makes Allocate fail (return nullptr) whenever the live bytes would exceed `limit`, so that
    // tests can exhaust memory on purpose; SIZE_MAX, the initial value, means no limit. Returns
    // the previous limit.
    static std::size_t SetLiveBytesLimit(std::size_t limit) noexcept;

    // Calls of Allocate so far over the whole process, the failed ones included.
    static std::size_t AllocationCount() noexcept;
    // Makes the `nth` call of Allocate from now on (1: the next one) fail, and with `andLater`
    // every call after it too, as memory running out at that point would; 0 switches it off.
    static void FailAllocation(std::size_t nth, bool andLater) noexcept;
};

// Standard-library allocator over MemoryManager.
template <typename T>
struct Allocator {
    using value_type = T;
    Allocator() noexcept = default;
    template <typename U>
    Allocator(const Allocator<U>&) noexcept {}
    T* allocate(std::size_t n);
    void deallocate(T* p, std::size_t) noexcept { MemoryManager::Free(p); }
    template <typename U>
    bool operator==(const Allocator<U>&) const noexcept { return true; }
};

}  // namespace GS

#include <new>

template <typename T>
T* GS::Allocator<T>::allocate(std::size_t n)
{
    if (n > static_cast<std::size_t>(-1) / sizeof(T))
        throw std::bad_array_new_length();
    void* p = MemoryManager::Allocate(n * sizeof(T));
    if (p == nullptr)
        throw std::bad_alloc();
    return static_cast<T*>(p);
}
