#include "DefinedNames.hpp"

#include <algorithm>

namespace Quillmere {

namespace {

void JoinName(std::string& into, std::string_view group, std::string_view property)
{
    into.assign(group);
    into.push_back('\0');
    into.append(property);
}

}  // namespace

std::size_t DefinedNames::SetHash::operator()(const std::vector<UInt32>& names) const noexcept
{
    std::size_t hash = names.size();
    for (const UInt32 name : names)
        hash = hash * 0x100000001B3ull ^ name;
    return hash;
}

UInt32 DefinedNames::NameNumber(std::string_view group, std::string_view property)
{
    JoinName(scratch, group, property);
    return numbers.emplace(scratch, static_cast<UInt32>(numbers.size())).first->second;
}

std::optional<UInt32> DefinedNames::FindNameNumber(std::string_view group, std::string_view property) const
{
    std::string joined;
    JoinName(joined, group, property);
    const auto found = numbers.find(joined);
    if (found == numbers.end())
        return std::nullopt;
    return found->second;
}

UInt32 DefinedNames::SetOf(std::vector<UInt32>& names)
{
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    auto [set, added] = setIndex.try_emplace(names, static_cast<UInt32>(sets.size()));
    if (added)
        sets.push_back(names);
    return set->second;
}

void DefinedNames::AddElement(const API_Guid& element, std::vector<UInt32>& names, std::vector<UInt32>& withValues)
{
    elementSets[element] = ElementSets{SetOf(names), SetOf(withValues)};
}

bool DefinedNames::InSet(std::optional<UInt32> set, std::string_view group, std::string_view property) const
{
    if (!set)
        return false;
    const std::optional<UInt32> number = FindNameNumber(group, property);
    return number && std::binary_search(sets[*set].begin(), sets[*set].end(), *number);
}

bool DefinedNames::Had(const API_Guid& element, std::string_view group, std::string_view property) const
{
    const auto found = elementSets.find(element);
    return InSet(found == elementSets.end() ? std::nullopt : std::optional<UInt32>(found->second.defined), group, property);
}

bool DefinedNames::HadValue(const API_Guid& element, std::string_view group, std::string_view property) const
{
    const auto found = elementSets.find(element);
    return InSet(found == elementSets.end() ? std::nullopt : std::optional<UInt32>(found->second.valued), group, property);
}

}  // namespace Quillmere
