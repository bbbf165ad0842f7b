// The entry points' guards in-process, against a service table of the test's own: what they answer
// for a module that was never bound, and the context that initialize sets and release clears.
#include <gtest/gtest.h>

#include "Host/EntryPoints.hpp"
#include "RecordingServiceTable.hpp"

using namespace HostTesting;

namespace {

class EntryPoints : public RecordingServiceTable {};

}  // namespace

TEST_F(EntryPoints, GuardsAnswerForAnUnboundModule)
{
    Binding.serviceTableBound = false;
    API_EnvirParams environment;
    environment.addOnInfo.name = "untouched";
    EXPECT_EQ(GuardedIdentify(&environment), 0);
    EXPECT_TRUE(environment.addOnInfo.name == GS::UniString("untouched"));
    EXPECT_EQ(GuardedRegister(nullptr), static_cast<GSErrCode>(0x81060001));
    EXPECT_EQ(GuardedInitialize(FakeContext(0x99)), ModuleNotBound);
    EXPECT_EQ(Binding.hostContext, FakeContext(0x1234));
    EXPECT_EQ(GuardedRelease(), ModuleNotBound);
    EXPECT_EQ(Binding.hostContext, FakeContext(0x1234));
}

TEST_F(EntryPoints, InitializeAndReleaseSetAndClearTheContext)
{
    Put(ServiceIndex::HostSetMenuHandler, &SetMenuHandler);
    SetImportedFuncAddrs(table.data());
    Binding.hostContext = nullptr;
    EXPECT_EQ(GuardedInitialize(FakeContext(0x5678)), 7);
    EXPECT_EQ(recorded.context, FakeContext(0x5678));
    EXPECT_EQ(recorded.menuResID, 32500);
    EXPECT_EQ(Binding.hostContext, FakeContext(0x5678));
    EXPECT_EQ(GuardedRelease(), 0);
    EXPECT_EQ(Binding.hostContext, nullptr);
}
