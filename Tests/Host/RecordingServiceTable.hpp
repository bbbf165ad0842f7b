// What the in-process tests of Src/Host share: a service table of the tests' own, handed to the
// module through SetImportedFuncAddrs, whose services write down how they were called.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Host/EntryPoints.hpp"
#include "Host/HostBinding.hpp"

namespace HostTesting {

using namespace Quillmere;

// What the recording services were called with.
struct Recorded {
    std::vector<std::string> calls;
    API_HostContext* context = nullptr;
    Int32 menuResID = 0;
    APIMenuCommandProc handler = nullptr;
    unsigned char menuRequest[32] = {};
    std::string reportText;
    int reportFlag = -1;
    int reportCode = 0;
    const char* reportWord = nullptr;
};
inline Recorded recorded;

// The menu handler service: records the context, the menu's resource ID and the handler; answers 7.
inline GSErrCode SetMenuHandler(API_HostContext* context, Int16 menuResID, APIMenuCommandProc handler)
{
    recorded.context = context;
    recorded.menuResID = menuResID;
    recorded.handler = handler;
    return 7;
}

// A context the tests tell apart by its address.
inline API_HostContext* FakeContext(std::uintptr_t value)
{
    return reinterpret_cast<API_HostContext*>(value);
}

// Starts each test with nothing recorded, an empty table of the test's own and a bound context, and
// leaves the module with an empty table and no context.
class RecordingServiceTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        recorded = Recorded();
        table.fill(nullptr);
        Binding.hostContext = FakeContext(0x1234);
    }
    void TearDown() override
    {
        table.fill(nullptr);
        SetImportedFuncAddrs(table.data());
        Binding.hostContext = nullptr;
    }

    template <typename Entry>
    void Put(UInt32 index, Entry entry)
    {
        table[index] = reinterpret_cast<API_ServiceEntry>(entry);
    }

    std::array<API_ServiceEntry, HostServiceTableSize> table{};
};

}  // namespace HostTesting
