// The test host's project file: an XML form of everything the project model holds, read with
// pugixml and written deterministically (the same project always gives the same bytes). The
// format is described in docs/project-format.md.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "Project.hpp"

namespace TestHost {

// The outcome of reading a project: `ok`, or a message and the line (1-based; 0 when the problem
// is not tied to a line, such as a file that cannot be opened).
struct ProjectReadResult {
    bool ok = true;
    std::size_t line = 0;
    std::string message;
};

// Receives a project file's text piece by piece, in order.
using ProjectTextSink = std::function<void(std::string_view)>;

// The project file text of `project`.
std::string WriteProjectXml(const Project& project);
// The same text handed to `sink` in pieces of about a MiB, so that a large project's text is never
// whole in memory.
void WriteProjectXml(const Project& project, const ProjectTextSink& sink);
// Reads a project file text into `project`, which is replaced only when the whole text is valid.
// Messages read "line 12: unknown value type "Text"" and the like.
ProjectReadResult ReadProjectXml(std::string_view text, Project& project);

// Writes the project file; false with a message naming the path and the system's reason on failure.
bool SaveProjectFile(const Project& project, const std::string& path, std::string& error);
// Reads a project file; messages start with the path ("model.xml:12: ...", or "cannot open ...").
ProjectReadResult LoadProjectFile(const std::string& path, Project& project);

}  // namespace TestHost
