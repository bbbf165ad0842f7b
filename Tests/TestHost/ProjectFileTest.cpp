// The project file: what it keeps through a round trip, its text form as written, and the lines
// its reader names in what it refuses.
#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HostFixture.hpp"
#include "ProjectFile.hpp"
#include "Support/Folders.hpp"

using namespace TestHost;

namespace {

// A project with every kind of content and the awkward texts and numbers a file must keep.
struct RichProject {
    Project project;
    SampleProject sample{project};
    API_Guid text;
    API_Guid count;
    API_Guid undefinedDefinition;
    API_Guid emptyGroup;
    API_Guid unclassified;

    RichProject()
    {
        emptyGroup = project.AddGroup("Office & \"Site\" <data>", "Line one\nLine two\ttabbed\r\n", 7);
        PropertyDefinition textDefinition;
        textDefinition.group = sample.commonGroup;
        textDefinition.name = "Remark — Ünïcode 中文";
        textDefinition.description = "  leading and trailing blanks  ";
        textDefinition.kind = 3;
        textDefinition.collectionType = 2;
        textDefinition.valueType = API_PropertyStringValueType;
        textDefinition.defaultValue = MakeStringValue("a\x01" "b");
        textDefinition.expressions = {"{Property:SGPset_Wall/Thickness} > 0.2 && \"x\" < 'y'", "", "   "};
        textDefinition.expressionFlag = 1;
        textDefinition.availability = {sample.wallItem, sample.doorItem};
        text = project.AddDefinition(textDefinition);

        PropertyDefinition countDefinition;
        countDefinition.group = sample.wallGroup;
        countDefinition.name = "Count";
        countDefinition.valueType = API_PropertyIntegerValueType;
        countDefinition.defaultValue = MakeIntegerValue(std::numeric_limits<Int32>::min());
        count = project.AddDefinition(countDefinition);

        PropertyDefinition undefined;
        undefined.group = sample.doorGroup;
        undefined.name = "Unset";
        undefined.measureType = API_PropertyAngleMeasureType;
        undefined.availability = {sample.doorItem};
        undefinedDefinition = project.AddDefinition(undefined);

        unclassified = project.AddElement("Proxy <1>", "IfcBuildingElementProxy", APINULLGuid);
        project.SetElementValue(sample.wall1, text, MakeStringValue("Tab\there\nnew line & <tag> \"quoted\""));
        project.SetElementValue(sample.wall2, sample.thickness, MakeRealValue(0.1));
        project.SetElementValue(sample.wall2, sample.fireResistance, MakeIntegerValue(-42));
        project.SetElementValue(sample.wall2, sample.isExternal, MakeBooleanValue(true));
        project.SetElementValue(sample.door, undefinedDefinition, MakeUndefinedValue());
        project.SetElementValue(sample.door, sample.clearWidth, MakeRealValue(-0.0));
        project.SetElementValue(unclassified, sample.thickness, MakeRealValue(std::numeric_limits<double>::denorm_min()));
        project.SetElementValue(unclassified, count, MakeIntegerValue(std::numeric_limits<Int32>::max()));
        project.SetElementValue(unclassified, sample.acousticRating, MakeRealValue(1e300));  // a value of another type
    }
};

}  // namespace

