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
    using enum Convertibility;
    // By the saved type (a row) and the property's type (a column), each in the order Integer,
    // Real, String, Boolean. ValueConversion.cpp makes the conversion of each pair.
    constexpr Convertibility across[4][4] = {
        {Every, Every, Every, Some},  // Integer: only 0 and 1 into a Boolean
        {Some, Every, Every, None},   // Real: only a whole one in range into an Integer
        {Some, Some, Every, Some},    // String: only the number's own text, or "true" and "false"
        {Every, None, Every, Every},  // Boolean
    };
    if (IsKnownValueType(savedType) != IsKnownValueType(definitionType))
        return None;
    if (!IsKnownValueType(savedType))
        return Every;
    return across[savedType - ValueTypeCode::Integer][definitionType - ValueTypeCode::Integer];
}

}  // namespace Quillmere
