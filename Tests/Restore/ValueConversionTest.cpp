// A saved value's text converted to the type its property has now.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "Run/ValueBackup.hpp"
#include "Restore/ValueConversion.hpp"

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
        // A value of no type ("Undefined", or an unknown "valType") comes back only where the
        // property has no known type either: it is never written as 0, "" or false.
        {Unknown, "", Undefined, "(none)"},
        {Undefined, "", 7, "(none)"},
        {Unknown, "x", Integer, nullptr},
        {Undefined, "", Real, nullptr},
        {Unknown, "", String, nullptr},
        {Undefined, "", Boolean, nullptr},
        // Integer to Real, String, Boolean.
        {Integer, "120", Real, "120"},
        {Integer, "-2147483648", String, "-2147483648"},
        // An integer's own digits, never a shorter exponent form ("1e+06").
        {Integer, "1000000", String, "1000000"},
        {Integer, "1", Boolean, "true"},
        {Integer, "2", Boolean, nullptr},
        {Integer, "12a", Real, nullptr},
        // Real to Integer (whole and in range only) and String (its shortest text ...
        {Real, "2.000000", Integer, "2"},
        {Real, "2.500000", Integer, nullptr},
        {Real, "3000000000.000000", Integer, nullptr},
        {Real, "0.100000", String, "0.1"},
        // ... written without an exponent as a person writes it, unless that is very long.
        {Real, "1000000.000000", String, "1000000"},
        {Real, "0.000100", String, "0.0001"},
        {Real, "1e300", String, "1e+300"},
        {Real, "1.000000", Boolean, nullptr},
        // String to Integer, Real, Boolean: only a text that is the number's own text, so that
        // the text comes back as it was should the type change back.
        {String, "120", Integer, "120"},
        {String, "-7", Integer, "-7"},
        {String, "+120", Integer, nullptr},
        {String, "007", Integer, nullptr},
        {String, "-0", Integer, nullptr},
        {String, "12 mm", Integer, nullptr},
        {String, "2.5", Real, "2.5"},
        {String, "1.50", Real, nullptr},
        {String, "1e5", Real, nullptr},
        {String, "100000", Real, "100000"},
        {String, "0.0001", Real, "0.0001"},
        {String, "1e+05", Real, "100000"},
        {String, "100000.0", Real, nullptr},
        {String, "12345678901234567890", Real, nullptr},
        {String, "007", Real, nullptr},
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

TEST(ValueConversion, ConvertibilityOfEachPairAgreesWithTheConversions)
{
    // Every pair of types, with texts of each type that do and do not convert: a pair said to
    // convert every value converts each text of its type, one said to convert none converts no text.
    const std::pair<Int32, std::vector<const char*>> texts[] = {
        {Integer, {"0", "1", "-42", "2147483647"}},
        {Real, {"0.000000", "2.500000", "3.000000", "1e300"}},
        {String, {"", "1", "true", "007", "2.5", "REI 60"}},
        {Boolean, {"0", "1"}},
        {Undefined, {""}},
    };
    const Int32 types[] = {Undefined, Integer, Real, String, Boolean, 7};
    std::u16string scratch;
    for (const auto& [saved, values] : texts)
        for (const Int32 now : types) {
            SCOPED_TRACE(std::to_string(saved) + " to " + std::to_string(now));
            std::size_t converted = 0;
            for (const char* text : values) {
                TypedValueRecord value;
                converted += ConvertSavedValue(saved, text, std::strlen(text), now, value, scratch) ? 1 : 0;
            }
            switch (ConvertibilityBetween(saved, now)) {
                case Convertibility::Every: EXPECT_EQ(converted, values.size()); break;
                case Convertibility::None: EXPECT_EQ(converted, 0u); break;
                case Convertibility::Some:
                    EXPECT_GT(converted, 0u);
                    EXPECT_LT(converted, values.size());
                    break;
            }
        }
    EXPECT_EQ(ConvertibilityBetween(Real, Real), Convertibility::Every);
    EXPECT_EQ(ConvertibilityBetween(String, Real), Convertibility::Some);
    EXPECT_EQ(ConvertibilityBetween(Boolean, Real), Convertibility::None);
}
