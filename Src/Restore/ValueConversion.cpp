#include "ValueConversion.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>

#include "BackupFile/ValueBackupFile.hpp"
#include "Common/ExactText.hpp"

namespace Quillmere {

namespace {

using namespace ValueTypeCode;
static_assert(Integer == API_PropertyIntegerValueType && Real == API_PropertyRealValueType &&
              String == API_PropertyStringValueType && Boolean == API_PropertyBooleanValueType);

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

// The shortest decimal text that reads back as `number`: an exponent where that is shorter, as
// "1e+05" for 100000.
template <typename Number>
std::string ShortestText(Number number)
{
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, number).ptr);
}

// A real number's own text, as a person writes it: the shortest text without an exponent that reads
// back as it ("100000", "0.0001"), unless that runs past 24 characters ("1e+300").
std::string RealText(double number)
{
    char text[400];  // the fixed form of any finite double fits
    const std::string fixed(text, std::to_chars(text, text + sizeof text, number, std::chars_format::fixed).ptr);
    return fixed.size() <= 24 ? fixed : ShortestText(number);
}

// As the value has always come back when the saved type is the property's own.
void ConvertSameType(Int32 type, const char* text, std::size_t length, TypedValueRecord& value, std::u16string& scratch)
{
    switch (type) {
        case String: value.stringValue = ExactUtf8ToUniString({text, length}, scratch); break;
        case Real: value.realValue = ParseRealText(text, length); break;
        case Integer: ParseIntegerText(text, length, value.intValue); break;
        default: value.boolValue = length == 1 && text[0] == '1'; break;
    }
}

// The conversions across types, each exact or none, into the field of `value.typeCode`: only the
// pairs that ConvertibilityBetween (Convertibility.hpp) lets convert come here, and it says how many
// values each converts.
// From an Integer, or a Boolean (saved as 0 or 1); only 0 and 1 go into or come from a Boolean.
bool ConvertInteger(Int32 savedType, std::string_view text, TypedValueRecord& value)
{
    const std::optional<Int32> number = WholeNumber<Int32>(text);
    if (!number || ((savedType == Boolean || value.typeCode == Boolean) && *number != 0 && *number != 1))
        return false;
    switch (value.typeCode) {
        case Real: value.realValue = *number; break;
        case Integer: value.intValue = *number; break;
        case Boolean: value.boolValue = *number == 1; break;
        default:
            value.stringValue = savedType == Boolean ? GS::UniString(*number == 1 ? "true" : "false")
                                                     : GS::UniString(ShortestText(*number).c_str());
            break;
    }
    return true;
}

bool ConvertReal(std::string_view text, TypedValueRecord& value)
{
    const std::optional<double> number = WholeNumber<double>(text);
    if (number && value.typeCode == String) {
        value.stringValue = GS::UniString(RealText(*number).c_str());
        return true;
    }
    // Into an Integer: only a whole number in range.
    if (!number || std::trunc(*number) != *number || *number < std::numeric_limits<Int32>::min() ||
        *number > std::numeric_limits<Int32>::max())
        return false;
    value.intValue = static_cast<Int32>(*number);
    return true;
}

// Sets `field` to the text as a number whose own text it is: "007", "+1", "1.50" or "1e5" are
// texts, not numbers. A real number's own text is also its shortest one ("1e+05"), which earlier
// versions wrote for it.
template <typename Number>
bool SetOwnTextNumber(std::string_view text, Number& field)
{
    const std::optional<Number> number = WholeNumber<Number>(text);
    if (!number)
        return false;
    bool own = ShortestText(*number) == text;
    if constexpr (std::is_floating_point_v<Number>)
        own = own || RealText(*number) == text;
    if (own)
        field = *number;
    return own;
}

bool ConvertString(std::string_view text, TypedValueRecord& value)
{
    switch (value.typeCode) {
        case Integer: return SetOwnTextNumber(text, value.intValue);
        case Real: return SetOwnTextNumber(text, value.realValue);
        default:
            if (text != "true" && text != "false")
                return false;
            value.boolValue = text == "true";
            return true;
    }
}

}  // namespace

bool ConvertSavedValue(Int32 savedType, const char* text, std::size_t length, Int32 definitionType,
                       TypedValueRecord& value, std::u16string& scratch)
{
    value.typeCode = definitionType;
    if (ConvertibilityBetween(savedType, definitionType) == Convertibility::None)
        return false;
    if (!IsKnownValueType(savedType))
        return true;  // into a property of no known type, with no field set
    if (savedType == definitionType) {
        ConvertSameType(savedType, text, length, value, scratch);
        return true;
    }
    const std::string_view saved(text, length);
    switch (savedType) {
        case Real: return ConvertReal(saved, value);
        case String: return ConvertString(saved, value);
        default: return ConvertInteger(savedType, saved, value);
    }
}

}  // namespace Quillmere
