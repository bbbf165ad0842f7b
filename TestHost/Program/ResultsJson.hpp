// The results of a quillmere-host run as JSON, for scripts and tests (format in
// docs/quillmere-host.md).
#pragma once

#include <string>

#include "RunResults.hpp"
#include "SystemCalls.hpp"

namespace HostProgram {

// Writes the JSON text of `results` to `sink` in pieces: one object, two-space indentation,
// members in the documented order.
void WriteResultsJson(const RunResults& results, const TextSink& sink);

}  // namespace HostProgram
