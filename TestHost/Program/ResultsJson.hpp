// The results of a quillmere-host run as JSON, for scripts and tests (format in
// docs/quillmere-host.md).
#pragma once

#include <string>

#include "RunResults.hpp"

namespace HostProgram {

// The JSON text of `results`: one object, two-space indentation, members in the documented order.
std::string ResultsToJson(const RunResults& results);

}  // namespace HostProgram
