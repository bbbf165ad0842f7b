#include "BackupReader.hpp"

#include <cstdlib>

#include "Common/Messages.hpp"
#include "Common/XmlDocument.hpp"

namespace Quillmere {

namespace {

// How deep elements may nest: rapidxml descends one call per level. A backup's values are three deep.
constexpr std::size_t DeepestElement = 64;

// Whether the start and end tags of `text` nest deeper than DeepestElement. Backup files hold no
// comment, CDATA or processing instruction in which a "<" could mislead the count, and their texts
// have "<" as a reference.
bool NestsTooDeep(const std::string& text)
{
    std::size_t depth = 0;
    for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
        const char next = at + 1 < text.size() ? text[at + 1] : '\0';
        const std::size_t close = text.find('>', at);
        if (next == '/')
            depth -= depth > 0 ? 1 : 0;
        else if (next != '?' && next != '!' && close != std::string::npos && text[close - 1] != '/' && ++depth > DeepestElement)
            return true;
    }
    return false;
}

// The key a value element is saved under, in whichever form the file names it.
UInt32 KeyOf(ValueBackup& backup, const XmlNode* value)
{
    if (NameOf(value) == "value") {
        const XmlAttribute* group = value->first_attribute("group");
        const XmlAttribute* property = value->first_attribute("property");
        if (group != nullptr && property != nullptr)
            return backup.InternKey(ValueOf(group), ValueOf(property));
        if (const XmlAttribute* keyed = value->first_attribute("key"))
            return backup.InternKey(ValueOf(keyed));
    }
    return backup.InternKey(NameOf(value));
}

void TakeEntry(ValueBackup& backup, const XmlNode* entry)
{
    const XmlAttribute* guid = entry->first_attribute("guid");
    if (guid == nullptr)
        return;
    backup.StartEntry(GSGuid2APIGuid(GS::Guid(guid->value())));
    for (const XmlNode* value = entry->first_node(); value != nullptr; value = value->next_sibling()) {
        const XmlAttribute* valType = value->first_attribute("valType");
        const Int32 valueType = valType != nullptr ? ValueTypeOfName(ValueOf(valType)) : ValueBackup::UnconvertedValueType;
        backup.AddValue(KeyOf(backup, value), valueType, 0, ValueOf(value));
    }
    backup.EndEntry();
}

}  // namespace

ValueBackupReading ParseValueBackup(std::string text)
{
    if (NestsTooDeep(text))
        return {.problem = FileProblem({}, 0, Messages::NestedTooDeepReason)};
    text.push_back('\0');
    XmlDocument document;
    try {
        document.parse<0>(text.data());
    } catch (const rapidxml::parse_error& error) {
        ValueBackupReading reading{.problem = FileProblem({}, 0, error.what())};
        reading.problem->byte = static_cast<std::size_t>(error.where<char>() - text.data());
        return reading;
    }
    const XmlNode* root = document.first_node();
    if (root == nullptr)
        return {.problem = FileProblem({}, 0, text.size() == 1 ? Messages::FileEmptyReason : Messages::NoRootElementReason)};
    ValueBackupReading reading;
    if (const XmlAttribute* run = root->first_attribute("run")) {
        reading.run = static_cast<UInt32>(std::strtoul(run->value(), nullptr, 10));
        if (const XmlAttribute* saved = root->first_attribute("saved"))
            reading.saved = saved->value();
    }
    ValueBackup& backup = reading.backup.emplace();
    for (const XmlNode* entry = root->first_node("element"); entry != nullptr; entry = entry->next_sibling())
        if (entry->type() == rapidxml::node_element)
            TakeEntry(backup, entry);
    return reading;
}

ValueBackupReading ReadValueBackupFile(const SystemPath& path)
{
    SystemError error = 0;
    std::optional<std::string> text = ReadTextFile(path, &error);
    if (!text)
        return {.problem = FileProblem(path, error)};
    ValueBackupReading reading = ParseValueBackup(std::move(*text));
    if (reading.problem)
        reading.problem->path = path;
    return reading;
}

}  // namespace Quillmere
