// The update command as the user starts it from the menu: item test, group removal, file choice
// and reading, and the two imports, against the test host.
#include "AddOnFixture.hpp"

#include <algorithm>

#include "ConfigurationImport/ConfigurationImport.hpp"
#include "Common/OwnedGroups.hpp"
#include "ConfigurationImport/GroupRemoval.hpp"
#include "HostErrors.hpp"
#include "Platform/DialogRequest.hpp"
#include "ProjectFile.hpp"
#include "Support/Memory.hpp"
#include "Support/OwnedValues.hpp"

using namespace AddOnTesting;

class UpdateCommand : public AddOnTest {};

TEST_F(UpdateCommand, OnlyItemOneOfItsMenuRunsIt)
{
    LoadConfiguration();
    const std::string before = TestHost::WriteProjectXml(Model());
    dialog.QueueCancel();

    EXPECT_EQ(host.ChooseMenuItem(MenuStringsResID, 2), 0);
    MenuCommandParams otherMenu;
    otherMenu.menuResID = 32501;
    otherMenu.itemIndex = 1;
    EXPECT_EQ(MenuCommandHandler(&otherMenu), 0);

    EXPECT_EQ(TestHost::WriteProjectXml(Model()), before);
    EXPECT_TRUE(host.Commands().empty());
    EXPECT_TRUE(host.ReportLines().empty());
    EXPECT_EQ(host.CallCount("HostListPropertyDefinitions"), 0u);
    EXPECT_EQ(dialog.GetPendingAnswerCount(), 1u);
    EXPECT_FALSE(std::filesystem::exists(profile.BackupFile()));
}

TEST_F(UpdateCommand, CancelledDialogLeavesOwnedGroupsRemovedAndUndoable)
{
    LoadConfiguration();
    SetExpressions("SGPset_Wall", "FireRating", {"\"REI 60\""});
    const std::string before = TestHost::WriteProjectXml(Model());
    dialog.QueueCancel();

    EXPECT_EQ(RunCommand(), 0);

    EXPECT_TRUE(OwnedGroupNames(Model()).empty());
    ASSERT_NE(Model().FindGroupByName("Pset_WallCommon"), nullptr);
    EXPECT_EQ(host.StepNames(), (std::vector<std::string>{"Delete Property Groups", "Delete Property Groups"}));
    EXPECT_TRUE(host.ReportLines().empty());
    EXPECT_TRUE(host.Alerts().empty());
    EXPECT_EQ(host.CallCount("HostImportClassificationXml"), 0u);
    EXPECT_EQ(host.CallCount("HostImportPropertyXml"), 0u);
    // The backup was written and the expressions stay saved for the next run.
    EXPECT_TRUE(std::filesystem::exists(profile.BackupFile()));
    EXPECT_EQ(ExpressionStore.size(), 1u);

    EXPECT_EQ(host.Undo(2), 2u);
    EXPECT_EQ(TestHost::WriteProjectXml(Model()), before);
}

TEST_F(UpdateCommand, MissingUndoableCommandServiceIsReportedByEveryPhase)
{
    LoadConfiguration();
    ChooseConfiguration(BaseConfiguration);
    host.RemoveService("HostRunUndoableCommand");
    Bind();

    RunCommand();

    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{"Deleting properties error: " + NotAvailableText,
                                                       "Deleting properties error: " + NotAvailableText,
                                                       "Classification Import Error: " + NotAvailableText,
                                                       "Properties Import Error: " + NotAvailableText}));
    EXPECT_EQ(OwnedGroupNames(Model()).size(), 2u);
    EXPECT_EQ(host.CallCount("HostRemovePropertyGroup"), 0u);
    EXPECT_EQ(host.CallCount("HostImportPropertyXml"), 0u);
}

TEST_F(UpdateCommand, FailureEscapingAPhaseEndsTheCommandWithOneLine)
{
    LoadConfiguration();
    dialog.QueueCancel();
    // The first definition list the host fills cannot grow: the platform allocator is exhausted.
    GSErrCode result = NoError;
    {
        const Support::LiveBytesLimit limit(512);
        result = RunCommand();
    }

    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Import IFC-SG Classifications and Properties stopped: std::bad_alloc"});
    EXPECT_TRUE(host.Commands().empty());
    EXPECT_EQ(dialog.GetPendingAnswerCount(), 1u);
}
