#include "ProjectFile.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
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
// project never has its whole document in memory next to its text; the text goes to the sink in
// pieces of about a MiB. An entry carries its own layout as text: before every element a line
// break and two blanks per level, and the same before the end tag of an element with children.
// pugixml's raw printer then gives one element per line and empty elements as "<name .../>", and
// escapes the attribute values: "&", "<" and the quote as entities, and every control character
// (tab and line breaks included) as a character reference, so that they read back with their exact
// bytes.
class EntryPrinter final : public pugi::xml_writer {
public:
    // Starts the text with the declaration and the root's start tag, whose attributes are numbers.
    EntryPrinter(const char* format, UInt64 guidSerial, const ProjectTextSink& sink)
        : text(std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<project format=\"") + format +
               "\" guidSerial=\"" + std::to_string(guidSerial) + "\">"),
          sink(sink)
    {
    }

    // A new entry of the root, on a line of its own; the one before it is printed.
    pugi::xml_node Begin(const char* name)
    {
        Flush();
        return entry.append_child(name);
    }

    // Ends the text with the root's end tag and hands the rest to the sink.
    void Finish()
    {
        Flush();
        text += "\n</project>\n";
        sink(text);
        text.clear();
    }

    void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }

private:
    static constexpr std::size_t PieceSize = std::size_t{1} << 20;

    void Flush()
    {
        if (entry.first_child()) {
            text += "\n  ";
            entry.first_child().print(*this, "", pugi::format_raw, pugi::encoding_utf8);
        }
        entry.reset();
        if (text.size() >= PieceSize) {
            sink(text);
            text.clear();
        }
    }

    std::string text;
    const ProjectTextSink& sink;
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
        CheckFormat(root);
        Project project;
        for (pugi::xml_node node : root.children()) {
            CheckNoText(node);
            if (node.type() == pugi::node_element)
                ReadEntry(node, project);
        }
        // Set last: the GUIDs of the file are taken as they stand, none is generated while reading.
        project.SetGuidSerial(ReadGuidSerial(root));
        return project;
    }

    // Refuses a root whose format is not the one this reader knows.
    void CheckFormat(pugi::xml_node root) const
    {
        const std::string format = Required(root, "format");
        if (format != FormatVersion)
            throw ReadFailure{LineOf(root), "unknown project format \"" + format + "\""};
    }

    // Reads one element under the root into `project`.
    void ReadEntry(pugi::xml_node node, Project& project) const
    {
        const std::string_view name = node.name();
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

    UInt64 ReadGuidSerial(pugi::xml_node root) const
    {
        return root.attribute("guidSerial") ? ReadUnsigned(root, "guidSerial") : 0;
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

// Reads a project file piece by piece, entry by entry: the declaration, the root's start tag, each
// element under the root parsed by pugixml on its own and read into the project at once, the root's
// end tag. So a large file is never whole in memory, nor its document. It takes the layout the
// writer gives and white space anywhere between tags; anything else (comments, processing
// instructions, CDATA, a document type, text, a NUL byte, a byte order mark, a truncated file) and
// every problem it meets make it give up, and the whole-document reader then answers for the text,
// with its own precedence of errors.
class EntryReader {
public:
    // Takes the next piece of the text; does nothing once the reader has given up.
    void Feed(std::string_view piece)
    {
        if (gaveUp)
            return;
        if (std::memchr(piece.data(), '\0', piece.size()) != nullptr) {
            GiveUp();
            return;
        }
        std::string_view text = piece;
        if (!pending.empty()) {
            pending.append(piece);
            text = pending;
        }
        std::size_t used = 0;
        try {
            while (!gaveUp && used < text.size()) {
                const std::size_t next = Step(text, used);
                if (next == used)
                    break;  // the rest of a token is still to come
                used = next;
            }
        } catch (const ReadFailure&) {
            GiveUp();
        }
        if (gaveUp)
            return;
        if (text.data() == pending.data())
            pending.erase(0, used);
        else
            pending.assign(text.substr(used));
    }

    // After the last piece: the project read, or nothing when the whole-document reader must answer.
    std::optional<Project> Finish()
    {
        if (gaveUp || state != State::AfterRoot || pending.find_first_not_of(" \t\r\n") != std::string::npos)
            return std::nullopt;
        // Set last: the GUIDs of the file are taken as they stand, none is generated while reading.
        project.SetGuidSerial(guidSerial);
        return std::move(project);
    }

private:
    enum class State { Start, BeforeRoot, InRoot, AfterRoot };

    void GiveUp()
    {
        gaveUp = true;
        pending = std::string();
        project = Project();
    }

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    // Takes the token at `at` and answers where the next one starts; `at` itself while the token
    // is not yet whole.
    std::size_t Step(std::string_view text, std::size_t at)
    {
        if (state == State::Start) {
            // Only the declaration the writer puts at the very start; without it, the root may come.
            if (text.size() < 6)
                return at;
            if (text.substr(0, 6) == "<?xml ") {
                const std::size_t end = text.find("?>", at);
                if (end == std::string_view::npos)
                    return at;
                state = State::BeforeRoot;
                return end + 2;
            }
            state = State::BeforeRoot;
        }
        if (IsSpace(text[at]))
            return at + 1;
        if (text[at] != '<' || state == State::AfterRoot) {
            GiveUp();
            return at;
        }
        if (at + 1 >= text.size())
            return at;
        if (text[at + 1] == '!' || text[at + 1] == '?') {
            GiveUp();
            return at;
        }
        return state == State::BeforeRoot ? ReadRootStart(text, at) : text[at + 1] == '/' ? ReadRootEnd(text, at)
                                                                                            : ReadEntry(text, at);
    }

    // The end of the tag starting at `at` (one past its ">"), with whether it closes itself; npos
    // while it is not whole. Gives up on a "<" inside it.
    std::size_t TagEnd(std::string_view text, std::size_t at, bool& selfClosing)
    {
        for (std::size_t i = at + 1; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '"' || c == '\'') {
                i = text.find(c, i + 1);
                if (i == std::string_view::npos)
                    return i;
            } else if (c == '<') {
                GiveUp();
                return std::string_view::npos;
            } else if (c == '>') {
                selfClosing = text[i - 1] == '/';
                return i + 1;
            }
        }
        return std::string_view::npos;
    }

    std::size_t ReadRootStart(std::string_view text, std::size_t at)
    {
        bool empty = false;
        const std::size_t end = TagEnd(text, at, empty);
        if (end == std::string_view::npos)
            return at;
        std::string tag(text.substr(at, end - at));
        if (!empty)
            tag.insert(tag.size() - 1, "/");
        const pugi::xml_node root = Parse(tag);
        if (gaveUp)
            return at;
        if (std::string_view(root.name()) != "project") {
            GiveUp();
            return at;
        }
        reader.CheckFormat(root);
        guidSerial = reader.ReadGuidSerial(root);
        state = empty ? State::AfterRoot : State::InRoot;
        return end;
    }

    std::size_t ReadRootEnd(std::string_view text, std::size_t at)
    {
        const std::size_t end = text.find('>', at);
        if (end == std::string_view::npos)
            return at;
        std::string_view name = text.substr(at + 2, end - at - 2);
        while (!name.empty() && IsSpace(name.back()))
            name.remove_suffix(1);
        if (name != "project") {
            GiveUp();
            return at;
        }
        state = State::AfterRoot;
        return end + 1;
    }

    // One element under the root, once its end tag has come: parsed and read into the project.
    std::size_t ReadEntry(std::string_view text, std::size_t at)
    {
        std::size_t depth = 0;
        std::size_t i = at;
        while (i < text.size()) {
            if (IsSpace(text[i])) {
                ++i;
                continue;
            }
            if (text[i] != '<' || i + 1 >= text.size() || text[i + 1] == '!' || text[i + 1] == '?') {
                if (i + 1 >= text.size() && text[i] == '<')
                    return at;
                GiveUp();  // text, a comment, CDATA, a processing instruction
                return at;
            }
            bool selfClosing = false;
            const std::size_t end = text[i + 1] == '/' ? text.find('>', i) : TagEnd(text, i, selfClosing);
            if (end == std::string_view::npos || gaveUp)
                return at;
            if (text[i + 1] == '/') {
                if (depth == 0) {
                    GiveUp();
                    return at;
                }
                --depth;
            } else if (!selfClosing) {
                ++depth;
            }
            i = text[i + 1] == '/' ? end + 1 : end;
            if (depth == 0) {
                const pugi::xml_node node = Parse(text.substr(at, i - at));
                if (!gaveUp)
                    reader.ReadEntry(node, project);
                return i;
            }
        }
        return at;
    }

    // The one element of `text`, parsed as the whole-document reader parses; an empty node (whose
    // name matches nothing) when pugixml refuses it.
    pugi::xml_node Parse(std::string_view text)
    {
        entry.reset();
        if (!entry.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_fragment,
                               pugi::encoding_utf8) ||
            entry.first_child() != entry.last_child() || entry.first_child().type() != pugi::node_element) {
            GiveUp();
            return pugi::xml_node();
        }
        return entry.first_child();
    }

    const ProjectReader reader{std::string_view()};
    pugi::xml_document entry;
    Project project;
    UInt64 guidSerial = 0;
    State state = State::Start;
    std::string pending;
    bool gaveUp = false;
};

}  // namespace

