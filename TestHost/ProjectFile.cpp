#include "ProjectFile.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "InputFile.hpp"
#include "TypeNames.hpp"

namespace TestHost {

namespace {

constexpr const char* FormatVersion = "1";


// --- Writing -------------------------------------------------------------------------------------

// The entries under the root are built and printed by pugixml one at a time, so that a large
// project never has its whole document in memory next to its text. An entry carries its own
// layout as text: before every element a line break and two blanks per level, and the same before
// the end tag of an element with children. pugixml's raw printer then gives one element per line
// and empty elements as "<name .../>", and escapes the attribute values: "&", "<" and the quote as
// entities, and every control character (tab and line breaks included) as a character reference,
// so that they read back with their exact bytes.
class EntryPrinter final : public pugi::xml_writer {
public:
    // Starts the text with the declaration and the root's start tag, whose attributes are numbers.
    EntryPrinter(const char* format, UInt64 guidSerial)
        : text(std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<project format=\"") + format +
               "\" guidSerial=\"" + std::to_string(guidSerial) + "\">")
    {
    }

    // A new entry of the root, on a line of its own; the one before it is printed.
    pugi::xml_node Begin(const char* name)
    {
        Flush();
        return entry.append_child(name);
    }

    // The whole text, with the root's end tag.
    std::string Finish()
    {
        Flush();
        text += "\n</project>\n";
        return std::move(text);
    }

    void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }

private:
    void Flush()
    {
        if (entry.first_child()) {
            text += "\n  ";
            entry.first_child().print(*this, "", pugi::format_raw, pugi::encoding_utf8);
        }
        entry.reset();
    }

    std::string text;
    pugi::xml_document entry;
};

// A child element on a line of its own, `depth` levels below the root.
pugi::xml_node AddElement(pugi::xml_node parent, const char* name, std::size_t depth)
{
    parent.append_child(pugi::node_pcdata).set_value(("\n" + std::string(depth * 2, ' ')).c_str());
    return parent.append_child(name);
}

// Puts the end tag of an element with children on a line of its own.
void EndChildren(pugi::xml_node node, std::size_t depth)
{
    if (node.first_child())
        node.append_child(pugi::node_pcdata).set_value(("\n" + std::string(depth * 2, ' ')).c_str());
}

void AddAttribute(pugi::xml_node node, const char* name, const std::string& value)
{
    node.append_attribute(name).set_value(value.c_str());
}

