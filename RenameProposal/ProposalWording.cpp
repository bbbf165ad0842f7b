#include "ProposalWording.hpp"

#include <algorithm>

#include "Restore/Convertibility.hpp"

namespace RenameProposal {

std::string EditionTitle(const std::string& file, const Edition& edition)
{
    std::string title = "\"" + file + "\"";
    for (std::size_t index = 0; index < edition.systems.size(); ++index)
        title += (index == 0 ? " (" : ", ") + edition.systems[index];
    return edition.systems.empty() ? title : title + ")";
}

std::string PropertyPath(const Edition& edition, PropertyAt at)
{
    const EditionGroup& group = edition.groups[at.group];
    return group.name + " / " + group.properties[at.property].name;
}

std::string TypeText(const EditionProperty& property)
{
    std::string text = ValueTypeName(property.valueType);
    return property.measure == 1 ? text : text + " (" + MeasureName(property.measure) + ")";
}

std::string ConversionText(const EditionProperty& from, const EditionProperty& to, const char* separator)
{
    const std::string types = from.valueType == to.valueType && from.measure == to.measure
                                  ? TypeText(from) + " as before"
                                  : TypeText(from) + " to " + TypeText(to);
    switch (Quillmere::ConvertibilityBetween(from.valueType, to.valueType)) {
        case Quillmere::Convertibility::Every: return types + separator + "every value converts";
        case Quillmere::Convertibility::Some:
            return types + separator + "only values that convert exactly come over, the others are kept and reported";
        case Quillmere::Convertibility::None: break;
    }
    return types + separator + "no value converts, the values are kept and reported";
}

std::string ItemsText(const Edition& edition, const std::vector<std::uint32_t>& items)
{
    constexpr std::size_t Shown = 4;
    std::string text;
    for (std::size_t index = 0; index < std::min(items.size(), Shown); ++index)
        text += (index == 0 ? "" : ", ") + edition.items[items[index]].id;
    if (items.size() > Shown)
        text += " and " + std::to_string(items.size() - Shown) + " more";
    return text.empty() ? "no item" : text;
}

std::vector<std::uint32_t> SharedItems(const EditionPair& editions, PropertyAt older, PropertyAt newer)
{
    std::vector<std::uint32_t> mapped;
    for (const std::uint32_t item : editions.older.groups[older.group].properties[older.property].items)
        mapped.push_back(SameItemIn(editions.newer, editions.older.items[item]));
    const std::vector<std::uint32_t>& theirs = editions.newer.groups[newer.group].properties[newer.property].items;
    std::vector<std::uint32_t> same, related;
    for (const std::uint32_t item : theirs) {
        if (std::find(mapped.begin(), mapped.end(), item) != mapped.end())
            same.push_back(item);
        else if (std::any_of(mapped.begin(), mapped.end(), [&](std::uint32_t before) {
                     return before != EditionItem::NoParent && ItemsRelated(editions.newer, before, item);
                 }))
            related.push_back(item);
    }
    return same.empty() ? related : same;
}

std::optional<std::uint32_t> ContinuationOf(const Proposal& proposal, std::uint32_t group)
{
    return group < proposal.continuations.size() ? proposal.continuations[group] : std::nullopt;
}

std::string Counted(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace RenameProposal