void WriteProjectXml(const Project& project, const ProjectTextSink& sink)
{
    EntryPrinter printer(FormatVersion, project.GuidSerial(), sink);

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

    for (const Element& element : project.Elements()) {
        pugi::xml_node node = printer.Begin("element");
        AddAttribute(node, "guid", GuidToText(element.guid));
        AddAttribute(node, "name", element.name);
        AddAttribute(node, "type", element.ifcType);
        if (!(element.classification == APINULLGuid))
            AddAttribute(node, "classification", GuidToText(element.classification));
        // Ordered by definition GUID, as ForEachValue orders them.
        project.ForEachValueOfElement(element.guid, [&node](const API_Guid& definition, const Value& value) {
            pugi::xml_node valueNode = AddElement(node, "value", 2);
            AddAttribute(valueNode, "definition", GuidToText(definition));
            AddAttribute(valueNode, "type", ValueTypeName(value.type));
            if (value.type != API_PropertyUndefinedValueType)
                AddAttribute(valueNode, "value", ValueText(value));
        });
        EndChildren(node, 1);
    }
    printer.Finish();
}

std::string WriteProjectXml(const Project& project)
{
    std::string text;
    WriteProjectXml(project, [&text](std::string_view piece) { text.append(piece); });
    return text;
}

ProjectReadResult ReadProjectXml(std::string_view text, Project& project)
{
    EntryReader entries;
    entries.Feed(text);
    if (std::optional<Project> read = entries.Finish()) {
        project = std::move(*read);
        return ProjectReadResult{};
    }
    // A text the entry reader does not take: the whole document answers, errors and all.
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
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    bool written = true;
    WriteProjectXml(project, [&](std::string_view piece) {
        written = written && std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
    });
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

ProjectReadResult LoadProjectFile(const std::string& path, Project& project)
{
    // Entry by entry as the file is read; a file the entry reader does not take is read again whole.
    EntryReader entries;
    if (std::string error = ReadInputFile(path, "", [&entries](std::string_view piece) { entries.Feed(piece); });
        !error.empty())
        return ProjectReadResult{false, 0, std::move(error)};
    if (std::optional<Project> read = entries.Finish()) {
        project = std::move(*read);
        return ProjectReadResult{};
    }
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
