// Names compared as people read them: two names that differ only in accents and other marks,
// letter case, blanks, "-" and "_" are taken for two spellings of one name.
#pragma once

#include <string>
#include <string_view>

namespace RenameProposal {

// The UTF-8 `name` with what the comparison sets aside taken out: blanks (space, tab, line ends,
// no-break and other Unicode spaces), "-", "_" and the Unicode hyphens and dashes (U+2010 to U+2015,
// U+2212) are dropped, and so are combining marks; letters of the Latin, Greek and Cyrillic blocks
// become their lower-case forms without marks (NameFoldingTable.inc: "Façade" and "FACADE" both
// give "facade", "Straße" gives "strasse"). Every other character stays as it is, and so do bytes
// that are not UTF-8. Two names are spellings of one name when their folded names are equal and
// not empty.
std::string FoldedName(std::string_view name);

}  // namespace RenameProposal
