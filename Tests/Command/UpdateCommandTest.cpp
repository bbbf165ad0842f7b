// The update command as the user starts it from the menu, run in-process against the test host:
// the phases in their order and the conditions between them, what users put on the owned
// properties coming back after a whole run, and a failure that escapes a phase.
#include "AddOnFixture.hpp"

#include "ProjectFile.hpp"
#include "Support/Descriptors.hpp"
#include "Support/Memory.hpp"
#include "Support/Store.hpp"

using namespace AddOnTesting;

namespace {

// The next edition: SGPset_Wall's FireRating is now FireResistance, SGPset_Door is SGPset_DoorLeaf,
// and SGPset_Wall gained AcousticRating.
const char* const RenamedConfiguration = R"(<configuration>
  <classificationSystem name="IFC-SG" version="2026">
    <item id="IfcWall"/><item id="IfcDoor"/><item id="IfcSpace"/>
  </classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="FireResistance" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
    <property name="IsExternal" type="Boolean"><appliesTo item="IfcWall"/></property>
    <property name="LayerCount" type="Integer"><appliesTo item="IfcWall"/></property>
    <property name="AcousticRating" type="String"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_DoorLeaf">
    <property name="FireExit" type="Boolean"><appliesTo item="IfcDoor"/></property>
    <property name="ClearWidth" type="Real" measure="Length"><appliesTo item="IfcDoor"/></property>
  </propertyGroup>
  <propertyGroup name="Pset_WallCommon">
    <property name="Reference" type="String"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>)";

}  // namespace

class UpdateCommand : public AddOnTest {};

TEST_F(UpdateCommand, CancelledOrUnreadableConfigurationChangesNothing)
{
    LoadConfiguration();
    PutUsersWork();
    const std::string before = TestHost::WriteProjectXml(Model());
    dialog.QueueCancel();
    // A named pipe passes the dialog's must-exist check but is no file to read.
    Support::MakeNamedPipe(profile.Path() / "a pipe.xml");
    dialog.QueueChoice((profile.Path() / "a pipe.xml").string());

    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(RunCommand(), 0);

    // The dialog comes first: nothing was saved, removed or written, and no step can be undone.
    EXPECT_EQ(TestHost::WriteProjectXml(Model()), before);
    EXPECT_TRUE(host.StepNames().empty());
    EXPECT_EQ(host.CallCount("HostListPropertyDefinitions") + host.CallCount("HostListElements"), 0u);
    EXPECT_FALSE(std::filesystem::exists(profile.BackupFile()));
    EXPECT_FALSE(std::filesystem::exists(profile.Store()));
    EXPECT_TRUE(host.Alerts().empty());
    // The file that cannot be read gets its line; the cancel says nothing.
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"The configuration file \"" + (profile.Path() / "a pipe.xml").string() +
                                                      "\" could not be read (system error 22); nothing was changed"});
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
    ChooseConfiguration(BaseConfiguration);
    // The configuration's text cannot be held: the platform allocator is exhausted.
    GSErrCode result = NoError;
    {
        const Support::LiveBytesLimit limit(512);
        result = RunCommand();
    }

    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Import IFC-SG Classifications and Properties stopped: std::bad_alloc"});
    EXPECT_TRUE(host.Commands().empty());
    EXPECT_EQ(dialog.GetPendingAnswerCount(), 0u);
}

// Whole runs on what users put on the owned properties (PutUsersWork): it comes back after the
// import, expressions into the new definitions and element values onto the elements, matched by
// group and property names.
TEST_F(UpdateCommand, ValuesAndExpressionsSurviveAFullRun)
{
    const auto [wall, door] = PutUsersWork();
    ChooseConfiguration(BaseConfiguration);
    const API_Guid oldThickness = Definition("SGPset_Wall", "Thickness").guid;

    EXPECT_EQ(RunCommand(), 0);

    EXPECT_TRUE(host.ReportLines().empty()) << ReportTexts()[0];
    // The groups were made anew by the import.
    EXPECT_NE(Definition("SGPset_Wall", "Thickness").guid, oldThickness);
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "FireRating"), MakeStringValue("REI 120 & \"tested\""));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "Thickness"), MakeRealValue(0.25));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "IsExternal"), MakeBooleanValue(true));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "LayerCount"), MakeIntegerValue(-3));
    EXPECT_EQ(*ValueOf(wall, "Pset_WallCommon", "Reference"), MakeStringValue("W-01"));
    EXPECT_EQ(*ValueOf(door, "SGPset_Door", "FireExit"), MakeBooleanValue(true));
    // A value left at its default stays at the default.
    EXPECT_EQ(ValueOf(door, "SGPset_Door", "ClearWidth"), nullptr);

    EXPECT_EQ(Definition("SGPset_Wall", "Thickness").expressions,
              (std::vector<std::string>{"{Wall.Width}", "{Wall.Width} * 2"}));
    EXPECT_EQ(Definition("SGPset_Wall", "Thickness").expressionFlag, 1);
    EXPECT_EQ(Definition("SGPset_Door", "ClearWidth").expressions, std::vector<std::string>{"{Door.Width} - 0.1"});
    EXPECT_TRUE(Definition("SGPset_Wall", "LayerCount").expressions.empty());
    // The lists were in the store while the groups were away; nothing is kept now.
    EXPECT_EQ(Support::KeptListCount(profile.Store()), 0u);
    EXPECT_EQ(Support::KeptValueCount(profile.Store()), 0u);

    EXPECT_EQ(CommandNames(), (std::vector<std::string>{"Delete Property Groups", "Delete Property Groups",
                                                        "Import Classifications", "Import Properties",
                                                        "Import Expressions", "Import Expressions"}));
    ASSERT_EQ(host.Alerts().size(), 1u);
    const TestHost::Host::Alert& alert = host.Alerts()[0];
    EXPECT_EQ(alert.type, -3);
    EXPECT_EQ(alert.title, "Import Successful");
    EXPECT_EQ(alert.mainText, "IFC-SG Classifications and Properties are Imported Successfully!");
    EXPECT_EQ(alert.secondaryText, "");
    EXPECT_EQ(alert.button1, "Ok");
    EXPECT_EQ(alert.button2, "");
    EXPECT_EQ(alert.button3, "");
}

