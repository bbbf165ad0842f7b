// The value backup: where its file lives, how values are named and typed in it, and the backup
// itself as both the writer and the restore see it, with its file text printed and parsed.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Api/Api.hpp"
#include "Common/SystemFiles.hpp"
#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

// "USERPROFILE" followed by "\Documents\IFC_SG_Properties.xml", in the system's own form (read as
// UTF-16 on Windows, so a profile folder of any name works). Nothing when "USERPROFILE" is not set.
std::optional<SystemPath> BackupFilePath();

// The group name, "-" and the property name, in their 8-bit forms (Common/ExactText.hpp), as they
// stand.
std::string MakeValueKey(const GS::UniString& groupName, const GS::UniString& definitionName);

// True when `name` is an XML 1.0 name (colon included), so that a value element can carry it as its
// own name. Other keys are written as a KeyedValueElementName element with the key in
// KeyAttributeName; the reader takes both forms for every key.
bool IsXmlName(std::string_view name);
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

// What one run's backup holds: the element entries in order, each with its saved values in order,
// and the keys they are saved under. The texts are the decoded value texts (no entity references).
// Built by the writer, or parsed from a file; the restore reads it either way.
class ValueBackup {
public:
    struct Key {
        std::string_view text;
        bool isXmlName;
    };
    struct Value {
        const char* text;
        UInt32 textLength;
        UInt32 key;         // index into Keys()
        Int32 valueType;    // the definition's value type code; from a file, the code "valType" names
        Int32 measureType;  // the definition's measure type code; not kept from a file
    };
    struct Entry {
        API_Guid element;
        UInt32 firstValue;
        UInt32 valueCount;
    };
    // The value type code a parsed "valType" text stands for when it selects no conversion.
    static constexpr Int32 UnconvertedValueType = -1;

    ValueBackup() = default;
    ValueBackup(ValueBackup&&) noexcept = default;
    ValueBackup& operator=(ValueBackup&&) noexcept = default;

    // The key's index, added the first time the key is seen.
    UInt32 InternKey(std::string_view key);
    // The key's index; nothing when no value is saved under it.
    std::optional<UInt32> FindKey(std::string_view key) const;

    // Starts the entry of `element`; the values added next belong to it.
    void StartEntry(const API_Guid& element);
    // Adds a value to the current entry. `text` is copied.
    void AddValue(UInt32 key, Int32 valueType, Int32 measureType, std::string_view text);
    // Adds a value to the current entry whose text is the 8-bit form of `text`.
    void AddValue(UInt32 key, Int32 valueType, Int32 measureType, const GS::UniString& text);
    // Adds a value whose text lies in storage that the backup keeps anyway (a parsed file's text).
    void AddKeptValue(UInt32 key, Int32 valueType, Int32 measureType, const char* text, std::size_t length);
    // Ends the current entry; an entry without values is dropped.
    void EndEntry();

    const std::vector<Entry>& Entries() const noexcept { return entries; }
    const std::vector<Value>& Values() const noexcept { return values; }
    const std::vector<Key>& Keys() const noexcept { return keys; }
    std::size_t ValueCount() const noexcept { return values.size(); }

    // Parses a backup file's text, which the result takes over (its values point into it). Answers
    // the backup, or in `problem` why the text cannot be read as one.
    static std::optional<ValueBackup> Parse(std::string text, std::string& problem);

private:
    // Stable storage for texts: blocks that are never moved, each handed out from its start.
    class TextArena {
    public:
        char* Allocate(std::size_t bytes);
        // Gives back the end of the last allocation, which used only `used` of its bytes.
        void Shrink(char* last, std::size_t capacity, std::size_t used) noexcept;
    private:
        std::vector<std::unique_ptr<char[]>> blocks;
        char* next = nullptr;
        std::size_t left = 0;
    };

    TextArena arena;
    std::unique_ptr<std::string> parsedText;  // a parsed file's text, which the values point into
    std::vector<Key> keys;
    std::unordered_map<std::string_view, UInt32> keyIndex;
    std::vector<Entry> entries;
    std::vector<Value> values;
};

// Prints `backup` as the backup file's text, line ends as text mode stores them on this system:
// the bytes rapidxml's printer gives (print flags 0) for the document of the same content, except
// where a value would not come back from them as it was. A carriage return, a control character
// that XML does not allow and a lone surrogate are written as character references, and so is the
// first character of a text of white space alone, which the parser would drop; in an attribute,
// tab and line feed are too, which strict XML parsers would turn into spaces.
void PrintValueBackup(const ValueBackup& backup, ReplacingFileWriter& out);
void PrintValueBackup(const ValueBackup& backup, std::string& out);

}  // namespace Quillmere
