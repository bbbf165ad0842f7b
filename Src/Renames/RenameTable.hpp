// The rename table that travels with a configuration: which group and property names of an earlier
// configuration a newer one gives other names, so that saved values and expression lists follow
// them (docs/rename-table.md).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

// The entries of a table, indexed by their earlier and their new names: each look-up costs O(1)
// plus the names it answers. Rules of every look-up: names compare exactly (units of
// the host text), a property entry wins over its group's entry for the same earlier property, a
// later entry wins over an earlier one, and renames are never chained.
class RenameTable {
public:
    struct Entry {
        bool isGroup = false;
        GS::UniString group;     // the earlier group ("from" of a group entry, "group" of a property entry)
        GS::UniString property;  // the earlier property ("from" of a property entry)
        GS::UniString newGroup;  // "to" of a group entry; "toGroup", or else "group", of a property entry
        GS::UniString newProperty;
        std::size_t number = 0;  // counted from 1 among the root's elements, as report lines count
    };

    bool IsEmpty() const noexcept { return entries.empty(); }
    const std::vector<Entry>& Entries() const noexcept { return entries; }

    // Adds an entry after the others: a later entry wins over an earlier one. When memory runs out
    // (std::bad_alloc) the table is left to be thrown away.
    void Add(Entry entry);

    // A name and the entry (index into Entries()) that gives it. `group` and `property` refer to
    // the table's entries or, where the entry keeps the property's name, to the caller's argument:
    // they are valid while the argument lives and no entry is added.
    struct Name {
        const GS::UniString& group;
        const GS::UniString& property;
        std::size_t entry;
    };

    // The earlier names of the definition `property` of group `group`, in the order to try: the
    // later entry first. A group entry A to `group` gives (A, `property`) only when the table has
    // no property entry for (A, `property`). The same name comes twice when two entries give it.
    std::vector<Name> EarlierNames(const GS::UniString& group, const GS::UniString& property) const;

    // What the earlier name (`group`, `property`) is called now: the latest property entry for it
    // or, without one, the latest group entry from `group`, which keeps the property's name.
    // Nothing when no entry names it.
    std::optional<Name> RenamedName(const GS::UniString& group, const GS::UniString& property) const;

    // The entry that RenamedName takes for (`group`, `property`) given as units; nothing when none.
    std::optional<std::size_t> RenamingEntry(std::u16string_view group, std::u16string_view property) const;

    // Whether an entry renames from the group `group`: a group entry from it, or a property entry
    // of it.
    bool RenamesFromGroup(std::u16string_view group) const { return fromGroups.contains(group); }

private:
    // A hash index by name that is looked up by units as they stand (in the host text, or in an
    // expression).
    struct UnitsHash : std::hash<std::u16string_view> {
        using is_transparent = void;
    };
    template <typename Value>
    using ByName = std::unordered_map<std::u16string, Value, UnitsHash, std::equal_to<>>;

    // The entries from or to one group, in the order of the table: its group entries, and its
    // property entries for each of its properties.
    struct Group {
        std::vector<std::size_t> groupEntries;
        ByName<std::vector<std::size_t>> propertyEntries;
    };

    std::vector<Entry> entries;
    ByName<Group> fromGroups;  // by the entries' earlier group
    ByName<Group> toGroups;    // by their new group
};

// The units of a host text, for the look-ups that take them.
inline std::u16string_view UnitsOf(const GS::UniString& text)
{
    return std::u16string_view(text.ToUStr(), text.GetLength());
}

}  // namespace Quillmere
