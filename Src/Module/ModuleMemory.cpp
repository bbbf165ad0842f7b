// The module's heap: operator new and delete of the module draw from the platform allocator, so the
// module's containers and strings live in GS::MemoryManager like the platform's own types, and the
// host can count what the module leaves behind. Built into the module file only; the add-on
// library's unit tests keep the ordinary heap.
//
// Only the plain and the aligned forms are replaced: the standard library's array, sized and
// nothrow forms call these by definition, and so draw from the same heap.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "GSRoot/MemoryManager.hpp"

void* operator new(std::size_t bytes)
{
    for (;;) {
        if (void* block = GS::MemoryManager::Allocate(bytes))
            return block;
        // No room: the new-handler may make some, and otherwise the request fails.
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr)
            throw std::bad_alloc();
        handler();
    }
}

void operator delete(void* block) noexcept
{
    GS::MemoryManager::Free(block);
}

// Replaced together with the plain delete, as GCC asks (-Wsized-deallocation).
void operator delete(void* block, std::size_t) noexcept
{
    GS::MemoryManager::Free(block);
}

// An over-aligned block is carved out of a larger plain one; the plain block's address sits in the
// word just below the aligned address, where the aligned delete finds it.
void* operator new(std::size_t bytes, std::align_val_t alignment)
{
    const std::size_t align = std::max(static_cast<std::size_t>(alignment), alignof(void*));
    if (bytes > SIZE_MAX - align - sizeof(void*))
        throw std::bad_alloc();
    void* plain = ::operator new(bytes + align + sizeof(void*));
    void* aligned = static_cast<char*>(plain) + sizeof(void*);
    std::size_t space = bytes + align;
    std::align(align, bytes, aligned, space);
    std::memcpy(static_cast<char*>(aligned) - sizeof(void*), &plain, sizeof plain);
    return aligned;
}

void operator delete(void* block, std::align_val_t) noexcept
{
    if (block == nullptr)
        return;
    void* plain = nullptr;
    std::memcpy(&plain, static_cast<char*>(block) - sizeof(void*), sizeof plain);
    GS::MemoryManager::Free(plain);
}
