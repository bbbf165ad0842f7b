// The module's heap: every form of operator new and delete of the module draws from the platform
// allocator, so the module's containers and strings live in GS::MemoryManager like the platform's
// own types, and the host can count what the module leaves behind. Built into the module file
// only; the add-on library's unit tests keep the ordinary heap.
#include <cstdint>
#include <cstring>
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

// As AllocateOrThrow; nullptr instead of the exception.
void* AllocateOrNull(std::size_t bytes) noexcept
{
    try {
        return AllocateOrThrow(bytes);
    } catch (...) {
        return nullptr;
    }
}

// An over-aligned block is carved out of a larger plain one; the plain block's address sits in the
// word just below the aligned address, where FreeAligned finds it.
void* AllocateAlignedOrThrow(std::size_t bytes, std::align_val_t alignment)
{
    std::size_t align = static_cast<std::size_t>(alignment);
    if (align < alignof(void*))
        align = alignof(void*);
    if (bytes > SIZE_MAX - align - sizeof(void*))
        throw std::bad_alloc();
    void* plain = AllocateOrThrow(bytes + align + sizeof(void*));
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(plain) + sizeof(void*);
    const std::uintptr_t aligned = (start + align - 1) & ~static_cast<std::uintptr_t>(align - 1);
    std::memcpy(reinterpret_cast<void*>(aligned - sizeof(void*)), &plain, sizeof plain);
    return reinterpret_cast<void*>(aligned);
}

void* AllocateAlignedOrNull(std::size_t bytes, std::align_val_t alignment) noexcept
{
    try {
        return AllocateAlignedOrThrow(bytes, alignment);
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
    return AllocateOrNull(bytes);
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(bytes);
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
    return AllocateAlignedOrNull(bytes, alignment);
}

void* operator new[](std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return AllocateAlignedOrNull(bytes, alignment);
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
