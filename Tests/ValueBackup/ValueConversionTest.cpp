// A saved value's text converted to the type its property has now.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "Run/ValueBackup.hpp"
#include "ValueBackup/ValueConversion.hpp"

using namespace Quillmere;

namespace {

constexpr Int32 Undefined = API_PropertyUndefinedValueType, Integer = API_PropertyIntegerValueType,
                Real = API_PropertyRealValueType, String = API_PropertyStringValueType,
                Boolean = API_PropertyBooleanValueType, Unknown = ValueBackup::UnconvertedValueType;

struct Case {
    Int32 saved;
    const char* text;
    Int32 now;
    const char* expected;  // the field the type names, as text; nullptr when it does not convert
};

// The field of `value` that its type code names, as text.
std::string FieldText(const TypedValueRecord& value)
{
    switch (value.typeCode) {
        case API_PropertyIntegerValueType: return std::to_string(value.intValue);
        case API_PropertyRealValueType: {
            char text[32];
            std::snprintf(text, sizeof text, "%g", value.realValue);
            return text;
        }
        case API_PropertyStringValueType: return value.stringValue.ToCStr().Get();
        case API_PropertyBooleanValueType: return value.boolValue ? "true" : "false";
        default: return "(none)";
    }
}

}  // namespace

TEST(ValueConversion, SameTypeAsAlwaysOtherTypesOnlyWhenExact)
{
    const Case cases[] = {
        // The type the value was saved with: as it always came back, whatever the text.
        {Integer, "120", Integer, "120"},
        {Integer, " 12", Integer, "0"},
        {Real, "2.500000", Real, "2.5"},
        {Real, "thick", Real, "0"},
        {String, "REI 60", String, "REI 60"},
        {Boolean, "1", Boolean, "true"},
        {Boolean, "true", Boolean, "false"},
        {Unknown, "x", Integer, "0"},  // "Undefined" or an unknown "valType": an empty value of the type
        // Integer to Real, String, Boolean.
        {Integer, "120", Real, "120"},
        {Integer, "-2147483648", String, "-2147483648"},
        {Integer, "1", Boolean, "true"},
        {Integer, "2", Boolean, nullptr},
        {Integer, "12a", Real, nullptr},
        // Real to Integer (whole and in range only) and String (the shortest text).
        {Real, "2.000000", Integer, "2"},
        {Real, "2.500000", Integer, nullptr},
        {Real, "3000000000.000000", Integer, nullptr},
        {Real, "0.100000", String, "0.1"},
        {Real, "1.000000", Boolean, nullptr},
        // String to Integer, Real, Boolean: only a text that is wholly one.
        {String, "120", Integer, "120"},
        {String, "+120", Integer, nullptr},
        {String, "12 mm", Integer, nullptr},
        {String, "2.5", Real, "2.5"},
        {String, "inf", Real, nullptr},
        {String, "", Real, nullptr},
        {String, "true", Boolean, "true"},
        {String, "yes", Boolean, nullptr},
        // Boolean to String and Integer.
        {Boolean, "0", String, "false"},
        {Boolean, "1", Integer, "1"},
        {Boolean, "1", Real, nullptr},
        // Nothing converts to an undefined or unknown type.
        {Integer, "1", Undefined, nullptr},
        {String, "x", 7, nullptr},
    };
    std::u16string scratch;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.saved) + " \"" + c.text + "\" to " + std::to_string(c.now));
        TypedValueRecord value;
        const bool converted = ConvertSavedValue(c.saved, c.text, std::strlen(c.text), c.now, value, scratch);
        EXPECT_EQ(value.typeCode, c.now);
        EXPECT_EQ(converted, c.expected != nullptr);
        if (converted && c.expected != nullptr) {
            EXPECT_EQ(FieldText(value), c.expected);
        }
    }
}
