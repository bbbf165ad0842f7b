// A fixture that fails a test whose GS::MemoryManager blocks or bytes are not all released when
// the test body ends.
#pragma once

#include <gtest/gtest.h>

#include "GSRoot/MemoryManager.hpp"

class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startBlocks = GS::MemoryManager::LiveBlocks();
        startBytes = GS::MemoryManager::LiveBytes();
    }
    void TearDown() override
    {
        EXPECT_EQ(GS::MemoryManager::LiveBlocks(), startBlocks) << "blocks left behind";
        EXPECT_EQ(GS::MemoryManager::LiveBytes(), startBytes) << "bytes left behind";
    }

    std::size_t BlocksSinceStart() const { return GS::MemoryManager::LiveBlocks() - startBlocks; }

private:
    std::size_t startBlocks = 0;
    std::size_t startBytes = 0;
};
