#include "ValueBackupFile.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "Common/ExactText.hpp"
#include "Common/XmlName.hpp"
#include "GSRoot/UnicodeCodec.hpp"
#include "XmlPrinting.hpp"

namespace Quillmere {

namespace {

using namespace XmlPrinting;

template <typename Output>
void PutValue(Output& out, const ValueBackup& backup, UInt32 index)
{
    const ValueBackup::Value& value = backup.Values()[index];
    const ValueBackup::Key& key = backup.Keys()[value.key];
    const bool apart = key.separated && key.group.find('-') != std::string_view::npos;
    const bool named = !apart && key.textIsXmlName;
    const std::string_view name = named ? key.text : std::string_view(KeyedValueElementName);
    PutLiteral(out, "\t\t<");
    PutLiteral(out, name);
    if (apart) {
        PutAttribute(out, GroupAttributeName, key.group);
        PutAttribute(out, PropertyAttributeName, key.property);
    } else if (!named) {
        PutAttribute(out, KeyAttributeName, key.text);
    }
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
    PutLiteral(out, "<project");
    if (backup.Entries().empty()) {
        PutLiteral(out, "/>");
    } else {
        PutLiteral(out, ">");
        PutLiteral(out, LineEnd);
        for (const ValueBackup::Entry& entry : backup.Entries()) {
            const GS::UniString guid = APIGuid2GSGuid(entry.element).ConvertToString();
            const GS::UniString::CStr guidText = guid.ToCStr();
            PutLiteral(out, "\t<element");
            PutAttribute(out, "guid", std::string_view(guidText.Get(), guidText.GetLength()));
            out.Write('>');
            PutLiteral(out, LineEnd);
            for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index)
                PutValue(out, backup, index);
            PutLiteral(out, "\t</element>");
            PutLiteral(out, LineEnd);
        }
        PutLiteral(out, "</project>");
    }
    // rapidxml's printer ends each node with a line end, and the document too.
    PutLiteral(out, LineEnd);
    PutLiteral(out, LineEnd);
}

}  // namespace

std::optional<SystemPath> BackupFilePath()
{
    return EnvironmentPath("USERPROFILE", "/Documents/IFC_SG_Properties.xml");
}

std::string BackupName(const GS::UniString& name)
{
    return ExactUtf8(name);
}

void AppendValueText(std::string& out, Int32 valueType, const TypedValueRecord& value)
{
    switch (valueType) {
        case API_PropertyIntegerValueType: {
            char text[16];
            out.append(text, std::to_chars(text, text + sizeof text, value.intValue).ptr);
            break;
        }
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
    std::string state = ValueTypeName(definition.valueType);
    state.push_back(':');
    AppendValueText(state, definition.valueType, property.value);
    return state;
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
