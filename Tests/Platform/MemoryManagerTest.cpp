#include <cstdint>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "GSRoot/MemoryManager.hpp"
#include "LeakCheck.hpp"
#include "Support/Memory.hpp"

using GS::MemoryManager;

namespace {

bool IsAligned(const void* block)
{
    return reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t) == 0;
}

}  // namespace

TEST(MemoryManager, CountsBlocksAndBytesUntilReleased)
{
    const std::size_t blocks = MemoryManager::LiveBlocks();
    const std::size_t bytes = MemoryManager::LiveBytes();

    void* empty1 = MemoryManager::Allocate(0);
    void* empty2 = MemoryManager::Allocate(0);
    ASSERT_NE(empty1, nullptr);
    ASSERT_NE(empty2, nullptr);
    EXPECT_NE(empty1, empty2);
    EXPECT_EQ(MemoryManager::LiveBlocks(), blocks + 2);
    EXPECT_EQ(MemoryManager::LiveBytes(), bytes);

    std::vector<void*> sized;
    for (std::size_t size : {1u, 3u, 15u, 16u, 17u, 100u, 4096u}) {
        void* block = MemoryManager::Allocate(size);
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(IsAligned(block)) << "size " << size;
        std::memset(block, 0x5A, size);  // the whole block is usable
        sized.push_back(block);
    }
    EXPECT_EQ(MemoryManager::LiveBlocks(), blocks + 2 + sized.size());
    EXPECT_EQ(MemoryManager::LiveBytes(), bytes + 1 + 3 + 15 + 16 + 17 + 100 + 4096);

    for (void* block : sized)
        MemoryManager::Free(block);
    MemoryManager::Free(empty1);
    MemoryManager::Free(empty2);
    MemoryManager::Free(nullptr);
    EXPECT_EQ(MemoryManager::LiveBlocks(), blocks);
    EXPECT_EQ(MemoryManager::LiveBytes(), bytes);
}

TEST(MemoryManager, PeakLiveBytesIsTheHighWaterMarkSinceTheLastReset)
{
    MemoryManager::ResetPeakLiveBytes();
    const std::size_t start = MemoryManager::LiveBytes();
    EXPECT_EQ(MemoryManager::PeakLiveBytes(), start);
    void* first = MemoryManager::Allocate(1000);
    void* second = MemoryManager::Allocate(500);
    MemoryManager::Free(first);
    void* third = MemoryManager::Allocate(200);  // live bytes stay below the peak
    EXPECT_EQ(MemoryManager::PeakLiveBytes(), start + 1500);
    // A refused request does not count, even for a moment.
    const std::size_t limit = MemoryManager::SetLiveBytesLimit(MemoryManager::LiveBytes() + 100);
    EXPECT_EQ(MemoryManager::Allocate(5000), nullptr);
    MemoryManager::SetLiveBytesLimit(limit);
    EXPECT_EQ(MemoryManager::PeakLiveBytes(), start + 1500);

    MemoryManager::ResetPeakLiveBytes();
    EXPECT_EQ(MemoryManager::PeakLiveBytes(), start + 700);
    MemoryManager::Free(second);
    MemoryManager::Free(third);
    EXPECT_EQ(MemoryManager::PeakLiveBytes(), start + 700);
}

TEST(MemoryManager, ImpossibleRequestsGiveNullAndCountNothing)
{
    const std::size_t blocks = MemoryManager::LiveBlocks();
    const std::size_t bytes = MemoryManager::LiveBytes();
    EXPECT_EQ(MemoryManager::Allocate(std::numeric_limits<std::size_t>::max()), nullptr);
    EXPECT_EQ(MemoryManager::Allocate(std::numeric_limits<std::size_t>::max() - 8), nullptr);
    EXPECT_EQ(MemoryManager::Allocate(static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())), nullptr);
    EXPECT_EQ(MemoryManager::LiveBlocks(), blocks);
    EXPECT_EQ(MemoryManager::LiveBytes(), bytes);
}

