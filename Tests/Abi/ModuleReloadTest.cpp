// Load and unload cycles of the module file with nothing else holding it loaded, so that each
// unload really takes the module out of the process: the process's heap stays where it was.
#include <malloc.h>

#include "AbiSupport.hpp"

namespace {

TEST(ModuleReload, LoadAndUnloadCyclesLeaveNoMallocBehind)
{
    // The module's own C++ runtime allocates an exception pool of some 70 KB at load; a module that
    // did not free it at unload would grow the heap by that much on every cycle.
    const auto cycle = [] {
        TestHost::ModuleLoader loader;
        ASSERT_EQ(loader.Load(Abi::ModuleFile()), TestHost::ModuleError::None);
        ASSERT_TRUE(loader.Unload());
    };
    cycle();  // the loader's and dlopen's one-time allocations
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 4; ++i)
        cycle();
    EXPECT_LT(mallinfo2().uordblks, before + 16 * 1024);
}

}  // namespace
