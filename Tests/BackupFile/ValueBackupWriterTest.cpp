// The backup file as BackupElementValues writes it: byte for byte, and readable by other XML tools;
// values that cannot be saved, a file that cannot be written, no profile.
#include "AddOnFixture.hpp"

#include <cerrno>

#include "BackupFile/ValueBackupWriter.hpp"

using namespace AddOnTesting;

namespace {

const char* const TypesConfiguration = R"(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/><item id="IfcSlab"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="LayerCount" type="Integer"><appliesTo item="IfcWall"/></property>
    <property name="Ratio" type="Real"><appliesTo item="IfcWall"/></property>
    <property name="Width" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
    <property name="FaceArea" type="Real" measure="Area"><appliesTo item="IfcWall"/></property>
    <property name="Volume" type="Real" measure="Volume"><appliesTo item="IfcWall"/></property>
    <property name="Slope" type="Real" measure="Angle"><appliesTo item="IfcWall"/></property>
    <property name="IsExternal" type="Boolean"><appliesTo item="IfcWall"/></property>
    <property name="LoadBearing" type="Boolean"><appliesTo item="IfcWall"/></property>
    <property name="Mark" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Pending" type="Undefined" measure="Length"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="Pset_WallCommon">
    <property name="Reference" type="String"><appliesTo item="IfcWall"/><appliesTo item="IfcSlab"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Slab">
    <property name="Thickness" type="Real" measure="Length" default="0.2"><appliesTo item="IfcSlab"/></property>
  </propertyGroup>
</configuration>)";

const char* const Declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

int RunXmllint(const std::filesystem::path& file)
{
    const std::string command = "xmllint --noout '" + file.string() + "' 2>&1";
    return std::system(command.c_str());
}

}  // namespace

class ValueBackupWriter : public AddOnTest {
protected:
    void SetUp() override
    {
        AddOnTest::SetUp();
        LoadConfiguration(TypesConfiguration);
    }
};

TEST_F(ValueBackupWriter, ProjectWithoutSavedValuesGivesAnEmptyRoot)
{
    BackupElementValues(run);
    EXPECT_EQ(Support::ReadBytes(profile.BackupFile()), std::string(Declaration) + "<project/>\n\n");

    // Elements holding only defaults, or values of groups that are not owned, get no entry.
    const API_Guid slab = AddElement("00000000-0000-0000-0000-0000000000A1", "IfcSlab");
    const API_Guid wall = AddElement("00000000-0000-0000-0000-0000000000A2", "IfcWall");
    SetValue(slab, "Pset_WallCommon", "Reference", MakeStringValue("S-01"));
    SetValue(wall, "Pset_WallCommon", "Reference", MakeStringValue("W-01"));
    BackupElementValues(run);
    EXPECT_EQ(Support::ReadBytes(profile.BackupFile()), std::string(Declaration) + "<project/>\n\n");
    EXPECT_TRUE(host.ReportLines().empty());
}

