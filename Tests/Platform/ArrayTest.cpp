#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "GSRoot/Array.hpp"
#include "GSRoot/UniString.hpp"
#include "LeakCheck.hpp"
#include "Support/Memory.hpp"

using GS::UniString;

namespace {

// An element that owns platform memory and counts its living instances.
struct Named {
    static inline int living = 0;

    explicit Named(const char* text) : name(text) { ++living; }
    Named(const Named& other) : name(other.name) { ++living; }
    Named(Named&& other) noexcept : name(std::move(other.name)) { ++living; }
    Named& operator=(const Named&) = default;
    Named& operator=(Named&&) noexcept = default;
    ~Named() { --living; }

    UniString name;
};

std::string Joined(const GS::Array<Named>& items)
{
    std::string text;
    for (const Named& item : items)
        text += std::string(item.name.ToCStr().Get()) + ",";
    return text;
}

class Array : public LeakCheckedTest {
protected:
    void SetUp() override
    {
        LeakCheckedTest::SetUp();
        Named::living = 0;
    }
    void TearDown() override
    {
        EXPECT_EQ(Named::living, 0) << "elements not destroyed";
        LeakCheckedTest::TearDown();
    }
};

GS::Array<Named> MakeNames(int count)
{
    GS::Array<Named> names;
    for (int i = 0; i < count; ++i)
        names.Emplace(std::to_string(i).c_str());
    return names;
}

}  // namespace

TEST_F(Array, PushGrowsAndKeepsEveryElement)
{
    GS::Array<Named> names;
    EXPECT_TRUE(names.IsEmpty());
    EXPECT_EQ(names.begin(), names.end());
    const Named first("first");
    names.Push(first);
    names.Push(Named("second"));
    for (int i = 0; i < 20; ++i)  // past several doublings
        names.Emplace(std::to_string(i).c_str());
    ASSERT_EQ(names.GetSize(), 22u);
    EXPECT_EQ(Named::living, 23);  // 22 in the array and `first`
    EXPECT_EQ(first.name, UniString("first"));
    EXPECT_EQ(names[0].name, UniString("first"));
    EXPECT_EQ(names[1].name, UniString("second"));
    EXPECT_EQ(names[21].name, UniString("19"));
    EXPECT_EQ(BlocksSinceStart(), 1u + 1u + 22u);  // the array, `first`, each element's text
}

TEST_F(Array, PushOfOwnElementWhileGrowing)
{
    // Each array is full, so the push moves the elements before the new one is made from them.
    GS::Array<Named> copied = MakeNames(4);
    copied.Push(copied[0]);
    EXPECT_EQ(Joined(copied), "0,1,2,3,0,");
    GS::Array<Named> moved = MakeNames(4);
    moved.Push(std::move(moved[1]));
    EXPECT_EQ(Joined(moved), "0,,2,3,1,");
    GS::Array<Named> emplaced = MakeNames(8);
    emplaced.Emplace(emplaced[7]);
    EXPECT_EQ(Joined(emplaced), "0,1,2,3,4,5,6,7,7,");
}

TEST_F(Array, CopiesAreIndependent)
{
    GS::Array<Named> original = MakeNames(5);
    GS::Array<Named> copy(original);
    ASSERT_EQ(copy.GetSize(), 5u);
    copy[0].name = "changed";
    copy.Push(Named("extra"));
    EXPECT_EQ(Joined(original), "0,1,2,3,4,");
    EXPECT_EQ(Joined(copy), "changed,1,2,3,4,extra,");

    GS::Array<Named> assigned = MakeNames(2);
    assigned = original;
    EXPECT_EQ(Joined(assigned), "0,1,2,3,4,");
    assigned = assigned;
    EXPECT_EQ(Joined(assigned), "0,1,2,3,4,");
    const GS::Array<Named> empty;
    assigned = empty;
    EXPECT_TRUE(assigned.IsEmpty());
    EXPECT_EQ(Named::living, 11);  // five in the original, six in the copy
}

TEST_F(Array, DeleteKeepsTheOrderOfTheOthers)
{
    GS::Array<Named> names = MakeNames(5);
    names.Delete(1);
    EXPECT_EQ(Joined(names), "0,2,3,4,");
    names.Delete(3);
    EXPECT_EQ(Joined(names), "0,2,3,");
    names.Delete(0);
    EXPECT_EQ(Joined(names), "2,3,");
    EXPECT_EQ(Named::living, 2);
    names.Clear();
    EXPECT_TRUE(names.IsEmpty());
    EXPECT_EQ(Named::living, 0);
    names.Push(Named("again"));
    EXPECT_EQ(Joined(names), "again,");
}

TEST_F(Array, MovesHandOverTheStorage)
{
    GS::Array<Named> source = MakeNames(3);
    const Named* storage = source.begin();
    const std::size_t blocks = BlocksSinceStart();

    GS::Array<Named> target(std::move(source));
    EXPECT_EQ(target.begin(), storage);
    EXPECT_TRUE(source.IsEmpty());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(BlocksSinceStart(), blocks);

    GS::Array<Named> other = MakeNames(2);
    other = std::move(target);
    EXPECT_EQ(other.begin(), storage);
    EXPECT_EQ(Joined(other), "0,1,2,");
    EXPECT_EQ(Named::living, 3);
    EXPECT_EQ(BlocksSinceStart(), blocks);

    GS::Array<Named> swapped = MakeNames(1);
    swapped.Swap(other);
    EXPECT_EQ(Joined(swapped), "0,1,2,");
    EXPECT_EQ(Joined(other), "0,");
}

TEST_F(Array, ExhaustedMemoryThrowsAndKeepsTheElements)
{
    GS::Array<Named> names = MakeNames(4);
    const Named extra("extra");
    {
        const Support::LiveBytesLimit exhausted;
        EXPECT_THROW(names.Push(extra), std::bad_alloc);
    }
    EXPECT_EQ(Joined(names), "0,1,2,3,");
    EXPECT_EQ(Named::living, 5);
}

TEST_F(Array, ACopyThatRunsOutOfMemoryHalfWayLeavesNothingBehind)
{
    GS::Array<GS::UniString> texts;
    for (const char* text : {"first text", "second text", "third text"})
        texts.Push(GS::UniString(text));
    const std::size_t blocks = GS::MemoryManager::LiveBlocks();
    const std::size_t bytes = GS::MemoryManager::LiveBytes();
    // The copy's storage, its first text, and then the second text's storage fails.
    for (std::size_t nth = 1; nth <= 4; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        bool thrown = false;
        try {
            const Support::FailingAllocation failing(nth, false);
            GS::Array<GS::UniString> copy(texts);
        } catch (const std::bad_alloc&) {
            thrown = true;
        }
        EXPECT_TRUE(thrown);
        EXPECT_EQ(GS::MemoryManager::LiveBlocks(), blocks);
        EXPECT_EQ(GS::MemoryManager::LiveBytes(), bytes);
    }
}
