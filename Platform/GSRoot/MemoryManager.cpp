#include "MemoryManager.hpp"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace GS {

namespace {

// Each block is preceded by a header holding its size and a tag; the tag lets Free reject
// pointers that did not come from Allocate (or were already released) instead of corrupting the
// heap. malloc's alignment is that of max_align_t, and so the 16-byte header keeps the block
// aligned for any fundamental type.
struct BlockHeader {
    std::size_t bytes;
    std::uint64_t tag;
};
constexpr std::size_t HeaderSize = 16;
static_assert(sizeof(BlockHeader) == HeaderSize);
static_assert(alignof(std::max_align_t) <= HeaderSize && HeaderSize % alignof(std::max_align_t) == 0);

constexpr std::uint64_t LiveTag = 0x51554C4D4C495645ull;      // a block handed out
constexpr std::uint64_t ReleasedTag = 0x51554C4D46524545ull;  // a block given back
// No request may exceed what malloc can index, header included.
constexpr std::size_t LargestRequest =
    static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) - HeaderSize;

std::atomic<std::size_t> liveBlocks{0};
std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakLiveBytes{0};
std::atomic<std::size_t> liveBytesLimit{std::numeric_limits<std::size_t>::max()};
constexpr std::size_t NoFailingCall = std::numeric_limits<std::size_t>::max();
std::atomic<std::size_t> allocationCount{0};
std::atomic<std::size_t> failingCall{NoFailingCall};  // the value of allocationCount that fails
std::atomic<bool> failLaterCalls{false};

}  // namespace

void* MemoryManager::Allocate(std::size_t bytes) noexcept
{
    const std::size_t call = allocationCount.fetch_add(1, std::memory_order_relaxed) + 1;
    if (const std::size_t failing = failingCall.load(std::memory_order_relaxed);
        failing != NoFailingCall && (call == failing || (call > failing && failLaterCalls.load(std::memory_order_relaxed))))
        return nullptr;
    if (bytes > LargestRequest)
        return nullptr;

    const std::size_t limit = liveBytesLimit.load(std::memory_order_relaxed);
    const std::size_t before = liveBytes.fetch_add(bytes, std::memory_order_relaxed);
    if (limit != std::numeric_limits<std::size_t>::max() && (before + bytes < before || before + bytes > limit)) {
        liveBytes.fetch_sub(bytes, std::memory_order_relaxed);
        return nullptr;
    }

    auto* header = static_cast<BlockHeader*>(std::malloc(HeaderSize + bytes));
    if (header == nullptr) {
        liveBytes.fetch_sub(bytes, std::memory_order_relaxed);
        return nullptr;
    }
    header->bytes = bytes;
    header->tag = LiveTag;
    const std::size_t now = before + bytes;
    std::size_t peak = peakLiveBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakLiveBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<unsigned char*>(header) + HeaderSize;
}

void MemoryManager::Free(void* block) noexcept
{
    if (block == nullptr)
        return;
    auto* header = reinterpret_cast<BlockHeader*>(static_cast<unsigned char*>(block) - HeaderSize);
    if (header->tag != LiveTag) {
        // Releasing a foreign or already released block would corrupt the heap silently later.
        std::fprintf(stderr, "GS::MemoryManager::Free: %p is not a live block (%s)\n", block,
                     header->tag == ReleasedTag ? "released twice" : "not from Allocate");
        std::fflush(stderr);
        std::abort();
    }
    header->tag = ReleasedTag;
    liveBytes.fetch_sub(header->bytes, std::memory_order_relaxed);
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(header);
}

std::size_t MemoryManager::LiveBlocks() noexcept
{
    return liveBlocks.load(std::memory_order_relaxed);
}

std::size_t MemoryManager::LiveBytes() noexcept
{
    return liveBytes.load(std::memory_order_relaxed);
}

std::size_t MemoryManager::PeakLiveBytes() noexcept
{
    return peakLiveBytes.load(std::memory_order_relaxed);
}

void MemoryManager::ResetPeakLiveBytes() noexcept
{
    peakLiveBytes.store(liveBytes.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

std::size_t MemoryManager::SetLiveBytesLimit(std::size_t limit) noexcept
{
    return liveBytesLimit.exchange(limit, std::memory_order_relaxed);
}

std::size_t MemoryManager::AllocationCount() noexcept
{
    return allocationCount.load(std::memory_order_relaxed);
}

void MemoryManager::FailAllocation(std::size_t nth, bool andLater) noexcept
{
    failingCall.store(NoFailingCall, std::memory_order_relaxed);
    if (nth == 0)
        return;
    failLaterCalls.store(andLater, std::memory_order_relaxed);
    failingCall.store(allocationCount.load(std::memory_order_relaxed) + nth, std::memory_order_relaxed);
}

}  // namespace GS
