// Whole update commands through the module file on groups and properties whose names, joined into
// value keys and the older expression keys, would be equal: their values and expression lists
// stay apart.
#include <tuple>

#include "ModuleRun.hpp"

namespace {

using namespace Abi;
using TestHost::MakeRealValue;
using TestHost::MakeStringValue;

// Groups and properties whose names hold the "-" of value keys and the ";" of the old expression keys.
const char* const SeparatorNames = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcDoor"/></classificationSystem>
  <propertyGroup name="SGPset_Door"><property name="Fire-Rating" type="String"><appliesTo item="IfcDoor"/></property></propertyGroup>
  <propertyGroup name="SGPset_Door-Fire"><property name="Rating" type="String"><appliesTo item="IfcDoor"/></property></propertyGroup>
  <propertyGroup name="SGPset_A"><property name="B;C" type="Real"><appliesTo item="IfcDoor"/></property></propertyGroup>
  <propertyGroup name="SGPset_A;B"><property name="C" type="Real"><appliesTo item="IfcDoor"/></property></propertyGroup>
</configuration>)xml";

class SeparatorNamesRun : public ModuleRunTest {
protected:
    SeparatorNamesRun() : ModuleRunTest(SeparatorNames) {}
};

}  // namespace

TEST_F(SeparatorNamesRun, PropertiesWhoseJoinedNamesAreEqualStayApart)
{
    const API_Guid door = AddElement("D1", "IfcDoor");
    Set(door, "SGPset_Door", "Fire-Rating", MakeStringValue("FD30"));
    Set(door, "SGPset_Door-Fire", "Rating", MakeStringValue("EI 60"));
    Set(door, "SGPset_A", "B;C", MakeRealValue(1.5));
    Set(door, "SGPset_A;B", "C", MakeRealValue(2.5));
    TestHost::Project& project = host.GetProject();
    for (const auto& [group, name, expression] : {std::tuple{"SGPset_A", "B;C", "{Door.Width}"}, std::tuple{"SGPset_A;B", "C", "{Door.Height}"}}) {
        TestHost::PropertyDefinition definition = *project.FindDefinitionByName(project.FindGroupByName(group)->guid, name);
        definition.expressions = {expression};
        definition.expressionFlag = 1;
        ASSERT_EQ(project.UpdateDefinition(definition), 0);
    }
    const Support::ValueMap before = Support::OwnedValues(project);
    Start();

    RunCommand();
    EXPECT_TRUE(ReportTexts().empty());
    EXPECT_TRUE(Support::SameValues(Support::OwnedValues(host.GetProject()), before));
    const TestHost::Project& after = host.GetProject();
    EXPECT_EQ(after.FindDefinitionByName(after.FindGroupByName("SGPset_A")->guid, "B;C")->expressions,
              std::vector<std::string>{"{Door.Width}"});
    EXPECT_EQ(after.FindDefinitionByName(after.FindGroupByName("SGPset_A;B")->guid, "C")->expressions,
              std::vector<std::string>{"{Door.Height}"});
    // A group with "-" in its name is written with the two names apart.
    const std::string written = Support::ReadBytes(home.BackupFile());
    EXPECT_NE(written.find("<SGPset_Door-Fire-Rating valType=\"String\" MType=\"Default\">FD30</SGPset_Door-Fire-Rating>"),
              std::string::npos);
    EXPECT_NE(written.find("<value group=\"SGPset_Door-Fire\" property=\"Rating\" valType=\"String\" MType=\"Default\">EI 60</value>"),
              std::string::npos);
}
