#include "ConfigurationXml.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "HostErrors.hpp"
#include "TypeNames.hpp"

namespace TestHost {

namespace {

constexpr const char* RootName = "configuration";
constexpr const char* SystemName = "classificationSystem";
constexpr const char* ItemName = "item";
constexpr const char* GroupName = "propertyGroup";
constexpr const char* PropertyName = "property";
constexpr const char* AppliesToName = "appliesTo";

// Raised while reading; caught at the top of each import, before anything has been changed.
struct ImportFailure {
    GSErrCode code;
    std::string message;
};

struct ConfiguredItem {
    std::string id;
    std::string name;
    std::vector<ConfiguredItem> children;
};

struct ConfiguredSystem {
    std::string name;
    std::string version;
    std::vector<ConfiguredItem> items;
};

struct ConfiguredProperty {
    std::string name;
    std::string description;
    Int32 valueType = API_PropertyUndefinedValueType;
    Int32 measureType = API_PropertyDefaultMeasureType;
    Value defaultValue;
    std::vector<API_Guid> availability;
};

struct ConfiguredGroup {
    std::string name;
    std::string description;
    std::vector<ConfiguredProperty> properties;
};

bool IsBlank(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

class ConfigurationReader {
public:
    explicit ConfigurationReader(std::string_view text) : text(text) {}

    // Parses the text and checks the element structure of the whole document; returns the root.
    pugi::xml_node Load()
    {
        if (IsBlank(text))
            throw ImportFailure{HostError::EmptyConfiguration, "the configuration text is empty"};
        const pugi::xml_parse_result result =
            // As a fragment, so that stray text beside the root is kept and can be refused.
            document.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_fragment,
                                 pugi::encoding_utf8);
        if (!result)
            throw ImportFailure{HostError::MalformedXml, "line " + std::to_string(LineAt(result.offset)) +
                                                             ": malformed XML: " + result.description()};
        pugi::xml_node root;
        for (pugi::xml_node node : document.children()) {
            if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
                throw ImportFailure{HostError::MalformedXml, At(node) + "text outside the root element"};
            if (node.type() != pugi::node_element)
                continue;
            if (root)
                throw ImportFailure{HostError::MalformedXml, At(node) + "a second root element <" +
                                                                 std::string(node.name()) + ">"};
            root = node;
        }
        if (!root)
            throw ImportFailure{HostError::MalformedXml, "no root element"};
        if (std::string_view(root.name()) != RootName)
            throw ImportFailure{HostError::UnknownRoot, At(root) + "the root element is <" + std::string(root.name()) +
                                                            ">, not <configuration>"};
        CheckChildren(root, {SystemName, GroupName});
        return root;
    }

    std::vector<ConfiguredSystem> ReadSystems(pugi::xml_node root) const
    {
        std::vector<ConfiguredSystem> systems;
        std::set<std::string> names;
        for (pugi::xml_node node : root.children(SystemName)) {
            ConfiguredSystem system;
            system.name = Required(node, "name");
            system.version = node.attribute("version").value();
            if (!names.insert(system.name).second)
                throw ImportFailure{HostError::DuplicateName,
                                    At(node) + "classification system \"" + system.name + "\" appears twice"};
            std::set<std::string> ids;
            system.items = ReadItems(node, system.name, ids);
            systems.push_back(std::move(system));
        }
        return systems;
    }

    std::vector<ConfiguredGroup> ReadGroups(pugi::xml_node root, const Project& project) const
    {
        std::vector<ConfiguredGroup> groups;
        std::set<std::string> groupNames;
        for (pugi::xml_node node : root.children(GroupName)) {
            ConfiguredGroup group;
            group.name = Required(node, "name");
            group.description = node.attribute("description").value();
            if (!groupNames.insert(group.name).second)
                throw ImportFailure{HostError::DuplicateName,
                                    At(node) + "property group \"" + group.name + "\" appears twice"};
            std::set<std::string> propertyNames;
            for (pugi::xml_node propertyNode : node.children(PropertyName)) {
                ConfiguredProperty property = ReadProperty(propertyNode, project);
                if (!propertyNames.insert(property.name).second)
                    throw ImportFailure{HostError::DuplicateName, At(propertyNode) + "property \"" + property.name +
                                                                      "\" appears twice in \"" + group.name + "\""};
                group.properties.push_back(std::move(property));
            }
            groups.push_back(std::move(group));
        }
        return groups;
    }

private:
    std::size_t LineAt(std::ptrdiff_t offset) const
    {
        const std::size_t end = std::min(static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0)), text.size());
        return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
    }

