#include "ValueConversion.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "BackupFile/ValueBackupFile.hpp"
#include "Common/ExactText.hpp"

namespace Quillmere {

namespace {

constexpr Int32 Integer = API_PropertyIntegerValueType, Real = API_PropertyRealValueType,
                String = API_PropertyStringValueType, Boolean = API_PropertyBooleanValueType;
static_assert(Integer == ValueTypeCode::Integer && Real == ValueTypeCode::Real && String == ValueTypeCode::String &&
              Boolean == ValueTypeCode::Boolean);

// The whole text as one number: a decimal Int32 ("-" allowed, no blanks, no "+"), or a finite double.
template <typename Number>
std::optional<Number> WholeNumber(std::string_view text)
{
    Number number{};
    const std::from_chars_result parsed = std::from_chars(text.data(), text.data() + text.size(), number);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || !std::isfinite(number))
        return std::nullopt;
    return number;
}

// The shortest decimal text that reads back as `number`.
template <typename Number>
std::string ShortestText(Number number)
{
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, number).ptr);
}

// The text as a number whose own text it is: "007", "+1", "1.50" or "1e5" are texts, not numbers.
template <typename Number>
std::optional<Number> OwnTextNumber(std::string_view text)
{
    const std::optional<Number> number = WholeNumber<Number>(text);
    return number && ShortestText(*number) == text ? number : std::nullopt;
}

template <typename T>
bool Set(std::optional<T> converted, T& field)
{
    if (converted)
        field = *converted;
    return converted.has_value();
}

// As the value has always come back when the saved type is the property's own.
void ConvertSameType(Int32 type, const char* text, std::size_t length, TypedValueRecord& value, std::u16string& scratch)
{
    switch (type) {
        case String: value.stringValue = ExactUtf8ToUniString({text, length}, scratch); break;
        case Real: value.realValue = ParseRealText(text, length); break;
        case Integer: ParseIntegerText(text, length, value.intValue); break;
        case Boolean: value.boolValue = length == 1 && text[0] == '1'; break;
        default: break;
    }
}

// The conversions across types, each exact or none, into the field of `value.typeCode`; one for
// each pair of ConvertiblePairs (Convertibility.hpp), which says how many values each converts.
bool ConvertInteger(std::string_view text, TypedValueRecord& value)
{
    const std::optional<Int32> number = WholeNumber<Int32>(text);
    if (!number)
        return false;
    switch (value.typeCode) {
        case Real: value.realValue = *number; return true;
        case String: value.stringValue = GS::UniString(ShortestText(*number).c_str()); return true;
        case Boolean:
            if (*number != 0 && *number != 1)
                return false;
            value.boolValue = *number == 1;
            return true;
        default: return false;
    }
}

bool ConvertReal(std::string_view text, TypedValueRecord& value)
{
    const std::optional<double> number = WholeNumber<double>(text);
    if (number && value.typeCode == String) {
        value.stringValue = GS::UniString(ShortestText(*number).c_str());
        return true;
    }
    // Only a whole number in range.
    if (!number || value.typeCode != Integer || std::trunc(*number) != *number ||
        *number < std::numeric_limits<Int32>::min() || *number > std::numeric_limits<Int32>::max())
        return false;
    value.intValue = static_cast<Int32>(*number);
    return true;
}

bool ConvertString(std::string_view text, TypedValueRecord& value)
{
    switch (value.typeCode) {
        case Integer: return Set(OwnTextNumber<Int32>(text), value.intValue);
        case Real: return Set(OwnTextNumber<double>(text), value.realValue);
        case Boolean:
            if (text != "true" && text != "false")
                return false;
            value.boolValue = text == "true";
            return true;
        default: return false;
    }
}

// A Boolean is saved as 0 or 1.
bool ConvertBoolean(std::string_view text, TypedValueRecord& value)
{
    const std::optional<Int32> number = WholeNumber<Int32>(text);
    if (!number || (*number != 0 && *number != 1))
        return false;
    switch (value.typeCode) {
        case String: value.stringValue = GS::UniString(*number == 1 ? "true" : "false"); return true;
        case Integer: value.intValue = *number; return true;
        default: return false;
    }
}

}  // namespace

bool ConvertSavedValue(Int32 savedType, const char* text, std::size_t length, Int32 definitionType,
                       TypedValueRecord& value, std::u16string& scratch)
{
    value.typeCode = definitionType;
    if (!IsKnownValueType(savedType))
        return !IsKnownValueType(definitionType);
    if (savedType == definitionType) {
        ConvertSameType(savedType, text, length, value, scratch);
        return true;
    }
    const std::string_view saved(text, length);
    switch (savedType) {
        case Integer: return ConvertInteger(saved, value);
        case Real: return ConvertReal(saved, value);
        case String: return ConvertString(saved, value);
        default: return ConvertBoolean(saved, value);
    }
}

}  // namespace Quillmere
