// The module file under the test host through whole update commands, where the values users put on
// owned properties could be lost: the backup file replaced, unwritable or redirected, a cancelled
// run, older files, and values that text does not hold easily.
#include <cmath>
#include <limits>

#include "ModuleRun.hpp"

namespace {

const char* const Configuration = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/><item id="IfcDoor"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="Mark" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
    <property name="LayerCount" type="Integer"><appliesTo item="IfcWall"/></property>
    <property name="IsExternal" type="Boolean"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Door">
    <property name="Width(mm)" type="Real"><appliesTo item="IfcDoor"/></property>
    <property name="Fire:Rating" type="String"><appliesTo item="IfcDoor"/></property>
    <property name="Clear Width" type="Real"><appliesTo item="IfcDoor"/></property>
    <property name="Note&#13;&#10;Line" type="String"><appliesTo item="IfcDoor"/></property>
  </propertyGroup>
  <propertyGroup name="Pset_WallCommon">
    <property name="Reference" type="String"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>)xml";

using namespace Abi;
using TestHost::MakeBooleanValue;
using TestHost::MakeIntegerValue;
using TestHost::MakeRealValue;
using TestHost::MakeStringValue;

class ValueSafety : public ModuleRunTest {
protected:
    ValueSafety() : ModuleRunTest(Configuration) {}

    void SetUp() override
    {
        ModuleRunTest::SetUp();
        wall = AddElement("W1", "IfcWall");
        door = AddElement("D1", "IfcDoor");
        Set(wall, "SGPset_Wall", "Mark", MakeStringValue("W-01"));
        Set(wall, "SGPset_Wall", "Thickness", MakeRealValue(0.25));
        Set(wall, "SGPset_Wall", "LayerCount", MakeIntegerValue(3));
        Set(wall, "Pset_WallCommon", "Reference", MakeStringValue("R-7"));
        Set(door, "SGPset_Door", "Width(mm)", MakeRealValue(900));
        Set(door, "SGPset_Door", "Fire:Rating", MakeStringValue("FD30"));
        Start();
    }

    API_Guid wall;
    API_Guid door;
};

}  // namespace

TEST_F(ValueSafety, TheRestoreTakesThisRunsValuesWhateverBecomesOfTheFile)
{
    const Support::ValueMap before = Support::OwnedValues(host.GetProject());

    // Another program (a second host on the same profile) writes its own backup while the dialog
    // is up: the restore still writes this project's values, not the other file's.
    std::string ours;
    RunCommand(true, [&] {
        ours = Support::ReadBytes(home.BackupFile());
        std::string theirs = ours;
        theirs.replace(theirs.find(">W-01<"), 6, ">X-99<");
        EXPECT_TRUE(Support::TryWriteBytes(home.BackupFile(), theirs));
    });
    EXPECT_NE(ours.find(">W-01<"), std::string::npos);
    EXPECT_TRUE(ReportTexts().empty());
    EXPECT_EQ(host.Alerts().size(), 1u);
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));

    // The file cannot be written (the temporary file's place is taken by a folder): reported, the
    // earlier file stays as it was, and this run's values still come back, not the earlier file's.
    const std::string stale = "<project><element guid=\"" + TestHost::GuidToText(wall) +
                              "\"><SGPset_Wall-Mark valType=\"String\">stale</SGPset_Wall-Mark></element></project>";
    Support::WriteBytes(home.BackupFile(), stale);
    std::filesystem::create_directory(home.TemporaryFile());
    RunCommand();
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Backup Write Error: " + std::to_string(EEXIST)});
    EXPECT_EQ(Support::ReadBytes(home.BackupFile()), stale);
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    std::filesystem::remove(home.TemporaryFile());

    // Without "USERPROFILE" nothing goes to disk, one line says so, and the values come back.
    std::filesystem::remove(home.BackupFile());
    unsetenv("USERPROFILE");
    RunCommand();
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"\"USERPROFILE\" is not set: the value backup is kept for this "
                                                      "command only and not written to a file"});
    EXPECT_EQ(host.Alerts().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(home.BackupFile()));
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
}

