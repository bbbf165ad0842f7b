// Blocks that know their size: what a C library asks of them (size, growing, shrinking, failing
// without losing the block), drawn from the platform allocator and given back to it.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Common/SizedBlocks.hpp"
#include "GSRoot/MemoryManager.hpp"

namespace Blocks = Quillmere::SizedBlocks;

TEST(SizedBlocks, KnowTheirSizeKeepTheirContentWhenResizedAndGoBackToTheAllocator)
{
    const std::size_t liveBefore = GS::MemoryManager::LiveBlocks();
    const std::string text = "SGPset_Door/FireExit";
    void* block = Blocks::Allocate(text.size());
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
    EXPECT_EQ(Blocks::Size(block), text.size());
    std::memcpy(block, text.data(), text.size());
    struct Step {
        std::size_t bytes;
        std::string kept;
    };
    for (const Step& step : {Step{1000, text}, Step{11, text.substr(0, 11)}, Step{0, ""}}) {
        block = Blocks::Reallocate(block, step.bytes);
        ASSERT_NE(block, nullptr) << step.bytes;
        EXPECT_EQ(Blocks::Size(block), step.bytes);
        EXPECT_EQ(std::string(static_cast<const char*>(block), step.kept.size()), step.kept) << step.bytes;
        if (step.bytes == 1000)
            std::memset(static_cast<char*>(block) + text.size(), 'x', 1000 - text.size());  // all of it is usable
    }
    Blocks::Free(block);
    Blocks::Free(nullptr);
    void* fresh = Blocks::Reallocate(nullptr, 8);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(Blocks::Size(fresh), 8u);
    Blocks::Free(fresh);
    EXPECT_EQ(GS::MemoryManager::LiveBlocks(), liveBefore);
}

TEST(SizedBlocks, WhenMemoryRunsOutAGrowingBlockStaysAsItWas)
{
    void* block = Blocks::Allocate(4);
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "wall", 4);
    const std::size_t previous = GS::MemoryManager::SetLiveBytesLimit(GS::MemoryManager::LiveBytes());
    EXPECT_EQ(Blocks::Reallocate(block, 4096), nullptr);
    EXPECT_EQ(Blocks::Allocate(SIZE_MAX), nullptr);
    GS::MemoryManager::SetLiveBytesLimit(previous);
    EXPECT_EQ(Blocks::Size(block), 4u);
    EXPECT_EQ(std::string(static_cast<const char*>(block), 4), "wall");
    Blocks::Free(block);
}
