// Which saved values of one value type come back into a property of another, by the restore's exact
// conversions (ValueConversion.hpp). It needs nothing of the platform, so that the program that
// proposes rename tables (RenameProposal/) says what the module will do from the same table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Quillmere {

// The value type codes of property definitions and saved values, as the host numbers them.
namespace ValueTypeCode {
constexpr std::int32_t Undefined = 0;
constexpr std::int32_t Integer = 1;
constexpr std::int32_t Real = 2;
constexpr std::int32_t String = 3;
constexpr std::int32_t Boolean = 4;
}  // namespace ValueTypeCode

// How values of one value type code convert to another.
enum class Convertibility {
    Every,  // every value (the same type; Integer to Real or String; Real to String; Boolean to String or Integer)
    Some,   // some values only (a whole Real to Integer, a number's own text to Integer or Real, ...)
    None,
};

// A pair of different known types between which values convert.
struct ConvertiblePair {
    std::int32_t from;
    std::int32_t to;
    Convertibility convertibility;
};

// Every pair of different types that converts at all; any other pair of different types converts
// no value. ValueConversion.cpp makes the conversion of each pair.
inline constexpr ConvertiblePair ConvertiblePairs[] = {
    {ValueTypeCode::Integer, ValueTypeCode::Real, Convertibility::Every},
    {ValueTypeCode::Integer, ValueTypeCode::String, Convertibility::Every},
    {ValueTypeCode::Integer, ValueTypeCode::Boolean, Convertibility::Some},    // 0 and 1
    {ValueTypeCode::Real, ValueTypeCode::Integer, Convertibility::Some},       // whole and in range
    {ValueTypeCode::Real, ValueTypeCode::String, Convertibility::Every},
    {ValueTypeCode::String, ValueTypeCode::Integer, Convertibility::Some},     // the number's own text
    {ValueTypeCode::String, ValueTypeCode::Real, Convertibility::Some},        // the number's own text
    {ValueTypeCode::String, ValueTypeCode::Boolean, Convertibility::Some},     // "true" and "false"
    {ValueTypeCode::Boolean, ValueTypeCode::String, Convertibility::Every},
    {ValueTypeCode::Boolean, ValueTypeCode::Integer, Convertibility::Every},
};

// Whether `type` is one of the four types a value can be written as.
constexpr bool IsKnownValueType(std::int32_t type)
{
    return type >= ValueTypeCode::Integer && type <= ValueTypeCode::Boolean;
}

// How values saved as `savedType` come back into a property of `definitionType`. A value of no
// known type (Undefined, or a code the module does not know) comes back only into a property of no
// known type, and only such a property takes it.
constexpr Convertibility ConvertibilityBetween(std::int32_t savedType, std::int32_t definitionType)
{
    if (IsKnownValueType(savedType) != IsKnownValueType(definitionType))
        return Convertibility::None;
    if (savedType == definitionType || !IsKnownValueType(savedType))
        return Convertibility::Every;
    for (const ConvertiblePair& pair : ConvertiblePairs)
        if (pair.from == savedType && pair.to == definitionType)
            return pair.convertibility;
    return Convertibility::None;
}

}  // namespace Quillmere