    std::string At(pugi::xml_node node) const { return "line " + std::to_string(LineAt(node.offset_debug())) + ": "; }

    // Only the named elements may appear below `node` (recursively by their own rules), and no text.
    void CheckChildren(pugi::xml_node node, std::initializer_list<const char*> allowed) const
    {
        for (pugi::xml_node child : node.children()) {
            if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
                throw ImportFailure{HostError::UnknownElement,
                                    At(child) + "unexpected text in <" + std::string(node.name()) + ">"};
            if (child.type() != pugi::node_element)
                continue;
            const std::string_view name = child.name();
            if (std::none_of(allowed.begin(), allowed.end(), [name](const char* known) { return name == known; }))
                throw ImportFailure{HostError::UnknownElement, At(child) + "unknown element <" + std::string(name) +
                                                                   "> in <" + std::string(node.name()) + ">"};
            if (name == SystemName || name == ItemName)
                CheckChildren(child, {ItemName});
            else if (name == GroupName)
                CheckChildren(child, {PropertyName});
            else if (name == PropertyName)
                CheckChildren(child, {AppliesToName});
            else
                CheckChildren(child, {});
        }
    }

    std::string Required(pugi::xml_node node, const char* attribute) const
    {
        const pugi::xml_attribute found = node.attribute(attribute);
        if (!found || *found.value() == '\0')
            throw ImportFailure{HostError::MissingAttribute, At(node) + "<" + std::string(node.name()) +
                                                                 "> has no \"" + attribute + "\" attribute"};
        return found.value();
    }

    std::vector<ConfiguredItem> ReadItems(pugi::xml_node parent, const std::string& systemName, std::set<std::string>& ids) const
    {
        std::vector<ConfiguredItem> items;
        for (pugi::xml_node node : parent.children(ItemName)) {
            ConfiguredItem item;
            item.id = Required(node, "id");
            const pugi::xml_attribute name = node.attribute("name");
            item.name = name ? name.value() : item.id;
            if (!ids.insert(item.id).second)
                throw ImportFailure{HostError::DuplicateName, At(node) + "item \"" + item.id +
                                                                  "\" appears twice in \"" + systemName + "\""};
            item.children = ReadItems(node, systemName, ids);
            items.push_back(std::move(item));
        }
        return items;
    }

    ConfiguredProperty ReadProperty(pugi::xml_node node, const Project& project) const
    {
        ConfiguredProperty property;
        property.name = Required(node, "name");
        property.description = node.attribute("description").value();

        const std::string type = Required(node, "type");
        const std::optional<Int32> typeCode = ValueTypeCode(type);
        if (!typeCode)
            throw ImportFailure{HostError::UnknownValueType,
                                At(node) + "property \"" + property.name + "\" has unknown type \"" + type + "\""};
        property.valueType = *typeCode;

        if (const pugi::xml_attribute measure = node.attribute("measure")) {
            const std::string_view measureText = measure.value();
            const std::optional<Int32> measureCode = MeasureCode(measureText);
            if (!measureCode)
                throw ImportFailure{HostError::UnknownMeasure, At(node) + "property \"" + property.name +
                                                                   "\" has unknown measure \"" + std::string(measureText) + "\""};
            property.measureType = *measureCode;
        }

        property.defaultValue = MakeZeroValue(property.valueType);
        if (const pugi::xml_attribute defaultText = node.attribute("default")) {
            if (!ParseValue(defaultText.value(), property.valueType, property.defaultValue))
                throw ImportFailure{HostError::BadDefaultValue, At(node) + "property \"" + property.name + "\": \"" +
                                                                    defaultText.value() + "\" is not a " + type + " value"};
        }

        for (pugi::xml_node applies : node.children(AppliesToName)) {
            const std::string id = Required(applies, "item");
            const std::string system = applies.attribute("system").value();
            const ClassificationItem* item = project.FindItemById(id, system);
            if (item == nullptr)
                throw ImportFailure{HostError::UnknownItem,
                                    At(applies) + "no classification item \"" + id + "\"" +
                                        (system.empty() ? std::string() : " in \"" + system + "\"")};
            if (std::find(property.availability.begin(), property.availability.end(), item->guid) ==
                property.availability.end())
                property.availability.push_back(item->guid);
        }
        return property;
    }

