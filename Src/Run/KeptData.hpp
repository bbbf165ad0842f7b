// What the store keeps for the run's project, as the run read it, and what became of it: values
// and expression lists that earlier runs did not bring back, with what those runs left on the
// properties they could come back into.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Common/GuidHash.hpp"
#include "Common/PropertyName.hpp"
#include "Run/ValueBackup.hpp"
#include "Run/ValueFate.hpp"

namespace Quillmere {

using ExpressionList = GS::Array<GS::UniString>;

// An owned property of an element, or an owned definition, as a run left or found it.
struct PropertyState {
    // Its value as "valType:text" (the backup's names and texts), or a definition's expression list
    // (ExpressionListState); nothing when it holds none.
    std::optional<std::string> value;
    // The run wrote it (a saved value or list came back into it): no kept one is for it.
    bool written = false;

    bool operator==(const PropertyState&) const = default;
};

// Properties by name (StateKey of the 8-bit group and property names); a name that is not there is
// a property the element, or the project, does not have.
using PropertyStates = std::unordered_map<std::string, PropertyState>;
std::string StateKey(std::string_view group, std::string_view property);

// Whether a kept value or list may come back into the property `key`, from what the run that kept
// it left there (`left`; nothing when not known) and what this run found (`found`; nullptr: none):
enum class LeftMatch {
    AsLeft,   // absent then and now, or in the state that run's import left it in: it may come back
    Taken,    // it holds what that run wrote into it, another saved value: it stays kept
    Changed,  // it is not as left: the user's edit or clear stands, and the kept one ends
};
// When what was left is not known, only a property without a value is as left.
LeftMatch MatchLeft(const std::optional<PropertyStates>& left, const PropertyStates* found, const std::string& key);

// Whether two saved values, or two expression lists, are the same: of one value type and text, or
// of the same expressions in order.
inline bool SameSaved(const ValueBackup::Value& a, const ValueBackup::Value& b)
{
    return a.valueType == b.valueType &&
           std::string_view(a.text, a.textLength) == std::string_view(b.text, b.textLength);
}

inline bool SameSaved(const ExpressionList& a, const ExpressionList& b)
{
    return std::ranges::equal(a, b);
}

// Appends `field` to `packed` as LENGTH:BYTES, so that no field can look like another's or like two.
void AppendField(std::string& packed, std::string_view field);

// The state of a definition's expression list: nothing when its flag is not set.
std::optional<std::string> ExpressionListState(bool flag, const ExpressionList& list);

// A kept value's or list's record: the run that kept it last, and why it did not come back then.
struct KeptRecord {
    UInt32 run = 0;
    ValueFate reason = ValueFate::NotDefined;
    bool earlierVersion = false;  // taken into the store from an earlier version's files
};

struct KeptExpressionList {
    PropertyName name;
    ExpressionList list;
    KeptRecord record;
};

// A row of the store's kept values as the run read it: its element's text, its values [first, end)
// (those of one run and group) and their packed text, so that a write changes the row only while
// the store still holds it so (another host instance may have written it since).
struct KeptRow {
    std::string element;
    std::string packed;
    std::size_t first = 0;
    std::size_t end = 0;
};

struct KeptData {
    ValueBackup values;                // entries by element
    std::vector<KeptRecord> records;   // by value
    std::vector<ValueFate> fates;      // by value: what became of it in this run (Pending: stays)
    // By element with kept values: what the run that kept them left on its owned properties;
    // nothing when that is not known.
    std::unordered_map<API_Guid, std::optional<PropertyStates>, GuidHash> left;

    std::vector<KeptExpressionList> lists;
    std::vector<ValueFate> listFates;  // by list
    std::optional<PropertyStates> listsLeft;  // the owned definitions as left; nothing when not known

    std::map<UInt32, std::string> started;  // when each run that kept something started
    std::vector<KeptRow> rows;              // in the order read: by element, run and group

    bool Empty() const { return values.ValueCount() == 0 && lists.empty(); }
    // What the run that kept the value `index` of `element` left there: nothing known for an
    // earlier version's value.
    const std::optional<PropertyStates>& LeftFor(const API_Guid& element, std::size_t index) const;
    // What the run that kept the list `index` left on the definitions: nothing known for an earlier
    // version's list. A reference, so that what was left is not copied for each list.
    const std::optional<PropertyStates>& ListLeftFor(std::size_t index) const;
};

// The identity of a project in the store: "file:" and the project file's path as the host gives
// it; for a project without a file, "anchor:" and the GUID of one of its elements (the first
// such identity whose element the project holds is the project's); "" for what an earlier version
// of the add-on left in its files, which belongs to no project known.
using ProjectIdentity = std::string;

// The elements of the project, as the backup listed them.
using ElementSet = std::unordered_set<API_Guid, GuidHash>;

// What a run leaves in the store for its project at its end.
struct KeptAtRunEnd {
    ProjectIdentity project;
    UInt32 run = 0;             // this run's number, higher than any the store knows; 0 until a write gives it
    std::string started;        // when it started ("2026-12-09 14:05")
    std::string configuration;  // the configuration file it imported
    // This run's lists that did not come back (with their fates as reasons).
    std::vector<KeptExpressionList> ownLists;
    // By element that has kept values after the run: what the run left on its owned properties
    // (nothing when not known); the owned definitions as left, when lists are kept.
    std::unordered_map<API_Guid, std::optional<PropertyStates>, GuidHash> left;
    std::optional<PropertyStates> listsLeft;
    // This run's saved values or lists that were written before the removal, under `run`, and
    // leave now where they came back.
    bool ownValuesWritten = false;
    bool ownListsWritten = false;
};

}  // namespace Quillmere
