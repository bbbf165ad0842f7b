// Which owned properties each element had when the run's backup was made, whether or not it held a
// value for them: what an earlier run's value must not be brought back over.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Api/Api.hpp"
#include "Common/GuidHash.hpp"

namespace Quillmere {

class DefinedNames {
public:
    // The number of a (group, property) pair (8-bit forms), given the first time it is seen.
    UInt32 NameNumber(std::string_view group, std::string_view property);
    std::optional<UInt32> FindNameNumber(std::string_view group, std::string_view property) const;

    // Records the element with the numbers of the owned properties it had, and of those it held a
    // value of (in any order).
    void AddElement(const API_Guid& element, std::vector<UInt32>& names, std::vector<UInt32>& withValues);

    // Whether the element was in the project when the backup was made.
    bool HasElement(const API_Guid& element) const { return elementSets.count(element) != 0; }
    // Whether the element had the owned property `group`/`property` then.
    bool Had(const API_Guid& element, std::string_view group, std::string_view property) const;
    // Whether it held a value of it then.
    bool HadValue(const API_Guid& element, std::string_view group, std::string_view property) const;

private:
    struct SetHash {
        std::size_t operator()(const std::vector<UInt32>& names) const noexcept;
    };

    std::unordered_map<std::string, UInt32> numbers;  // group, NUL, property
    std::vector<std::vector<UInt32>> sets;            // each sorted; elements share equal sets
    std::unordered_map<std::vector<UInt32>, UInt32, SetHash> setIndex;
    UInt32 SetOf(std::vector<UInt32>& names);
    bool InSet(std::optional<UInt32> set, std::string_view group, std::string_view property) const;

    struct ElementSets {
        UInt32 defined;
        UInt32 valued;
    };
    std::unordered_map<API_Guid, ElementSets, GuidHash> elementSets;
    std::string scratch;
};

}  // namespace Quillmere