TEST_F(ValueSafety, AFailedPropertyImportSaysWhereTheValuesWaitOrThatOnlyUndoHasThem)
{
    const Support::ValueMap before = Support::OwnedValues(host.GetProject());
    host.GetFaults().FailAlways(ServiceIndex::HostImportPropertyXml, 4242);
    const std::string notKept = "No value or expression list was brought back, and the values could not be kept: ";
    struct Case {
        const char* what;
        bool profile;
        bool filesBlocked;  // the backup file and the run's kept file cannot be written
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"kept", true, false,
         {"Properties Import Error: 4242",
          "No value or expression list was brought back: they are kept in \"" + home.BackupFile().string() + "\" for the next import"}},
        {"files blocked", true, true,
         {"Backup Write Error: " + std::to_string(EEXIST), "Properties Import Error: 4242", "Backup Write Error: " + std::to_string(EEXIST),
          notKept + "their file could not be written; undoing the run brings them back"}},
        {"no profile", false, false,
         {"\"USERPROFILE\" is not set: the value backup is kept for this command only and not written to a file",
          "Properties Import Error: 4242", notKept + "\"USERPROFILE\" is not set; undoing the run brings them back"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::filesystem::path> blocked;
        if (c.filesBlocked)
            for (int run = 1; run <= 4; ++run)
                blocked.push_back(home.Documents() / ("IFC_SG_Properties." + std::to_string(run) + ".xml.tmp"));
        if (c.filesBlocked)
            blocked.push_back(home.TemporaryFile());
        for (const std::filesystem::path& folder : blocked)
            std::filesystem::create_directory(folder);
        if (!c.profile)
            unsetenv("USERPROFILE");
        RunCommand();
        EXPECT_EQ(ReportTexts(), c.lines);
        EXPECT_TRUE(host.Alerts().empty());
        // Undo brings every value back in every case.
        host.Undo(host.StepNames().size());
        EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
        for (const std::filesystem::path& folder : blocked)
            std::filesystem::remove(folder);
        std::filesystem::remove(home.BackupFile());
    }
}

TEST_F(ValueSafety, CancelSaveReopenAndChooseBringsEveryValueBack)
{
    const Support::ValueMap before = Support::OwnedValues(host.GetProject());
    ASSERT_EQ(before.size(), 5u);

    RunCommand(false);
    EXPECT_TRUE(Support::OwnedValues(host.GetProject()).empty());
    const std::string written = Support::ReadBytes(home.BackupFile());

    // The project is saved and the host closed; later it is opened again and the command chosen.
    const std::filesystem::path saved = home.Path() / "project.xml";
    std::string error;
    ASSERT_TRUE(TestHost::SaveProjectFile(host.GetProject(), saved.string(), error)) << error;
    Stop();
    TestHost::Project reopened;
    ASSERT_TRUE(TestHost::LoadProjectFile(saved.string(), reopened).ok);
    ASSERT_TRUE(host.ReplaceProject(std::move(reopened)));
    Start();

    RunCommand();
    // No owned group, so no backup: the earlier file stays, and its values come back.
    ASSERT_EQ(ReportTexts().size(), 2u);
    EXPECT_EQ(ReportTexts()[0], "No property group of the project is owned (\"SGPset_\"): the value backup \"" +
                                    home.BackupFile().string() +
                                    "\" of an earlier run is kept, and its values are restored after the import");
    EXPECT_TRUE(SaysValuesCameBack(ReportTexts()[1], 5, home.BackupFile())) << ReportTexts()[1];
    EXPECT_EQ(Support::ReadBytes(home.BackupFile()), written);
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));

    // Without an earlier file, a project without owned groups is nothing to report.
    host.GetProject().RemoveGroup(host.GetProject().FindGroupByName("SGPset_Wall")->guid);
    host.GetProject().RemoveGroup(host.GetProject().FindGroupByName("SGPset_Door")->guid);
    std::filesystem::remove(home.BackupFile());
    RunCommand();
    EXPECT_TRUE(ReportTexts().empty());
    EXPECT_FALSE(std::filesystem::exists(home.BackupFile()));
    EXPECT_EQ(host.Alerts().size(), 1u);
}

TEST_F(ValueSafety, OlderFilesRestoreInBothForms)
{
    // A file in the plain form, every key the name of its element as rapidxml reads it, and the
    // keyed form for the names XML cannot carry, as an earlier run left it.
    const std::string guid = TestHost::GuidToText(door);
    Support::WriteBytes(home.BackupFile(),
                        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<project>\n\t<element guid=\"" + guid + "\">\n"
                        "\t\t<SGPset_Door-Width(mm) valType=\"Real\" MType=\"Default\">850.500000</SGPset_Door-Width(mm)>\n"
                        "\t\t<SGPset_Door-Fire:Rating valType=\"String\" MType=\"Default\">FD60</SGPset_Door-Fire:Rating>\n"
                        "\t\t<value key=\"SGPset_Door-Clear Width\" valType=\"Real\" MType=\"Default\">0.800000</value>\n"
                        "\t</element>\n</project>\n\n");
    // The restore reads the file when this run built no backup: here, none of the project's groups
    // is owned any more.
    host.GetProject().RemoveGroup(host.GetProject().FindGroupByName("SGPset_Wall")->guid);
    host.GetProject().RemoveGroup(host.GetProject().FindGroupByName("SGPset_Door")->guid);

    RunCommand();
    ASSERT_EQ(ReportTexts().size(), 2u);  // the earlier file is kept, and its values came back
    EXPECT_TRUE(SaysValuesCameBack(ReportTexts()[1], 3, home.BackupFile())) << ReportTexts()[1];
    const Support::ValueMap after = Support::OwnedValues(host.GetProject());
    const auto value = [&](const char* name) { return after.at({guid, "SGPset_Door", name}); };
    EXPECT_EQ(after.size(), 3u);
    EXPECT_EQ(value("Width(mm)"), MakeRealValue(850.5));
    EXPECT_EQ(value("Fire:Rating"), MakeStringValue("FD60"));
    EXPECT_EQ(value("Clear Width"), MakeRealValue(0.8));

    // The writer names elements by every key that is an XML name, the colon included.
    RunCommand(false);
    const std::string written = Support::ReadBytes(home.BackupFile());
    EXPECT_NE(written.find("<SGPset_Door-Fire:Rating valType=\"String\" MType=\"Default\">FD60</SGPset_Door-Fire:Rating>"),
              std::string::npos);
    EXPECT_NE(written.find("<value key=\"SGPset_Door-Width(mm)\" valType=\"Real\" MType=\"Default\">850.500000</value>"),
              std::string::npos);
}

