// The values elements hold, taken from a project at one moment and matched across moments by
// element GUID, group name and property name, the way the add-on matches them.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Project.hpp"

namespace HostProgram {

// One value an element holds.
struct HeldValue {
    API_Guid element;
    std::string elementName;
    std::string group;
    std::string property;
    TestHost::Value value;
};

// The values elements hold, at one moment.
class ValueSnapshot {
public:
    // Takes every value, ordered by the host order of the elements and then of the definitions.
    // Where two groups share a name, or two definitions of one group, the first in host order is
    // the one looked up by name.
    static ValueSnapshot Take(const TestHost::Project& project);

    const std::vector<HeldValue>& Values() const noexcept { return values; }
    // The element's value under the group and property names; nullptr when it holds none.
    const TestHost::Value* Find(const API_Guid& element, const std::string& group, const std::string& property) const;
    // Whether a definition of that group and name applied to the element at that moment.
    bool HasDefinition(const API_Guid& element, const std::string& group, const std::string& property) const;

private:
    using Key = std::tuple<API_Guid, std::string, std::string>;
    struct KeyLess {
        bool operator()(const Key& left, const Key& right) const;
    };
    std::vector<HeldValue> values;
    std::map<Key, std::size_t, KeyLess> index;
    std::set<Key, KeyLess> definitions;
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

struct ValueRow {
    HeldValue before;
    LaterValue after;
    std::optional<LaterValue> afterUndo;  // only when steps were undone
    ValueStatus status = ValueStatus::Lost;
    // For a value kept under other names (a renamed group or property): the group and property
    // that hold it after the command; `after` is the value there.
    std::optional<std::pair<std::string, std::string>> renamedTo;
};

// The values of `snapshot`, in its order, whose group name is among `groups` (`inGroups` true) or
// is not (false).
std::vector<HeldValue> SelectValues(const ValueSnapshot& snapshot, const std::set<std::string>& groups, bool inGroups);

// One row per value of `before`, in its order; never drops a row.
std::vector<ValueRow> CompareValues(const std::vector<HeldValue>& before, const ValueSnapshot& after,
                                    const ValueSnapshot* afterUndo);

// Finds the lost rows whose value the element holds after the command, unchanged, under names that
// did not apply to it before (`beforeSnapshot`): the value came back under a renamed group or
// property. Such a row is kept, renamed to those names. Where several new names hold an equal
// value, the one of the same property name is taken first, then one of the same group, then the
// first in host order; each new value answers one row.
void FindRenamedValues(std::vector<ValueRow>& rows, const ValueSnapshot& beforeSnapshot, const ValueSnapshot& after);

// The key a value is saved under: group, "-", property.
std::string ValueKeyText(const std::string& group, const std::string& property);

// How many values of `before` `after` holds unchanged under the same names.
std::size_t CountUnchanged(const std::vector<HeldValue>& before, const ValueSnapshot& after);

// The value as the table shows it: strings in double quotes, reals in their shortest exact form,
// true/false, "(undefined)".
std::string ShowValue(const TestHost::Value& value);
// The value's text without quotes (what the JSON output carries next to the type).
std::string ValueText(const TestHost::Value& value);
// A later value as the table shows it: the value, "(default)" when a definition applies but the
// element holds no value of its own, "(none)" when no definition of that name applies.
std::string ShowLaterValue(const LaterValue& later);

}  // namespace HostProgram
