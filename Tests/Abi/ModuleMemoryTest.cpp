// The module's operator new and delete, built into this executable as into the module file: every
// form draws from and returns to GS::MemoryManager, aligned forms honour their alignment, and an
// exhausted allocator gives nullptr, std::bad_alloc or a new-handler call as the form promises.
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "GSRoot/MemoryManager.hpp"
#include "Support/Memory.hpp"

namespace {

std::size_t Blocks()
{
    return GS::MemoryManager::LiveBlocks();
}

bool IsAligned(const void* block, std::size_t alignment)
{
    return reinterpret_cast<std::uintptr_t>(block) % alignment == 0;
}

TEST(ModuleMemory, EveryFormTakesAndReturnsAPlatformBlock)
{
    const std::size_t start = Blocks();

    void* single = ::operator new(24);
    EXPECT_EQ(Blocks(), start + 1);
    ::operator delete(single);
    EXPECT_EQ(Blocks(), start);

    void* array = ::operator new[](40);
    EXPECT_EQ(Blocks(), start + 1);
    ::operator delete[](array);
    EXPECT_EQ(Blocks(), start);

    void* sized = ::operator new(32);
    ::operator delete(sized, 32);
    void* sizedArray = ::operator new[](32);
    ::operator delete[](sizedArray, 32);
    EXPECT_EQ(Blocks(), start);

    void* quiet = ::operator new(8, std::nothrow);
    void* quietArray = ::operator new[](8, std::nothrow);
    EXPECT_EQ(Blocks(), start + 2);
    ::operator delete(quiet, std::nothrow);
    ::operator delete[](quietArray, std::nothrow);
    EXPECT_EQ(Blocks(), start);

    // A zero-byte request is a real, distinct block.
    void* none = ::operator new(0);
    void* other = ::operator new(0);
    EXPECT_NE(none, other);
    EXPECT_EQ(Blocks(), start + 2);
    ::operator delete(none);
    ::operator delete(other);

    // Containers of the module go the same way.
    {
        std::vector<int> values(100, 1);
        EXPECT_EQ(Blocks(), start + 1);
    }
    EXPECT_EQ(Blocks(), start);
}

TEST(ModuleMemory, AlignedFormsHonourTheirAlignment)
{
    const std::size_t start = Blocks();
    for (std::size_t alignment : {1u, 8u, 32u, 64u, 256u, 4096u}) {
        const auto align = static_cast<std::align_val_t>(alignment);
        void* single = ::operator new(100, align);
        void* array = ::operator new[](3, align);
        void* quiet = ::operator new(1, align, std::nothrow);
        void* quietArray = ::operator new[](1, align, std::nothrow);
        EXPECT_TRUE(IsAligned(single, alignment)) << alignment;
        EXPECT_TRUE(IsAligned(array, alignment)) << alignment;
        EXPECT_TRUE(IsAligned(quiet, alignment)) << alignment;
        EXPECT_TRUE(IsAligned(quietArray, alignment)) << alignment;
        EXPECT_EQ(Blocks(), start + 4);
        static_cast<unsigned char*>(single)[99] = 1;  // the whole request is usable
        ::operator delete(single, 100, align);
        ::operator delete[](array, align);
        ::operator delete(quiet, align, std::nothrow);
        ::operator delete[](quietArray, 1, align);
        EXPECT_EQ(Blocks(), start) << alignment;
    }

    struct alignas(128) Wide {
        unsigned char bytes[128];
    };
    Wide* wide = new Wide[3];
    EXPECT_TRUE(IsAligned(wide, 128));
    delete[] wide;
    EXPECT_EQ(Blocks(), start);
}

TEST(ModuleMemory, ExhaustionFollowsEachFormsPromise)
{
    const std::size_t start = Blocks();
    {
        const Support::LiveBytesLimit exhausted;
        EXPECT_EQ(::operator new(16, std::nothrow), nullptr);
        EXPECT_EQ(::operator new[](16, std::nothrow), nullptr);
        EXPECT_EQ(::operator new(16, std::align_val_t{64}, std::nothrow), nullptr);
        EXPECT_THROW(static_cast<void>(::operator new(16)), std::bad_alloc);
        EXPECT_THROW(static_cast<void>(::operator new[](16)), std::bad_alloc);
        EXPECT_THROW(static_cast<void>(::operator new(16, std::align_val_t{64})), std::bad_alloc);
    }
    EXPECT_EQ(Blocks(), start);

    // A new-handler that makes room is called until the allocation succeeds.
    static int handlerCalls;
    static std::optional<Support::LiveBytesLimit> exhausted;
    handlerCalls = 0;
    exhausted.emplace();
    const std::new_handler previousHandler = std::set_new_handler([] {
        ++handlerCalls;
        exhausted.reset();
    });
    void* block = ::operator new(16);
    std::set_new_handler(previousHandler);
    exhausted.reset();
    EXPECT_NE(block, nullptr);
    EXPECT_EQ(handlerCalls, 1);
    ::operator delete(block);

    // A request beyond any allocator gives bad_alloc rather than a short block.
    volatile std::size_t huge = SIZE_MAX - 8;  // volatile: the compiler would reject the constant
    EXPECT_THROW(static_cast<void>(::operator new(huge, std::align_val_t{64})), std::bad_alloc);
    EXPECT_EQ(Blocks(), start);
}

}  // namespace