std::string RealText(double value)
{
    // The shortest text that reads back as the same double.
    char text[40];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string ValueText(const Value& value)
{
    switch (value.type) {
        case API_PropertyIntegerValueType: return std::to_string(value.integer);
        case API_PropertyRealValueType: return RealText(value.real);
        case API_PropertyStringValueType: return value.text;
        case API_PropertyBooleanValueType: return value.boolean ? "true" : "false";
        default: return std::string();
    }
}


void AddItem(pugi::xml_node parent, const Project& project, const API_Guid& guid, std::size_t depth)
{
    const ClassificationItem& item = *project.FindItem(guid);
    pugi::xml_node node = AddElement(parent, "item", depth);
    AddAttribute(node, "guid", GuidToText(item.guid));
    AddAttribute(node, "id", item.id);
    AddAttribute(node, "name", item.name);
    for (const API_Guid& child : item.children)
        AddItem(node, project, child, depth + 1);
    EndChildren(node, depth);
}

// --- Reading -------------------------------------------------------------------------------------

struct ReadFailure {
    std::size_t line;
    std::string message;
};

class ProjectReader {
public:
    explicit ProjectReader(std::string_view text) : text(text) {}

    Project Read()
    {
        const pugi::xml_parse_result result =
            // As a fragment, so that stray text beside the root is kept and can be refused.
            document.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_fragment,
                                 pugi::encoding_utf8);
        if (!result)
            throw ReadFailure{LineAt(result.offset), std::string("malformed XML: ") + result.description()};
        pugi::xml_node root;
        for (pugi::xml_node node : document.children()) {
            if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
                throw ReadFailure{LineOf(node), "text outside the root element"};
            if (node.type() != pugi::node_element)
                continue;
            if (root)
                throw ReadFailure{LineOf(node), "a second root element <" + std::string(node.name()) + ">"};
            root = node;
        }
        if (!root)
            throw ReadFailure{LineAt(static_cast<std::ptrdiff_t>(text.size())), "malformed XML: no root element"};
        if (std::string_view(root.name()) != "project")
            throw ReadFailure{LineOf(root), "the root element is <" + std::string(root.name()) + ">, not <project>"};
        const std::string format = Required(root, "format");
        if (format != FormatVersion)
            throw ReadFailure{LineOf(root), "unknown project format \"" + format + "\""};

        Project project;
        for (pugi::xml_node node : root.children()) {
            const std::string_view name = node.name();
            CheckNoText(node);
            if (node.type() != pugi::node_element)
                continue;
            if (name == "classificationSystem")
                ReadSystem(node, project);
            else if (name == "propertyGroup")
                ReadGroup(node, project);
            else if (name == "propertyDefinition")
                ReadDefinition(node, project);
            else if (name == "element")
                ReadElement(node, project);
            else
                throw ReadFailure{LineOf(node), "unknown element <" + std::string(name) + "> in <project>"};
        }
        // Set last: the GUIDs of the file are taken as they stand, none is generated while reading.
        project.SetGuidSerial(root.attribute("guidSerial") ? ReadUnsigned(root, "guidSerial") : 0);
        return project;
    }

private:
    std::size_t LineAt(std::ptrdiff_t offset) const
    {
        const std::size_t end = std::min(static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0)), text.size());
        return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
    }

    std::size_t LineOf(pugi::xml_node node) const { return LineAt(node.offset_debug()); }

    void CheckNoText(pugi::xml_node node) const
    {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
            throw ReadFailure{LineOf(node), "unexpected text in <" + std::string(node.parent().name()) + ">"};
    }

    std::string Required(pugi::xml_node node, const char* attribute) const
    {
        const pugi::xml_attribute found = node.attribute(attribute);
        if (!found)
            throw ReadFailure{LineOf(node), "<" + std::string(node.name()) + "> has no \"" + attribute + "\" attribute"};
        return found.value();
    }

    API_Guid ReadGuid(pugi::xml_node node, const char* attribute) const
    {
        const std::string textForm = Required(node, attribute);
        API_Guid guid;
        if (!TextToGuid(textForm, guid) || guid == APINULLGuid)
            throw ReadFailure{LineOf(node), "\"" + textForm + "\" in \"" + attribute + "\" is not a GUID"};
        return guid;
    }

    UInt64 ReadUnsigned(pugi::xml_node node, const char* attribute) const
    {
        const std::string number = Required(node, attribute);
        UInt64 value = 0;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (number.empty() || error != std::errc() || end != number.data() + number.size())
            throw ReadFailure{LineOf(node), "\"" + number + "\" in \"" + attribute + "\" is not a whole number"};
        return value;
    }

    // An optional number: `fallback` when the attribute is absent.
    Int32 ReadInt32(pugi::xml_node node, const char* attribute, Int32 fallback) const
    {
        if (!node.attribute(attribute))
            return fallback;
        const std::string number = node.attribute(attribute).value();
        Int32 value = 0;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (number.empty() || error != std::errc() || end != number.data() + number.size())
            throw ReadFailure{LineOf(node), "\"" + number + "\" in \"" + attribute + "\" is not a 32-bit number"};
        return value;
    }

    Int32 ReadValueType(pugi::xml_node node, const char* attribute) const
    {
        const std::string name = Required(node, attribute);
        if (const std::optional<Int32> type = ValueTypeCode(name))
            return *type;
        throw ReadFailure{LineOf(node), "unknown value type \"" + name + "\""};
    }

    Int32 ReadMeasure(pugi::xml_node node, const char* attribute) const
    {
        if (!node.attribute(attribute))
            return API_PropertyDefaultMeasureType;
        const std::string name = node.attribute(attribute).value();
        if (const std::optional<Int32> measure = MeasureCode(name))
            return *measure;
        throw ReadFailure{LineOf(node), "unknown measure \"" + name + "\""};
    }

    // The value in `attribute`, read by `type`. An absent attribute gives the type's zero value when
    // `zeroIfAbsent`, else it is refused for every type but String and Undefined.
    Value ReadValue(pugi::xml_node node, Int32 type, const char* attribute, bool zeroIfAbsent) const
    {
        const pugi::xml_attribute found = node.attribute(attribute);
        if (!found && (zeroIfAbsent || type == API_PropertyStringValueType || type == API_PropertyUndefinedValueType))
            return MakeZeroValue(type);
        if (!found)
            throw ReadFailure{LineOf(node), "<" + std::string(node.name()) + "> has no \"" + attribute + "\" attribute"};
        const std::string_view valueText = found.value();
        const char* first = valueText.data();
        const char* last = first + valueText.size();
        const auto bad = [&]() {
            return ReadFailure{LineOf(node), "\"" + std::string(valueText) + "\" is not a " + ValueTypeName(type) + " value"};
        };
        switch (type) {
            case API_PropertyIntegerValueType: {
                Int32 number = 0;
                const auto [end, error] = std::from_chars(first, last, number);
                if (valueText.empty() || error != std::errc() || end != last)
                    throw bad();
                return MakeIntegerValue(number);
            }
            case API_PropertyRealValueType: {
                double number = 0.0;
                const auto [end, error] = std::from_chars(first, last, number);
                if (valueText.empty() || error != std::errc() || end != last)
                    throw bad();
                return MakeRealValue(number);
            }
            case API_PropertyStringValueType:
                return MakeStringValue(std::string(valueText));
            case API_PropertyBooleanValueType:
                if (valueText == "true")
                    return MakeBooleanValue(true);
                if (valueText == "false")
                    return MakeBooleanValue(false);
                throw bad();
            default:
                if (!valueText.empty())
                    throw bad();
                return MakeUndefinedValue();
        }
    }

    void ReadSystem(pugi::xml_node node, Project& project) const
    {
        const API_Guid wanted = ReadGuid(node, "guid");
        const API_Guid system = project.AddSystem(Required(node, "name"), node.attribute("version").value(), wanted);
        if (system == APINULLGuid)
            throw ReadFailure{LineOf(node), "GUID " + GuidToText(wanted) + " is used twice"};
        ReadItems(node, project, system, APINULLGuid);
    }

    void ReadItems(pugi::xml_node parentNode, Project& project, const API_Guid& system, const API_Guid& parent) const
    {
        for (pugi::xml_node node : parentNode.children()) {
            CheckNoText(node);
            if (node.type() != pugi::node_element)
                continue;
            if (std::string_view(node.name()) != "item")
                throw ReadFailure{LineOf(node), "unknown element <" + std::string(node.name()) + "> in <" +
                                                    std::string(parentNode.name()) + ">"};
            const API_Guid wanted = ReadGuid(node, "guid");
            const API_Guid item = project.AddItem(system, parent, Required(node, "id"), node.attribute("name").value(), wanted);
            if (item == APINULLGuid)
                throw ReadFailure{LineOf(node), "GUID " + GuidToText(wanted) + " is used twice"};
            ReadItems(node, project, system, item);
        }
    }

    void ReadGroup(pugi::xml_node node, Project& project) const
    {
        CheckEmpty(node);
        const API_Guid wanted = ReadGuid(node, "guid");
        const API_Guid group = project.AddGroup(Required(node, "name"), node.attribute("description").value(),
                                                ReadInt32(node, "kind", API_PropertyCustomDefinitionKind), wanted);
        if (group == APINULLGuid)
            throw ReadFailure{LineOf(node), "GUID " + GuidToText(wanted) + " is used twice"};
    }

    void ReadDefinition(pugi::xml_node node, Project& project) const
    {
        PropertyDefinition definition;
        definition.guid = ReadGuid(node, "guid");
        definition.group = ReadGuid(node, "group");
        if (project.FindGroup(definition.group) == nullptr)
            throw ReadFailure{LineOf(node), "no property group " + GuidToText(definition.group) + " before this definition"};
        definition.name = Required(node, "name");
        definition.description = node.attribute("description").value();
        definition.kind = ReadInt32(node, "kind", API_PropertyCustomDefinitionKind);
        definition.collectionType = ReadInt32(node, "collection", 0);
        definition.valueType = ReadValueType(node, "type");
        definition.measureType = ReadMeasure(node, "measure");
        definition.defaultValue = ReadValue(node, definition.valueType, "default", true);
        const Int32 flag = ReadInt32(node, "expressionFlag", 0);
        if (flag < 0 || flag > 255)
            throw ReadFailure{LineOf(node), "expressionFlag " + std::to_string(flag) + " is not a byte"};
        definition.expressionFlag = static_cast<UInt8>(flag);
        for (pugi::xml_node child : node.children()) {
            CheckNoText(child);
            if (child.type() != pugi::node_element)
                continue;
            const std::string_view name = child.name();
            if (name == "expression") {
                CheckEmpty(child);
                definition.expressions.push_back(Required(child, "text"));
            } else if (name == "appliesTo") {
                CheckEmpty(child);
                const API_Guid item = ReadGuid(child, "item");
                if (project.FindItem(item) == nullptr)
                    throw ReadFailure{LineOf(child), "no classification item " + GuidToText(item)};
                definition.availability.push_back(item);
            } else {
                throw ReadFailure{LineOf(child), "unknown element <" + std::string(name) + "> in <propertyDefinition>"};
            }
        }
        const API_Guid wanted = definition.guid;
        if (project.AddDefinition(std::move(definition)) == APINULLGuid)
            throw ReadFailure{LineOf(node), "GUID " + GuidToText(wanted) + " is used twice"};
    }

    void ReadElement(pugi::xml_node node, Project& project) const
    {
        const API_Guid wanted = ReadGuid(node, "guid");
        API_Guid classification;
        if (node.attribute("classification")) {
            classification = ReadGuid(node, "classification");
            if (project.FindItem(classification) == nullptr)
                throw ReadFailure{LineOf(node), "no classification item " + GuidToText(classification)};
        }
        const API_Guid element =
            project.AddElement(node.attribute("name").value(), node.attribute("type").value(), classification, wanted);
        if (element == APINULLGuid)
            throw ReadFailure{LineOf(node), "GUID " + GuidToText(wanted) + " is used twice"};
        for (pugi::xml_node child : node.children()) {
            CheckNoText(child);
            if (child.type() != pugi::node_element)
                continue;
            if (std::string_view(child.name()) != "value")
                throw ReadFailure{LineOf(child), "unknown element <" + std::string(child.name()) + "> in <element>"};
            CheckEmpty(child);
            const API_Guid definition = ReadGuid(child, "definition");
            if (project.FindDefinition(definition) == nullptr)
                throw ReadFailure{LineOf(child), "no property definition " + GuidToText(definition)};
            if (project.FindElementValue(element, definition) != nullptr)
                throw ReadFailure{LineOf(child), "a second value for definition " + GuidToText(definition)};
            const Int32 type = ReadValueType(child, "type");
            project.SetElementValue(element, definition, ReadValue(child, type, "value", false));
        }
    }

    void CheckEmpty(pugi::xml_node node) const
    {
        for (pugi::xml_node child : node.children()) {
            CheckNoText(child);
            if (child.type() == pugi::node_element)
                throw ReadFailure{LineOf(child), "unknown element <" + std::string(child.name()) + "> in <" +
                                                     std::string(node.name()) + ">"};
        }
    }

    std::string_view text;
    pugi::xml_document document;
};

}  // namespace

