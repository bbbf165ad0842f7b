#include "RecordConversion.hpp"

#include <cstring>

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

namespace {

bool SameBits(double left, double right)
{
    return std::memcmp(&left, &right, sizeof left) == 0;
}

bool SameVariant(const API_Variant& left, const API_Variant& right)
{
    return left.type == right.type && left.intValue == right.intValue && SameBits(left.doubleValue, right.doubleValue) &&
           left.boolValue == right.boolValue && left.uniStringValue == right.uniStringValue &&
           left.guidValue == right.guidValue;
}

template <typename T, typename Same>
bool SameArray(const GS::Array<T>& left, const GS::Array<T>& right, Same same)
{
    if (left.GetSize() != right.GetSize())
        return false;
    for (USize i = 0; i < left.GetSize(); ++i)
        if (!same(left[i], right[i]))
            return false;
    return true;
}

const char* FirstDifferentValueField(const TypedValueRecord& left, const TypedValueRecord& right)
{
    if (left.typeCode != right.typeCode)
        return "defaultValue.typeCode";
    if (left.intValue != right.intValue)
        return "defaultValue.intValue";
    if (!SameBits(left.realValue, right.realValue))
        return "defaultValue.realValue";
    if (left.boolValue != right.boolValue)
        return "defaultValue.boolValue";
    if (!(left.stringValue == right.stringValue))
        return "defaultValue.stringValue";
    if (!(left.guidValue == right.guidValue))
        return "defaultValue.guidValue";
    if (!SameArray(left.listValue, right.listValue, SameVariant))
        return "defaultValue.listValue";
    if (left.variantStatus != right.variantStatus)
        return "defaultValue.variantStatus";
    return nullptr;
}

}  // namespace

const char* FirstDifferentField(const API_PropertyDefinition& left, const API_PropertyDefinition& right)
{
    const auto equal = [](const auto& a, const auto& b) { return a == b; };
    const auto sameEnum = [](const API_SingleEnumerationVariant& a, const API_SingleEnumerationVariant& b) {
        return SameVariant(a.keyVariant, b.keyVariant) && SameVariant(a.displayVariant, b.displayVariant);
    };
    if (left.kind != right.kind)
        return "kind";
    if (!(left.guid == right.guid))
        return "guid";
    if (!(left.groupGuid == right.groupGuid))
        return "groupGuid";
    if (!(left.name == right.name))
        return "name";
    if (!(left.description == right.description))
        return "description";
    if (left.collectionType != right.collectionType)
        return "collectionType";
    if (left.valueType != right.valueType)
        return "valueType";
    if (left.measureType != right.measureType)
        return "measureType";
    if (const char* field = FirstDifferentValueField(left.defaultValue, right.defaultValue))
        return field;
    if (!SameArray(left.expressions, right.expressions, equal))
        return "expressions";
    if (left.expressionFlag != right.expressionFlag)
        return "expressionFlag";
    if (!SameArray(left.availability, right.availability, equal))
        return "availability";
    if (!SameArray(left.possibleEnumValues, right.possibleEnumValues, sameEnum))
        return "possibleEnumValues";
    if (left.canValueBeEditable != right.canValueBeEditable)
        return "canValueBeEditable";
    return nullptr;
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
