// The values one backup holds, as the writer collects them and as a backup file parses into: the
// element entries in order, each with its saved values in order, and the keys they are saved under.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <memory_resource>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Api/Api.hpp"
#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

class ValueBackup {
public:
    // What a value is saved under: the group's and the property's names (8-bit forms), kept apart.
    struct Key {
        std::string_view group;
        std::string_view property;
        // The group, "-" and the property as one text, as the backup file names a value whose group
        // has no "-" in it. For a name read from a file that holds no "-", the whole name: it then
        // names no group and property, and matches no definition.
        std::string_view text;
        bool separated;      // false for a name without "-"
        bool textIsXmlName;  // whether `text` can stand as the value element's name

        // The group as the store and the report name it: for a name without "-", the whole name.
        std::string_view GroupOrText() const noexcept { return separated ? group : text; }
    };
    struct Value {
        const char* text;   // the decoded value text (no entity references)
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

    // The index of the key of (group, property), added the first time the pair is seen.
    UInt32 InternKey(std::string_view group, std::string_view property);
    // The same for a name that joins them ("group-property", as files name values whose group has
    // no "-"): the group is the text before its first "-".
    UInt32 InternKey(std::string_view text);
    // The index of the key of (group, property); nothing when no value is saved under it.
    std::optional<UInt32> FindKey(std::string_view group, std::string_view property) const;

    // Starts the entry of `element`; the values added next belong to it.
    void StartEntry(const API_Guid& element);
    // Adds a value to the current entry. `text` is copied.
    void AddValue(UInt32 key, Int32 valueType, Int32 measureType, std::string_view text);
    // Ends the current entry; an entry without values is dropped.
    void EndEntry();

    const std::vector<Entry>& Entries() const noexcept { return entries; }
    const std::vector<Value>& Values() const noexcept { return values; }
    const std::vector<Key>& Keys() const noexcept { return keys; }
    std::size_t ValueCount() const noexcept { return values.size(); }

private:
    // A copy of `text` in the arena; the empty text has no address.
    std::string_view Keep(std::string_view text);
    UInt32 AddKey(Key key);

    // Stable storage for the texts, made with the first one: blocks that are never moved.
    std::unique_ptr<std::pmr::monotonic_buffer_resource> arena;
    std::vector<Key> keys;
    std::map<std::pair<std::string_view, std::string_view>, UInt32> keyIndex;
    std::map<std::string_view, UInt32> unseparatedKeyIndex;
    std::vector<Entry> entries;
    std::vector<Value> values;
};

// "valType" text of a definition's value type code: "Undefined", "Integer", "Real", "String",
// "Boolean", or empty for any other code.
const char* ValueTypeName(Int32 valueType);
// The value type code a "valType" text stands for: "String", "Real", "Integer" or "Boolean", exactly;
// ValueBackup::UnconvertedValueType for any other text, "Undefined" and the empty text included.
Int32 ValueTypeOfName(std::string_view name);
// "MType" text of a definition's measure type code: "Default", "Length", "Area", "Volume",
// "Angle", or empty for any other code.
const char* MeasureTypeName(Int32 measureType);

}  // namespace Quillmere