TEST(ProjectFile, RoundTripKeepsEverythingByteForByte)
{
    RichProject rich;
    const std::string written = WriteProjectXml(rich.project);
    Project read;
    const ProjectReadResult result = ReadProjectXml(written, read);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(WriteProjectXml(read), written);

    // The model itself, not only its text, came back.
    EXPECT_EQ(read.GuidSerial(), rich.project.GuidSerial());
    const PropertyDefinition& text = *read.FindDefinition(rich.text);
    EXPECT_EQ(text, *rich.project.FindDefinition(rich.text));
    EXPECT_EQ(text.expressions, (std::vector<std::string>{"{Property:SGPset_Wall/Thickness} > 0.2 && \"x\" < 'y'", "", "   "}));
    EXPECT_EQ(text.defaultValue.text, "a\x01" "b");
    EXPECT_EQ(read.FindGroup(rich.emptyGroup)->description, "Line one\nLine two\ttabbed\r\n");
    EXPECT_EQ(read.FindGroup(rich.emptyGroup)->kind, 7);
    EXPECT_EQ(read.FindElementValue(rich.sample.wall1, rich.text)->text, "Tab\there\nnew line & <tag> \"quoted\"");
    EXPECT_EQ(read.FindElementValue(rich.sample.wall2, rich.sample.thickness)->real, 0.1);
    EXPECT_TRUE(std::signbit(read.FindElementValue(rich.sample.door, rich.sample.clearWidth)->real));
    EXPECT_EQ(read.FindElementValue(rich.unclassified, rich.sample.thickness)->real,
              std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(*read.FindElementValue(rich.unclassified, rich.sample.acousticRating), MakeRealValue(1e300));
    EXPECT_EQ(read.FindElement(rich.unclassified)->classification, APINULLGuid);
    EXPECT_TRUE(read.AppliesTo(rich.text, rich.sample.door));
    // Generated GUIDs go on from where the file left off.
    EXPECT_EQ(read.AddGroup("Next", ""), rich.project.AddGroup("Next", ""));
}

TEST(ProjectFile, WritingIsDeterministicAndFormatted)
{
    RichProject first;
    RichProject second;
    const std::string text = WriteProjectXml(first.project);
    EXPECT_EQ(text, WriteProjectXml(second.project));
    EXPECT_EQ(text, WriteProjectXml(first.project));
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<project format=\"1\" guidSerial=\"", 0), 0u);
    EXPECT_NE(text.find("\n  <propertyGroup guid=\""), std::string::npos);
    EXPECT_NE(text.find("\n    <item guid=\""), std::string::npos);
    EXPECT_NE(text.find("type=\"Real\" value=\"0.1\"/>"), std::string::npos);
    EXPECT_NE(text.find("value=\"Tab&#09;here&#10;new line &amp; &lt;tag> &quot;quoted&quot;\""), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST(ProjectFile, MalformedProjectsGiveTheLineAndLeaveTheProjectAlone)
{
    RichProject rich;
    const std::string good = WriteProjectXml(rich.project);
    const std::string groupGuid = GuidToText(rich.sample.wallGroup);
    const std::string head = "<?xml version=\"1.0\"?>\n<project format=\"1\">\n";
    const std::string group = "  <propertyGroup guid=\"" + groupGuid + "\" kind=\"2\" name=\"SGPset_Wall\"/>\n";
    struct Case {
        const char* what;
        std::string text;
        std::size_t line;
        const char* fragment;
    };
    const std::vector<Case> cases = {
        {"unclosed element", head + group + "  <element guid=\"" + groupGuid + "\">\n\n</project>\n", 6, "malformed XML"},
        {"bad attribute quoting", head + "  <propertyGroup guid=" + groupGuid + "/>\n</project>\n", 3, "malformed XML"},
        {"empty file", "", 1, "malformed XML"},
        {"wrong root", "<configuration/>", 1, "not <project>"},
        {"unknown format", "<project format=\"2\"/>", 1, "format"},
        {"unknown element", head + group + "  <elements/>\n</project>\n", 4, "unknown element <elements>"},
        {"bad GUID", head + "  <propertyGroup guid=\"1234\" kind=\"2\" name=\"G\"/>\n</project>\n", 3, "not a GUID"},
        {"GUID used twice", head + group + group + "</project>\n", 4, "used twice"},
        {"group missing for a definition",
         head + "  <propertyDefinition guid=\"" + groupGuid + "\" group=\"" + GuidToText(rich.text) +
             "\" kind=\"2\" name=\"A\" collection=\"0\" type=\"Real\" measure=\"Length\" default=\"0\" expressionFlag=\"0\"/>\n</project>\n",
         3, "no property group"},
        {"unknown value type",
         head + group + "  <propertyDefinition guid=\"" + GuidToText(rich.text) + "\" group=\"" + groupGuid +
             "\" kind=\"2\" name=\"A\" collection=\"0\" type=\"Text\" measure=\"Length\" default=\"\" expressionFlag=\"0\"/>\n</project>\n",
         4, "unknown value type \"Text\""},
        {"default not of the type",
         head + group + "\n  <propertyDefinition guid=\"" + GuidToText(rich.text) + "\" group=\"" + groupGuid +
             "\" kind=\"2\" name=\"A\" collection=\"0\" type=\"Integer\" measure=\"Default\" default=\"1.5\" expressionFlag=\"0\"/>\n</project>\n",
         5, "not a Integer value"},
        {"value of an unknown definition",
         head + "  <element guid=\"" + groupGuid + "\" name=\"W\" type=\"IfcWall\">\n    <value definition=\"" +
             GuidToText(rich.text) + "\" type=\"Real\" value=\"1\"/>\n  </element>\n</project>\n",
         4, "no property definition"},
        {"element of an unknown item",
         head + "  <element guid=\"" + groupGuid + "\" name=\"W\" type=\"IfcWall\" classification=\"" +
             GuidToText(rich.text) + "\"/>\n</project>\n",
         3, "no classification item"},
        {"missing attribute", head + "  <classificationSystem name=\"IFC-SG\"/>\n</project>\n", 3, "no \"guid\" attribute"},
    };

    Project project;
    ASSERT_TRUE(ReadProjectXml(good, project).ok);
    for (const Case& bad : cases) {
        const ProjectReadResult result = ReadProjectXml(bad.text, project);
        EXPECT_FALSE(result.ok) << bad.what;
        EXPECT_EQ(result.line, bad.line) << bad.what << ": " << result.message;
        EXPECT_EQ(result.message.rfind("line " + std::to_string(bad.line) + ": ", 0), 0u) << bad.what << ": " << result.message;
        EXPECT_NE(result.message.find(bad.fragment), std::string::npos) << bad.what << ": " << result.message;
        EXPECT_EQ(WriteProjectXml(project), good) << bad.what;
    }
}

// A file is read entry by entry as it comes; a text that way of reading does not take is read as a
// whole document. Either way, every layout of the same content reads as the same project.
TEST(ProjectFile, EveryLayoutOfTheSameContentReadsAsTheSameProject)
{
    RichProject rich;
    const std::string good = WriteProjectXml(rich.project);
    const auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        return text;
    };
    const std::size_t firstGroup = good.find("  <propertyGroup");
    const std::size_t firstValue = good.find("    <value");
    const struct {
        const char* what;
        std::string text;
    } variants[] = {
        {"as written", good},
        {"CR LF line ends", replaced("\n", "\r\n")},
        {"no declaration", good.substr(good.find("<project"))},
        {"another declaration", "<?xml version='1.0'?>" + good.substr(good.find('\n'))},
        {"white space before the declaration", "\n " + good},
        {"a byte order mark", "\xEF\xBB\xBF" + good},
        {"a document type", "<!DOCTYPE project>\n" + good.substr(good.find("<project"))},
        {"a comment between entries", good.substr(0, firstGroup) + "<!-- groups -->" + good.substr(firstGroup)},
        {"a comment in an element", good.substr(0, firstValue) + "<!-- values -->" + good.substr(firstValue)},
        {"a processing instruction", good.substr(0, firstGroup) + "<?note x?>" + good.substr(firstGroup)},
        {"a comment after the root", good + "<!-- end -->\n"},
        {"attributes on lines of their own", replaced("\" name=\"", "\"\n\t name = \"")},
        {"single quotes", replaced(" kind=\"2\"", " kind='2'")},
        {"end tags with blanks", replaced("</element>", "</element\n  >")},
        {"empty elements with end tags", replaced("\"/>\n    <value", "\"></value>\n    <value")},
    };
    for (const auto& variant : variants) {
        Project read;
        const ProjectReadResult result = ReadProjectXml(variant.text, read);
        ASSERT_TRUE(result.ok) << variant.what << ": " << result.message;
        EXPECT_EQ(WriteProjectXml(read), good) << variant.what;

        // The same through a file, read in pieces.
        const Support::ScratchFolder scratch;
        Project loaded;
        const ProjectReadResult loadedResult = LoadProjectFile(scratch.Write("p.xml", variant.text).string(), loaded);
        ASSERT_TRUE(loadedResult.ok) << variant.what << ": " << loadedResult.message;
        EXPECT_EQ(WriteProjectXml(loaded), good) << variant.what;
    }

    // A ">" and what looks like markup inside a value are the value's.
    const std::string markup = replaced("Rw 52", "Rw > 52 &lt;!-- x -->&lt;/element>");
    Project read;
    ASSERT_TRUE(ReadProjectXml(markup, read).ok);
    EXPECT_EQ(read.FindElementValue(rich.sample.wall1, rich.sample.acousticRating)->text, "Rw > 52 <!-- x --></element>");
    EXPECT_EQ(WriteProjectXml(read), markup);
}

