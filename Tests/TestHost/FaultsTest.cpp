#include <gtest/gtest.h>

#include "Faults.hpp"
#include "HostErrors.hpp"
#include "HostFixture.hpp"

using namespace TestHost;

TEST(Faults, ParsesFaultTextsAndExplainsBadOnes)
{
    InjectedFault fault;
    std::string error;
    ASSERT_TRUE(ParseFault("HostRunUndoableCommand=0x81060387", fault, error)) << error;
    EXPECT_EQ(fault.index, ServiceIndex::HostRunUndoableCommand);
    EXPECT_EQ(fault.nthCall, 0u);
    EXPECT_EQ(fault.code, ServiceNotAvailable);

    ASSERT_TRUE(ParseFault("HostRemovePropertyGroup@2=-2130312313", fault, error)) << error;
    EXPECT_EQ(fault.index, ServiceIndex::HostRemovePropertyGroup);
    EXPECT_EQ(fault.nthCall, 2u);
    EXPECT_EQ(fault.code, ServiceNotAvailable);

    ASSERT_TRUE(ParseFault("HostReadPropertyGroup@0x10=7", fault, error)) << error;
    EXPECT_EQ(fault.nthCall, 16u);
    EXPECT_EQ(fault.code, 7);
    ASSERT_TRUE(ParseFault("HostListElements=0", fault, error)) << error;
    EXPECT_EQ(fault.code, 0);
    ASSERT_TRUE(ParseFault("HostListElements=-2147483648", fault, error)) << error;
    EXPECT_EQ(fault.code, INT32_MIN);
    ASSERT_TRUE(ParseFault("HostListElements=0xFFFFFFFF", fault, error)) << error;
    EXPECT_EQ(fault.code, -1);

    const InjectedFault kept = fault;
    const struct {
        const char* text;
        const char* fragment;
    } bad[] = {
        {"HostListElements", "expected SERVICE=CODE"},
        {"HostListElement=1", "unknown service \"HostListElement\""},
        {"=1", "unknown service \"\""},
        {"HostListElements@0=1", "call number \"0\""},
        {"HostListElements@=1", "call number \"\""},
        {"HostListElements@two=1", "call number \"two\""},
        {"HostListElements=", "code \"\""},
        {"HostListElements=12ab", "code \"12ab\""},
        {"HostListElements=0x", "code \"0x\""},
        {"HostListElements=0x100000000", "code \"0x100000000\""},
        {"HostListElements=-2147483649", "code \"-2147483649\""},
        {"HostListElements= 1", "code \" 1\""},
    };
    for (const auto& entry : bad) {
        error.clear();
        EXPECT_FALSE(ParseFault(entry.text, fault, error)) << entry.text;
        EXPECT_NE(error.find(entry.fragment), std::string::npos) << entry.text << " gave: " << error;
    }
    EXPECT_EQ(fault.index, kept.index);
    EXPECT_EQ(fault.code, kept.code);
}

TEST(Faults, TheNthCallFailsAndDoesNothing)
{
    Host host;
    const SampleProject sample(host.GetProject());
    InjectedFault fault;
    std::string error;
    ASSERT_TRUE(ParseFault("HostRemovePropertyGroup@2=0x81062099", fault, error));
    host.AddFault(fault);

    const API_Guid groups[] = {sample.wallGroup, sample.doorGroup, sample.commonGroup};
    std::vector<GSErrCode> results;
    for (const API_Guid& group : groups)
        results.push_back(CALL_SERVICE(host, HostRemovePropertyGroup, &group));
    EXPECT_EQ(results, (std::vector<GSErrCode>{NoError, static_cast<GSErrCode>(0x81062099), NoError}));
    EXPECT_EQ(host.GetProject().FindGroup(sample.wallGroup), nullptr);
    EXPECT_NE(host.GetProject().FindGroup(sample.doorGroup), nullptr);
    EXPECT_EQ(host.GetProject().FindGroup(sample.commonGroup), nullptr);
    EXPECT_EQ(host.CallCount("HostRemovePropertyGroup"), 3u);
}

TEST(Faults, AnAlwaysFailingCommandRunsNoCallable)
{
    Host host;
    host.GetFaults().FailAlways(ServiceIndex::HostRunUndoableCommand, ServiceNotAvailable);
    int runs = 0;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RunCommand(host, "Import Classifications", [&]() { return ++runs, NoError; }), ServiceNotAvailable);
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(host.Commands().empty());
    EXPECT_EQ(host.CallCount(ServiceIndex::HostRunUndoableCommand), 3u);

    // A fault with code 0 skips the work but reports success.
    host.GetFaults().Clear();
    host.GetFaults().FailNthCall(ServiceIndex::HostReportMessage, 1, NoError);
    EXPECT_EQ(SendReport(host, "Error: %d", 1, 5), NoError);
    EXPECT_EQ(SendReport(host, "Error: %d", 1, 6), NoError);
    ASSERT_EQ(host.ReportLines().size(), 1u);
    EXPECT_EQ(host.ReportLines()[0].text, "Error: 6");
}

TEST(Faults, RemovedServicesAreZeroInTheTableUntilRestored)
{
    Host host;
    EXPECT_TRUE(host.RemoveService("HostRunUndoableCommand"));
    EXPECT_FALSE(host.RemoveService("HostDoEverything"));
    host.RemoveService(ServiceIndex::HostAddMenu);
    EXPECT_EQ(host.ServiceTable()[ServiceIndex::HostRunUndoableCommand], nullptr);
    EXPECT_EQ(host.ServiceTable()[ServiceIndex::HostAddMenu], nullptr);
    EXPECT_NE(host.ServiceTable()[ServiceIndex::HostReportMessage], nullptr);
    EXPECT_TRUE(host.GetFaults().IsRemoved(ServiceIndex::HostAddMenu));

    EXPECT_TRUE(host.RestoreService("HostRunUndoableCommand"));
    EXPECT_NE(host.ServiceTable()[ServiceIndex::HostRunUndoableCommand], nullptr);
    EXPECT_EQ(host.ServiceTable()[ServiceIndex::HostAddMenu], nullptr);
    // Clearing the faults forgets removals and hands over a complete table again at once.
    host.RemoveService("HostListElements");
    host.GetFaults().FailAlways(ServiceIndex::HostListPropertyGroups, 5);
    host.GetFaults().Clear();
    for (const char* name : {"HostAddMenu", "HostListElements", "HostRunUndoableCommand"})
        EXPECT_NE(host.ServiceTable()[*FindServiceIndex(name)], nullptr) << name;
    EXPECT_FALSE(host.GetFaults().IsRemoved(ServiceIndex::HostAddMenu));
    GS::Array<API_PropertyGroup> groups;
    EXPECT_EQ(CALL_SERVICE(host, HostListPropertyGroups, &groups), NoError);
}
