#include "Edition.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <set>
#include <unordered_map>

#include <pugixml.hpp>

#include "XmlText.hpp"

namespace RenameProposal {

namespace {

constexpr const char* ValueTypeNames[] = {"Undefined", "Integer", "Real", "String", "Boolean"};
constexpr const char* MeasureNames[] = {"Default", "Length", "Area", "Volume", "Angle"};

constexpr const char* RootName = "configuration";
constexpr const char* SystemName = "classificationSystem";
constexpr const char* ItemName = "item";
constexpr const char* GroupName = "propertyGroup";
constexpr const char* PropertyName = "property";
constexpr const char* AppliesToName = "appliesTo";

// Thrown while reading, caught by ReadEdition.
struct ReadFailure {
    std::string message;
};

template <std::size_t Size>
std::int32_t CodeOf(const char* const (&names)[Size], std::string_view name)
{
    for (std::size_t index = 0; index < Size; ++index)
        if (name == names[index])
            return static_cast<std::int32_t>(index);
    return -1;
}

// Whether `text` is a default of the value type `type`, as the host's import reads defaults.
bool FitsType(std::string_view text, std::int32_t type)
{
    const std::string_view number = !text.empty() && text.front() == '+' ? text.substr(1) : text;
    const char* last = number.data() + number.size();
    switch (type) {
        case 0: return text.empty();
        case 1: {
            std::int32_t integer = 0;
            const auto [end, error] = std::from_chars(number.data(), last, integer);
            return !number.empty() && error == std::errc() && end == last;
        }
        case 2: {
            double real = 0.0;
            const auto [end, error] = std::from_chars(number.data(), last, real);
            return !number.empty() && error == std::errc() && end == last && std::isfinite(real);
        }
        case 4: return text == "true" || text == "false" || text == "1" || text == "0";
        default: return true;
    }
}

class EditionReader {
public:
    explicit EditionReader(std::string_view text) : text(text) {}

    Edition Read()
    {
        const pugi::xml_node root = LoadRoot();
        Edition edition;
        ReadSystems(root, edition);
        ReadGroups(root, edition);
        return edition;
    }

private:
    [[noreturn]] void Fail(pugi::xml_node node, const std::string& message) const
    {
        throw ReadFailure{"line " + std::to_string(LineAt(node.offset_debug())) + ": " + message};
    }