// What is wrong with a text is what the whole document says, wherever the entries that came before
// it broke off: a malformed place later in the file wins over an unknown name earlier.
TEST(ProjectFile, ProblemsAreThoseOfTheWholeDocument)
{
    RichProject rich;
    const std::string good = WriteProjectXml(rich.project);
    const std::size_t lines = static_cast<std::size_t>(std::count(good.begin(), good.end(), '\n'));
    std::string unknownType = good;
    unknownType.replace(unknownType.find("type=\"Real\""), 11, "type=\"Reel\"");
    const std::size_t reelLine =
        1 + static_cast<std::size_t>(std::count(unknownType.begin(), unknownType.begin() + unknownType.find("Reel"), '\n'));
    const std::string lastEntryEnd = "  </element>\n</project>\n";
    const struct {
        const char* what;
        std::string text;
        std::size_t line;
        const char* fragment;
    } cases[] = {
        {"unknown type alone", unknownType, reelLine, "unknown value type \"Reel\""},
        {"unknown type, then a broken end", unknownType.substr(0, unknownType.size() - lastEntryEnd.size()) + "  </elem>\n</project>\n",
         lines - 1, "malformed XML"},
        {"cut off in the middle", good.substr(0, good.size() / 2), 0, "malformed XML"},
        {"cut off before the root's end", good.substr(0, good.size() - 11), lines - 1, "malformed XML"},
        {"a NUL byte", good.substr(0, good.find("  <propertyGroup")) + std::string(1, '\0') +
                           good.substr(good.find("  <propertyGroup")),
         0, "malformed XML"},
        {"text after the root", good + "tail", lines, "text outside the root element"},
        {"a second root", good + "<project format=\"1\"/>", lines + 1, "a second root element"},
        {"text in an element", good.substr(0, good.find("    <value")) + "x" + good.substr(good.find("    <value")), 0,
         "unexpected text in <element>"},
    };
    for (const auto& bad : cases) {
        Project project;
        ASSERT_TRUE(ReadProjectXml(good, project).ok);
        const ProjectReadResult result = ReadProjectXml(bad.text, project);
        EXPECT_FALSE(result.ok) << bad.what;
        if (bad.line != 0) {
            EXPECT_EQ(result.line, bad.line) << bad.what << ": " << result.message;
        }
        EXPECT_NE(result.message.find(bad.fragment), std::string::npos) << bad.what << ": " << result.message;
        EXPECT_EQ(WriteProjectXml(project), good) << bad.what;

        const Support::ScratchFolder scratch;
        const std::string path = scratch.Write("p.xml", bad.text).string();
        const ProjectReadResult loaded = LoadProjectFile(path, project);
        EXPECT_FALSE(loaded.ok) << bad.what;
        EXPECT_EQ(loaded.line, result.line) << bad.what;
        EXPECT_EQ(loaded.message, path + ":" + result.message.substr(5)) << bad.what;
        EXPECT_EQ(WriteProjectXml(project), good) << bad.what;
    }
}

