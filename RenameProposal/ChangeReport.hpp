// The changes between two editions as a report for people: what the newer edition added, removed,
// retyped, moved and renamed, with counts, and what the proposed table does about it.
#pragma once

#include <string>

#include "Proposal.hpp"
#include "ProposalWording.hpp"

namespace RenameProposal {

// The report's text, UTF-8 with line feeds: the editions, a line of counts for groups and one for
// properties, then a section per kind of change that has any (groups renamed, to choose, added,
// removed; properties renamed, moved, retyped, to choose, removed, added), one line each in the
// order of the edition it comes from, and a last line counting the table's entries.
std::string ChangeReportText(const Proposal& proposal, const EditionPair& editions);

}  // namespace RenameProposal
