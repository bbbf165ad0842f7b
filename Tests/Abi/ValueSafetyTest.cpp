// The module file under the test host through whole update commands, where the values users put on
// owned properties could be lost: the backup file replaced, unwritable or redirected, the store
// unusable, a cancelled run, and values that text does not hold easily.
#include <cmath>
#include <limits>

#include "ModuleRun.hpp"
#include "Support/Store.hpp"

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

    // Another program (a second host on the same profile) writes its own backup while the import
    // runs: the restore still writes this project's values, not the other file's.
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

    // Without "USERPROFILE" no backup file is written, one line says so, the values are safe in
    // the store meanwhile, and they come back; the store keeps nothing afterwards.
    std::filesystem::remove(home.BackupFile());
    unsetenv("USERPROFILE");
    RunCommand();
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"\"USERPROFILE\" is not set: the value backup is kept for this "
                                                      "command only and not written to a file"});
    EXPECT_EQ(host.Alerts().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(home.BackupFile()));
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    EXPECT_EQ(Support::KeptValueCount(home.Store()), 0u);

    // Without "LOCALAPPDATA" too, nothing could be put on disk: nothing is removed.
    unsetenv("LOCALAPPDATA");
    const std::string project = TestHost::WriteProjectXml(host.GetProject());
    const std::size_t steps = host.StepNames().size();
    RunCommand();
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{
                                 "\"USERPROFILE\" is not set: the value backup is kept for this command only and not "
                                 "written to a file",
                                 "Nothing was removed or imported: neither \"USERPROFILE\" nor \"LOCALAPPDATA\" is set, "
                                 "so the saved values and expression lists could not be written to disk"}));
    EXPECT_EQ(host.StepNames().size(), steps);
    EXPECT_EQ(TestHost::WriteProjectXml(host.GetProject()), project);
}

TEST_F(ValueSafety, AFailedPropertyImportSaysWhereTheValuesWaitOrThatNothingWasRemoved)
{
    const Support::ValueMap before = Support::OwnedValues(host.GetProject());
    host.GetFaults().FailAlways(ServiceIndex::HostImportPropertyXml, 4242);
    const std::string store = home.Store().string();
    const std::string blocked = "Backup Write Error: " + std::to_string(EEXIST);
    const std::string waiting = "Waiting in \"" + store + "\" for an import that defines their properties: 5 values "
                                "(SGPset_Door, SGPset_Wall)";
    struct Case {
        const char* what;
        bool backupBlocked;  // the backup file cannot be written
        bool storeBlocked;   // nor the store
        bool profile;        // "USERPROFILE" is set
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"kept", false, false, true,
         {"Properties Import Error: 4242",
          "No value or expression list was brought back: they are kept in \"" + store + "\" for the next import", waiting}},
        {"backup blocked", true, false, true,
         {blocked, "Properties Import Error: 4242",
          "No value or expression list was brought back: they are kept in \"" + store + "\" for the next import", waiting}},
        {"no profile", false, false, false,
         {"\"USERPROFILE\" is not set: the value backup is kept for this command only and not written to a file",
          "Properties Import Error: 4242",
          "No value or expression list was brought back: they are kept in \"" + store + "\" for the next import", waiting}},
        {"backup and store blocked", true, true, true,
         {"The store of kept values \"" + store + "\" could not be used (system error 22): this run reads nothing from it "
          "and keeps nothing in it",
          blocked,
          "Nothing was removed or imported: the saved values could be written neither to the value backup \"" +
              home.BackupFile().string() + "\" (system error " + std::to_string(EEXIST) + ") nor to the store of kept "
              "values \"" + store + "\" (system error 22)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.backupBlocked)
            std::filesystem::create_directory(home.TemporaryFile());
        if (c.storeBlocked) {
            std::filesystem::remove_all(home.Store().parent_path());
            std::filesystem::create_directories(home.Store());
        }
        if (!c.profile)
            unsetenv("USERPROFILE");
        RunCommand();
        EXPECT_EQ(ReportTexts(), c.lines);
        EXPECT_TRUE(host.Alerts().empty());
        // Undo brings every value back in every case.
        host.Undo(host.StepNames().size());
        EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
        std::filesystem::remove(home.TemporaryFile());
        std::filesystem::remove_all(home.Store().parent_path());
        setenv("USERPROFILE", home.Path().c_str(), 1);
    }
}

TEST_F(ValueSafety, ACancelChangesNothingAndTheNextRunBringsEveryValueBack)
{
    const Support::ValueMap before = Support::OwnedValues(host.GetProject());
    ASSERT_EQ(before.size(), 5u);
    const std::string project = TestHost::WriteProjectXml(host.GetProject());

    RunCommand(false);
    EXPECT_EQ(TestHost::WriteProjectXml(host.GetProject()), project);
    EXPECT_TRUE(host.StepNames().empty());
    EXPECT_FALSE(std::filesystem::exists(home.BackupFile()));

    RunCommand();
    EXPECT_TRUE(ReportTexts().empty());
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    const std::string written = Support::ReadBytes(home.BackupFile());

    // A project whose owned groups the user removed saves nothing and leaves the earlier backup
    // file as it is; nothing of it is taken for this project.
    host.GetProject().RemoveGroup(host.GetProject().FindGroupByName("SGPset_Wall")->guid);
    host.GetProject().RemoveGroup(host.GetProject().FindGroupByName("SGPset_Door")->guid);
    RunCommand();
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"No property group of the project is owned (\"SGPset_\"): no values "
                                                      "were saved, and the value backup \"" + home.BackupFile().string() +
                                                      "\" of an earlier run is left as it is"});
    EXPECT_EQ(Support::ReadBytes(home.BackupFile()), written);
    EXPECT_TRUE(Support::OwnedValues(host.GetProject()).empty());
    EXPECT_EQ(host.Alerts().size(), 1u);
}

TEST_F(ValueSafety, TheWriterNamesValuesByEveryKeyThatIsAnXmlName)
{
    Set(door, "SGPset_Door", "Width(mm)", MakeRealValue(850.5));
    RunCommand();
    const std::string written = Support::ReadBytes(home.BackupFile());
    EXPECT_NE(written.find("<SGPset_Door-Fire:Rating valType=\"String\" MType=\"Default\">FD30</SGPset_Door-Fire:Rating>"),
              std::string::npos);
    EXPECT_NE(written.find("<value key=\"SGPset_Door-Width(mm)\" valType=\"Real\" MType=\"Default\">850.500000</value>"),
              std::string::npos);
}

TEST_F(ValueSafety, HostileValuesComeBackExactlyFromMemoryAndFromTheStore)
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

    // From the store: a run whose property import fails keeps every value there, and the next run
    // brings them back.
    host.GetFaults().FailAlways(ServiceIndex::HostImportPropertyXml, 4242);
    RunCommand();
    host.GetFaults().Clear();
    EXPECT_EQ(Support::KeptValueCount(home.Store()), before.size()) << ::testing::PrintToString(ReportTexts());
    RunCommand();
    ASSERT_EQ(ReportTexts().size(), 2u);  // the project held no owned group, and the values came back
    EXPECT_TRUE(SaysValuesCameBack(ReportTexts()[1], before.size(), home.Store())) << ReportTexts()[1];
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
        RunCommand();
        EXPECT_TRUE(ReportTexts().empty());
        EXPECT_EQ(Support::ReadBytes(outside), "not the backup");
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(home.BackupFile())));
        EXPECT_NE(Support::ReadBytes(home.BackupFile()).find("SGPset_Wall-Mark"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(temporary)));
    }
}
