#include "RecordConversion.hpp"

#include "GSRoot/UnicodeCodec.hpp"

namespace TestHost {

std::string ToUtf8(const GS::UniString& text)
{
    return ToUtf8(std::u16string_view(text.ToUStr(), text.GetLength()));
}

// Converted on the ordinary heap, not the platform allocator's: the host must still take a report
// line from a module whose command stopped because the platform's memory ran out.
std::string ToUtf8(std::u16string_view units)
{
    std::string text;
    text.reserve(units.size());
    GS::Unicode::AppendUtf16AsUtf8(text, units.data(), units.size(), GS::Unicode::Surrogates::Keep);
    return text;
}

#if defined(_WIN32)
std::string ToUtf8(std::wstring_view units)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(units.data()), units.size()));
}
#endif

GS::UniString ToUniString(const std::string& text)
{
    std::u16string units;
    units.reserve(text.size());
    GS::Unicode::AppendUtf8AsUtf16(units, text.data(), text.size(), GS::Unicode::Surrogates::Keep);
    return GS::UniString(units.data(), static_cast<USize>(units.size()));
}

void FillValueRecord(const Value& value, Int32 typeCode, TypedValueRecord& record)
{
    record.typeCode = typeCode;
    record.intValue = value.integer;
    record.realValue = value.real;
    record.boolValue = value.boolean;
    record.stringValue = ToUniString(value.text);
    record.guidValue = APINULLGuid;
    record.listValue.Clear();
    record.variantStatus = API_VariantStatusNormal;
}

Value ValueFromRecord(const TypedValueRecord& record, Int32 valueType)
{
    switch (valueType) {
        case API_PropertyIntegerValueType: return MakeIntegerValue(record.intValue);
        case API_PropertyRealValueType: return MakeRealValue(record.realValue);
        case API_PropertyStringValueType: return MakeStringValue(ToUtf8(record.stringValue));
        case API_PropertyBooleanValueType: return MakeBooleanValue(record.boolValue);
        default: return MakeUndefinedValue();
    }
}

void FillGroupRecord(const PropertyGroup& group, API_PropertyGroup& record)
{
    record.kind = group.kind;
    record.guid = group.guid;
    record.name = ToUniString(group.name);
    record.description = ToUniString(group.description);
}

void FillDefinitionRecord(const PropertyDefinition& definition, API_PropertyDefinition& record)
{
    record.kind = definition.kind;
    record.guid = definition.guid;
    record.groupGuid = definition.group;
    record.name = ToUniString(definition.name);
    record.description = ToUniString(definition.description);
    record.collectionType = definition.collectionType;
    record.valueType = definition.valueType;
    record.measureType = definition.measureType;
    FillValueRecord(definition.defaultValue, definition.valueType, record.defaultValue);
    record.expressions.Clear();
    for (const std::string& expression : definition.expressions)
        record.expressions.Push(ToUniString(expression));
    record.expressionFlag = definition.expressionFlag;
    record.availability.Clear();
    for (const API_Guid& item : definition.availability)
        record.availability.Push(item);
    record.possibleEnumValues.Clear();
    record.canValueBeEditable = 0;
}

PropertyDefinition DefinitionFromRecord(const API_PropertyDefinition& record)
{
    PropertyDefinition definition;
    definition.guid = record.guid;
    definition.group = record.groupGuid;
    definition.name = ToUtf8(record.name);
    definition.description = ToUtf8(record.description);
    definition.kind = record.kind;
    definition.collectionType = record.collectionType;
    definition.valueType = record.valueType;
    definition.measureType = record.measureType;
    definition.defaultValue = ValueFromRecord(record.defaultValue, record.valueType);
    for (const GS::UniString& expression : record.expressions)
        definition.expressions.push_back(ToUtf8(expression));
    definition.expressionFlag = record.expressionFlag;
    for (const API_Guid& item : record.availability)
        definition.availability.push_back(item);
    return definition;
}

}  // namespace TestHost
