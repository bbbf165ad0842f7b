#include "ValueBackupFile.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "rapidxml.hpp"

#include "Common/ExactText.hpp"
#include "Common/XmlDocument.hpp"
#include "Common/XmlName.hpp"
#include "GSRoot/UnicodeCodec.hpp"

namespace Quillmere {

namespace {

using GS::Unicode::Surrogates;
using XmlNode = rapidxml::xml_node<char>;
using XmlAttribute = rapidxml::xml_attribute<char>;

#if defined(_WIN32)
constexpr std::string_view LineEnd = "\r\n";
#else
constexpr std::string_view LineEnd = "\n";
#endif

// --- Printing ------------------------------------------------------------------------------------

// How the printer treats each byte of a text: as it is, or otherwise.
enum ByteClass : unsigned char {
    Plain,
    Entity,     // & < > ' " as the standard entity references
    LineFeed,   // the system's line end in text, a reference in an attribute
    Tab,        // as it is in text, a reference in an attribute
    Control,    // a character reference
    Surrogate,  // 0xED, the first byte of a surrogate's three-byte form when one follows
};

struct ByteClasses {
    ByteClass of[256];
    constexpr ByteClasses() : of()
    {
        for (int c = 0; c < 0x20; ++c)
            of[c] = Control;
        of[static_cast<unsigned char>('\n')] = LineFeed;
        of[static_cast<unsigned char>('\t')] = Tab;
        for (char c : {'&', '<', '>', '\'', '"'})
            of[static_cast<unsigned char>(c)] = Entity;
        of[0xED] = Surrogate;
    }
};
constexpr ByteClasses Classes;

template <typename Output>
void PutCharacterReference(Output& out, unsigned code)
{
    char reference[16] = "&#";
    char* end = std::to_chars(reference + 2, reference + sizeof reference - 1, code).ptr;
    *end++ = ';';
    out.Write(reference, static_cast<std::size_t>(end - reference));
}

template <typename Output>
void PutEntity(Output& out, char c)
{
    switch (c) {
        case '&': out.Write("&amp;", 5); break;
        case '<': out.Write("&lt;", 4); break;
        case '>': out.Write("&gt;", 4); break;
        case '\'': out.Write("&apos;", 6); break;
        default: out.Write("&quot;", 6); break;
    }
}

// Writes `text` escaped for element content (`inAttribute` false) or for an attribute value
// delimited by `quote`, whose other quote character stays as it is, as rapidxml's printer does.
template <typename Output>
void PutEscaped(Output& out, std::string_view text, bool inAttribute, char quote = '"')
{
    // In an attribute the quote that does not delimit it stays as it is; in text both are expanded.
    const int unexpanded = inAttribute ? (quote == '"' ? '\'' : '"') : -1;
    std::size_t at = 0;
    // A text of white space alone would come back empty: its first character is a reference.
    if (!inAttribute && !text.empty() && text.find_first_not_of(" \t\n\r") == std::string_view::npos) {
        PutCharacterReference(out, static_cast<unsigned char>(text[0]));
        at = 1;
    }
    std::size_t runStart = at;
    for (; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const ByteClass byteClass = Classes.of[c];
        if (byteClass == Plain || c == unexpanded || (byteClass == Tab && !inAttribute))
            continue;
        if (byteClass == Surrogate &&
            !(at + 2 < text.size() && (static_cast<unsigned char>(text[at + 1]) & 0xE0) == 0xA0))
            continue;  // an ordinary character of U+D000 to U+D7FF
        out.Write(text.data() + runStart, at - runStart);
        switch (byteClass) {
            case Entity: PutEntity(out, static_cast<char>(c)); break;
            case LineFeed:
                if (inAttribute)
                    PutCharacterReference(out, '\n');
                else
                    out.Write(LineEnd.data(), LineEnd.size());
                break;
            case Surrogate: {
                const unsigned code = 0xD000u | ((static_cast<unsigned char>(text[at + 1]) & 0x3Fu) << 6) |
                                      (static_cast<unsigned char>(text[at + 2]) & 0x3Fu);
                PutCharacterReference(out, code);
                at += 2;
                break;
            }
            default: PutCharacterReference(out, c); break;
        }
        runStart = at + 1;
    }
    out.Write(text.data() + runStart, text.size() - runStart);
}

template <typename Output>
void PutLiteral(Output& out, std::string_view text)
{
    out.Write(text.data(), text.size());
}

// ` name="value"` with the value as rapidxml's printer quotes it.
template <typename Output>
void PutAttribute(Output& out, std::string_view name, std::string_view value)
{
    const char quote = value.find('"') != std::string_view::npos ? '\'' : '"';
    out.Write(' ');
    PutLiteral(out, name);
    out.Write('=');
    out.Write(quote);
    PutEscaped(out, value, true, quote);
    out.Write(quote);
}

template <typename Output>
void PutValue(Output& out, const ValueBackup& backup, const ValueBackup::Value& value)
{
    const ValueBackup::Key& key = backup.Keys()[value.key];
    const std::string_view name = key.isXmlName ? key.text : std::string_view(KeyedValueElementName);
    PutLiteral(out, "\t\t<");
    PutLiteral(out, name);
    if (!key.isXmlName)
        PutAttribute(out, KeyAttributeName, key.text);
    PutAttribute(out, "valType", ValueTypeName(value.valueType));
    PutAttribute(out, "MType", MeasureTypeName(value.measureType));
    if (value.textLength == 0) {
        PutLiteral(out, "/>");
    } else {
        out.Write('>');
        PutEscaped(out, std::string_view(value.text, value.textLength), false);
        PutLiteral(out, "</");
        PutLiteral(out, name);
        out.Write('>');
    }
    PutLiteral(out, LineEnd);
}

template <typename Output>
void Print(const ValueBackup& backup, Output& out)
{
    PutLiteral(out, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    PutLiteral(out, LineEnd);
    if (backup.Entries().empty()) {
        PutLiteral(out, "<project/>");
    } else {
        PutLiteral(out, "<project>");
        PutLiteral(out, LineEnd);
        for (const ValueBackup::Entry& entry : backup.Entries()) {
            const GS::UniString guid = APIGuid2GSGuid(entry.element).ConvertToString();
            const GS::UniString::CStr guidText = guid.ToCStr();
            PutLiteral(out, "\t<element");
            PutAttribute(out, "guid", std::string_view(guidText.Get(), guidText.GetLength()));
            out.Write('>');
            PutLiteral(out, LineEnd);
            for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index)
                PutValue(out, backup, backup.Values()[index]);
            PutLiteral(out, "\t</element>");
            PutLiteral(out, LineEnd);
        }
        PutLiteral(out, "</project>");
    }
    // rapidxml's printer ends each node with a line end, and the document too.
    PutLiteral(out, LineEnd);
    PutLiteral(out, LineEnd);
}

struct StringOutput {
    std::string& text;
    void Write(const char* data, std::size_t size) { text.append(data, size); }
    void Write(char c) { text.push_back(c); }
};

// --- Parsing -------------------------------------------------------------------------------------

bool NameIs(const XmlNode* node, std::string_view name)
{
    return std::string_view(node->name(), node->name_size()) == name;
}

Int32 ValueTypeOfName(std::string_view name)
{
    if (name == "String")
        return API_PropertyStringValueType;
    if (name == "Real")
        return API_PropertyRealValueType;
    if (name == "Integer")
        return API_PropertyIntegerValueType;
    if (name == "Boolean")
        return API_PropertyBooleanValueType;
    return ValueBackup::UnconvertedValueType;
}

}  // namespace

std::optional<SystemPath> BackupFilePath()
{
#if defined(_WIN32)
    const wchar_t* profile = _wgetenv(L"USERPROFILE");
    if (profile == nullptr)
        return std::nullopt;
    return SystemPath(std::wstring(profile) + L"\\Documents\\IFC_SG_Properties.xml");
#else
    const char* profile = std::getenv("USERPROFILE");
    if (profile == nullptr)
        return std::nullopt;
    return SystemPath(std::string(profile) + "/Documents/IFC_SG_Properties.xml");
#endif
}

std::string MakeValueKey(const GS::UniString& groupName, const GS::UniString& definitionName)
{
    std::string key;
    key.reserve(groupName.GetLength() + definitionName.GetLength() + 1);
    AppendExactUtf8(key, groupName);
    key += '-';
    AppendExactUtf8(key, definitionName);
    return key;
}

const char* ValueTypeName(Int32 valueType)
{
    switch (valueType) {
        case 0: return "Undefined";
        case 1: return "Integer";
        case 2: return "Real";
        case 3: return "String";
        case 4: return "Boolean";
        default: return "";
    }
}

const char* MeasureTypeName(Int32 measureType)
{
    switch (measureType) {
        case 1: return "Default";
        case 2: return "Length";
        case 3: return "Area";
        case 4: return "Volume";
        case 5: return "Angle";
        default: return "";
    }
}

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
    Int32 parsed = 0;
    if (length > 0 && text[0] != '+') {
        const std::from_chars_result result = std::from_chars(text, text + length, parsed);
        if (result.ec == std::errc() && result.ptr == text + length) {
            value = parsed;
            return;
        }
    }
    GS::strtovalue(GS::UniString(std::string(text, length).c_str(), CC_Default), value, 1, 0);
}

