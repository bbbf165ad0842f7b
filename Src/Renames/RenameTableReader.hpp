// Reading a rename table's file with expat into the table and what the table does without
// (docs/rename-table.md).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Common/SystemFiles.hpp"
#include "Renames/RenameTable.hpp"

namespace Quillmere {

// Something in a rename table's file that the table does without.
struct RenameTableProblem {
    enum class Kind {
        Unreadable,         // the file cannot be read: `error`; no table
        NotWellFormed,      // not well-formed XML: `detail` (expat's reason) at `line`, `byte`; no table
        DocumentType,       // a document type declaration, named `detail`, at `line`, `byte`; no table
        UnsupportedEntity,  // the entity `detail` (its name) at `line`, `byte`, which is not expanded; no table
        NoRenamesRoot,      // the root element is not "renames"; no table
        UnknownEntry,       // entry `entry` (element `element`) is neither "group" nor "property"; skipped
        MissingAttribute,   // entry `entry` (element `element`) lacks attribute `detail`; skipped
    };
    explicit RenameTableProblem(Kind kind) : kind(kind) {}

    // Whether the problem leaves the table empty (the first five kinds); such a problem comes alone.
    bool LeavesNoTable() const noexcept { return kind <= Kind::NoRenamesRoot; }

    Kind kind;
    SystemError error = 0;
    std::size_t line = 0;  // counted from 1
    std::size_t byte = 0;  // counted from 0
    std::size_t entry = 0;  // counted from 1 among the root's elements
    std::string element;
    std::string detail;
};

// A table as read, with what it does without.
struct RenameTableReading {
    RenameTable table;
    std::vector<RenameTableProblem> problems;
};

// Where the table beside the configuration file `configuration` is looked for:
// "NAME.renames.xml" for "NAME.xml".
SystemPath RenameTablePathBeside(const SystemPath& configuration);

// Parses the text of a rename table, as UTF-8 whatever its declaration says. It must be
// well-formed XML 1.0, as expat reads it, with one root element "renames", no document type
// declaration and no entity other than XML's five and character references; else the reading has
// one problem of a kind that leaves no table, the first one in the text (a root of another name
// is told only for a text that is otherwise fine). Each entry of the root that cannot be used is
// skipped with one problem; the others make the table. Throws std::bad_alloc when memory runs out,
// within expat too.
RenameTableReading ParseRenameTable(std::string_view text);

// Reads the table at `path`: an empty table without problems when nothing is there; a file that
// cannot be read (a folder, no access, a link that leads nowhere or in a loop) is Unreadable.
RenameTableReading ReadRenameTable(const SystemPath& path);

}  // namespace Quillmere
