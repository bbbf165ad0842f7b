// The forwarding contract between the module's calls and the host's service table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Host/EntryPoints.hpp"
#include "RecordingServiceTable.hpp"

// Inside HostTesting the fixture's name hides Quillmere::HostBinding, the record it tests, which the
// using-directive of RecordingServiceTable.hpp brings in at the global level.
namespace HostTesting {

namespace {

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

class HostBinding : public RecordingServiceTable {};

}  // namespace

TEST_F(HostBinding, ContextFirstAndResultUnchanged)
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

TEST_F(HostBinding, EntryIsReadAtCallTimeAndSecondTableReplacesTheFirst)
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

TEST_F(HostBinding, MissingEntryGivesServiceNotAvailableWithoutSideEffect)
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
    const API_MenuRequest request;
    EXPECT_EQ(HostAddMenu(&request), ServiceNotAvailable);
    EXPECT_EQ(HostImportClassificationXml(&text, 0, 0), ServiceNotAvailable);
    // The report window alone answers 0 when it is missing.
    EXPECT_EQ(HostReportMessage(&text, 1, 42), 0);
    EXPECT_TRUE(recorded.calls.empty());
}

TEST_F(HostBinding, MenuHandlerGetsResourceIdAsSixteenBits)
{
    Put(ServiceIndex::HostSetMenuHandler, &SetMenuHandler);
    SetImportedFuncAddrs(table.data());
    EXPECT_EQ(HostSetMenuHandler(32500, &Handler), 7);
    EXPECT_EQ(recorded.menuResID, 32500);
    EXPECT_EQ(recorded.handler, &Handler);
    EXPECT_EQ(recorded.context, FakeContext(0x1234));
}

// Registration builds the request record and hands it over without a context.
TEST_F(HostBinding, AddMenuGetsTheRequestRecordAndNoContext)
{
    Put(ServiceIndex::HostAddMenu, &AddMenu);
    SetImportedFuncAddrs(table.data());
    std::memset(recorded.menuRequest, 0xAB, sizeof(recorded.menuRequest));
    EXPECT_EQ(GuardedRegister(nullptr), -5);
    const unsigned char expected[12] = {0xF4, 0x7E, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(recorded.menuRequest, expected, sizeof(expected)), 0);
    for (int i = 12; i < 32; ++i)
        EXPECT_EQ(recorded.menuRequest[i], 0) << "byte " << i;
}

TEST_F(HostBinding, ReportMessagePassesTheCallersArguments)
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

}  // namespace HostTesting
