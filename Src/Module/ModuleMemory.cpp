// The module's heap: every form of operator new and delete of the module draws from the platform
// allocator, so the module's containers and strings live in GS::MemoryManager like the platform's
// own types, and the host can count what the module leaves behind. Built into the module file
// only; the add-on library's unit tests keep the ordinary heap.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "GSRoot/MemoryManager.hpp"

namespace {

// Allocates `bytes`, calling the new-handler while it can make room; throws std::bad_alloc when
// there is none.
void* AllocateOrThrow(std::size_t bytes)
{
    for (;;) {
        if (void* block = GS::MemoryManager::Allocate(bytes))
            return block;
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr)
            throw std::bad_alloc();
        handler();
    }
}

// An over-aligned block is carved out of a larger plain one; the plain block's address sits in the
// word just below the aligned address, where FreeAligned finds it.
void* AllocateAlignedOrThrow(std::size_t bytes, std::align_val_t alignment)
{
    const std::size_t align = std::max(static_cast<std::size_t>(alignment), alignof(void*));
    if (bytes > SIZE_MAX - align - sizeof(void*))
        throw std::bad_alloc();
    void* plain = AllocateOrThrow(bytes + align + sizeof(void*));
    void* aligned = static_cast<char*>(plain) + sizeof(void*);
    std::size_t space = bytes + align;
    std::align(align, bytes, aligned, space);
    std::memcpy(static_cast<char*>(aligned) - sizeof(void*), &plain, sizeof plain);
    return aligned;
}

// `allocate` (AllocateOrThrow or AllocateAlignedOrThrow) with nullptr in place of the exception.
template <typename... Alignment>
void* AllocateOrNull(void* (*allocate)(std::size_t, Alignment...), std::size_t bytes, Alignment... alignment) noexcept
{
    try {
        return allocate(bytes, alignment...);
    } catch (...) {
        return nullptr;
    }
}

void FreeAligned(void* block) noexcept
{
    if (block == nullptr)
        return;
    void* plain = nullptr;
    std::memcpy(&plain, static_cast<char*>(block) - sizeof(void*), sizeof plain);
    GS::MemoryManager::Free(plain);
}

}  // namespace

void* operator new(std::size_t bytes)
{
    return AllocateOrThrow(bytes);
}

void* operator new[](std::size_t bytes)
{
    return AllocateOrThrow(bytes);
}

void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(&AllocateOrThrow, bytes);
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(&AllocateOrThrow, bytes);
}

void* operator new(std::size_t bytes, std::align_val_t alignment)
{
    return AllocateAlignedOrThrow(bytes, alignment);
}

void* operator new[](std::size_t bytes, std::align_val_t alignment)
{
    return AllocateAlignedOrThrow(bytes, alignment);
}

void* operator new(std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(&AllocateAlignedOrThrow, bytes, alignment);
}

void* operator new[](std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(&AllocateAlignedOrThrow, bytes, alignment);
}

void operator delete(void* block) noexcept
{
    GS::MemoryManager::Free(block);
}

void operator delete[](void* block) noexcept
{
    GS::MemoryManager::Free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    GS::MemoryManager::Free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    GS::MemoryManager::Free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    GS::MemoryManager::Free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    GS::MemoryManager::Free(block);
}

void operator delete(void* block, std::align_val_t) noexcept
{
    FreeAligned(block);
}

void operator delete[](void* block, std::align_val_t) noexcept
{
    FreeAligned(block);
}

void operator delete(void* block, std::size_t, std::align_val_t) noexcept
{
    FreeAligned(block);
}

void operator delete[](void* block, std::size_t, std::align_val_t) noexcept
{
    FreeAligned(block);
}

void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    FreeAligned(block);
}

void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    FreeAligned(block);
}