TEST_F(UpdateCommand, RenamedGroupOrPropertyIsKeptAndReported)
{
    const auto [wall, door] = PutUsersWork();
    ChooseConfiguration(RenamedConfiguration);
    RunCommand();

    EXPECT_EQ(ValueOf(wall, "SGPset_Wall", "FireResistance"), nullptr);
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "Thickness"), MakeRealValue(0.25));
    EXPECT_EQ(ValueOf(door, "SGPset_DoorLeaf", "FireExit"), nullptr);
    EXPECT_TRUE(Definition("SGPset_DoorLeaf", "ClearWidth").expressions.empty());
    EXPECT_EQ(Definition("SGPset_Wall", "Thickness").expressions.size(), 2u);
    // What found no definition is kept, and the user is told where.
    const std::string store = profile.Store().string();
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{
                                 "SGPset_Wall / FireRating: 1 of 1 saved value not brought back (1 not defined by "
                                 "the configuration); kept in \"" + store + "\"",
                                 "SGPset_Door / FireExit: 1 of 1 saved value not brought back (1 not defined by the "
                                 "configuration); kept in \"" + store + "\"",
                                 "SGPset_Door / ClearWidth: the saved expression list was not brought back (the "
                                 "configuration does not define the property); it is kept in \"" + store + "\"",
                                 "Waiting in \"" + store + "\" for an import that defines their properties: 2 values, "
                                 "1 expression list (SGPset_Door, SGPset_Wall)"}));
    EXPECT_EQ(Support::KeptListCount(profile.Store()), 1u);
    EXPECT_EQ(Support::KeptValueCount(profile.Store()), 2u);
    EXPECT_EQ(host.Alerts().size(), 1u);
}

TEST_F(UpdateCommand, FailedBackupRemovesNothing)
{
    PutUsersWork();
    const std::string earlier = BackupWithWallValues(
        "\t\t<SGPset_Wall-Thickness valType=\"Real\" MType=\"Length\">0.400000</SGPset_Wall-Thickness>\n");
    Support::WriteBytes(profile.BackupFile(), earlier);
    AddElement("3F2504E0-4F89-11D3-9A0C-0305E82C3303", "IfcWall");
    host.AddFault({ServiceIndex::HostListElementPropertyDefinitions, 3, 92});
    ChooseConfiguration(BaseConfiguration);
    const std::string before = TestHost::WriteProjectXml(Model());

    RunCommand();

    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{"Error 2: 92", "Nothing was removed or imported: the expression "
                                                                      "lists and values of the owned property groups "
                                                                      "could not all be saved"}));
    EXPECT_EQ(TestHost::WriteProjectXml(Model()), before);
    EXPECT_TRUE(host.Commands().empty());
    EXPECT_EQ(Support::ReadBytes(profile.BackupFile()), earlier);
    EXPECT_EQ(Support::KeptValueCount(profile.Store()), 0u);
    EXPECT_TRUE(host.Alerts().empty());
}

TEST_F(UpdateCommand, RefusedWriteIsReportedWithTheNamesAndTheRestGoesOn)
{
    const API_Guid wall = PutUsersWork().wall;
    ChooseConfiguration(BaseConfiguration);
    host.AddFault({ServiceIndex::HostWriteElementPropertyValue, 1, 93});
    RunCommand();
    ASSERT_EQ(host.ReportLines().size(), 3u);
    EXPECT_EQ(host.ReportLines()[0].flag, 0);
    EXPECT_EQ(host.ReportLines()[0].text, "SGPset_Wall - FireRating error while importing property");
    EXPECT_EQ(host.ReportLines()[1].text,
              "SGPset_Wall / FireRating: 1 of 1 saved value not brought back (1 could not be written); kept in \"" +
                  profile.Store().string() + "\"");
    EXPECT_EQ(ValueOf(wall, "SGPset_Wall", "FireRating"), nullptr);
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "LayerCount"), MakeIntegerValue(-3));
    EXPECT_EQ(host.Alerts().size(), 1u);
}
