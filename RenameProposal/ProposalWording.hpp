// The words that the rename table's comments and the change report share: names, types, how values
// convert, the items properties apply to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Edition.hpp"
#include "Proposal.hpp"

namespace RenameProposal {

// The two editions of a proposal and how the texts call them (the configurations' file names).
struct EditionPair {
    const Edition& older;
    const Edition& newer;
    std::string olderFile;
    std::string newerFile;
};

// "FILE" (SYSTEM VERSION, ...) for the edition, as the texts' first lines name it.
std::string EditionTitle(const std::string& file, const Edition& edition);

// "GROUP / NAME".
std::string PropertyPath(const Edition& edition, PropertyAt at);

// The property's type as the configuration writes it, with its measure where it has one:
// "String", "Real (Length)".
std::string TypeText(const EditionProperty& property);

// How values of `from` come back into `to` by the restore's conversions (ConvertibilityBetween),
// the types and what converts joined by `separator`: "Boolean as before: every value converts",
// "String to Real: only values that convert exactly come over, the others are kept and reported".
std::string ConversionText(const EditionProperty& from, const EditionProperty& to, const char* separator = ": ");

// The item ids, at most four and then how many more: "IfcWall, IfcWall.PARTITIONING".
std::string ItemsText(const Edition& edition, const std::vector<std::uint32_t>& items);

// The items of the newer property that the older one applied to too, as newer item indexes; where
// there are none, those that hold its items or that its items hold.
std::vector<std::uint32_t> SharedItems(const EditionPair& editions, PropertyAt older, PropertyAt newer);

// The newer group an older group continues in (Proposal::continuations).
std::optional<std::uint32_t> ContinuationOf(const Proposal& proposal, std::uint32_t group);

// "N thing" or "N things" ("1 group entry", "2 property entries").
std::string Counted(std::size_t count, const char* one, const char* many);

}  // namespace RenameProposal
