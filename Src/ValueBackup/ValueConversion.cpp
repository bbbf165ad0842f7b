#include "ValueConversion.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "Common/ExactText.hpp"
#include "Run/ValueBackup.hpp"
#include "ValueBackupFile.hpp"

namespace Quillmere {

namespace {

// The text as one whole decimal integer of 32 bits ("-" allowed, no blanks, no "+").
std::optional<Int32> WholeInteger(std::string_view text)
{
    Int32 number = 0;
    const std::from_chars_result parsed = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size())
        return std::nullopt;
    return number;
}

// The text as one whole finite decimal number.
std::optional<double> WholeNumber(std::string_view text)
{
    double number = 0.0;
    const std::from_chars_result parsed =
        std::from_chars(text.data(), text.data() + text.size(), number, std::chars_format::general);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || !std::isfinite(number))
        return std::nullopt;
    return number;
}

std::optional<bool> TrueOrFalse(std::string_view text)
{
    if (text == "true")
        return true;
    if (text == "false")
        return false;
    return std::nullopt;
}

std::optional<bool> ZeroOrOne(std::optional<Int32> number)
{
    if (number && (*number == 0 || *number == 1))
        return *number == 1;
    return std::nullopt;
}

// The shortest decimal text that reads back as `number`.
GS::UniString NumberText(double number)
{
    char text[64];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text - 1, number);
    *written.ptr = '\0';
    return GS::UniString(text);
}

// As the value has always come back when the saved type is the property's own.
void ConvertSameType(Int32 type, const char* text, std::size_t length, TypedValueRecord& value, std::u16string& scratch)
{
    switch (type) {
        case API_PropertyStringValueType: value.stringValue = ExactUtf8ToUniString(text, length, scratch); break;
        case API_PropertyRealValueType: value.realValue = ParseRealText(text, length); break;
        case API_PropertyIntegerValueType: ParseIntegerText(text, length, value.intValue); break;
        case API_PropertyBooleanValueType: value.boolValue = length == 1 && text[0] == '1'; break;
        default: break;
    }
}

template <typename T>
bool Set(std::optional<T> converted, T& field)
{
    if (!converted)
        return false;
    field = *converted;
    return true;
}

}  // namespace

bool ConvertSavedValue(Int32 savedType, const char* text, std::size_t length, Int32 definitionType,
                       TypedValueRecord& value, std::u16string& scratch)
{
    value.typeCode = definitionType;
    if (savedType == definitionType || savedType == ValueBackup::UnconvertedValueType) {
        ConvertSameType(savedType, text, length, value, scratch);
        return true;
    }
    if (definitionType < API_PropertyUndefinedValueType || definitionType > API_PropertyBooleanValueType)
        return false;
    const std::string_view saved(text, length);
    switch (savedType * 8 + definitionType) {
        // From an Integer.
        case API_PropertyIntegerValueType * 8 + API_PropertyRealValueType: {
            const std::optional<Int32> number = WholeInteger(saved);
            return Set(number ? std::optional<double>(*number) : std::nullopt, value.realValue);
        }
        case API_PropertyIntegerValueType * 8 + API_PropertyStringValueType: {
            const std::optional<Int32> number = WholeInteger(saved);
            return Set(number ? std::optional<GS::UniString>(NumberText(*number)) : std::nullopt, value.stringValue);
        }
        case API_PropertyIntegerValueType * 8 + API_PropertyBooleanValueType:
            return Set(ZeroOrOne(WholeInteger(saved)), value.boolValue);
        // From a Real.
        case API_PropertyRealValueType * 8 + API_PropertyIntegerValueType: {
            const std::optional<double> number = WholeNumber(saved);
            const bool exact = number && std::trunc(*number) == *number &&
                               *number >= std::numeric_limits<Int32>::min() && *number <= std::numeric_limits<Int32>::max();
            return Set(exact ? std::optional<Int32>(static_cast<Int32>(*number)) : std::nullopt, value.intValue);
        }
        case API_PropertyRealValueType * 8 + API_PropertyStringValueType: {
            const std::optional<double> number = WholeNumber(saved);
            return Set(number ? std::optional<GS::UniString>(NumberText(*number)) : std::nullopt, value.stringValue);
        }
        // From a String.
        case API_PropertyStringValueType * 8 + API_PropertyIntegerValueType:
            return Set(WholeInteger(saved), value.intValue);
        case API_PropertyStringValueType * 8 + API_PropertyRealValueType: return Set(WholeNumber(saved), value.realValue);
        case API_PropertyStringValueType * 8 + API_PropertyBooleanValueType:
            return Set(TrueOrFalse(saved), value.boolValue);
        // From a Boolean.
        case API_PropertyBooleanValueType * 8 + API_PropertyStringValueType: {
            const std::optional<bool> truth = ZeroOrOne(WholeInteger(saved));
            return Set(truth ? std::optional<GS::UniString>(GS::UniString(*truth ? "true" : "false")) : std::nullopt,
                       value.stringValue);
        }
        case API_PropertyBooleanValueType * 8 + API_PropertyIntegerValueType: {
            const std::optional<bool> truth = ZeroOrOne(WholeInteger(saved));
            return Set(truth ? std::optional<Int32>(*truth ? 1 : 0) : std::nullopt, value.intValue);
        }
        default: return false;
    }
}

}  // namespace Quillmere
