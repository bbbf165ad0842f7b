// The expression lists of owned definitions, saved before the owned groups go and written into the
// definitions the import makes: which lists are saved and where they go, the store that keeps them
// for the next run when a run does not finish or cannot write them.
#include "AddOnFixture.hpp"

#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "Support/Store.hpp"
#include "BackupFile/ValueBackupWriter.hpp"

using namespace AddOnTesting;

// Starts from the users' work on the base configuration.
class ExpressionPreservation : public AddOnTest {
protected:
    void SetUp() override
    {
        AddOnTest::SetUp();
        wall = PutUsersWork().wall;
    }

    API_Guid wall;
};

TEST_F(ExpressionPreservation, ExpressionsSavedByAnUnfinishedRunComeBackInTheNext)
{
    // The property import fails after the owned groups went: the lists wait in the store.
    ChooseConfiguration(BaseConfiguration);
    host.AddFault({ServiceIndex::HostImportPropertyXml, 1, 94});
    RunCommand();
    EXPECT_TRUE(OwnedGroupNames(Model()).empty());
    EXPECT_EQ(Support::KeptListCount(profile.Store()), 2u);

    // The second run finds no owned definition to save from, and still applies what was kept.
    ChooseConfiguration(BaseConfiguration);
    RunCommand();
    EXPECT_EQ(Definition("SGPset_Door", "ClearWidth").expressions, std::vector<std::string>{"{Door.Width} - 0.1"});
    EXPECT_EQ(Definition("SGPset_Wall", "Thickness").expressions.size(), 2u);
    EXPECT_EQ(Support::KeptListCount(profile.Store()), 0u);
}

TEST_F(ExpressionPreservation, FailedDefinitionListingOfTheExpressionImportKeepsTheStore)
{
    ChooseConfiguration(BaseConfiguration);
    host.AddFault({ServiceIndex::HostListPropertyDefinitions, 2, 91});
    RunCommand();
    ASSERT_EQ(ReportTexts().size(), 4u);
    EXPECT_EQ(ReportTexts()[0], "Error: 91");
    EXPECT_EQ(ReportTexts()[1].rfind("SGPset_Door / ClearWidth: the saved expression list was not brought back (it "
                                     "could not be written); it is kept in \"", 0), 0u);
    EXPECT_EQ(ReportTexts()[3], "Waiting in \"" + profile.Store().string() +
                                    "\" for an import that defines their properties: 2 expression lists (SGPset_Door, SGPset_Wall)");
    EXPECT_EQ(Support::KeptListCount(profile.Store()), 2u);
    EXPECT_TRUE(host.Alerts().empty());
    // The values still come back into the definitions the import made.
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "Thickness"), MakeRealValue(0.25));

    // The next run puts the lists into the definitions the failed run left without them.
    ChooseConfiguration(BaseConfiguration);
    RunCommand();
    EXPECT_EQ(Definition("SGPset_Wall", "Thickness").expressions.size(), 2u);
    EXPECT_EQ(Support::KeptListCount(profile.Store()), 0u);
}

TEST_F(ExpressionPreservation, MissingUndoableCommandServiceDuringTheExpressionImport)
{
    ExportExpressions(run);
    BackupElementValues(run);
    host.RemoveService("HostRunUndoableCommand");
    Bind();

    // The import still completes, so the restore follows.
    EXPECT_TRUE(ImportExpressions(run));

    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{"Expressions Import Error: " + NotAvailableText,
                                                       "Expressions Import Error: " + NotAvailableText}));
    EXPECT_TRUE(Definition("SGPset_Door", "ClearWidth").expressions.size() == 1u);
    EXPECT_EQ(host.CallCount("HostUpdatePropertyDefinition"), 0u);
    // Both lists stay for a later run, as not written.
    for (const auto& [name, fate] : run.listFates)
        EXPECT_EQ(fate, ValueFate::NotWritten);
    EXPECT_EQ(run.listFates.size(), 2u);
}

TEST_F(ExpressionPreservation, ExpressionsFollowNamesKindAndFlag)
{
    // A second group of the same name: the later definition's list is the one kept, and both
    // definitions of that key receive it. A non-custom definition is neither saved nor re-applied.
    Model().AddGroup("SGPset_Door", "second group of the same name");
    API_Guid lastGroup;
    for (const TestHost::PropertyGroup& group : Model().Groups())
        lastGroup = group.guid;
    TestHost::PropertyDefinition twin = Definition("SGPset_Door", "ClearWidth");
    twin.guid = APINULLGuid;
    twin.group = lastGroup;
    twin.expressions = {"{Door.Width} - 0.2"};
    ASSERT_NE(Model().AddDefinition(twin), APINULLGuid);
    TestHost::PropertyDefinition builtIn = Definition("SGPset_Wall", "IsExternal");
    builtIn.kind = 1;
    builtIn.expressions = {"built-in"};
    builtIn.expressionFlag = 1;
    ASSERT_EQ(Model().UpdateDefinition(builtIn), 0);

    ASSERT_TRUE(ExportExpressions(run));
    ASSERT_EQ(run.expressions.lists.size(), 2u);
    const auto kept = run.expressions.lists.find(PropertyName{GS::UniString("SGPset_Door"), GS::UniString("ClearWidth")});
    ASSERT_NE(kept, run.expressions.lists.end());
    ASSERT_EQ(kept->second.GetSize(), 1u);
    EXPECT_TRUE(kept->second[0] == GS::UniString("{Door.Width} - 0.2"));

    // An empty saved list still replaces the definition's list and sets the flag.
    run.expressions.lists[PropertyName{GS::UniString("SGPset_Wall"), GS::UniString("FireRating")}] = ExpressionList();
    SetExpressions("SGPset_Wall", "FireRating", {"to be replaced"}, 0);
    ImportExpressions(run);
    EXPECT_EQ(CommandNames(), std::vector<std::string>(4, "Import Expressions"));
    EXPECT_TRUE(Definition("SGPset_Wall", "FireRating").expressions.empty());
    EXPECT_EQ(Definition("SGPset_Wall", "FireRating").expressionFlag, 1);
    int clearWidths = 0;
    for (const TestHost::PropertyDefinition& definition : Model().Definitions()) {
        if (definition.name != "ClearWidth")
            continue;
        ++clearWidths;
        EXPECT_EQ(definition.expressions, std::vector<std::string>{"{Door.Width} - 0.2"});
    }
    EXPECT_EQ(clearWidths, 2);
}