ValueBackupReading ParseValueBackup(std::string text)
{
    ValueBackupReading reading;
    if (text.empty()) {
        reading.problem = ValueBackupReading::Problem::Empty;
        return reading;
    }
    ValueBackup backup;
    std::string& parsed = backup.KeepText(std::move(text));
    XmlDocument document;
    try {
        document.parse<0>(parsed.data());
    } catch (const rapidxml::parse_error& error) {
        reading.problem = ValueBackupReading::Problem::NotWellFormed;
        reading.reason = error.what();
        reading.byte = static_cast<std::size_t>(error.where<char>() - parsed.data());
        return reading;
    }
    const XmlNode* root = document.first_node();
    if (root == nullptr) {
        reading.problem = ValueBackupReading::Problem::NoRoot;
        return reading;
    }
    // The first child named "element" begins the entries; each later sibling is one too, whatever
    // its name. An entry needs its "guid"; a value is found by its own name or, in the keyed form,
    // by its "key".
    for (const XmlNode* entry = root->first_node("element"); entry != nullptr; entry = entry->next_sibling()) {
        const XmlAttribute* guid = entry->first_attribute("guid");
        if (guid == nullptr)
            continue;
        backup.StartEntry(GSGuid2APIGuid(GS::Guid(guid->value())));
        for (const XmlNode* value = entry->first_node(); value != nullptr; value = value->next_sibling()) {
            if (value->type() != rapidxml::node_element)
                continue;
            std::string_view key(value->name(), value->name_size());
            if (NameIs(value, KeyedValueElementName)) {
                if (const XmlAttribute* keyed = value->first_attribute(KeyAttributeName))
                    key = std::string_view(keyed->value(), keyed->value_size());
            }
            const XmlAttribute* valType = value->first_attribute("valType");
            const Int32 valueType = valType != nullptr ? ValueTypeOfName(std::string_view(valType->value(), valType->value_size()))
                                                       : ValueBackup::UnconvertedValueType;
            backup.AddKeptValue(backup.InternKey(key), valueType, 0, value->value(), value->value_size());
        }
        backup.EndEntry();
    }
    reading.backup = std::move(backup);
    return reading;
}

void PrintValueBackup(const ValueBackup& backup, ReplacingFileWriter& out)
{
    Print(backup, out);
}

void PrintValueBackup(const ValueBackup& backup, std::string& out)
{
    StringOutput output{out};
    Print(backup, output);
}

}  // namespace Quillmere
