// The value a saved text gives for a property whose type may have changed since it was saved.
#pragma once

#include <cstddef>
#include <string>

#include "Api/Api.hpp"

namespace Quillmere {

// Sets the field of `value` that `definitionType` (the type the property has now) names from
// `text`, saved as `savedType` (a value type code, or ValueBackup::UnconvertedValueType for
// "Undefined" and unknown "valType" texts). `value.typeCode` is set to `definitionType`.
//
// The same type converts as it always has: an Integer by its decimal text, a Real by atof, a String
// as it stands, a Boolean true only for the text "1"; a saved value of no known type sets no
// field. Across types only exact conversions are made: Integer to Real; a Real with no fraction
// and in range to Integer; Integer or Real to its shortest decimal String; a String that is wholly
// a decimal integer or number to Integer or Real; a Boolean to "true"/"false" as a String or to 0/1
// as an Integer; "true"/"false" or an Integer 0/1 to Boolean. Answers false, leaving the field
// unset, for any other pair or text (the value is then not written). `scratch` is working space
// that a caller may reuse.
bool ConvertSavedValue(Int32 savedType, const char* text, std::size_t length, Int32 definitionType,
                       TypedValueRecord& value, std::u16string& scratch);

}  // namespace Quillmere
