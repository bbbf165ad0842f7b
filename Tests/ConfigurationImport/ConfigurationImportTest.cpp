// The configuration's choice, reading and import as the update command runs them: the dialog's
// request, the file read in text mode and up to a NUL, any path, and the two imports, each
// reported when it fails while the other still runs.
#include "AddOnFixture.hpp"

#include <algorithm>

#include "ConfigurationImport/ConfigurationImport.hpp"
#include "HostErrors.hpp"
#include "Platform/DialogRequest.hpp"

using namespace AddOnTesting;

namespace {

// A configuration whose only property group is `groupName`, for telling imports apart.
std::string ConfigurationWithGroup(const std::string& groupName)
{
    return "<configuration><classificationSystem name=\"IFC-SG\" version=\"2026\"><item id=\"IfcWall\"/>"
           "</classificationSystem><propertyGroup name=\"" +
           groupName + "\"><property name=\"P\" type=\"String\"><appliesTo item=\"IfcWall\"/></property>"
                       "</propertyGroup></configuration>";
}

}  // namespace

class ConfigurationImport : public AddOnTest {};

TEST_F(ConfigurationImport, DialogRequestIsTheConfigurationChoice)
{
    dialog.QueueCancel();
    RunCommand();
    ASSERT_EQ(dialog.GetRequests().size(), 1u);
    ExpectConfigurationRequest(dialog.GetRequests()[0]);
}

TEST_F(ConfigurationImport, FailingClassificationImportStillRunsThePropertyImport)
{
    LoadConfiguration();
    ChooseConfiguration(ConfigurationWithGroup("SGPset_New"));
    host.AddFault({ServiceIndex::HostImportClassificationXml, 0, SomeHostError});

    RunCommand();

    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Classification Import Error: " + std::to_string(SomeHostError)});
    EXPECT_EQ(host.ReportLines()[0].flag, 1);
    EXPECT_EQ(OwnedGroupNames(Model()), std::vector<std::string>{"SGPset_New"});
    EXPECT_EQ(CommandNames().back(), "Import Properties");
    // The expression import and the restore still bring back what they can into the definitions the
    // property import made, but the run does not claim success.
    EXPECT_EQ(host.CallCount("HostListPropertyDefinitions"), 2u);
    EXPECT_TRUE(host.Alerts().empty());
}

TEST_F(ConfigurationImport, BothImportsFailingGiveTwoLinesInOrder)
{
    ChooseConfiguration("<configuration><unknown/></configuration>");
    RunCommand();
    const std::string unknownElement = std::to_string(TestHost::HostError::UnknownElement);
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{"Classification Import Error: " + unknownElement,
                                                       "Properties Import Error: " + unknownElement}));
    EXPECT_EQ(CommandNames(), (std::vector<std::string>{"Import Classifications", "Import Properties"}));
    EXPECT_TRUE(host.Alerts().empty());
}

TEST_F(ConfigurationImport, ConfigurationReachesTheHostAsTextModeBytesUpToANul)
{
    // CR LF arrives as LF; the host gets the text up to its first NUL byte.
    const std::string configuration = ConfigurationWithGroup("SGPset_Crlf");
    std::string crlf;
    for (char c : configuration) {
        crlf += c;
        if (c == '>')
            crlf += "\r\n";
    }
    ChooseConfiguration(crlf);
    const std::optional<Configuration> chosen = Quillmere::ChooseConfiguration();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->text.find('\r'), std::string::npos);
    EXPECT_EQ(chosen->text.size(), crlf.size() - std::count(crlf.begin(), crlf.end(), '\r'));

    ChooseConfiguration(crlf);
    RunCommand();
    EXPECT_TRUE(host.ReportLines().empty()) << ReportTexts()[0];
    EXPECT_EQ(OwnedGroupNames(Model()), std::vector<std::string>{"SGPset_Crlf"});

    // After a NUL the rest of the file is not seen: the host's parser meets a truncated document.
    host.ClearOutput();
    std::string withNul = ConfigurationWithGroup("SGPset_Second");
    withNul.insert(withNul.find("<propertyGroup"), std::string("\0", 1));
    ChooseConfiguration(withNul, "nul.xml");
    const std::string malformed = std::to_string(TestHost::HostError::MalformedXml);
    RunCommand();
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{"Classification Import Error: " + malformed,
                                                       "Properties Import Error: " + malformed}));
}