TEST(MemoryManager, LiveBytesLimitExhaustsTheAllocator)
{
    const std::size_t start = MemoryManager::LiveBytes();
    const std::size_t previous = MemoryManager::SetLiveBytesLimit(start + 100);
    EXPECT_EQ(previous, std::numeric_limits<std::size_t>::max());

    void* first = MemoryManager::Allocate(60);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(MemoryManager::Allocate(41), nullptr);  // 101 bytes would be live
    EXPECT_EQ(MemoryManager::LiveBytes(), start + 60);
    void* rest = MemoryManager::Allocate(40);  // exactly at the limit
    EXPECT_NE(rest, nullptr);
    MemoryManager::Free(first);
    void* again = MemoryManager::Allocate(60);
    EXPECT_NE(again, nullptr);

    EXPECT_EQ(MemoryManager::SetLiveBytesLimit(previous), start + 100);
    MemoryManager::Free(rest);
    MemoryManager::Free(again);
    EXPECT_EQ(MemoryManager::LiveBytes(), start);
}

TEST(MemoryManager, CountersStayExactUnderConcurrentUse)
{
    const std::size_t blocks = MemoryManager::LiveBlocks();
    const std::size_t bytes = MemoryManager::LiveBytes();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            std::vector<void*> held;
            for (int i = 0; i < 20000; ++i) {
                held.push_back(MemoryManager::Allocate(static_cast<std::size_t>(t * 7 + i % 13)));
                if (held.size() == 8) {
                    for (void* block : held)
                        MemoryManager::Free(block);
                    held.clear();
                }
            }
            for (void* block : held)
                MemoryManager::Free(block);
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(MemoryManager::LiveBlocks(), blocks);
    EXPECT_EQ(MemoryManager::LiveBytes(), bytes);
}

TEST(MemoryManager, StandardAllocatorDrawsFromThePlatform)
{
    const std::size_t blocks = MemoryManager::LiveBlocks();
    {
        std::vector<int, GS::Allocator<int>> numbers;
        for (int i = 0; i < 100; ++i)
            numbers.push_back(i);
        EXPECT_EQ(MemoryManager::LiveBlocks(), blocks + 1);
        EXPECT_EQ(numbers[99], 99);
    }
    EXPECT_EQ(MemoryManager::LiveBlocks(), blocks);

    GS::Allocator<long> allocator;
    EXPECT_THROW(static_cast<void>(allocator.allocate(std::numeric_limits<std::size_t>::max() / 4)),
                 std::bad_array_new_length);
    const Support::LiveBytesLimit exhausted;
    EXPECT_THROW(static_cast<void>(allocator.allocate(1)), std::bad_alloc);
}

TEST(MemoryManager, FailAllocationFailsTheChosenCallAndWithLaterCallsTheOnesAfterIt)
{
    void* before = GS::MemoryManager::Allocate(8);
    GS::MemoryManager::FailAllocation(2, false);
    void* first = GS::MemoryManager::Allocate(8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
    void* third = GS::MemoryManager::Allocate(8);
    EXPECT_NE(third, nullptr);

    const std::size_t count = GS::MemoryManager::AllocationCount();
    GS::MemoryManager::FailAllocation(1, true);
    EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
    EXPECT_EQ(GS::MemoryManager::Allocate(0), nullptr);
    EXPECT_EQ(GS::MemoryManager::AllocationCount(), count + 2);
    GS::MemoryManager::FailAllocation(0, true);
    void* after = GS::MemoryManager::Allocate(8);
    EXPECT_NE(after, nullptr);
    for (void* block : {before, first, third, after})
        GS::MemoryManager::Free(block);
}

TEST(MemoryManagerDeathTest, ReleasingAForeignPointerStopsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    void* block = MemoryManager::Allocate(64);
    std::memset(block, 0, 64);
    EXPECT_DEATH(MemoryManager::Free(static_cast<char*>(block) + 32), "not a live block");
    MemoryManager::Free(block);
}
