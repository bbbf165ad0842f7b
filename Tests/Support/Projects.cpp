#include "Projects.hpp"

#include <stdexcept>
#include <string>

#include "ConfigurationXml.hpp"
#include "Files.hpp"
#include "Folders.hpp"

namespace Support {

namespace {

void Check(const TestHost::ImportOutcome& outcome, const char* import)
{
    if (outcome.code != NoError)
        throw std::runtime_error(std::string("the ") + import + " import failed with " + std::to_string(outcome.code) +
                                 ": " + outcome.message);
}

void Check(GSErrCode code, const char* what)
{
    if (code != NoError)
        throw std::runtime_error(std::string(what) + " failed with " + std::to_string(code));
}

}  // namespace

void ImportConfiguration(TestHost::Project& project, std::string_view configuration)
{
    Check(TestHost::ImportClassificationXml(project, configuration), "classification");
    Check(TestHost::ImportPropertyXml(project, configuration), "property");
}

std::filesystem::path WallConfigurationFile()
{
    return FixtureFile("Configurations/WallFireRatingAndThickness.xml");
}

void MakeWallProject(TestHost::Project& project, int walls, bool withThickness)
{
    ImportConfiguration(project, ReadBytes(WallConfigurationFile()));
    const API_Guid group = project.FindGroupByName("SGPset_Wall")->guid;
    const API_Guid fireRating = project.FindDefinitionByName(group, "FireRating")->guid;
    TestHost::PropertyDefinition thickness = *project.FindDefinitionByName(group, "Thickness");
    thickness.expressions = {"{Wall.Width}"};
    thickness.expressionFlag = 1;
    Check(project.UpdateDefinition(thickness), "setting the Thickness expression");
    const API_Guid item = project.FindItemById("IfcWall")->guid;
    for (int i = 0; i < walls; ++i) {
        const API_Guid wall = project.AddElement("W" + std::to_string(i), "IfcWall", item);
        Check(project.SetElementValue(wall, fireRating, TestHost::MakeStringValue("REI " + std::to_string(i))),
              "setting a FireRating");
        if (withThickness)
            Check(project.SetElementValue(wall, thickness.guid, TestHost::MakeRealValue(0.1 * i)), "setting a Thickness");
    }
}

}  // namespace Support
