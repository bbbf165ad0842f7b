// Conversions between the project model (UTF-8 std::string, Value) and the host records that the
// services fill or take (GS::UniString, TypedValueRecord, API_PropertyGroup, API_PropertyDefinition).
#pragma once

#include <string>
#include <string_view>

#include "Api/ApiRecords.hpp"
#include "Project.hpp"

namespace TestHost {

// The model's texts are UTF-8 in which a lone surrogate keeps its three-byte form, so that any
// platform string comes back from the model unit for unit (a NUL included).
// UTF-8 form of a platform string.
std::string ToUtf8(const GS::UniString& text);
// UTF-8 of UTF-16 units.
std::string ToUtf8(std::u16string_view units);
#if defined(_WIN32)
// Windows' wide text is UTF-16 too.
std::string ToUtf8(std::wstring_view units);
#endif
// Platform string of UTF-8 text; a byte outside any sequence becomes U+FFFD.
GS::UniString ToUniString(const std::string& text);

// Fills `record` from `value`: type code `typeCode` (the definition's), the value's fields, status 2.
void FillValueRecord(const Value& value, Int32 typeCode, TypedValueRecord& record);
// The value that `record` carries for a definition of value type `valueType`: only the field that
// type names is taken; an undefined or unknown type gives an undefined value.
Value ValueFromRecord(const TypedValueRecord& record, Int32 valueType);

void FillGroupRecord(const PropertyGroup& group, API_PropertyGroup& record);
// Fills every field of `record` that the model holds; the enumeration list stays empty.
void FillDefinitionRecord(const PropertyDefinition& definition, API_PropertyDefinition& record);
// The name of the first field in which the two records differ ("name", "defaultValue.realValue",
// "availability", ...), or nullptr when every field is equal. Reals compare by their bits, so a
// copy is equal to its original even when it holds a NaN.
const char* FirstDifferentField(const API_PropertyDefinition& left, const API_PropertyDefinition& right);
// The model's form of a definition record (default value by the record's value type).
PropertyDefinition DefinitionFromRecord(const API_PropertyDefinition& record);

}  // namespace TestHost