TEST_F(ConfigurationImport, ChosenPathBeyondLatin1NamesThatFileAndNoOther)
{
    // A file named by the low bytes of the characters must not be opened instead.
    const std::filesystem::path unicode = profile.Path() / "配置-Κ.xml";
    Support::WriteBytes(unicode, "right");
    Support::WriteBytes(profile.Path() / "\x4D\x6E-\x9A.xml", "wrong");
    dialog.QueueChoice(unicode.string());
    const std::optional<Configuration> chosen = Quillmere::ChooseConfiguration();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->path, unicode);
    EXPECT_EQ(chosen->text, "right");
}

TEST_F(ConfigurationImport, EmptyConfigurationStillRunsBothImports)
{
    ChooseConfiguration("");
    RunCommand();
    const std::string empty = std::to_string(TestHost::HostError::EmptyConfiguration);
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{"Classification Import Error: " + empty,
                                                       "Properties Import Error: " + empty}));
}

TEST_F(ConfigurationImport, NonLatinPathChosenInTheDialogImportsThatFile)
{
    ChooseConfiguration(ConfigurationWithGroup("SGPset_Unicode"), "設定 ファイル.xml");
    RunCommand();
    EXPECT_TRUE(host.ReportLines().empty());
    EXPECT_EQ(OwnedGroupNames(Model()), std::vector<std::string>{"SGPset_Unicode"});
    EXPECT_EQ(host.Alerts().size(), 1u);
}

// Each problem of the rename table beside the configuration is one report line that names the
// table's file; a good table reads without one.
TEST_F(ConfigurationImport, RenameTableProblemsAreOneLineEachNamingTheTable)
{
    const Configuration configuration{profile.Write("IFC-SG.xml", "<configuration/>"), "<configuration/>"};
    const std::filesystem::path table = RenameTablePathBeside(configuration.path);
    const std::string named = "The rename table \"" + table.string() + "\" ";
    const std::string onlyOwnNames = "; values and expressions follow their own names only";
    struct Case {
        const char* text;
        std::vector<std::string> lines;
        std::size_t entries;
    } const cases[] = {
        {"<renames><group from=\"A\" to=\"B\"/></renames>", {}, 1},
        {"<renames>\n<group from=\"A\" to=\"B\"></renames>",
         {named + "could not be used (mismatched tag at line 2, byte 35)" + onlyOwnNames}, 0},
        {"<!DOCTYPE renames><renames/>",
         {named + "could not be used (a document type declaration \"renames\" at line 1, byte 0)" + onlyOwnNames},
         0},
        {"<renames>&g;</renames>",
         {named + "could not be used (the undefined entity \"&g;\" at line 1, byte 9)" + onlyOwnNames}, 0},
        {"<tables/>", {named + "could not be used (no \"renames\" root element)" + onlyOwnNames}, 0},
        {"<renames><alias/><group from=\"A\"/><group from=\"A\" to=\"B\"/></renames>",
         {named + "entry 1 (\"alias\") is skipped: it is neither a group nor a property entry",
          named + "entry 2 (\"group\") is skipped: it has no \"to\" attribute"},
         1},
    };
    for (const Case& c : cases) {
        profile.Write(table.filename().string(), c.text);
        host.ClearOutput();
        EXPECT_EQ(ReadRenameTableBeside(configuration).Entries().size(), c.entries) << c.text;
        EXPECT_EQ(ReportTexts(), c.lines) << c.text;
    }
    std::filesystem::remove(table);
    std::filesystem::create_directory(table);
    host.ClearOutput();
    EXPECT_TRUE(ReadRenameTableBeside(configuration).IsEmpty());
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{named + "could not be used (system error " + std::to_string(NotARegularFile) + ")" + onlyOwnNames});
}