TEST_F(ValueSafety, HostileValuesComeBackExactlyFromMemoryAndFromTheFile)
{
    const std::string lone = "\xED\xA0\x80";  // a lone surrogate, U+D800, as the model keeps it
    const std::vector<std::string> strings = {
        "line\r\nbreak", " ", "\t", "\n", "  padded  ", "\r", "a]]>b & <c> \"d\" 'e'", "\x01\x08\x0B\x0C\x1A\x1F",
        "\xE5\xBB\xBA\xE7\xAD\x91 \xCE\x94 \xF0\x9F\x8F\xA0", "x" + lone + "y", std::string("nul\0inside", 10), std::string(100000, 'z'), ""};
    const std::vector<double> reals = {0.1234567, 1e-7, -0.0, 1e300, 4.9e-324, -123456789.123456789,
                                       std::numeric_limits<double>::infinity()};
    const std::vector<Int32> integers = {std::numeric_limits<Int32>::min(), std::numeric_limits<Int32>::max(), 0, -1};
    TestHost::Project& project = host.GetProject();
    const API_Guid wallItem = project.FindItemById("IfcWall")->guid;
    const API_Guid doorItem = project.FindItemById("IfcDoor")->guid;
    for (std::size_t i = 0; i < strings.size() || i < reals.size(); ++i) {
        const API_Guid element = project.AddElement("H" + std::to_string(i), "IfcWall", wallItem);
        Set(element, "SGPset_Wall", "Mark", MakeStringValue(strings[i % strings.size()]));
        Set(element, "SGPset_Wall", "Thickness", MakeRealValue(reals[i % reals.size()]));
        Set(element, "SGPset_Wall", "LayerCount", MakeIntegerValue(integers[i % integers.size()]));
        Set(element, "SGPset_Wall", "IsExternal", MakeBooleanValue(i % 2 == 0));
        const API_Guid other = project.AddElement("G" + std::to_string(i), "IfcDoor", doorItem);
        Set(other, "SGPset_Door", "Note\r\nLine", MakeStringValue(strings[i % strings.size()]));
        Set(other, "SGPset_Door", "Clear Width", MakeRealValue(reals[i % reals.size()]));
    }
    const Support::ValueMap before = Support::OwnedValues(project);

    // From this run's backup in memory.
    RunCommand();
    EXPECT_TRUE(ReportTexts().empty());
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));

    // From the file: a cancelled run writes it, and the next run, which finds no owned group,
    // restores from it.
    RunCommand(false);
    RunCommand();
    ASSERT_EQ(ReportTexts().size(), 2u);
    EXPECT_TRUE(SaysValuesCameBack(ReportTexts()[1], before.size(), home.BackupFile())) << ReportTexts()[1];
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
}

TEST_F(ValueSafety, LinksAtTheTemporaryFileAreNotFollowed)
{
    const std::filesystem::path outside = home.Write("outside.txt", "not the backup");
    const std::filesystem::path temporary = home.TemporaryFile();

    for (const bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "hard link" : "symbolic link");
        std::filesystem::remove(temporary);
        if (hard)
            std::filesystem::create_hard_link(outside, temporary);
        else
            std::filesystem::create_symlink(outside, temporary);
        RunCommand(false);
        EXPECT_TRUE(ReportTexts().empty());
        EXPECT_EQ(Support::ReadBytes(outside), "not the backup");
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(home.BackupFile())));
        EXPECT_NE(Support::ReadBytes(home.BackupFile()).find("SGPset_Wall-Mark"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(temporary)));
        // The cancelled run removed the owned groups; bring them back for the next round.
        host.Undo(host.StepNames().size());
    }
}
