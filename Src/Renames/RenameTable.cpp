#include "RenameTable.hpp"

namespace Quillmere {

void RenameTable::Add(Entry entry)
{
    const std::size_t index = entries.size();
    entries.push_back(std::move(entry));
    const Entry& added = entries.back();
    FromGroup& from = fromGroups[std::u16string(UnitsOf(added.group))];
    ToGroup& to = toGroups[std::u16string(UnitsOf(added.newGroup))];
    if (added.isGroup) {
        from.groupEntry = index;
        to.groupEntries.push_back(index);
    } else {
        from.propertyEntries[std::u16string(UnitsOf(added.property))] = index;
        to.propertyEntries[std::u16string(UnitsOf(added.newProperty))].push_back(index);
    }
}

bool RenameTable::HasPropertyEntry(std::u16string_view group, std::u16string_view property) const
{
    const auto from = fromGroups.find(group);
    return from != fromGroups.end() && from->second.propertyEntries.count(property) != 0;
}

std::vector<RenameTable::Name> RenameTable::EarlierNames(const GS::UniString& group,
                                                         const GS::UniString& property) const
{
    std::vector<Name> names;
    const auto to = toGroups.find(UnitsOf(group));
    if (to == toGroups.end())
        return names;
    static const std::vector<std::size_t> none;
    const auto listed = to->second.propertyEntries.find(UnitsOf(property));
    const std::vector<std::size_t>& byProperty = listed != to->second.propertyEntries.end() ? listed->second : none;
    const std::vector<std::size_t>& byGroup = to->second.groupEntries;

    // Both lists from their latest entry back, merged so that the later entry comes first.
    auto nextByProperty = byProperty.rbegin();
    auto nextByGroup = byGroup.rbegin();
    while (nextByProperty != byProperty.rend() || nextByGroup != byGroup.rend()) {
        if (nextByProperty != byProperty.rend() && (nextByGroup == byGroup.rend() || *nextByProperty > *nextByGroup)) {
            const Entry& entry = entries[*nextByProperty];
            names.push_back(Name{entry.group, entry.property, *nextByProperty++});
            continue;
        }
        // A property entry for the earlier property of this group says where it went instead.
        const Entry& entry = entries[*nextByGroup];
        if (!HasPropertyEntry(UnitsOf(entry.group), UnitsOf(property)))
            names.push_back(Name{entry.group, property, *nextByGroup});
        ++nextByGroup;
    }
    return names;
}

std::optional<std::size_t> RenameTable::RenamingEntry(std::u16string_view group, std::u16string_view property) const
{
    const auto from = fromGroups.find(group);
    if (from == fromGroups.end())
        return std::nullopt;
    const auto byProperty = from->second.propertyEntries.find(property);
    return byProperty != from->second.propertyEntries.end() ? byProperty->second : from->second.groupEntry;
}

bool RenameTable::RenamesFromGroup(std::u16string_view group) const
{
    return fromGroups.find(group) != fromGroups.end();
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
