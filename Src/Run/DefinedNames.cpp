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

void DefinedNames::AddElement(const API_Guid& element, std::vector<UInt32>& names)
{
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    auto [set, added] = setIndex.try_emplace(names, static_cast<UInt32>(sets.size()));
    if (added)
        sets.push_back(names);
    elementSets[element] = set->second;
}

bool DefinedNames::Had(const API_Guid& element, std::string_view group, std::string_view property) const
{
    const auto found = elementSets.find(element);
    if (found == elementSets.end())
        return false;
    const std::optional<UInt32> number = FindNameNumber(group, property);
    if (!number)
        return false;
    const std::vector<UInt32>& set = sets[found->second];
    return std::binary_search(set.begin(), set.end(), *number);
}

}  // namespace Quillmere