    std::size_t LineAt(std::ptrdiff_t offset) const
    {
        const auto end = static_cast<std::ptrdiff_t>(std::min<std::size_t>(static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0)), text.size()));
        return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + end, '\n'));
    }

    void CheckCharacters() const
    {
        const char* reason = "";
        const std::size_t bad = FirstNonXmlCharacter(text, reason);
        if (bad != std::string_view::npos)
            throw ReadFailure{"line " + std::to_string(LineAt(static_cast<std::ptrdiff_t>(bad))) + ": " + reason};
    }

    pugi::xml_node LoadRoot()
    {
        if (std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }))
            throw ReadFailure{"the configuration is empty"};
        CheckCharacters();
        // As a fragment, so that text beside the root is kept and can be refused.
        const pugi::xml_parse_result parsed = document.load_buffer(
            text.data(), text.size(), pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
        if (!parsed)
            throw ReadFailure{"line " + std::to_string(LineAt(parsed.offset)) + ": malformed XML: " + parsed.description()};
        pugi::xml_node root;
        for (pugi::xml_node node : document.children()) {
            if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
                Fail(node, "text outside the root element");
            if (node.type() == pugi::node_element && root)
                Fail(node, "a second root element <" + std::string(node.name()) + ">");
            if (node.type() == pugi::node_element)
                root = node;
        }
        if (!root)
            throw ReadFailure{"no root element"};
        if (std::string_view(root.name()) != RootName)
            Fail(root, "the root element is <" + std::string(root.name()) + ">, not <configuration>");
        CheckChildren(root, {SystemName, GroupName});
        return root;
    }

    // Only the named elements may stand in `node`, each by its own rules below, and no text.
    void CheckChildren(pugi::xml_node node, std::initializer_list<const char*> allowed) const
    {
        for (pugi::xml_node child : node.children()) {
            if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
                Fail(child, "unexpected text in <" + std::string(node.name()) + ">");
            if (child.type() != pugi::node_element)
                continue;
            const std::string_view name = child.name();
            if (std::none_of(allowed.begin(), allowed.end(), [name](const char* known) { return name == known; }))
                Fail(child, "unknown element <" + std::string(name) + "> in <" + std::string(node.name()) + ">");
            if (name == SystemName || name == ItemName)
                CheckChildren(child, {ItemName});
            else if (name == GroupName)
                CheckChildren(child, {PropertyName});
            else
                CheckChildren(child, {AppliesToName});  // a property's; an appliesTo has none
            if (name == AppliesToName && child.first_child())
                Fail(child.first_child(), "unexpected content in <appliesTo>");
        }
    }

    // The attribute's value, checked for characters that XML does not allow (a character
    // reference may give one).
    std::string Attribute(pugi::xml_node node, const char* name) const
    {
        const std::string value = node.attribute(name).value();
        const char* reason = "";
        if (FirstNonXmlCharacter(value, reason) != std::string_view::npos)
            Fail(node, "the attribute \"" + std::string(name) + "\" of <" + node.name() + "> holds " + reason);
        return value;
    }

    std::string Required(pugi::xml_node node, const char* name) const
    {
        std::string value = Attribute(node, name);
        if (value.empty())
            Fail(node, "<" + std::string(node.name()) + "> has no \"" + name + "\" attribute");
        return value;
    }

    void ReadSystems(pugi::xml_node root, Edition& edition)
    {
        std::set<std::string> names;
        for (pugi::xml_node node : root.children(SystemName)) {
            const std::string name = Required(node, "name");
            const std::string version = Attribute(node, "version");
            if (!names.insert(name).second)
                Fail(node, "classification system \"" + name + "\" appears twice");
            edition.systems.push_back(version.empty() ? name : name + " " + version);
            std::set<std::string> ids;
            ReadItems(node, name, ids, edition);
        }
    }

    void ReadItems(pugi::xml_node parent, const std::string& system, std::set<std::string>& ids, Edition& edition,
                   std::uint32_t parentItem = EditionItem::NoParent)
    {
        for (pugi::xml_node node : parent.children(ItemName)) {
            EditionItem item{system, Required(node, "id"), parentItem};
            Attribute(node, "name");
            if (!ids.insert(item.id).second)
                Fail(node, "item \"" + item.id + "\" appears twice in \"" + system + "\"");
            const auto index = static_cast<std::uint32_t>(edition.items.size());
            firstById.emplace(item.id, index);
            bySystemAndId.emplace(system + '\0' + item.id, index);
            edition.items.push_back(std::move(item));
            ReadItems(node, system, ids, edition, index);
        }
    }

    void ReadGroups(pugi::xml_node root, Edition& edition)
    {
        std::set<std::string> names;
        for (pugi::xml_node node : root.children(GroupName)) {
            EditionGroup group{Required(node, "name"), {}};
            Attribute(node, "description");
            if (!names.insert(group.name).second)
                Fail(node, "property group \"" + group.name + "\" appears twice");
            std::set<std::string> propertyNames;
            for (pugi::xml_node propertyNode : node.children(PropertyName)) {
                EditionProperty property = ReadProperty(propertyNode);
                if (!propertyNames.insert(property.name).second)
                    Fail(propertyNode, "property \"" + property.name + "\" appears twice in \"" + group.name + "\"");
                group.properties.push_back(std::move(property));
            }
            edition.groups.push_back(std::move(group));
        }
    }

    EditionProperty ReadProperty(pugi::xml_node node) const
    {
        EditionProperty property;
        property.name = Required(node, "name");
        Attribute(node, "description");
        const std::string type = Required(node, "type");
        property.valueType = CodeOf(ValueTypeNames, type);
        if (property.valueType < 0)
            Fail(node, "property \"" + property.name + "\" has unknown type \"" + type + "\"");
        if (const pugi::xml_attribute measure = node.attribute("measure")) {
            property.measure = CodeOf(MeasureNames, measure.value()) + 1;
            if (property.measure < 1)
                Fail(node, "property \"" + property.name + "\" has unknown measure \"" + measure.value() + "\"");
        }
        Attribute(node, "default");
        if (const pugi::xml_attribute value = node.attribute("default"); value && !FitsType(value.value(), property.valueType))
            Fail(node, "property \"" + property.name + "\": \"" + value.value() + "\" is not a " + type + " value");
        for (pugi::xml_node applies : node.children(AppliesToName))
            property.items.push_back(ItemOf(applies));
        std::sort(property.items.begin(), property.items.end());
        property.items.erase(std::unique(property.items.begin(), property.items.end()), property.items.end());
        return property;
    }

    // The item "appliesTo" names: with "system", that system's; without, the first of that id.
    std::uint32_t ItemOf(pugi::xml_node applies) const
    {
        const std::string id = Required(applies, "item");
        const std::string system = Attribute(applies, "system");
        const auto found = system.empty() ? firstById.find(id) : bySystemAndId.find(system + '\0' + id);
        if (found == (system.empty() ? firstById.end() : bySystemAndId.end()))
            Fail(applies, "no classification item \"" + id + "\"" + (system.empty() ? "" : " in \"" + system + "\""));
        return found->second;
    }

    std::string_view text;
    pugi::xml_document document;
    std::unordered_map<std::string, std::uint32_t> firstById;
    std::unordered_map<std::string, std::uint32_t> bySystemAndId;
};

}  // namespace

EditionReading ReadEdition(std::string_view text)
{
    EditionReading reading;
    try {
        reading.edition = EditionReader(text).Read();
    } catch (const ReadFailure& failure) {
        reading.edition = Edition{};
        reading.problem = failure.message;
    }
    return reading;
}

bool ItemsRelated(const Edition& edition, std::uint32_t a, std::uint32_t b)
{
    const auto holds = [&](std::uint32_t outer, std::uint32_t inner) {
        for (std::uint32_t item = inner; item != EditionItem::NoParent; item = edition.items[item].parent)
            if (item == outer)
                return true;
        return false;
    };
    return holds(a, b) || holds(b, a);
}

std::uint32_t SameItemIn(const Edition& edition, const EditionItem& item)
{
    for (std::uint32_t index = 0; index < edition.items.size(); ++index)
        if (edition.items[index].system == item.system && edition.items[index].id == item.id)
            return index;
    return EditionItem::NoParent;
}

const char* ValueTypeName(std::int32_t valueType)
{
    return valueType >= 0 && valueType < static_cast<std::int32_t>(std::size(ValueTypeNames)) ? ValueTypeNames[valueType] : "?";
}

const char* MeasureName(std::int32_t measure)
{
    return measure >= 1 && measure <= static_cast<std::int32_t>(std::size(MeasureNames)) ? MeasureNames[measure - 1] : "?";
}

}  // namespace RenameProposal
