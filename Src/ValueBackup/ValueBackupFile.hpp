// The value backup file: where it lives, how values are named and typed in it, and a backup
// (Run/ValueBackup.hpp) printed as its text and parsed from it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "Api/Api.hpp"
#include "Common/SystemFiles.hpp"
#include "GSRoot/GSRoot.hpp"
#include "Run/ValueBackup.hpp"

namespace Quillmere {

// "USERPROFILE" followed by "\Documents\IFC_SG_Properties.xml", in the system's own form (read as
// UTF-16 on Windows, so a profile folder of any name works). Nothing when "USERPROFILE" is not set.
std::optional<SystemPath> BackupFilePath();

// The group name, "-" and the property name, in their 8-bit forms (Common/ExactText.hpp), as they
// stand.
std::string MakeValueKey(const GS::UniString& groupName, const GS::UniString& definitionName);

// A key that is an XML name (Common/XmlName.hpp) names its value element; any other is written as
// a KeyedValueElementName element with the key in KeyAttributeName. The reader takes both forms for
// every key.
constexpr const char* KeyedValueElementName = "value";
constexpr const char* KeyAttributeName = "key";

// "valType" text of a definition's value type code: "Undefined", "Integer", "Real", "String",
// "Boolean", or empty for any other code.
const char* ValueTypeName(Int32 valueType);
// "MType" text of a definition's measure type code: "Default", "Length", "Area", "Volume",
// "Angle", or empty for any other code.
const char* MeasureTypeName(Int32 measureType);

// The value text of a real: "%f" (six decimals) where that reads back as the same number, else
// the shortest text that does. Appended to `out`.
void AppendRealText(std::string& out, double value);
// The real a value text gives, as atof gives it.
double ParseRealText(const char* text, std::size_t length);
// Sets `value` from a decimal text as GS::strtovalue does (mode 1, white space 0); leaves it as it
// is for any other text.
void ParseIntegerText(const char* text, std::size_t length, Int32& value);

// What a backup file's text gives: the backup, or why it cannot be read as one.
struct ValueBackupReading {
    enum class Problem {
        None,
        Empty,          // the file is empty
        NotWellFormed,  // not well-formed XML: `reason` (the parser's) at `byte`
        NoRoot,         // no root element
    };
    std::optional<ValueBackup> backup;
    Problem problem = Problem::None;
    std::string reason;
    std::size_t byte = 0;
};

// Parses a backup file's text, which the backup takes over (its values point into it).
ValueBackupReading ParseValueBackup(std::string text);

// Prints `backup` as the backup file's text, line ends as text mode stores them on this system:
// the bytes rapidxml's printer gives (print flags 0) for the document of the same content, except
// where a value would not come back from them as it was. A carriage return, a control character
// that XML does not allow and a lone surrogate are written as character references, and so is the
// first character of a text of white space alone, which the parser would drop; in an attribute,
// tab and line feed are too, which strict XML parsers would turn into spaces.
void PrintValueBackup(const ValueBackup& backup, ReplacingFileWriter& out);
void PrintValueBackup(const ValueBackup& backup, std::string& out);

}  // namespace Quillmere