std::string WriteProjectXml(const Project& project)
{
    EntryPrinter printer(FormatVersion, project.GuidSerial());

    for (const ClassificationSystem& system : project.Systems()) {
        pugi::xml_node node = printer.Begin("classificationSystem");
        AddAttribute(node, "guid", GuidToText(system.guid));
        AddAttribute(node, "name", system.name);
        AddAttribute(node, "version", system.version);
        for (const API_Guid& item : system.items)
            AddItem(node, project, item, 2);
        EndChildren(node, 1);
    }

    for (const PropertyGroup& group : project.Groups()) {
        pugi::xml_node node = printer.Begin("propertyGroup");
        AddAttribute(node, "guid", GuidToText(group.guid));
        AddAttribute(node, "kind", std::to_string(group.kind));
        AddAttribute(node, "name", group.name);
        AddAttribute(node, "description", group.description);
    }

    for (const PropertyDefinition& definition : project.Definitions()) {
        pugi::xml_node node = printer.Begin("propertyDefinition");
        AddAttribute(node, "guid", GuidToText(definition.guid));
        AddAttribute(node, "group", GuidToText(definition.group));
        AddAttribute(node, "kind", std::to_string(definition.kind));
        AddAttribute(node, "name", definition.name);
        AddAttribute(node, "description", definition.description);
        AddAttribute(node, "collection", std::to_string(definition.collectionType));
        AddAttribute(node, "type", ValueTypeName(definition.valueType));
        AddAttribute(node, "measure", MeasureName(definition.measureType));
        AddAttribute(node, "default", ValueText(definition.defaultValue));
        AddAttribute(node, "expressionFlag", std::to_string(definition.expressionFlag));
        for (const std::string& expression : definition.expressions)
            AddAttribute(AddElement(node, "expression", 2), "text", expression);
        for (const API_Guid& item : definition.availability)
            AddAttribute(AddElement(node, "appliesTo", 2), "item", GuidToText(item));
        EndChildren(node, 1);
    }

    // Each element's values, ordered by definition GUID.
    std::unordered_map<API_Guid, std::vector<std::pair<API_Guid, const Value*>>, GuidHash> valuesOf;
    project.ForEachValue([&valuesOf](const API_Guid& element, const API_Guid& definition, const Value& value) {
        valuesOf[element].emplace_back(definition, &value);
    });
    for (const Element& element : project.Elements()) {
        pugi::xml_node node = printer.Begin("element");
        AddAttribute(node, "guid", GuidToText(element.guid));
        AddAttribute(node, "name", element.name);
        AddAttribute(node, "type", element.ifcType);
        if (!(element.classification == APINULLGuid))
            AddAttribute(node, "classification", GuidToText(element.classification));
        if (const auto found = valuesOf.find(element.guid); found != valuesOf.end()) {
            for (const auto& [definition, value] : found->second) {
                pugi::xml_node valueNode = AddElement(node, "value", 2);
                AddAttribute(valueNode, "definition", GuidToText(definition));
                AddAttribute(valueNode, "type", ValueTypeName(value->type));
                if (value->type != API_PropertyUndefinedValueType)
                    AddAttribute(valueNode, "value", ValueText(*value));
            }
        }
        EndChildren(node, 1);
    }
    return printer.Finish();
}

ProjectReadResult ReadProjectXml(std::string_view text, Project& project)
{
    try {
        ProjectReader reader(text);
        Project read = reader.Read();
        project = std::move(read);
        return ProjectReadResult{};
    } catch (const ReadFailure& failure) {
        return ProjectReadResult{false, failure.line, "line " + std::to_string(failure.line) + ": " + failure.message};
    }
}

bool SaveProjectFile(const Project& project, const std::string& path, std::string& error)
{
    const std::string text = WriteProjectXml(project);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

ProjectReadResult LoadProjectFile(const std::string& path, Project& project)
{
    std::string content;
    if (std::string error = ReadInputFile(path, "", &content); !error.empty())
        return ProjectReadResult{false, 0, std::move(error)};
    ProjectReadResult result = ReadProjectXml(content, project);
    if (!result.ok)
        result.message = path + ":" + std::to_string(result.line) + ": " +
                         result.message.substr(result.message.find(": ") + 2);
    return result;
}

}  // namespace TestHost
