// The test host itself: one at a time, what it records of the module's calls (alerts, debug texts,
// report lines, commands), and the listener it tells of them as they happen.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DG/DG.hpp"
#include "HostErrors.hpp"
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

// The host's listener: told of commands, report lines, alerts, definition updates, group removals
// and value reads as they happen, in their order, also of calls the host refuses.
namespace {

// Writes down every event as one line; group and definition GUIDs as the names they have in the
// project at that moment, so a test sees what was still there when the listener was told.
class EventLog final : public Host::Listener {
public:
    explicit EventLog(const Project& project) : project(project) {}

    void CommandStarting(const std::string& name) override { events.push_back("start " + name); }
    void CommandFinished(const std::string& name, GSErrCode result) override
    {
        events.push_back("finish " + name + " " + std::to_string(result));
    }
    void ReportLineAdded(const Host::ReportLine& line) override
    {
        events.push_back("report " + std::to_string(line.flag) + " " + line.text);
    }
    void AlertShown(const Host::Alert& alert) override { events.push_back("alert " + alert.title); }
    void DefinitionUpdated(const API_Guid& definition) override
    {
        const PropertyDefinition* found = project.FindDefinition(definition);
        events.push_back("updated " + (found != nullptr ? found->name : GuidToText(definition)));
    }
    void GroupRemovalAsked(const API_Guid& group) override
    {
        const PropertyGroup* found = project.FindGroup(group);
        events.push_back("remove " + (found != nullptr ? found->name : "unknown " + GuidToText(group)));
    }
    void ElementValueAsked(const API_Guid& element, const API_Guid& definition) override
    {
        const Element* owner = project.FindElement(element);
        const PropertyDefinition* found = project.FindDefinition(definition);
        events.push_back("read " + (owner != nullptr ? owner->name : "?") + " " +
                         (found != nullptr ? found->name : "?"));
    }

    std::vector<std::string> events;

private:
    const Project& project;
};

API_PropertyDefinition DefinitionRecord(const Project& project, const API_Guid& guid)
{
    API_PropertyDefinition record;
    FillDefinitionRecord(*project.FindDefinition(guid), record);
    return record;
}

}  // namespace

