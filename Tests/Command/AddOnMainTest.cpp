// The menu command handler: only item one of the module's own menu runs the update command.
#include "AddOnFixture.hpp"

#include "ProjectFile.hpp"

using namespace AddOnTesting;

class AddOnMain : public AddOnTest {};

TEST_F(AddOnMain, OnlyItemOneOfItsMenuRunsIt)
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
