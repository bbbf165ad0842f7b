// The project file's text form as written: one element per line, two blanks per level, empty
// elements as "<name .../>", and texts that come back with their exact bytes, every control
// character included.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HostFixture.hpp"
#include "ProjectFile.hpp"

using namespace TestHost;

TEST(ProjectFileWriter, WritesOneElementPerLineAndKeepsEveryControlCharacter)
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
