// The proposal written as a rename table (docs/rename-table.md) for the user to review.
#pragma once

#include <string>

#include "Proposal.hpp"
#include "ProposalWording.hpp"

namespace RenameProposal {

// The table's text, UTF-8 with line feeds: the XML declaration, a comment naming the editions, and
// in the root "renames" each entry after a comment that says why it is proposed and how its values
// convert. Group entries come first, then property entries and choices in the older edition's
// order. A choice is a comment that says why, then each candidate as a comment that says where it
// leads and the candidate's entry as a comment of its own line, so that taking the entry out of its
// comment makes the choice. The text reads back through the module's reader as the entries alone.
std::string RenameTableText(const Proposal& proposal, const EditionPair& editions);

}  // namespace RenameProposal
