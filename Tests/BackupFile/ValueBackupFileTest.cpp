// The backup file's format: the names values are kept under, the value and measure type tables,
// and the printer, which gives what rapidxml's printer gives for ordinary content and character
// references where rapidxml would not give the text back.
#include "AddOnFixture.hpp"

#include "BackupFile/ValueBackupFile.hpp"
#include "rapidxml_print.hpp"

using namespace AddOnTesting;

TEST(ValueBackupFile, TheBackupKeysANameAsItStandsInUtf8)
{
    EXPECT_EQ(ExactUtf8(GS::UniString("Fläche")), "Fl\xC3\xA4" "che");
}

TEST(ValueBackupFile, ValueAndMeasureTypeNames)
{
    EXPECT_STREQ(ValueTypeName(0), "Undefined");
    EXPECT_STREQ(ValueTypeName(1), "Integer");
    EXPECT_STREQ(ValueTypeName(2), "Real");
    EXPECT_STREQ(ValueTypeName(3), "String");
    EXPECT_STREQ(ValueTypeName(4), "Boolean");
    EXPECT_STREQ(ValueTypeName(5), "");
    EXPECT_STREQ(ValueTypeName(-1), "");
    EXPECT_STREQ(MeasureTypeName(0), "");
    EXPECT_STREQ(MeasureTypeName(1), "Default");
    EXPECT_STREQ(MeasureTypeName(2), "Length");
    EXPECT_STREQ(MeasureTypeName(3), "Area");
    EXPECT_STREQ(MeasureTypeName(4), "Volume");
    EXPECT_STREQ(MeasureTypeName(5), "Angle");
    EXPECT_STREQ(MeasureTypeName(6), "");
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

// The pieces PrintValueBackup hands over for `backup`.
std::vector<std::string> PrintedPieces(const ValueBackup& backup)
{
    std::vector<std::string> pieces;
    PrintValueBackup(backup, [&pieces](std::string_view piece) { pieces.emplace_back(piece); });
    return pieces;
}

// The whole text PrintValueBackup gives for `backup`.
std::string Printed(const ValueBackup& backup)
{
    std::string text;
    for (const std::string& piece : PrintedPieces(backup))
        text += piece;
    return text;
}

}  // namespace

TEST(ValueBackupFile, PrintsALargeBackupInPiecesOfAboutOneMiBThatSplitNoElement)
{
    ValueBackup backup;
    for (UInt32 element = 1; element <= 30000; ++element) {
        backup.StartEntry(Guid(("00000000-0000-0000-0000-" + std::to_string(100000000000ull + element)).c_str()));
        backup.AddValue(backup.InternKey("SGPset_Wall-Thickness"), 2, 2, std::string_view("0.250000"));
        backup.AddValue(backup.InternKey("SGPset_Wall-FireRating"), 3, 1, std::string_view("REI 60"));
        backup.EndEntry();
    }
    const std::vector<std::string> pieces = PrintedPieces(backup);
    ASSERT_GE(pieces.size(), 3u);
    for (std::size_t at = 0; at + 1 < pieces.size(); ++at) {
        EXPECT_GE(pieces[at].size(), std::size_t{1} << 20);
        EXPECT_LT(pieces[at].size(), (std::size_t{1} << 20) + 1024);
        EXPECT_TRUE(pieces[at].ends_with("\t</element>\n") || pieces[at].ends_with("\t</element>\r\n"));
    }
    EXPECT_EQ(Printed(backup), PrintWithRapidxml(backup));
}

TEST(ValueBackupFile, PrintsWhatRapidxmlPrintsForOrdinaryContent)
{
    ValueBackup empty;
    std::string printed = Printed(empty);
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

    printed = Printed(backup);
    EXPECT_EQ(printed, PrintWithRapidxml(backup));
    EXPECT_NE(printed.find("<value key='SGPset_Door-Width \"inner\"' valType=\"Real\""), std::string::npos);
}

TEST(ValueBackupFile, TextsRapidxmlWouldNotGiveBackAreCharacterReferences)
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

    const std::string printed = Printed(backup);
    for (const char* expected :
         {">&#32;</", ">&#10;\t</", ">a&#13;\nb</", ">&#1;&#26;</", ">&#0;z</", ">x&#56320;y</",
          ">\xED\x9F\xBF</" /* U+D7FF is a character */, "<value key=\"SGPset_Wall-Tab&#9;Line&#10;End&#13;\""})
        EXPECT_NE(printed.find(expected), std::string::npos) << expected;

    // And the parser gives every text back as it was.
    const ValueBackupReading reading = ParseValueBackup(printed);
    const std::optional<ValueBackup>& parsed = reading.backup;
    ASSERT_TRUE(parsed.has_value()) << reading.problem->Detail();
    ASSERT_EQ(parsed->ValueCount(), backup.ValueCount());
    for (std::size_t index = 0; index < backup.ValueCount(); ++index) {
        const ValueBackup::Value& original = backup.Values()[index];
        const ValueBackup::Value& read = parsed->Values()[index];
        EXPECT_EQ(std::string_view(read.text, read.textLength), std::string_view(original.text, original.textLength));
        EXPECT_EQ(parsed->Keys()[read.key].text, backup.Keys()[original.key].text);
    }
}
