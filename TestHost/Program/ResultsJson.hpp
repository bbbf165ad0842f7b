// The results of a quillmere-host run as JSON, for scripts and tests (format in
// docs/quillmere-host.md).
#pragma once

#include <string>

#include "RunResults.hpp"

namespace HostProgram {

// The JSON text of `results`: one object, two-space indentation, members in the documented order.
std::string ResultsToJson(const RunResults& results);

// Writes `text` to `path`; false with a message naming the path on failure.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace HostProgram
