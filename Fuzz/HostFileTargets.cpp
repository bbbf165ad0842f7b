#include "FuzzTargets.hpp"

#include <stdexcept>

#include "ConfigurationXml.hpp"
#include "ProjectFile.hpp"
#include "Support/Files.hpp"
#include "Support/Projects.hpp"

namespace Fuzz {

std::string RunProjectReader(std::string_view input)
{
    // The project read into already holds something: a refused text must leave it as it was.
    TestHost::Project project;
    project.AddGroup("Existing", "kept when a text is refused");
    const std::string before = TestHost::WriteProjectXml(project);

    const TestHost::ProjectReadResult read = TestHost::ReadProjectXml(input, project);
    if (!read.ok) {
        if (read.message.empty())
            return "a refused text gave no message";
        if (TestHost::WriteProjectXml(project) != before)
            return "a refused text changed the project: " + read.message;
        return {};
    }

    const std::string written = TestHost::WriteProjectXml(project);
    TestHost::Project again;
    const TestHost::ProjectReadResult reread = TestHost::ReadProjectXml(written, again);
    if (!reread.ok)
        return "the text written for an accepted project is refused: " + reread.message;
    if (TestHost::WriteProjectXml(again) != written)
        return "the text written for an accepted project reads as another project";
    return {};
}

ConfigurationImportTarget::ConfigurationImportTarget(const std::filesystem::path& sourceFolder)
{
    // The example's older configuration, and a few classified elements with values.
    TestHost::Project project;
    Support::ImportConfiguration(
        project, Support::ReadBytes(sourceFolder / "Examples" / "Configurations" / "IFC-SG-2025.xml"));
    project.AddElement("W1", "IfcWall", APINULLGuid);
    project.AddElement("D1", "IfcDoor", APINULLGuid);
    project.ClassifyElementsByType();
    for (const TestHost::PropertyDefinition& definition : project.Definitions()) {
        for (const TestHost::Element& element : project.Elements())
            if (project.AppliesTo(definition.guid, element.guid))
                project.SetElementValue(element.guid, definition.guid, definition.defaultValue.type == API_PropertyStringValueType
                                                                           ? TestHost::MakeStringValue("kept")
                                                                           : definition.defaultValue);
    }
    baseProject = TestHost::WriteProjectXml(project);
    // Every input compares against this text, so it must read back to itself.
    TestHost::Project reread;
    if (!TestHost::ReadProjectXml(baseProject, reread).ok || TestHost::WriteProjectXml(reread) != baseProject)
        throw std::runtime_error("the base project does not read back to itself");
}

ConfigurationImportTarget::~ConfigurationImportTarget() = default;

std::string ConfigurationImportTarget::Run(std::string_view input)
{
    TestHost::Project project;
    if (!TestHost::ReadProjectXml(baseProject, project).ok)
        return "the base project does not read";
    const std::string& before = baseProject;

    const TestHost::ImportOutcome classifications = TestHost::ImportClassificationXml(project, input);
    const std::string afterClassifications = TestHost::WriteProjectXml(project);
    if (classifications.code != NoError && afterClassifications != before)
        return "a refused classification import changed the project: " + classifications.message;
    const TestHost::ImportOutcome properties = TestHost::ImportPropertyXml(project, input);
    const std::string afterProperties = TestHost::WriteProjectXml(project);
    if (properties.code != NoError && afterProperties != afterClassifications)
        return "a refused property import changed the project: " + properties.message;
    if ((classifications.code != NoError && classifications.message.empty()) ||
        (properties.code != NoError && properties.message.empty()))
        return "a refused import gave no message";

    // The same text once more: everything it names is there already.
    if (classifications.code == NoError) {
        const TestHost::ImportOutcome again = TestHost::ImportClassificationXml(project, input);
        if (again.code != NoError)
            return "a classification import accepted once is refused the second time: " + again.message;
    }
    if (properties.code == NoError) {
        const TestHost::ImportOutcome again = TestHost::ImportPropertyXml(project, input);
        if (again.code != NoError)
            return "a property import accepted once is refused the second time: " + again.message;
    }
    if (TestHost::WriteProjectXml(project) != afterProperties)
        return "importing the same text a second time changed the project";
    return {};
}

}  // namespace Fuzz
