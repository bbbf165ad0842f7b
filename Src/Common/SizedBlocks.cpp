#include "SizedBlocks.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "GSRoot/MemoryManager.hpp"

namespace Quillmere::SizedBlocks {

namespace {

constexpr std::size_t SizeField = alignof(std::max_align_t);

}  // namespace

void* Allocate(std::size_t bytes) noexcept
{
    if (bytes > SIZE_MAX - SizeField)
        return nullptr;
    auto* block = static_cast<unsigned char*>(GS::MemoryManager::Allocate(bytes + SizeField));
    if (block == nullptr)
        return nullptr;
    std::memcpy(block, &bytes, sizeof bytes);
    return block + SizeField;
}

std::size_t Size(const void* block) noexcept
{
    std::size_t bytes = 0;
    std::memcpy(&bytes, static_cast<const unsigned char*>(block) - SizeField, sizeof bytes);
    return bytes;
}

void Free(void* block) noexcept
{
    if (block != nullptr)
        GS::MemoryManager::Free(static_cast<unsigned char*>(block) - SizeField);
}

void* Reallocate(void* block, std::size_t bytes) noexcept
{
    void* grown = Allocate(bytes);
    if (grown != nullptr && block != nullptr) {
        std::memcpy(grown, block, std::min(Size(block), bytes));
        Free(block);
    }
    return grown;
}

}  // namespace Quillmere::SizedBlocks
