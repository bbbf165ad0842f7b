#include <stdexcept>

#include <gtest/gtest.h>

#include "DG/DG.hpp"
#include "HostFixture.hpp"

using namespace TestHost;

namespace {

int outsideAlerts = 0;
int outsideDebugTexts = 0;

Int16 CountAlert(const DGAlertRequest&, void*)
{
    ++outsideAlerts;
    return 2;
}

void CountDebugText(const char*, void*)
{
    ++outsideDebugTexts;
}

}  // namespace

TEST(Host, RecordsAlertsAndDebugTextsAndRestoresThePreviousSinks)
{
    const DGAlertSink earlierAlertSink = DGSetAlertSink(&CountAlert, nullptr);
    const DBPrintSink earlierPrintSink = DBSetPrintSink(&CountDebugText, nullptr);
    {
        Host host;
        const Int16 answer = DGAlert(DG_INFORMATION, GS::UniString("Import Successful"),
                                     GS::UniString("IFC-SG Classifications and Properties are Imported Successfully!"),
                                     GS::UniString(), GS::UniString("Ok"), GS::UniString(), GS::UniString("Ünïcode"));
        EXPECT_EQ(answer, 1);
        DBPrintf("Quillmere: release was not called (%d)\n", 3);
        ASSERT_EQ(host.Alerts().size(), 1u);
        const Host::Alert& alert = host.Alerts()[0];
        EXPECT_EQ(alert.type, DG_INFORMATION);
        EXPECT_EQ(alert.title, "Import Successful");
        EXPECT_EQ(alert.mainText, "IFC-SG Classifications and Properties are Imported Successfully!");
        EXPECT_EQ(alert.secondaryText, "");
        EXPECT_EQ(alert.button1, "Ok");
        EXPECT_EQ(alert.button3, "Ünïcode");
        EXPECT_EQ(host.DebugLines(), std::vector<std::string>{"Quillmere: release was not called (3)\n"});
        EXPECT_EQ(outsideAlerts, 0);
        EXPECT_EQ(outsideDebugTexts, 0);

        host.ClearOutput();
        EXPECT_TRUE(host.Alerts().empty());
        EXPECT_TRUE(host.DebugLines().empty());
    }
    EXPECT_EQ(DGAlert(DG_ERROR, GS::UniString("t"), GS::UniString("m"), GS::UniString(), GS::UniString("Ok"),
                      GS::UniString(), GS::UniString()),
              2);
    DBPrintf("after\n");
    EXPECT_EQ(outsideAlerts, 1);
    EXPECT_EQ(outsideDebugTexts, 1);
    DGSetAlertSink(earlierAlertSink, nullptr);
    DBSetPrintSink(earlierPrintSink, nullptr);
}

TEST(Host, OnlyOneExistsAtATimeAndContextsIdentifyIt)
{
    EXPECT_EQ(Host::Current(), nullptr);
    {
        Host host;
        EXPECT_EQ(Host::Current(), &host);
        EXPECT_EQ(Host::FromContext(host.Context()), &host);
        EXPECT_EQ(Host::FromContext(nullptr), nullptr);
        EXPECT_THROW(Host second, std::logic_error);
        EXPECT_EQ(Host::Current(), &host);
    }
    EXPECT_EQ(Host::Current(), nullptr);
}

TEST(Host, ReplacingTheProjectForgetsHistoryButKeepsRecording)
{
    Host host;
    const SampleProject sample(host.GetProject());
    ASSERT_EQ(RunCommand(host, "Delete Property Groups",
                         [&]() { return CALL_SERVICE(host, HostRemovePropertyGroup, &sample.doorGroup); }),
              NoError);
    EXPECT_EQ(host.History().StepCount(), 1u);

    Project replacement;
    const SampleProject other(replacement);
    const std::string replaced = Snapshot(replacement);
    // Not while a command runs.
    EXPECT_EQ(RunCommand(host, "Replace", [&]() { return host.ReplaceProject(Project()) ? 1 : NoError; }), NoError);
    ASSERT_TRUE(host.ReplaceProject(std::move(replacement)));
    EXPECT_EQ(host.History().StepCount(), 0u);
    EXPECT_EQ(Snapshot(host.GetProject()), replaced);

    ASSERT_EQ(RunCommand(host, "Delete Property Groups",
                         [&]() { return CALL_SERVICE(host, HostRemovePropertyGroup, &other.wallGroup); }),
              NoError);
    EXPECT_EQ(host.Undo(), 1u);
    EXPECT_EQ(Snapshot(host.GetProject()), replaced);
}
