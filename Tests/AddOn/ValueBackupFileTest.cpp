// The backup file as BackupElementValues writes it: byte for byte, and readable by other XML tools.
#include "AddOnFixture.hpp"

#include <cerrno>

#include "ValueBackup/BackupReader.hpp"
#include "ValueBackup/ValueBackupFile.hpp"
#include "ValueBackup/ValueBackupWriter.hpp"
#include "rapidxml_print.hpp"

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

class ValueBackupFile : public AddOnTest {
protected:
    void SetUp() override
    {
        AddOnTest::SetUp();
        LoadConfiguration(TypesConfiguration);
    }
};

TEST_F(ValueBackupFile, ProjectWithoutSavedValuesGivesAnEmptyRoot)
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

TEST_F(ValueBackupFile, EveryValueTypeAndMeasureInItsTextForm)
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

TEST_F(ValueBackupFile, NamesThatCannotBeXmlNamesAreKeptInAnAttribute)
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

TEST_F(ValueBackupFile, AnyValueThatCannotBeSavedStopsTheBackupWithoutAFile)
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

TEST_F(ValueBackupFile, FileThatCannotBeWrittenIsReportedAndLeavesNoPartialFile)
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

TEST_F(ValueBackupFile, WithoutProfileNothingIsWritten)
{
    const API_Guid wall = AddElement("00000000-0000-0000-0000-0000000000E1", "IfcWall");
    SetValue(wall, "SGPset_Wall", "Mark", MakeStringValue("M"));
    ::unsetenv("USERPROFILE");
    BackupElementValues(run);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"\"USERPROFILE\" is not set: the value backup is kept for this "
                                                      "command only and not written to a file"});
    EXPECT_FALSE(std::filesystem::exists(profile.BackupFile()));
}

namespace {

// The document the backup's content gives in rapidxml's own tree, printed by rapidxml's printer.
std::string PrintWithRapidxml(const ValueBackup& backup)
{
    rapidxml::xml_document<char> document;
    auto* declaration = document.allocate_node(rapidxml::node_declaration);
    declaration->append_attribute(document.allocate_attribute("version", "1.0"));
    declaration->append_attribute(document.allocate_attribute("encoding", "utf-8"));
    document.append_node(declaration);
    auto* root = document.allocate_node(rapidxml::node_element, "project");
    document.append_node(root);
    for (const ValueBackup::Entry& entry : backup.Entries()) {
        const std::string guid = TestHost::GuidToText(entry.element);
        auto* element = document.allocate_node(rapidxml::node_element, "element");
        element->append_attribute(document.allocate_attribute("guid", document.allocate_string(guid.c_str())));
        root->append_node(element);
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index) {
            const ValueBackup::Value& value = backup.Values()[index];
            const ValueBackup::Key& key = backup.Keys()[value.key];
            const char* keyText = document.allocate_string(std::string(key.text).c_str());
            auto* node = document.allocate_node(rapidxml::node_element, key.textIsXmlName ? keyText : "value",
                                                document.allocate_string(std::string(value.text, value.textLength).c_str()));
            if (!key.textIsXmlName)
                node->append_attribute(document.allocate_attribute("key", keyText));
            node->append_attribute(document.allocate_attribute("valType", ValueTypeName(value.valueType)));
            node->append_attribute(document.allocate_attribute("MType", MeasureTypeName(value.measureType)));
            element->append_node(node);
        }
    }
    std::string text;
    rapidxml::print(std::back_inserter(text), document, 0);
    return text;
}

}  // namespace

TEST(ValueBackupPrinter, PrintsWhatRapidxmlPrintsForOrdinaryContent)
{
    ValueBackup empty;
    std::string printed;
    PrintValueBackup(empty, printed);
    EXPECT_EQ(printed, PrintWithRapidxml(empty));

    ValueBackup backup;
    backup.StartEntry(Guid("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"));
    backup.AddValue(backup.InternKey("SGPset_Wall-FireRating"), 3, 1, std::string_view("REI 60 & <more> \"x\" 'y'"));
    backup.AddValue(backup.InternKey("SGPset_Wall-Thickness"), 2, 2, std::string_view("0.250000"));
    backup.AddValue(backup.InternKey("SGPset_Wall-Pending"), 0, 2, std::string_view());
    backup.AddValue(backup.InternKey("SGPset_Wall-Code"), 9, 7, std::string_view("two\nlines\twith a tab"));
    backup.EndEntry();
    backup.StartEntry(Guid("00000000-0000-0000-0000-000000000002"));
    backup.EndEntry();  // no values: no entry
    backup.StartEntry(Guid("00000000-0000-0000-0000-000000000003"));
    backup.AddValue(backup.InternKey("SGPset_Door-Clear Width"), 2, 2, std::string_view("  0.900000"));
    backup.AddValue(backup.InternKey("SGPset_Door-Width \"inner\""), 2, 2, std::string_view("1.000000  "));
    backup.AddValue(backup.InternKey("SGPset_Door-It's \"both\""), 3, 1, std::string_view("\xCE\x94\xE8\xB5\xB0"));
    backup.AddValue(backup.InternKey("SGPset_Door-Fire:Rating"), 3, 1, std::string_view("FD30"));
    backup.EndEntry();
    ASSERT_EQ(backup.Entries().size(), 2u);

    printed.clear();
    PrintValueBackup(backup, printed);
    EXPECT_EQ(printed, PrintWithRapidxml(backup));
    EXPECT_NE(printed.find("<value key='SGPset_Door-Width \"inner\"' valType=\"Real\""), std::string::npos);
}

TEST(ValueBackupPrinter, TextsRapidxmlWouldNotGiveBackAreCharacterReferences)
{
    ValueBackup backup;
    backup.StartEntry(Guid("00000000-0000-0000-0000-000000000001"));
    const UInt32 key = backup.InternKey("SGPset_Wall-Mark");
    for (std::string_view text : {std::string_view(" "), std::string_view("\n\t"), std::string_view("a\r\nb"),
                                  std::string_view("\x01\x1A", 2), std::string_view("\0z", 2),
                                  std::string_view("x\xED\xB0\x80y"), std::string_view("\xED\x9F\xBF")})
        backup.AddValue(key, 3, 1, text);
    backup.AddValue(backup.InternKey("SGPset_Wall-Tab\tLine\nEnd\r"), 3, 1, std::string_view("t"));
    backup.EndEntry();

    std::string printed;
    PrintValueBackup(backup, printed);
    for (const char* expected :
         {">&#32;</", ">&#10;\t</", ">a&#13;\nb</", ">&#1;&#26;</", ">&#0;z</", ">x&#56320;y</",
          ">\xED\x9F\xBF</" /* U+D7FF is a character */, "<value key=\"SGPset_Wall-Tab&#9;Line&#10;End&#13;\""})
        EXPECT_NE(printed.find(expected), std::string::npos) << expected;

    // And the parser gives every text back as it was.
    const ValueBackupReading reading = ParseValueBackup(printed);
    const std::optional<ValueBackup>& parsed = reading.backup;
    ASSERT_TRUE(parsed.has_value()) << reading.reason;
    ASSERT_EQ(parsed->ValueCount(), backup.ValueCount());
    for (std::size_t index = 0; index < backup.ValueCount(); ++index) {
        const ValueBackup::Value& original = backup.Values()[index];
        const ValueBackup::Value& read = parsed->Values()[index];
        EXPECT_EQ(std::string_view(read.text, read.textLength), std::string_view(original.text, original.textLength));
        EXPECT_EQ(parsed->Keys()[read.key].text, backup.Keys()[original.key].text);
    }
}
