#include "ValueBackupFile.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Common/Messages.hpp"
#include "Common/XmlDocument.hpp"

namespace Quillmere {

namespace {

#if defined(_WIN32)
constexpr std::string_view LineEnd = "\r\n";
#else
constexpr std::string_view LineEnd = "\n";
#endif

void AppendReference(std::string& out, unsigned code)
{
    out += "&#" + std::to_string(code) + ';';
}

// Appends `text` escaped for element content (`quote` 0) or for an attribute value delimited by
// `quote`, as rapidxml's printer escapes it, with the further references that make every text
// come back as it was (ValueBackupFile.hpp, PrintValueBackup).
void AppendEscaped(std::string& out, std::string_view text, char quote)
{
    const auto byte = [text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    std::size_t at = 0;
    // A text of white space alone would come back empty: its first character is a reference.
    if (quote == 0 && !text.empty() && text.find_first_not_of(" \t\n\r") == std::string_view::npos)
        AppendReference(out, byte(at++));
    for (; at < text.size(); ++at) {
        const char c = text[at];
        // In an attribute the quote that does not delimit it stays as it is; in text both are expanded.
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '\'' && quote != '"')
            out += "&apos;";
        else if (c == '"' && quote != '\'')
            out += "&quot;";
        else if (c == '\n' && quote == 0)
            out += LineEnd;
        else if (byte(at) < 0x20 && !(c == '\t' && quote == 0))
            AppendReference(out, byte(at));
        else if (byte(at) == 0xED && at + 2 < text.size() && (byte(at + 1) & 0xE0) == 0xA0) {  // a surrogate
            AppendReference(out, 0xD000u | (byte(at + 1) & 0x3Fu) << 6 | (byte(at + 2) & 0x3Fu));
            at += 2;
        } else {
            out += c;
        }
    }
}

// ` name="value"`, quoted as rapidxml's printer quotes it: with ' when the value holds a ".
void AppendAttribute(std::string& out, std::string_view name, std::string_view value)
{
    const char quote = value.find('"') != std::string_view::npos ? '\'' : '"';
    out.append(" ").append(name).append("=").append(1, quote);
    AppendEscaped(out, value, quote);
    out += quote;
}

void AppendValue(std::string& out, const ValueBackup& backup, const ValueBackup::Value& value)
{
    const ValueBackup::Key& key = backup.Keys()[value.key];
    const bool apart = key.separated && key.group.find('-') != std::string_view::npos;
    const bool named = !apart && key.textIsXmlName;
    const std::string_view name = named ? key.text : std::string_view("value");
    out.append("\t\t<").append(name);
    if (apart) {
        AppendAttribute(out, "group", key.group);
        AppendAttribute(out, "property", key.property);
    } else if (!named) {
        AppendAttribute(out, "key", key.text);
    }
    AppendAttribute(out, "valType", ValueTypeName(value.valueType));
    AppendAttribute(out, "MType", MeasureTypeName(value.measureType));
    if (value.textLength == 0) {
        out += "/>";
    } else {
        out += '>';
        AppendEscaped(out, std::string_view(value.text, value.textLength), 0);
        out.append("</").append(name).append(">");
    }
    out += LineEnd;
}

// "%f" (six decimals) where that reads back as the same number, else the shortest text that does.
void AppendRealText(std::string& out, double value)
{
    // "%f" of the largest double has 309 digits before the point.
    char text[400];
    std::to_chars_result written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    const double back = ParseRealText(text, static_cast<std::size_t>(written.ptr - text));
    const bool same = std::memcmp(&back, &value, sizeof value) == 0 || (std::isnan(back) && std::isnan(value));
    if (!same)
        written = std::to_chars(text, text + sizeof text, value);
    out.append(text, static_cast<std::size_t>(written.ptr - text));
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

// How deep elements may nest: rapidxml descends one call per level. A backup's values are three deep.
constexpr std::size_t DeepestElement = 64;

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

std::optional<SystemPath> BackupFilePath()
{
    return EnvironmentPath("USERPROFILE", "/Documents/IFC_SG_Properties.xml");
}

void AppendValueText(std::string& out, Int32 valueType, const TypedValueRecord& value)
{
    switch (valueType) {
        case API_PropertyIntegerValueType: out += std::to_string(value.intValue); break;
        case API_PropertyRealValueType: AppendRealText(out, value.realValue); break;
        case API_PropertyStringValueType: AppendExactUtf8(out, value.stringValue); break;
        case API_PropertyBooleanValueType: out.push_back(value.boolValue ? '1' : '0'); break;
        default: break;
    }
}

std::optional<std::string> ValueState(const API_PropertyDefinition& definition, const ElementPropertyRecord& property)
{
    if (property.isDefault || property.status != API_VariantStatusNormal)
        return std::nullopt;
    std::string state = ValueTypeName(definition.valueType) + std::string(":");
    AppendValueText(state, definition.valueType, property.value);
    return state;
}

double ParseRealText(const char* text, std::size_t length)
{
    // from_chars reads what atof reads, alike on every system, for the texts the writer makes; any
    // other text (white space or a plus sign in front, hexadecimal, trailing characters) goes to atof.
    double value = 0.0;
    const std::from_chars_result parsed = std::from_chars(text, text + length, value);
    if (parsed.ec == std::errc() && parsed.ptr == text + length)
        return value;
    return std::atof(std::string(text, length).c_str());
}

void ParseIntegerText(const char* text, std::size_t length, Int32& value)
{
    // from_chars reads a plain decimal text as strtovalue does, and refuses a plus sign, white space
    // and an empty text, which go to strtovalue.
    Int32 parsed = 0;
    const std::from_chars_result result = std::from_chars(text, text + length, parsed);
    if (result.ec == std::errc() && result.ptr == text + length)
        value = parsed;
    else
        GS::strtovalue(GS::UniString(std::string(text, length).c_str(), CC_Default), value, 1, 0);
}

void PrintValueBackup(const ValueBackup& backup, const ByteWriter& write)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
    text.append(LineEnd).append("<project");
    if (!backup.Entries().empty())
        text.append(">").append(LineEnd);
    for (const ValueBackup::Entry& entry : backup.Entries()) {
        text += "\t<element";
        AppendAttribute(text, "guid", APIGuid2GSGuid(entry.element).ConvertToString().ToCStr().Get());
        text.append(">").append(LineEnd);
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index)
            AppendValue(text, backup, backup.Values()[index]);
        text.append("\t</element>").append(LineEnd);
        if (text.size() >= std::size_t{1} << 20) {
            write(text);
            text.clear();
        }
    }
    // rapidxml's printer ends each node with a line end, and the document too.
    text.append(backup.Entries().empty() ? "/>" : "</project>").append(LineEnd).append(LineEnd);
    write(text);
}

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

}  // namespace Quillmere
