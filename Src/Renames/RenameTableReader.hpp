// Reading a rename table's file with expat into the table and what the table does without
// (docs/rename-table.md).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Common/FileProblem.hpp"
#include "Renames/RenameTable.hpp"

namespace Quillmere {

// An entry of the table that cannot be used: it is skipped.
struct SkippedEntry {
    std::size_t number = 0;  // counted from 1 among the root's elements
    std::string element;     // its element's name
    std::string missing;     // the attribute it lacks; empty when it is neither a group nor a property
};

// A table as read: nothing in it, and `problem` set, when the file could not be used at all;
// otherwise the entries that could be used, and those skipped.
struct RenameTableReading {
    RenameTable table;
    std::optional<FileProblem> problem;
    std::vector<SkippedEntry> skipped;
};

// Where the table beside the configuration file `configuration` is looked for:
// "NAME.renames.xml" for "NAME.xml".
SystemPath RenameTablePathBeside(const SystemPath& configuration);

// Parses the text of a rename table, as UTF-8 whatever its declaration says. It must be
// well-formed XML 1.0, as expat reads it, with one root element "renames", no document type
// declaration and no entity other than XML's five and character references; else the reading's
// problem tells the first fault in the text (expat's reason, or the declaration or entity by its
// name, with line and byte; a root of another name is told only for a text that is otherwise fine),
// and it has no table. Each entry of the root that cannot be used is skipped; the others make the
// table. Throws std::bad_alloc when memory runs out,
// within expat too.
RenameTableReading ParseRenameTable(std::string_view text);

// Reads the table at `path`: an empty table without a problem when nothing is there; a file that
// cannot be read (a folder, no access, a link that leads nowhere or in a loop) is a problem with
// the system's error. The problem names `path`.
RenameTableReading ReadRenameTable(const SystemPath& path);

}  // namespace Quillmere
