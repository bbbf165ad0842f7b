// Blocks of the platform allocator that know their size, for the C libraries the module links
// (SQLite, expat), whose memory comes from there as all of the module's does: they ask a block's
// size, or grow blocks, and the allocator does not tell it. The size sits in front of the block,
// which stays aligned as the allocator aligns.
#pragma once

#include <cstddef>

namespace Quillmere::SizedBlocks {

// A block of `bytes`; nullptr when memory runs out.
void* Allocate(std::size_t bytes) noexcept;
// What Allocate was asked for the block.
std::size_t Size(const void* block) noexcept;
// Releases a block of Allocate; nullptr is ignored.
void Free(void* block) noexcept;
// A block of `bytes` holding what `block` (nullptr: none) held, as far as both reach; `block` is
// released. Nothing when memory runs out, and `block` stays as it was.
void* Reallocate(void* block, std::size_t bytes) noexcept;

}  // namespace Quillmere::SizedBlocks
