#include "ValueConversion.hpp"

#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>

#include "Common/ExactText.hpp"
#include "Run/ValueBackup.hpp"
#include "BackupFile/ValueBackupFile.hpp"

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

// The text as a number whose own text it is: the decimal of an Integer, the shortest text that
// reads back of a Real. "007", "+1", "1.50" or "1e5" are texts, not numbers.
std::optional<Int32> IntegerOwnText(std::string_view text)
{
    const std::optional<Int32> number = WholeInteger(text);
    if (!number)
        return std::nullopt;
    char own[16];
    const char* end = std::to_chars(own, own + sizeof own, *number).ptr;
    return std::string_view(own, static_cast<std::size_t>(end - own)) == text ? number : std::nullopt;
}

std::optional<double> RealOwnText(std::string_view text)
{
    const std::optional<double> number = WholeNumber(text);
    if (!number)
        return std::nullopt;
    char own[64];
    const char* end = std::to_chars(own, own + sizeof own, *number).ptr;
    return std::string_view(own, static_cast<std::size_t>(end - own)) == text ? number : std::nullopt;
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

template <typename From, typename To>
std::optional<To> Map(std::optional<From> from, To (*map)(From))
{
    return from ? std::optional<To>(map(*from)) : std::nullopt;
}

std::optional<Int32> WholeIntegerOfReal(std::string_view text)
{
    const std::optional<double> number = WholeNumber(text);
    const bool exact = number && std::trunc(*number) == *number && *number >= std::numeric_limits<Int32>::min() &&
                       *number <= std::numeric_limits<Int32>::max();
    return exact ? std::optional<Int32>(static_cast<Int32>(*number)) : std::nullopt;
}

// The conversions across types, each exact or none: from the saved type's text to the field of
// the type the property has now. One for each pair of ConvertiblePairs (Convertibility.hpp), in
// its order, which says how many values each converts.
struct Conversion {
    Int32 from;
    Int32 to;
    bool (*convert)(std::string_view text, TypedValueRecord& value);
};
constexpr Int32 Integer = API_PropertyIntegerValueType, Real = API_PropertyRealValueType,
                String = API_PropertyStringValueType, Boolean = API_PropertyBooleanValueType;
constexpr Conversion Conversions[] = {
    {Integer, Real, [](std::string_view t, TypedValueRecord& v) {
         return Set(Map<Int32, double>(WholeInteger(t), [](Int32 n) { return static_cast<double>(n); }), v.realValue);
     }},
    {Integer, String, [](std::string_view t, TypedValueRecord& v) {
         return Set(Map<Int32, GS::UniString>(WholeInteger(t), [](Int32 n) { return NumberText(n); }), v.stringValue);
     }},
    {Integer, Boolean, [](std::string_view t, TypedValueRecord& v) { return Set(ZeroOrOne(WholeInteger(t)), v.boolValue); }},
    {Real, Integer, [](std::string_view t, TypedValueRecord& v) { return Set(WholeIntegerOfReal(t), v.intValue); }},
    {Real, String, [](std::string_view t, TypedValueRecord& v) {
         return Set(Map<double, GS::UniString>(WholeNumber(t), NumberText), v.stringValue);
     }},
    {String, Integer, [](std::string_view t, TypedValueRecord& v) { return Set(IntegerOwnText(t), v.intValue); }},
    {String, Real, [](std::string_view t, TypedValueRecord& v) { return Set(RealOwnText(t), v.realValue); }},
    {String, Boolean, [](std::string_view t, TypedValueRecord& v) { return Set(TrueOrFalse(t), v.boolValue); }},
    {Boolean, String, [](std::string_view t, TypedValueRecord& v) {
         return Set(Map<bool, GS::UniString>(ZeroOrOne(WholeInteger(t)), [](bool b) { return GS::UniString(b ? "true" : "false"); }),
                    v.stringValue);
     }},
    {Boolean, Integer, [](std::string_view t, TypedValueRecord& v) {
         return Set(Map<bool, Int32>(ZeroOrOne(WholeInteger(t)), [](bool b) { return b ? 1 : 0; }), v.intValue);
     }},
};

static_assert(API_PropertyIntegerValueType == ValueTypeCode::Integer && API_PropertyRealValueType == ValueTypeCode::Real &&
              API_PropertyStringValueType == ValueTypeCode::String &&
              API_PropertyBooleanValueType == ValueTypeCode::Boolean);

// Whether the conversions are those of ConvertiblePairs, pair by pair.
constexpr bool ConversionsFollowTheTable()
{
    if (std::size(Conversions) != std::size(ConvertiblePairs))
        return false;
    for (std::size_t index = 0; index < std::size(Conversions); ++index)
        if (Conversions[index].from != ConvertiblePairs[index].from || Conversions[index].to != ConvertiblePairs[index].to)
            return false;
    return true;
}
static_assert(ConversionsFollowTheTable(), "one conversion for each pair of ConvertiblePairs, in its order");

const Conversion* ConversionBetween(Int32 savedType, Int32 definitionType)
{
    for (const Conversion& conversion : Conversions)
        if (conversion.from == savedType && conversion.to == definitionType)
            return &conversion;
    return nullptr;
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
    const Conversion* conversion = ConversionBetween(savedType, definitionType);
    return conversion != nullptr && conversion->convert(std::string_view(text, length), value);
}

}  // namespace Quillmere
