// The test support's platform allocator made to run out.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GSRoot/MemoryManager.hpp"
#include "Support/Memory.hpp"

TEST(Memory, TheLimitHoldsWhileTheGuardLivesAndNestsBack)
{
    {
        const Support::LiveBytesLimit exhausted;
        EXPECT_EQ(GS::MemoryManager::Allocate(1), nullptr);
    }
    void* outerBlock = nullptr;
    {
        const Support::LiveBytesLimit outer(256);
        outerBlock = GS::MemoryManager::Allocate(128);
        EXPECT_NE(outerBlock, nullptr);
        {
            const Support::LiveBytesLimit inner(0);
            EXPECT_EQ(GS::MemoryManager::Allocate(1), nullptr);
        }
        // The outer limit again: 128 more bytes fit, then no more.
        void* more = GS::MemoryManager::Allocate(128);
        EXPECT_NE(more, nullptr);
        EXPECT_EQ(GS::MemoryManager::Allocate(1), nullptr);
        GS::MemoryManager::Free(more);
    }
    void* after = GS::MemoryManager::Allocate(1 << 20);
    EXPECT_NE(after, nullptr);
    GS::MemoryManager::Free(after);
    GS::MemoryManager::Free(outerBlock);
}

TEST(Memory, TheChosenAllocationFailsUntilTheGuardEnds)
{
    void* blocks[4] = {};
    {
        const Support::FailingAllocation second(2, false);
        blocks[0] = GS::MemoryManager::Allocate(8);
        EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
        blocks[1] = GS::MemoryManager::Allocate(8);
        EXPECT_NE(blocks[0], nullptr);
        EXPECT_NE(blocks[1], nullptr);
    }
    {
        const Support::FailingAllocation fromTheNext(1, true);
        EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
        EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
    }
    {
        // Ended before its allocation came: nothing fails.
        const Support::FailingAllocation later(3, true);
    }
    blocks[2] = GS::MemoryManager::Allocate(8);
    blocks[3] = GS::MemoryManager::Allocate(8);
    EXPECT_NE(blocks[2], nullptr);
    EXPECT_NE(blocks[3], nullptr);
    for (void* block : blocks)
        GS::MemoryManager::Free(block);
}

TEST(Memory, HeadroomsGrowFourfoldFromNothingToBelowOneGibibyte)
{
    const std::vector<std::size_t> headrooms = Support::GrowingHeadrooms();
    ASSERT_GE(headrooms.size(), 3u);
    EXPECT_EQ(headrooms[0], 0u);
    EXPECT_EQ(headrooms[1], 64u);
    for (std::size_t i = 2; i < headrooms.size(); ++i)
        EXPECT_EQ(headrooms[i], headrooms[i - 1] * 4);
    EXPECT_LT(headrooms.back(), std::size_t{1} << 30);
    EXPECT_GE(headrooms.back() * 4, std::size_t{1} << 30);
}
