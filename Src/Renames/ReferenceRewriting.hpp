// The property references in expressions, rewritten by a rename table (docs/rename-table.md).
#pragma once

#include "GSRoot/GSRoot.hpp"
#include "Renames/RenameTable.hpp"

namespace Quillmere {

// Rewrites, in `expression`, each property reference "{Property:GROUP/NAME}" whose (GROUP, NAME)
// `table` renames (RenamedName) into "{Property:NEWGROUP/NEWNAME}"; everything else stays as it
// is, each reference is rewritten once (not chained), and the text is scanned once, from the
// start. As names may hold "/" and "}", a reference runs from "{Property:" to some "}" before the
// next "{Property:" and is split at some "/": of the splits that the table renames, one that a
// property entry names wins over one that only a group entry renames, and among those the nearest
// "}" and then the first "/"; a reference without such a split stays as it is. Answers whether
// the text changed.
bool RewriteReferences(const RenameTable& table, GS::UniString& expression);

}  // namespace Quillmere
