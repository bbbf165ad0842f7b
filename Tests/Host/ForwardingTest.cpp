// The forwarding contract between the module's calls and the host's service table.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Host/EntryPoints.hpp"
#include "Host/HostBinding.hpp"

using namespace Quillmere;

namespace {

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
Recorded recorded;

GSErrCode ListGroupsA(API_HostContext* context, GS::Array<API_PropertyGroup>*)
{
    recorded.calls.push_back("A");
    recorded.context = context;
    return 11;
}

GSErrCode ListGroupsB(API_HostContext* context, GS::Array<API_PropertyGroup>*)
{
    recorded.calls.push_back("B");
    recorded.context = context;
    return 22;
}

GSErrCode RemoveGroup(API_HostContext*, const API_Guid*)
{
    recorded.calls.push_back("remove");
    return 0;
}

GSErrCode SetMenuHandler(API_HostContext* context, Int16 menuResID, APIMenuCommandProc handler)
{
    recorded.context = context;
    recorded.menuResID = menuResID;
    recorded.handler = handler;
    return 7;
}

GSErrCode AddMenu(const API_MenuRequest* request)
{
    std::memcpy(recorded.menuRequest, request, sizeof(recorded.menuRequest));
    return -5;
}

GSErrCode ReportMessage(API_HostContext*, const GS::UniString* text, UInt8 flag, va_list* arguments)
{
    recorded.reportText = text->ToCStr().Get();
    recorded.reportFlag = flag;
    va_list copy;
    va_copy(copy, *arguments);
    recorded.reportCode = va_arg(copy, int);
    recorded.reportWord = va_arg(copy, const char*);
    va_end(copy);
    return 3;
}

GSErrCode Handler(const MenuCommandParams*)
{
    return 0;
}

API_HostContext* FakeContext(std::uintptr_t value)
{
    return reinterpret_cast<API_HostContext*>(value);
}

class Forwarding : public ::testing::Test {
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

}  // namespace

TEST_F(Forwarding, ContextFirstAndResultUnchanged)
{
    Put(ServiceIndex::HostListPropertyGroups, &ListGroupsA);
    ASSERT_EQ(SetImportedFuncAddrs(table.data()), 0);
    GS::Array<API_PropertyGroup> groups;
    EXPECT_EQ(HostListPropertyGroups(&groups), 11);
    EXPECT_EQ(recorded.context, FakeContext(0x1234));

    // Outside initialize-to-release the context is null, and the forwarder passes it all the same.
    Binding.hostContext = nullptr;
    EXPECT_EQ(HostListPropertyGroups(&groups), 11);
    EXPECT_EQ(recorded.context, nullptr);
}

TEST_F(Forwarding, EntryIsReadAtCallTimeAndSecondTableReplacesTheFirst)
{
    Put(ServiceIndex::HostListPropertyGroups, &ListGroupsA);
    Put(ServiceIndex::HostRemovePropertyGroup, &RemoveGroup);
    SetImportedFuncAddrs(table.data());
    // The module keeps its own copy: the host's table may change or go away after the hand-over.
    table.fill(nullptr);
    GS::Array<API_PropertyGroup> groups;
    EXPECT_EQ(HostListPropertyGroups(&groups), 11);

    Put(ServiceIndex::HostListPropertyGroups, &ListGroupsB);
    EXPECT_EQ(SetImportedFuncAddrs(table.data()), 0);
    EXPECT_EQ(HostListPropertyGroups(&groups), 22);
    // The second table had no removal service: the whole table was replaced.
    EXPECT_EQ(HostRemovePropertyGroup(&APINULLGuid), ServiceNotAvailable);
    EXPECT_EQ(recorded.calls, (std::vector<std::string>{"A", "B"}));
}

TEST_F(Forwarding, MissingEntryGivesServiceNotAvailableWithoutSideEffect)
{
    SetImportedFuncAddrs(table.data());
    const GS::UniString text("Import");
    API_CommandCallable callable;
    int ran = 0;
    callable.state = &ran;
    callable.invoke = [](void* state) -> GSErrCode {
        ++*static_cast<int*>(state);
        return 0;
    };
    EXPECT_EQ(HostRunUndoableCommand(&text, &callable), static_cast<GSErrCode>(0x81060387));
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(HostAddMenu(32500, 0, 5, 0), ServiceNotAvailable);
    EXPECT_EQ(HostImportClassificationXml(&text, 0, 0), ServiceNotAvailable);
    // The report window alone answers 0 when it is missing.
    EXPECT_EQ(HostReportMessage(&text, 1, 42), 0);
    EXPECT_TRUE(recorded.calls.empty());
}

TEST_F(Forwarding, MenuHandlerGetsResourceIdAsSixteenBits)
{
    Put(ServiceIndex::HostSetMenuHandler, &SetMenuHandler);
    SetImportedFuncAddrs(table.data());
    EXPECT_EQ(HostSetMenuHandler(32500, &Handler), 7);
    EXPECT_EQ(recorded.menuResID, 32500);
    EXPECT_EQ(recorded.handler, &Handler);
    EXPECT_EQ(recorded.context, FakeContext(0x1234));
}

TEST_F(Forwarding, AddMenuBuildsTheRequestRecordAndPassesNoContext)
{
    Put(ServiceIndex::HostAddMenu, &AddMenu);
    SetImportedFuncAddrs(table.data());
    std::memset(recorded.menuRequest, 0xAB, sizeof(recorded.menuRequest));
    EXPECT_EQ(HostAddMenu(32500, 0, 5, 0), -5);
    const unsigned char expected[12] = {0xF4, 0x7E, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(recorded.menuRequest, expected, sizeof(expected)), 0);
    for (int i = 12; i < 32; ++i)
        EXPECT_EQ(recorded.menuRequest[i], 0) << "byte " << i;
}

TEST_F(Forwarding, ReportMessagePassesTheCallersArguments)
{
    Put(ServiceIndex::HostReportMessage, &ReportMessage);
    SetImportedFuncAddrs(table.data());
    const GS::UniString format("Error 4: %d");
    EXPECT_EQ(HostReportMessage(&format, 1, -2130312313, "extra"), 3);
    EXPECT_EQ(recorded.reportText, "Error 4: %d");
    EXPECT_EQ(recorded.reportFlag, 1);
    EXPECT_EQ(recorded.reportCode, -2130312313);
    EXPECT_STREQ(recorded.reportWord, "extra");
}

TEST_F(Forwarding, EntryPointsAnswerForAnUnboundModule)
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

TEST_F(Forwarding, InitializeAndReleaseSetAndClearTheContext)
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
