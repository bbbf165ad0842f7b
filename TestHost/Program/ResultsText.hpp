// The printed end of a quillmere-host run: the table of owned values before and after the
// command, the expressions re-applied, the undo, the service calls and the one-line summary.
#pragma once

#include <ostream>
#include <string>

#include "RunResults.hpp"

namespace HostProgram {

// Prints everything after the command's own lines, ending with the summary line.
void PrintResults(const RunResults& results, std::ostream& out);

// "52 values kept, 0 changed, 6 lost; 3 expression lists re-applied; 0 report lines"
std::string SummaryLine(const RunResults& results);

}  // namespace HostProgram
