// The rename table that travels with a configuration: which group and property names of an earlier
// configuration a newer one gives other names, so that saved values and expression lists follow
// them (docs/rename-table.md).
#pragma once

#include <vector>

#include "Common/SystemFiles.hpp"
#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

class RenameTable {
public:
    // The table beside the configuration file `configuration` ("NAME.renames.xml" for "NAME.xml");
    // an empty table when there is none. A table that cannot be read or is not well-formed is
    // reported as one line and gives an empty table; an entry that lacks an attribute, or is not a
    // group or property entry, is reported as one line and skipped.
    static RenameTable ReadBeside(const SystemPath& configuration);

    // Where the table beside `configuration` is looked for.
    static SystemPath PathBeside(const SystemPath& configuration);

    bool IsEmpty() const noexcept { return entries.empty(); }

    // The earlier names of the definition `property` of group `group`, in the order to try: the
    // later entry of the table first. A property entry wins over its group's entry for the same
    // earlier property. Names compare exactly; renames are not chained.
    struct Name {
        const GS::UniString& group;
        const GS::UniString& property;
    };
    std::vector<Name> EarlierNames(const GS::UniString& group, const GS::UniString& property) const;

private:
    struct Entry {
        bool isGroup = false;
        GS::UniString group;     // the earlier group ("from" of a group entry, "group" of a property entry)
        GS::UniString property;  // the earlier property ("from" of a property entry)
        GS::UniString newGroup;  // "to" of a group entry; "toGroup", or else "group", of a property entry
        GS::UniString newProperty;
    };
    bool HasPropertyEntry(const GS::UniString& group, const GS::UniString& property) const;

    std::vector<Entry> entries;
};

// The rename table of the running command, a part of the module's state (ModuleState.hpp): read
// when the configuration is, used by the expression import and the value restore, emptied when the
// command ends.
extern RenameTable& CommandRenames;

}  // namespace Quillmere