TEST_F(ValueBackupWriter, EveryValueTypeAndMeasureInItsTextForm)
{
    const API_Guid wall = AddElement("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", "IfcWall");
    SetValue(wall, "SGPset_Wall", "LayerCount", MakeIntegerValue(-42));
    SetValue(wall, "SGPset_Wall", "Ratio", MakeRealValue(0.1));
    SetValue(wall, "SGPset_Wall", "Width", MakeRealValue(1e-7));
    SetValue(wall, "SGPset_Wall", "FaceArea", MakeRealValue(1.0));
    SetValue(wall, "SGPset_Wall", "Volume", MakeRealValue(-2.5));
    SetValue(wall, "SGPset_Wall", "Slope", MakeRealValue(123456.789));
    SetValue(wall, "SGPset_Wall", "IsExternal", MakeBooleanValue(true));
    SetValue(wall, "SGPset_Wall", "LoadBearing", MakeBooleanValue(false));
    SetValue(wall, "SGPset_Wall", "Mark", MakeStringValue("A&B <C> \"D\" 'E' F\xC3\xA4"));
    SetValue(wall, "SGPset_Wall", "Pending", TestHost::MakeUndefinedValue());
    const API_Guid second = AddElement("ffffffff-0000-0000-0000-000000000001", "IfcWall");
    SetValue(second, "SGPset_Wall", "LayerCount", MakeIntegerValue(0));

    BackupElementValues(run);

    EXPECT_EQ(Support::ReadBytes(profile.BackupFile()),
              std::string(Declaration) +
                  "<project>\n"
                  "\t<element guid=\"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9\">\n"
                  "\t\t<SGPset_Wall-LayerCount valType=\"Integer\" MType=\"Default\">-42</SGPset_Wall-LayerCount>\n"
                  "\t\t<SGPset_Wall-Ratio valType=\"Real\" MType=\"Default\">0.100000</SGPset_Wall-Ratio>\n"
                  "\t\t<SGPset_Wall-Width valType=\"Real\" MType=\"Length\">1e-07</SGPset_Wall-Width>\n"
                  "\t\t<SGPset_Wall-FaceArea valType=\"Real\" MType=\"Area\">1.000000</SGPset_Wall-FaceArea>\n"
                  "\t\t<SGPset_Wall-Volume valType=\"Real\" MType=\"Volume\">-2.500000</SGPset_Wall-Volume>\n"
                  "\t\t<SGPset_Wall-Slope valType=\"Real\" MType=\"Angle\">123456.789000</SGPset_Wall-Slope>\n"
                  "\t\t<SGPset_Wall-IsExternal valType=\"Boolean\" MType=\"Default\">1</SGPset_Wall-IsExternal>\n"
                  "\t\t<SGPset_Wall-LoadBearing valType=\"Boolean\" MType=\"Default\">0</SGPset_Wall-LoadBearing>\n"
                  "\t\t<SGPset_Wall-Mark valType=\"String\" MType=\"Default\">A&amp;B &lt;C&gt; &quot;D&quot; &apos;E&apos; "
                  "F\xC3\xA4</SGPset_Wall-Mark>\n"
                  "\t\t<SGPset_Wall-Pending valType=\"Undefined\" MType=\"Length\"/>\n"
                  "\t</element>\n"
                  "\t<element guid=\"FFFFFFFF-0000-0000-0000-000000000001\">\n"
                  "\t\t<SGPset_Wall-LayerCount valType=\"Integer\" MType=\"Default\">0</SGPset_Wall-LayerCount>\n"
                  "\t</element>\n"
                  "</project>\n\n");
    EXPECT_EQ(RunXmllint(profile.BackupFile()), 0);

    // Writing the unchanged project again gives the same bytes.
    const std::string first = Support::ReadBytes(profile.BackupFile());
    BackupElementValues(run);
    EXPECT_EQ(Support::ReadBytes(profile.BackupFile()), first);
}

TEST_F(ValueBackupWriter, NamesThatCannotBeXmlNamesAreKeptInAnAttribute)
{
    AddGroupWithDefinition("SGPset_Wall Extra", "Fire \"Rating\" <1/2> a=b & 'c'", API_PropertyStringValueType);
    AddGroupWithDefinition("1SGPset_Leading", "Width", API_PropertyIntegerValueType);

    const API_Guid wall = AddElement("00000000-0000-0000-0000-0000000000B1", "IfcWall");
    SetValue(wall, "SGPset_Wall Extra", "Fire \"Rating\" <1/2> a=b & 'c'", MakeStringValue("x"));
    SetValue(wall, "1SGPset_Leading", "Width", MakeIntegerValue(7));
    SetValue(wall, "SGPset_Wall", "Mark", MakeStringValue("kept as before"));

    BackupElementValues(run);

    EXPECT_EQ(Support::ReadBytes(profile.BackupFile()),
              std::string(Declaration) +
                  "<project>\n"
                  "\t<element guid=\"00000000-0000-0000-0000-0000000000B1\">\n"
                  "\t\t<SGPset_Wall-Mark valType=\"String\" MType=\"Default\">kept as before</SGPset_Wall-Mark>\n"
                  "\t\t<value key='SGPset_Wall Extra-Fire \"Rating\" &lt;1/2&gt; a=b &amp; &apos;c&apos;' "
                  "valType=\"String\" MType=\"Default\">x</value>\n"
                  "\t\t<value key=\"1SGPset_Leading-Width\" valType=\"Integer\" MType=\"Default\">7</value>\n"
                  "\t</element>\n"
                  "</project>\n\n");
    EXPECT_EQ(RunXmllint(profile.BackupFile()), 0);
}

