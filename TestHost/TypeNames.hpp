// The names of property value types and measures in the test host's own files and output:
// configurations, project files and quillmere-host's results all take them from here. The module
// keeps its own table for the backup file on purpose: host and module share nothing but the
// platform and agree only through the files' text, so neither side's table may stand in for the
// other's.
#pragma once

#include <iterator>
#include <optional>
#include <string_view>

#include "Api/ApiRecords.hpp"

namespace TestHost {

// By value type code, API_PropertyUndefinedValueType (0) to API_PropertyBooleanValueType (4).
inline constexpr const char* ValueTypeNames[] = {"Undefined", "Integer", "Real", "String", "Boolean"};
static_assert(API_PropertyUndefinedValueType == 0 && API_PropertyBooleanValueType == 4 &&
              std::size(ValueTypeNames) == 5);

// By measure code less one, API_PropertyDefaultMeasureType (1) to API_PropertyAngleMeasureType (5).
inline constexpr const char* MeasureNames[] = {"Default", "Length", "Area", "Volume", "Angle"};
static_assert(API_PropertyDefaultMeasureType == 1 && API_PropertyAngleMeasureType == 5 && std::size(MeasureNames) == 5);

// The name of value type `type`; "Undefined" for a code outside the table.
constexpr const char* ValueTypeName(Int32 type)
{
    return type >= 0 && type < static_cast<Int32>(std::size(ValueTypeNames)) ? ValueTypeNames[type] : ValueTypeNames[0];
}

// The code of the value type named `name`, case included; nothing for any other text.
constexpr std::optional<Int32> ValueTypeCode(std::string_view name)
{
    for (Int32 type = 0; type < static_cast<Int32>(std::size(ValueTypeNames)); ++type)
        if (name == ValueTypeNames[type])
            return type;
    return std::nullopt;
}

// The name of measure `measure`; "Default" for a code outside the table.
constexpr const char* MeasureName(Int32 measure)
{
    return measure >= 1 && measure <= static_cast<Int32>(std::size(MeasureNames)) ? MeasureNames[measure - 1]
                                                                                  : MeasureNames[0];
}

// The code of the measure named `name`, case included; nothing for any other text.
constexpr std::optional<Int32> MeasureCode(std::string_view name)
{
    for (Int32 measure = 1; measure <= static_cast<Int32>(std::size(MeasureNames)); ++measure)
        if (name == MeasureNames[measure - 1])
            return measure;
    return std::nullopt;
}

}  // namespace TestHost