// A file of many pieces, with entries that run across them and one longer than a piece, reads as
// its text does.
TEST(ProjectFile, LargeFilesReadInPiecesAsTheirText)
{
    RichProject rich;
    for (int i = 0; i < 3000; ++i) {
        const API_Guid wall = rich.project.AddElement("W-" + std::to_string(i), "IfcWall", rich.sample.wallItem);
        ASSERT_EQ(rich.project.SetElementValue(wall, rich.sample.thickness, MakeRealValue(i * 0.001)), NoError);
        ASSERT_EQ(rich.project.SetElementValue(wall, rich.text, MakeStringValue("note " + std::to_string(i))), NoError);
    }
    ASSERT_EQ(rich.project.SetElementValue(rich.sample.wall2, rich.text, MakeStringValue(std::string(200000, 'x'))), NoError);
    const std::string text = WriteProjectXml(rich.project);
    ASSERT_GT(text.size(), std::size_t{4} << 16);
    const Support::ScratchFolder scratch;
    Project loaded;
    const ProjectReadResult result = LoadProjectFile(scratch.Write("large.xml", text).string(), loaded);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(loaded.ValueCount(), rich.project.ValueCount());
    EXPECT_EQ(WriteProjectXml(loaded), text);
}

TEST(ProjectFile, FilesSaveLoadAndReportPathsInMessages)
{
    RichProject rich;
    const Support::ScratchFolder scratch;
    const std::string path = (scratch.Path() / "round_trip.xml").string();
    std::string error;
    ASSERT_TRUE(SaveProjectFile(rich.project, path, error)) << error;
    Project loaded;
    const ProjectReadResult loadedResult = LoadProjectFile(path, loaded);
    ASSERT_TRUE(loadedResult.ok) << loadedResult.message;
    EXPECT_EQ(WriteProjectXml(loaded), WriteProjectXml(rich.project));

    const std::string broken =
        scratch.Write("broken.xml", "<project format=\"1\">\n  <propertyGroup guid=\"x\"\n</project>\n").string();
    const ProjectReadResult brokenResult = LoadProjectFile(broken, loaded);
    EXPECT_FALSE(brokenResult.ok);
    EXPECT_EQ(brokenResult.line, 3u);
    EXPECT_EQ(brokenResult.message.rfind(broken + ":3: ", 0), 0u) << brokenResult.message;

    const std::string missing = (scratch.Path() / "does_not_exist.xml").string();
    const ProjectReadResult missingResult = LoadProjectFile(missing, loaded);
    EXPECT_FALSE(missingResult.ok);
    EXPECT_EQ(missingResult.line, 0u);
    EXPECT_NE(missingResult.message.find("cannot open \"" + missing + "\""), std::string::npos) << missingResult.message;
    const std::string folder = scratch.Path().string();
    const ProjectReadResult folderResult = LoadProjectFile(folder, loaded);
    EXPECT_FALSE(folderResult.ok);
    EXPECT_NE(folderResult.message.find("cannot open \"" + folder + "\""), std::string::npos) << folderResult.message;
    EXPECT_EQ(WriteProjectXml(loaded), WriteProjectXml(rich.project));

    EXPECT_FALSE(SaveProjectFile(rich.project, (scratch.Path() / "no_such_folder" / "project.xml").string(), error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

TEST(ProjectFile, HandWrittenFilesMayLeaveOutOptionalAttributes)
{
    const std::string text = R"xml(<project format="1">
  <classificationSystem guid="00000000-0000-4000-8000-000000000001" name="IFC-SG">
    <item guid="00000000-0000-4000-8000-000000000002" id="IfcWall"/>
  </classificationSystem>
  <propertyGroup guid="00000000-0000-4000-8000-000000000003" name="SGPset_Wall"/>
  <propertyDefinition guid="00000000-0000-4000-8000-000000000004" group="00000000-0000-4000-8000-000000000003"
                      name="Thickness" type="Real">
    <appliesTo item="00000000-0000-4000-8000-000000000002"/>
  </propertyDefinition>
  <propertyDefinition guid="00000000-0000-4000-8000-000000000005" group="00000000-0000-4000-8000-000000000003"
                      name="FireRating" type="String"/>
  <element guid="00000000-0000-4000-8000-000000000006" classification="00000000-0000-4000-8000-000000000002">
    <value definition="00000000-0000-4000-8000-000000000005" type="String"/>
  </element>
</project>
)xml";
    Project project;
    const ProjectReadResult result = ReadProjectXml(text, project);
    ASSERT_TRUE(result.ok) << result.message;
    API_Guid thicknessGuid;
    ASSERT_TRUE(TextToGuid("00000000-0000-4000-8000-000000000004", thicknessGuid));
    const PropertyDefinition& thickness = *project.FindDefinition(thicknessGuid);
    EXPECT_EQ(thickness.kind, API_PropertyCustomDefinitionKind);
    EXPECT_EQ(thickness.collectionType, 0);
    EXPECT_EQ(thickness.measureType, API_PropertyDefaultMeasureType);
    EXPECT_EQ(thickness.defaultValue, MakeRealValue(0.0));
    EXPECT_EQ(thickness.expressionFlag, 0);
    EXPECT_EQ(project.FindGroup(thickness.group)->kind, API_PropertyCustomDefinitionKind);
    EXPECT_EQ(project.GuidSerial(), 0u);
    EXPECT_EQ(project.ValueCount(), 1u);
    // Written out in full, it reads back to the same text.
    Project again;
    ASSERT_TRUE(ReadProjectXml(WriteProjectXml(project), again).ok);
    EXPECT_EQ(WriteProjectXml(again), WriteProjectXml(project));

    // A value of a non-text type must be given.
    std::string missingValue = text;
    missingValue.replace(missingValue.find("definition=\"00000000-0000-4000-8000-000000000005\" type=\"String\""),
                         std::string("definition=\"00000000-0000-4000-8000-000000000005\" type=\"String\"").size(),
                         "definition=\"00000000-0000-4000-8000-000000000004\" type=\"Real\"");
    const ProjectReadResult refused = ReadProjectXml(missingValue, project);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.line, 13u);
    EXPECT_NE(refused.message.find("has no \"value\" attribute"), std::string::npos) << refused.message;
}

// The project file's text form as written: one element per line, two blanks per level, empty
// elements as "<name .../>", and texts that come back with their exact bytes, every control
// character included.
TEST(ProjectFile, WritesOneElementPerLineAndKeepsEveryControlCharacter)
{
    Project project;
    SampleProject sample(project);
    std::string controls;
    for (char c = 1; c < 0x20; ++c)
        controls += c;
    const std::string awkward = "it's " + controls + " & <b> \"q\" \xC3\x9C";
    const API_Guid group = project.AddGroup("Group " + awkward, awkward);
    PropertyDefinition definition;
    definition.group = group;
    definition.name = "Name " + awkward;
    definition.valueType = API_PropertyStringValueType;
    definition.defaultValue = MakeStringValue(awkward);
    definition.expressions = {awkward};
    definition.availability = {sample.wallItem};
    const API_Guid text = project.AddDefinition(definition);
    ASSERT_EQ(project.SetElementValue(sample.wall2, text, MakeStringValue(awkward)), NoError);

    const std::string written = WriteProjectXml(project);
    Project read;
    ASSERT_TRUE(ReadProjectXml(written, read).ok);
    EXPECT_EQ(WriteProjectXml(read), written);
    EXPECT_EQ(read.FindGroup(group)->description, awkward);
    EXPECT_EQ(read.FindDefinition(text)->name, "Name " + awkward);
    EXPECT_EQ(read.FindDefinition(text)->expressions, std::vector<std::string>{awkward});
    EXPECT_EQ(*read.FindElementValue(sample.wall2, text), MakeStringValue(awkward));

    // Control characters as two-digit references, "&", "<" and the quote as entities; ">", the
    // apostrophe and UTF-8 as they stand.
    EXPECT_NE(written.find("it's &#01;&#02;&#03;&#04;&#05;&#06;&#07;&#08;&#09;&#10;&#11;&#12;&#13;&#14;&#15;&#16;"
                           "&#17;&#18;&#19;&#20;&#21;&#22;&#23;&#24;&#25;&#26;&#27;&#28;&#29;&#30;&#31; &amp; &lt;b> "
                           "&quot;q&quot; \xC3\x9C\""),
              std::string::npos);

    // Every line holds one tag, indented by two blanks per level of nesting.
    std::istringstream lines(written);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    int depth = 0;
    std::size_t count = 0;
    while (std::getline(lines, line)) {
        ++count;
        const bool closing = line.find("</") != std::string::npos && line.find('<') == line.find("</");
        const int expected = closing ? depth - 1 : depth;
        ASSERT_EQ(line.find_first_not_of(' '), static_cast<std::size_t>(expected * 2)) << line;
        ASSERT_EQ(line[static_cast<std::size_t>(expected * 2)], '<') << line;
        ASSERT_EQ(std::count(line.begin(), line.end(), '<'), 1) << line;
        EXPECT_EQ(line.find(" />"), std::string::npos) << line;
        if (closing)
            --depth;
        else if (!line.ends_with("/>"))
            ++depth;
    }
    EXPECT_EQ(depth, 0);
    EXPECT_GT(count, 20u);
    EXPECT_TRUE(written.ends_with("</project>\n"));
}
