// The values elements hold, taken from a project before the command and matched with those after
// it (and after an undo) by element GUID, group name and property name, the way the add-on matches
// them. A large project holds millions of values, so the values are kept packed (16 bytes and their
// text each), names are numbered once, and the comparison goes element by element through the
// values the project holds, without sorting and without a snapshot of the later moments.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Project.hpp"

namespace HostProgram {

// The (group name, property name) pairs of definitions, each numbered once.
class NamePairs {
public:
    // The number of the pair, numbering it when it is new.
    UInt32 Number(const std::string& group, const std::string& property);
    const std::string& Group(UInt32 number) const { return pairs[number]->first.first; }
    const std::string& Property(UInt32 number) const { return pairs[number]->first.second; }
    std::size_t Size() const noexcept { return pairs.size(); }

private:
    std::map<std::pair<std::string, std::string>, UInt32> numbers;
    std::vector<const std::pair<const std::pair<std::string, std::string>, UInt32>*> pairs;
};

// One value in 16 bytes: the integer, the Boolean, the real's bits or where its text lies in the
// texts of its table, with the number of the names it is held under. The project keeps its values
// canonical (only the field of the value's type is set), so type and that field are the value.
struct PackedValue {
    UInt64 bits = 0;
    UInt32 length = 0;  // of the text
    UInt32 name : 29 = 0;  // NamePairs number
    UInt32 type : 3 = 0;   // value type code, 0 to 4
};
static_assert(sizeof(PackedValue) == 16);

// Packed values with their texts.
class PackedValues {
public:
    // Makes room for `count` values.
    void Reserve(std::size_t count) { values.reserve(count); }
    // Adds `value` held under names number `name`; answers its index.
    UInt32 Add(const TestHost::Value& value, UInt32 name);
    const PackedValue& operator[](std::size_t index) const { return values[index]; }
    std::size_t Size() const noexcept { return values.size(); }
    TestHost::Value Unpack(std::size_t index) const;
    // Whether the value equals `other` as values compare (a NaN equals nothing, 0 equals -0).
    bool Equals(std::size_t index, const TestHost::Value& other) const;
    // Whether the value is `other` bit for bit, so that both show the same text.
    bool Identical(std::size_t index, const TestHost::Value& other) const;

private:
    std::vector<PackedValue> values;
    std::string texts;
};

// The values elements hold before the command.
class ValuesBefore {
public:
    // Takes every value of a definition whose group exists, ordered by the host order of the
    // elements and then of the definitions. Where two groups share a name, or two definitions of
    // one group, the element's value of the first such definition in host order stands for the name.
    static ValuesBefore Take(const TestHost::Project& project);

    std::size_t Count() const noexcept { return values.Size(); }

private:
    friend class ValueTable;

    // An element that holds values, with where they lie in `values` (up to the next one's first).
    struct HoldingElement {
        API_Guid guid;
        std::string name;
        UInt32 applying = 0;  // index in `applyingNames`: the names of the definitions that apply to it
        UInt32 first = 0;
    };

    NamePairs names;
    std::vector<HoldingElement> elements;           // host order
    PackedValues values;                            // by element, then by host order of definitions
    std::vector<std::vector<UInt32>> applyingNames;  // sorted NamePairs numbers, per classification item
};

// What became of a value held before the command.
enum class ValueStatus {
    Kept,     // the same value under the same group and property names
    Changed,  // another value under the same names
    Lost,     // no value under those names any more
};

const char* StatusName(ValueStatus status);

// How a value stands at a later moment.
struct LaterValue {
    std::optional<TestHost::Value> value;  // empty: the element holds none
    bool hasDefinition = false;            // a definition of that group and name applies
};

// One row of the table, as the results show it.
struct ValueRow {
    const API_Guid& element;
    const std::string& elementName;
    // Where the value is after the command: the names it was held under, or for a value kept under
    // other names (a renamed group or property) those names.
    const std::string& group;
    const std::string& property;
    // The names it was held under before the command.
    const std::string& savedGroup;
    const std::string& savedProperty;
    TestHost::Value before;
    LaterValue after;
    std::optional<LaterValue> afterUndo;  // only when steps were undone
    ValueStatus status;
    bool renamed;  // kept under other names
};

// The owned values held before the command, one row each in the order of ValuesBefore, with how
// they stand after it; the values of the other groups are only counted.
class ValueTable {
public:
    ValueTable() = default;
    // Matches `before` with `after` by element, group name and property name. A row of an owned
    // group (`ownedGroups`) whose value the element no longer holds under its names, but holds
    // unchanged under names that did not apply to it before (a renamed group or property), is kept
    // under those names. Where several such names hold an equal value, the one of the same property
    // name is taken first, then one of the same group, then the first in host order; each new value
    // answers one row.
    ValueTable(ValuesBefore before, const std::set<std::string>& ownedGroups, const TestHost::Project& after);

    // Adds how each row's value stands in `project` after the undo, under the names it was held under.
    void AddAfterUndo(const TestHost::Project& project);

    std::size_t Size() const noexcept { return rows.size(); }
    ValueRow Row(std::size_t index) const;
    bool HasAfterUndo() const noexcept { return withAfterUndo; }

    // Rows by status, and the kept rows that are kept under other names.
    std::size_t Count(ValueStatus status) const { return statusCounts[static_cast<int>(status)]; }
    std::size_t CountRenamed() const noexcept { return renamedCount; }
    // The values of the other groups before the command, and those held unchanged after it.
    std::size_t OtherValues() const noexcept { return otherValues; }
    std::size_t OtherValuesUnchanged() const noexcept { return otherUnchanged; }

private:
    class HeldNow;

    // Where a row's later value is: not held, the same bits as before, or an index in `later`.
    static constexpr UInt32 NotHeld = ~UInt32{0};
    static constexpr UInt32 SameAsBefore = ~UInt32{0} - 1;
    enum RowFlag : UInt8 { AfterHasDefinition = 1, AfterUndoHasDefinition = 2, Renamed = 4 };

    struct RowState {
        UInt32 element;   // in before.elements
        UInt32 value;     // in before.values
        UInt32 shown;     // NamePairs number of the names it is shown under
        UInt32 after;
        UInt32 afterUndo;
        UInt8 status;
        UInt8 flags;
    };

    void CompareElement(std::size_t element, HeldNow& now, const std::vector<bool>& owned);
    void FindRenamed(std::size_t firstRow, const HeldNow& now);
    UInt32 KeepLater(std::size_t beforeValue, const TestHost::Value* value);
    LaterValue Later(std::size_t beforeValue, UInt32 at, bool hasDefinition) const;

    ValuesBefore before;
    std::vector<RowState> rows;
    PackedValues later;  // later values that differ from the value before
    bool withAfterUndo = false;
    std::size_t statusCounts[3] = {};
    std::size_t renamedCount = 0;
    std::size_t otherValues = 0;
    std::size_t otherUnchanged = 0;
};

// The key a value is saved under: group, "-", property.
std::string ValueKeyText(const std::string& group, const std::string& property);

// The value as the table shows it: strings in double quotes, reals in their shortest exact form,
// true/false, "(undefined)".
std::string ShowValue(const TestHost::Value& value);
// The value's text without quotes (what the JSON output carries next to the type).
std::string ValueText(const TestHost::Value& value);
// A later value as the table shows it: the value, "(default)" when a definition applies but the
// element holds no value of its own, "(none)" when no definition of that name applies.
std::string ShowLaterValue(const LaterValue& later);

}  // namespace HostProgram
