// The rename table that travels with a configuration: which group and property names of an earlier
// configuration a newer one gives other names, so that saved values and expression lists follow
// them (docs/rename-table.md).
#pragma once

#include <string>
#include <vector>

#include "Common/SystemFiles.hpp"
#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

class RenameTable {
public:
    struct Entry {
        bool isGroup = false;
        GS::UniString group;     // the earlier group ("from" of a group entry, "group" of a property entry)
        GS::UniString property;  // the earlier property ("from" of a property entry)
        GS::UniString newGroup;  // "to" of a group entry; "toGroup", or else "group", of a property entry
        GS::UniString newProperty;
    };

    bool IsEmpty() const noexcept { return entries.empty(); }

    // Adds an entry after the others: a later entry wins over an earlier one.
    void Add(Entry entry) { entries.push_back(std::move(entry)); }

    // The earlier names of the definition `property` of group `group`, in the order to try: the
    // later entry of the table first. A property entry wins over its group's entry for the same
    // earlier property. Names compare exactly; renames are not chained.
    struct Name {
        const GS::UniString& group;
        const GS::UniString& property;
    };
    std::vector<Name> EarlierNames(const GS::UniString& group, const GS::UniString& property) const;

private:
    bool HasPropertyEntry(const GS::UniString& group, const GS::UniString& property) const;

    std::vector<Entry> entries;
};

// Something in a rename table's file that the table does without.
struct RenameTableProblem {
    enum class Kind {
        Unreadable,        // the file cannot be read: `error`; no table
        NotWellFormed,     // not well-formed XML: `detail` (the parser's reason) at `byte`; no table
        NoRenamesRoot,     // the root element is not "renames"; no table
        MissingAttribute,  // entry `entry` (element `element`) lacks attribute `detail`; skipped
        UnknownEntry,      // entry `entry` (element `element`) is neither "group" nor "property"; skipped
    };
    explicit RenameTableProblem(Kind kind) : kind(kind) {}

    Kind kind;
    SystemError error = 0;
    std::size_t byte = 0;
    std::size_t entry = 0;  // counted from 1 among the root's elements
    std::string element;
    std::string detail;
};

// A table as read, with what it does without; a problem of the first three kinds leaves it empty.
struct RenameTableReading {
    RenameTable table;
    std::vector<RenameTableProblem> problems;
};

// Where the table beside the configuration file `configuration` is looked for:
// "NAME.renames.xml" for "NAME.xml".
SystemPath RenameTablePathBeside(const SystemPath& configuration);

// Parses the text of a rename table.
RenameTableReading ParseRenameTable(std::string text);

// Reads the table at `path`; an empty table without problems when there is no file there.
RenameTableReading ReadRenameTable(const SystemPath& path);

}  // namespace Quillmere