TEST(Host, ListenerHearsWhatTheModuleDoesInItsOrderAlsoWhatTheHostRefuses)
{
    Host host;
    SampleProject sample(host.GetProject());
    const Project& project = host.GetProject();
    EventLog log(project);
    host.SetListener(&log);

    // A command that reports, updates a definition and fails to update an unknown one; a command
    // whose callable fails; a command refused by an injected fault without running.
    API_PropertyDefinition thickness = DefinitionRecord(project, sample.thickness);
    thickness.expressions.Push(GS::UniString("{Wall.Thickness}"));
    thickness.expressionFlag = 1;
    API_PropertyDefinition unknown = thickness;
    unknown.guid = sample.wall1;
    EXPECT_EQ(RunCommand(host, "Import Expressions", [&]() {
                  EXPECT_EQ(SendReport(host, "Expressions Import Error: %d", 1, 42), NoError);
                  EXPECT_EQ(CALL_SERVICE(host, HostUpdatePropertyDefinition, &unknown), HostError::BadId);
                  return CALL_SERVICE(host, HostUpdatePropertyDefinition, &thickness);
              }),
              NoError);
    EXPECT_EQ(RunCommand(host, "Delete Property Groups", [&]() {
                  return CALL_SERVICE(host, HostRemovePropertyGroup, &sample.wall1);
              }),
              HostError::BadId);
    host.AddFault(InjectedFault{ServiceIndex::HostRunUndoableCommand, 3, 77});
    bool ran = false;
    EXPECT_EQ(RunCommand(host, "Delete Property Groups", [&]() {
                  ran = true;
                  return NoError;
              }),
              77);
    EXPECT_FALSE(ran);

    // A read, then a removal that succeeds: the group is still there when the listener is told.
    ElementPropertyRecord property;
    EXPECT_EQ(CALL_SERVICE(host, HostReadElementPropertyValue, &sample.door, &sample.clearWidth, &property), NoError);
    EXPECT_EQ(CALL_SERVICE(host, HostRemovePropertyGroup, &sample.doorGroup), NoError);
    EXPECT_EQ(project.FindGroup(sample.doorGroup), nullptr);
    // Calls refused by faults are told too: the module asked for them all the same.
    host.AddFault(InjectedFault{ServiceIndex::HostRemovePropertyGroup, 0, 9});
    host.AddFault(InjectedFault{ServiceIndex::HostReadElementPropertyValue, 0, 4});
    EXPECT_EQ(CALL_SERVICE(host, HostRemovePropertyGroup, &sample.wallGroup), 9);
    EXPECT_EQ(CALL_SERVICE(host, HostReadElementPropertyValue, &sample.wall1, &sample.thickness, &property), 4);
    EXPECT_NE(project.FindGroup(sample.wallGroup), nullptr);
    DGAlert(DG_INFORMATION, GS::UniString("Import Successful"), GS::UniString("done"), GS::UniString(),
            GS::UniString("Ok"), GS::UniString(), GS::UniString());

    const std::vector<std::string> expected = {
        "start Import Expressions",
        "report 1 Expressions Import Error: 42",
        "updated Thickness",
        "finish Import Expressions 0",
        "start Delete Property Groups",
        "remove unknown " + GuidToText(sample.wall1),
        "finish Delete Property Groups " + std::to_string(HostError::BadId),
        "start Delete Property Groups",
        "finish Delete Property Groups 77",
        "read D-001 ClearWidth",
        "remove SGPset_Door",
        "remove SGPset_Wall",
        "read W-001 Thickness",
        "alert Import Successful",
    };
    EXPECT_EQ(log.events, expected);
    // What the host itself keeps is unchanged by listening: the refused command is not among its runs.
    ASSERT_EQ(host.Commands().size(), 2u);
    EXPECT_EQ(host.StepNames(), std::vector<std::string>{"Import Expressions"});
    EXPECT_EQ(host.ReportLines().size(), 1u);
    EXPECT_EQ(host.Alerts().size(), 1u);
}

TEST(Host, ListenerIsToldNothingOnceUnsetAndAFailingCommandStillEndsWithItsCode)
{
    Host host;
    SampleProject sample(host.GetProject());
    EventLog log(host.GetProject());
    host.SetListener(&log);

    // A command whose callable changes the project and then fails: the change is rolled back and
    // the listener hears the callable's code; a call without a name or callable is refused.
    EXPECT_EQ(RunCommand(host, "Import Properties", [&]() {
                  EXPECT_EQ(host.GetProject().SetElementValue(sample.wall2, sample.thickness, MakeRealValue(0.4)),
                            NoError);
                  return GSErrCode(5);
              }),
              5);
    EXPECT_EQ(host.GetProject().FindElementValue(sample.wall2, sample.thickness), nullptr);
    const GS::UniString name("Import Classifications");
    EXPECT_EQ(CALL_SERVICE(host, HostRunUndoableCommand, &name, nullptr), HostError::BadParameter);
    EXPECT_EQ((std::vector<std::string>{"start Import Properties", "finish Import Properties 5",
                                        "start Import Classifications",
                                        "finish Import Classifications " + std::to_string(HostError::BadParameter)}),
              log.events);

    host.SetListener(nullptr);
    log.events.clear();
    EXPECT_EQ(RunCommand(host, "Import Classifications", []() { return NoError; }), NoError);
    EXPECT_EQ(SendReport(host, "Error 1: %d", 1, 3), NoError);
    EXPECT_EQ(CALL_SERVICE(host, HostRemovePropertyGroup, &sample.commonGroup), NoError);
    DGAlert(DG_ERROR, GS::UniString("t"), GS::UniString("m"), GS::UniString(), GS::UniString("Ok"), GS::UniString(),
            GS::UniString());
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(host.ReportLines().size(), 1u);
    EXPECT_EQ(host.Alerts().size(), 1u);
}
