#include "BenchProject.hpp"

#include <cstdio>
#include <stdexcept>
#include <unordered_map>

#include "Support/OwnedValues.hpp"
#include "Support/Projects.hpp"

namespace Bench {

namespace {

constexpr std::size_t PropertiesPerGroup = 10;
const char* const ValueTypes[] = {"String", "Real", "Integer", "Boolean"};

std::string Numbered(const char* prefix, std::size_t number)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s%02zu", prefix, number);
    return text;
}

// The value of wall `element` for the owned property `property` of type `valueType`: varied, so
// that the texts in the file have realistic lengths.
TestHost::Value OwnedValue(Int32 valueType, std::size_t element, std::size_t property)
{
    switch (valueType) {
        case API_PropertyStringValueType:
            return TestHost::MakeStringValue("REI " + std::to_string(30 + (element + property) % 8 * 30));
        case API_PropertyRealValueType:
            return TestHost::MakeRealValue(0.1 + static_cast<double>((element * 7 + property) % 1000) * 0.0125);
        case API_PropertyIntegerValueType:
            return TestHost::MakeIntegerValue(static_cast<Int32>((element + property * 13) % 500));
        default: return TestHost::MakeBooleanValue((element + property) % 3 == 0);
    }
}

}  // namespace

std::string MakeConfiguration(std::size_t ownedValues)
{
    std::string text = "<configuration>\n  <classificationSystem name=\"IFC-SG\"><item id=\"IfcWall\"/></classificationSystem>\n";
    for (std::size_t property = 0; property < ownedValues; ++property) {
        if (property % PropertiesPerGroup == 0) {
            if (property > 0)
                text += "  </propertyGroup>\n";
            text += "  <propertyGroup name=\"" + Numbered("SGPset_Group", property / PropertiesPerGroup + 1) + "\">\n";
        }
        const char* type = ValueTypes[property % 4];
        text += "    <property name=\"" + Numbered("Property", property % PropertiesPerGroup + 1) + "\" type=\"" + type +
                "\"" + (property % 4 == 1 ? " measure=\"Length\"" : "") + "><appliesTo item=\"IfcWall\"/></property>\n";
    }
    if (ownedValues > 0)
        text += "  </propertyGroup>\n";
    text += "  <propertyGroup name=\"Pset_WallCommon\">\n"
            "    <property name=\"Reference\" type=\"String\"><appliesTo item=\"IfcWall\"/></property>\n"
            "  </propertyGroup>\n</configuration>\n";
    return text;
}

TestHost::Project MakeProject(const std::string& configuration, std::size_t elements, std::size_t ownedValues)
{
    TestHost::Project project;
    Support::ImportConfiguration(project, configuration);
    const API_Guid wall = project.FindItemById("IfcWall")->guid;
    const std::vector<const TestHost::PropertyDefinition*> definitions = project.DefinitionsForItem(wall);
    if (definitions.size() != ownedValues + 1)
        throw std::runtime_error("the benchmark's configuration has the wrong number of properties");
    std::vector<API_Guid> guids;
    std::vector<Int32> types;
    for (const TestHost::PropertyDefinition* definition : definitions) {
        guids.push_back(definition->guid);
        types.push_back(definition->valueType);
    }
    for (std::size_t element = 0; element < elements; ++element) {
        const API_Guid guid = project.AddElement("W-" + std::to_string(element + 1), "IfcWall", wall);
        for (std::size_t property = 0; property < ownedValues; ++property)
            project.SetElementValue(guid, guids[property], OwnedValue(types[property], element, property));
        project.SetElementValue(guid, guids[ownedValues], TestHost::MakeStringValue("W-" + std::to_string(element + 1)));
    }
    return project;
}

BackupContent CollectBackupContent(const TestHost::Project& project)
{
    BackupContent content;
    std::unordered_map<std::string, std::size_t> keyIndex;
    for (const TestHost::Element& element : project.Elements()) {
        if (element.classification == APINULLGuid)
            continue;
        BackupContent::Entry entry{element.guid, {}};
        for (const TestHost::PropertyDefinition* definition : project.DefinitionsForItem(element.classification)) {
            const std::string& group = project.FindGroup(definition->group)->name;
            if (!Support::IsOwnedGroup(group))
                continue;
            const TestHost::Value* value = project.FindElementValue(element.guid, definition->guid);
            if (value == nullptr)
                continue;
            const std::string key = group + "-" + definition->name;
            const auto [at, added] = keyIndex.emplace(key, content.keys.size());
            if (added)
                content.keys.push_back(BackupContent::Key{key, definition->valueType, definition->measureType});
            entry.values.push_back(SavedValue{at->second, *value});
        }
        if (!entry.values.empty()) {
            content.valueCount += entry.values.size();
            content.entries.push_back(std::move(entry));
        }
    }
    return content;
}

}  // namespace Bench
