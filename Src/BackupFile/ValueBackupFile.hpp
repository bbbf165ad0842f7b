// The value backup file: where it lives, how values are named and typed in it, and a backup
// (Run/ValueBackup.hpp) printed as its text and parsed from it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "Api/Api.hpp"
#include "Common/ExactText.hpp"  // the backup keys a group or property name by its ExactUtf8
#include "Common/FileProblem.hpp"
#include "Common/SystemFiles.hpp"
#include "GSRoot/GSRoot.hpp"
#include "Run/ValueBackup.hpp"

namespace Quillmere {

// "USERPROFILE" followed by "\Documents\IFC_SG_Properties.xml", in the system's own form (read as
// UTF-16 on Windows, so a profile folder of any name works). Nothing when "USERPROFILE" is not set.
std::optional<SystemPath> BackupFilePath();

// How a value element names its group and property. When the group has no "-" in it, the element
// is named by the group, "-" and the property if that is an XML name (Common/XmlName.hpp), and is
// otherwise a "value" element with that text in its "key" attribute. When the group has a "-" in
// it, that text could be read as another group's, so the element is a "value" element with the two
// names apart, in "group" and "property". The reader takes every form for every key, and splits a
// joined text at its first "-".

// Appends the value text of `value` as the backup saves a value of a definition of `valueType`
// (the definition's type code, not the record's own).
void AppendValueText(std::string& out, Int32 valueType, const TypedValueRecord& value);
// What an element's property holds, as a kept value's property is compared with how a run left
// it: "valType:text" of the value it really holds (status 2, not the default); nothing otherwise.
std::optional<std::string> ValueState(const API_PropertyDefinition& definition, const ElementPropertyRecord& property);

// The real a value text gives, as atof gives it.
double ParseRealText(const char* text, std::size_t length);
// Sets `value` from a decimal text as GS::strtovalue does (mode 1, white space 0); leaves it as it
// is for any other text.
void ParseIntegerText(const char* text, std::size_t length, Int32& value);

// Prints `backup` as the backup file's text, line ends as text mode stores them on this system:
// the bytes rapidxml's printer gives (print flags 0) for the document of the same content, except
// where a value would not come back from them as it was. A carriage return, a control character
// that XML does not allow and a lone surrogate are written as character references, and so is the
// first character of a text of white space alone, which the parser would drop; in an attribute,
// tab and line feed are too, which strict XML parsers would turn into spaces. The text is handed to
// `write` in pieces of about 1 MiB (an element's values are never split), so that the whole text is
// never in memory: WriteInPlaceOf (Common/SystemFiles.hpp) takes them into the file.
void PrintValueBackup(const ValueBackup& backup, const ByteWriter& write);

// Reading a backup file's text as the format is read (docs/backup-file.md): the earlier version's
// kept files and an unsettled backup file are read so, once, when they are taken into the store.

// What a backup file's text gives: the backup, or why it cannot be read as one. The earlier
// version's files of kept values (a backup file has neither) name on their root the run that saved
// the values ("run"), and when ("saved").
struct ValueBackupReading {
    std::optional<ValueBackup> backup{};
    std::optional<UInt32> run{};  // when the root has a "run" attribute
    std::string saved{};
    std::optional<FileProblem> problem{};  // why there is no backup: the file's, or its text's
};

// Whether the start and end tags of `text` nest deeper than 64 levels, far deeper than a backup's
// or a history's elements: rapidxml descends one call per level, so a hostile file could use up its
// stack. Such files hold no comment, CDATA or processing instruction in which a "<" could mislead
// the count, and their texts have "<" as a reference.
bool NestsTooDeep(const std::string& text);

// Parses a whole backup file's text with rapidxml, parse flags 0: the root is the first node, the
// first child named "element" begins the entries and every later sibling is one, an entry without
// "guid" is skipped, each child element of an entry is a value of its key in any of the file's
// forms. A text whose elements nest deeper than a backup's could (a hostile one, which would use up
// the parser's stack) is refused as not well-formed. A problem names no file.
ValueBackupReading ParseValueBackup(std::string text);

}  // namespace Quillmere
