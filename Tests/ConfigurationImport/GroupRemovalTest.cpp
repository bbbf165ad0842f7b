// The removal of the owned property groups: one undoable step per
// group, a failing removal reported while the others still go, nothing removed when the groups
// cannot be listed.
#include "AddOnFixture.hpp"

#include "ConfigurationImport/ConfigurationImport.hpp"

using namespace AddOnTesting;

class GroupRemoval : public AddOnTest {};

TEST_F(GroupRemoval, FailingRemovalIsReportedAndTheOthersStillGo)
{
    Model().AddGroup("SGPset_Wall", "");
    Model().AddGroup("Pset_WallCommon", "");
    Model().AddGroup("Office SGPset_Door", "");
    Model().AddGroup("SGPset_Space", "");
    Model().AddGroup("sgpset_Lower", "");
    Model().AddGroup("SGPsetNoUnderscore", "");
    Model().AddGroup("SGP set_Blank", "");
    host.AddFault({ServiceIndex::HostRemovePropertyGroup, 2, SomeHostError});
    RemoveOwnedPropertyGroups();

    EXPECT_EQ(CommandNames(), std::vector<std::string>(3, "Delete Property Groups"));
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Deleting properties error: " + std::to_string(SomeHostError)});
    std::vector<std::string> remaining;
    for (const TestHost::PropertyGroup& group : Model().Groups())
        remaining.push_back(group.name);
    EXPECT_EQ(remaining, (std::vector<std::string>{"Pset_WallCommon", "Office SGPset_Door", "sgpset_Lower",
                                                   "SGPsetNoUnderscore", "SGP set_Blank"}));
}

TEST_F(GroupRemoval, GroupsThatCannotBeListedEndTheRemovalSilently)
{
    LoadConfiguration();
    host.AddFault({ServiceIndex::HostListPropertyGroups, 0, SomeHostError});
    RemoveOwnedPropertyGroups();
    EXPECT_EQ(OwnedGroupNames(Model()).size(), 2u);
    EXPECT_TRUE(host.Commands().empty());
    EXPECT_TRUE(host.ReportLines().empty());
}
