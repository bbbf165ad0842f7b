// The store locked by another process: the lock is held from the moment the constructor returns
// until it is released, and it keeps out what its kind says and nothing else.
#include <gtest/gtest.h>

#include "Support/Folders.hpp"
#include "Support/StoreLock.hpp"

namespace {

using Support::StoreIsLocked;
using Support::StoreLock;

}  // namespace

TEST(StoreLock, KeepsOutWhatItsKindSaysUntilReleased)
{
    const Support::ScratchFolder folder;
    const std::filesystem::path store = folder.Path() / "store.sqlite";
    struct Case {
        StoreLock::Kind kind;
        bool keepsOutReaders;
    };
    for (const Case& lock : {Case{StoreLock::Kind::Write, false}, Case{StoreLock::Kind::Exclusive, true}}) {
        StoreLock held(store, lock.kind);
        EXPECT_TRUE(StoreIsLocked(store, true));
        EXPECT_EQ(StoreIsLocked(store, false), lock.keepsOutReaders);
        held.Release();
        EXPECT_FALSE(StoreIsLocked(store, true));
        EXPECT_FALSE(StoreIsLocked(store, false));
    }
}

TEST(StoreLock, ReleasedAfterADelayByItself)
{
    const Support::ScratchFolder folder;
    const std::filesystem::path store = folder.Path() / "store.sqlite";
    StoreLock held(store, StoreLock::Kind::Write);
    EXPECT_TRUE(StoreIsLocked(store, true));
    held.ReleaseAfter(std::chrono::milliseconds(100));
    bool released = false;
    for (int tries = 0; tries < 1000 && !released; ++tries) {
        released = !StoreIsLocked(store, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(released);
}