    // Reads `text` as a value of `type`; false when it does not fit.
    static bool ParseValue(std::string_view text, Int32 type, Value& value)
    {
        const char* first = text.data();
        const char* last = text.data() + text.size();
        switch (type) {
            case API_PropertyUndefinedValueType:
                return text.empty();
            case API_PropertyIntegerValueType: {
                if (!text.empty() && *first == '+')
                    ++first;
                Int32 number = 0;
                const auto [end, error] = std::from_chars(first, last, number);
                if (text.empty() || error != std::errc() || end != last)
                    return false;
                value = MakeIntegerValue(number);
                return true;
            }
            case API_PropertyRealValueType: {
                if (!text.empty() && *first == '+')
                    ++first;
                double number = 0.0;
                const auto [end, error] = std::from_chars(first, last, number);
                if (text.empty() || error != std::errc() || end != last || !std::isfinite(number))
                    return false;
                value = MakeRealValue(number);
                return true;
            }
            case API_PropertyStringValueType:
                value = MakeStringValue(std::string(text));
                return true;
            case API_PropertyBooleanValueType:
                if (text == "true" || text == "1")
                    value = MakeBooleanValue(true);
                else if (text == "false" || text == "0")
                    value = MakeBooleanValue(false);
                else
                    return false;
                return true;
            default:
                return false;
        }
    }

    std::string_view text;
    pugi::xml_document document;
};

void MergeItems(Project& project, const API_Guid& system, const API_Guid& parent, const std::vector<ConfiguredItem>& configured)
{
    const std::vector<API_Guid>& siblings =
        parent == APINULLGuid ? project.FindSystem(system)->items : project.FindItem(parent)->children;
    std::unordered_map<std::string, API_Guid> existing;
    for (const API_Guid& sibling : siblings)
        existing.emplace(project.FindItem(sibling)->id, sibling);  // the first of equal ids wins
    for (const ConfiguredItem& entry : configured) {
        API_Guid guid;
        if (const auto found = existing.find(entry.id); found != existing.end()) {
            guid = found->second;
            if (project.FindItem(guid)->name != entry.name)
                project.SetItemName(guid, entry.name);
        } else {
            guid = project.AddItem(system, parent, entry.id, entry.name);
        }
        MergeItems(project, system, guid, entry.children);
    }
}

void MergeGroup(Project& project, const ConfiguredGroup& entry)
{
    API_Guid group;
    if (const PropertyGroup* existing = project.FindGroupByName(entry.name)) {
        group = existing->guid;
        if (existing->description != entry.description)
            project.SetGroupDescription(group, entry.description);
    } else {
        group = project.AddGroup(entry.name, entry.description);
    }
    for (const ConfiguredProperty& property : entry.properties) {
        const PropertyDefinition* existing = project.FindDefinitionByName(group, property.name);
        PropertyDefinition definition = existing != nullptr ? *existing : PropertyDefinition{};
        definition.group = group;
        definition.name = property.name;
        definition.description = property.description;
        definition.valueType = property.valueType;
        definition.measureType = property.measureType;
        definition.defaultValue = property.defaultValue;
        definition.availability = property.availability;
        if (existing == nullptr)
            project.AddDefinition(std::move(definition));
        else if (!(definition == *existing))
            project.UpdateDefinition(definition);
    }
}

}  // namespace

ImportOutcome ImportClassificationXml(Project& project, std::string_view text)
{
    std::vector<ConfiguredSystem> systems;
    try {
        ConfigurationReader reader(text);
        systems = reader.ReadSystems(reader.Load());
    } catch (const ImportFailure& failure) {
        return ImportOutcome{failure.code, failure.message};
    }
    for (const ConfiguredSystem& entry : systems) {
        API_Guid system;
        if (const ClassificationSystem* existing = project.FindSystemByName(entry.name)) {
            system = existing->guid;
            if (existing->version != entry.version)
                project.SetSystemVersion(system, entry.version);
        } else {
            system = project.AddSystem(entry.name, entry.version);
        }
        MergeItems(project, system, APINULLGuid, entry.items);
    }
    return ImportOutcome{};
}

ImportOutcome ImportPropertyXml(Project& project, std::string_view text)
{
    std::vector<ConfiguredGroup> groups;
    try {
        ConfigurationReader reader(text);
        groups = reader.ReadGroups(reader.Load(), project);
    } catch (const ImportFailure& failure) {
        return ImportOutcome{failure.code, failure.message};
    }
    for (const ConfiguredGroup& entry : groups)
        MergeGroup(project, entry);
    return ImportOutcome{};
}

}  // namespace TestHost
