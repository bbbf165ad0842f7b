#include "RenameTable.hpp"

#include <algorithm>

namespace Quillmere {

void RenameTable::Add(Entry entry)
{
    const std::size_t index = entries.size();
    entries.push_back(std::move(entry));
    const Entry& added = entries.back();
    // Under its group's or its property's entries, by its earlier name and by its new one.
    const auto list = [&](ByName<Group>& groups, const GS::UniString& group, const GS::UniString& property) {
        Group& listed = groups[std::u16string(UnitsOf(group))];
        (added.isGroup ? listed.groupEntries : listed.propertyEntries[std::u16string(UnitsOf(property))]).push_back(index);
    };
    list(fromGroups, added.group, added.property);
    list(toGroups, added.newGroup, added.newProperty);
}

std::vector<RenameTable::Name> RenameTable::EarlierNames(const GS::UniString& group,
                                                         const GS::UniString& property) const
{
    std::vector<Name> names;
    const auto to = toGroups.find(UnitsOf(group));
    if (to == toGroups.end())
        return names;
    // The entries to the name, the later entry first.
    std::vector<std::size_t> latestFirst = to->second.groupEntries;
    const auto listed = to->second.propertyEntries.find(UnitsOf(property));
    if (listed != to->second.propertyEntries.end())
        latestFirst.insert(latestFirst.end(), listed->second.begin(), listed->second.end());
    std::sort(latestFirst.begin(), latestFirst.end(), std::greater<>());
    for (const std::size_t index : latestFirst) {
        const Entry& entry = entries[index];
        if (!entry.isGroup)
            names.push_back(Name{entry.group, entry.property, index});
        // A property entry for the earlier property of this group says where it went instead: the
        // entry that renames it is then no group entry.
        else if (entries[*RenamingEntry(UnitsOf(entry.group), UnitsOf(property))].isGroup)
            names.push_back(Name{entry.group, property, index});
    }
    return names;
}

std::optional<std::size_t> RenameTable::RenamingEntry(std::u16string_view group, std::u16string_view property) const
{
    const auto from = fromGroups.find(group);
    if (from == fromGroups.end())
        return std::nullopt;
    // The latest property entry for the property, or else the latest group entry.
    const auto byProperty = from->second.propertyEntries.find(property);
    const std::vector<std::size_t>& renaming =
        byProperty != from->second.propertyEntries.end() ? byProperty->second : from->second.groupEntries;
    return renaming.empty() ? std::nullopt : std::optional(renaming.back());
}

std::optional<RenameTable::Name> RenameTable::RenamedName(const GS::UniString& group,
                                                          const GS::UniString& property) const
{
    const std::optional<std::size_t> index = RenamingEntry(UnitsOf(group), UnitsOf(property));
    if (!index)
        return std::nullopt;
    const Entry& entry = entries[*index];
    return Name{entry.newGroup, entry.isGroup ? property : entry.newProperty, *index};
}

}  // namespace Quillmere