TEST_F(ValueBackupWriter, AnyValueThatCannotBeSavedStopsTheBackupWithoutAFile)
{
    const char* guids[] = {"00000000-0000-0000-0000-0000000000C1", "00000000-0000-0000-0000-0000000000C2",
                           "00000000-0000-0000-0000-0000000000C3"};
    for (const char* guid : guids) {
        const API_Guid wall = AddElement(guid, "IfcWall");
        SetValue(wall, "SGPset_Wall", "LayerCount", MakeIntegerValue(3));
        SetValue(wall, "SGPset_Wall", "Mark", MakeStringValue(guid));
    }
    const std::string earlier = "earlier run";
    Support::WriteBytes(profile.BackupFile(), earlier);

    struct Case {
        UInt32 service;
        UInt32 call;  // the failing call, counted from this case's start
        const char* line;
    };
    const Case cases[] = {
        {ServiceIndex::HostListElements, 1, "Error 1: 78"},
        // The third element's definitions: not even the first two elements' values are written.
        {ServiceIndex::HostListElementPropertyDefinitions, 3, "Error 2: 78"},
        // Whether the first element's first definition is owned cannot be told.
        {ServiceIndex::HostReadPropertyGroup, 1, "Error 3: 78"},
        // The second element's LayerCount (each element reads the values of its ten owned definitions).
        {ServiceIndex::HostReadElementPropertyValue, 10, "Error 4: 78"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        host.GetFaults().Clear();
        host.GetFaults().ResetCallCounts();
        host.ClearOutput();
        host.AddFault({c.service, c.call, 78});
        UpdateRun failed;
        EXPECT_FALSE(BackupElementValues(failed));
        EXPECT_EQ(ReportTexts(), std::vector<std::string>{c.line});
        EXPECT_EQ(Support::ReadBytes(profile.BackupFile()), earlier);
    }
}

TEST_F(ValueBackupWriter, FileThatCannotBeWrittenIsReportedAndLeavesNoPartialFile)
{
    const API_Guid wall = AddElement("00000000-0000-0000-0000-0000000000D1", "IfcWall");
    SetValue(wall, "SGPset_Wall", "Mark", MakeStringValue("M"));
    std::filesystem::remove_all(profile.Path() / "Documents");

    BackupElementValues(run);

    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Backup Write Error: " + std::to_string(ENOENT)});
    EXPECT_FALSE(std::filesystem::exists(profile.Path() / "Documents"));

    // The file in place is only ever replaced whole, and no temporary file stays behind.
    std::filesystem::create_directories(profile.Path() / "Documents");
    BackupElementValues(run);
    EXPECT_NE(Support::ReadBytes(profile.BackupFile()).find("SGPset_Wall-Mark"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(profile.Path() / "Documents"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(ValueBackupWriter, WithoutProfileNothingIsWritten)
{
    const API_Guid wall = AddElement("00000000-0000-0000-0000-0000000000E1", "IfcWall");
    SetValue(wall, "SGPset_Wall", "Mark", MakeStringValue("M"));
    ::unsetenv("USERPROFILE");
    BackupElementValues(run);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"\"USERPROFILE\" is not set: the value backup is kept for this "
                                                      "command only and not written to a file"});
    EXPECT_FALSE(std::filesystem::exists(profile.BackupFile()));
}
