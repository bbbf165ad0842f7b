// The value a saved text gives for a property whose type may have changed since it was saved.
#pragma once

#include <cstddef>
#include <string>

#include "Api/Api.hpp"
#include "Convertibility.hpp"

namespace Quillmere {

// Sets the field of `value` that `definitionType` (the type the property has now) names from
// `text`, saved as `savedType` (a value type code, or ValueBackup::UnconvertedValueType for
// "Undefined" and unknown "valType" texts). `value.typeCode` is set to `definitionType`.
//
// The same type converts as it always has: an Integer by its decimal text, a Real by atof, a String
// as it stands, a Boolean true only for the text "1". A value of no type ("Undefined", or a
// "valType" the module does not know) comes back only into a property of no known type, with no
// field set: it is never written as a number, a text or a truth value. Across types only exact
// conversions are made: Integer to Real; a Real with no fraction and in range to Integer; Integer
// or Real to its shortest decimal String; a String to Integer or Real only where the number's own
// text (decimal, or the shortest that reads back) is the String itself, so that "007", "1.50" and
// "12345678901234567890" stay Strings; a Boolean to "true"/"false" as a String or to 0/1 as an
// Integer; "true"/"false" or an Integer 0/1 to Boolean. Answers false, leaving the field unset, for
// any other pair or text (the value is then not written). `scratch` is working space that a caller
// may reuse. ConvertibilityBetween (Convertibility.hpp) tells, per pair of types, whether every,
// some or no value converts.
bool ConvertSavedValue(Int32 savedType, const char* text, std::size_t length, Int32 definitionType,
                       TypedValueRecord& value, std::u16string& scratch);

}  // namespace Quillmere
