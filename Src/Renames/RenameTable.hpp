// The rename table that travels with a configuration: which group and property names of an earlier
// configuration a newer one gives other names, so that saved values and expression lists follow
// them (docs/rename-table.md).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Common/SystemFiles.hpp"
#include "GSRoot/GSRoot.hpp"

namespace Quillmere {

// The entries of a table, indexed as they are added: building costs O(entries) and each look-up
// O(1) plus the names it answers (and, for EarlierNames, the group entries that a property entry
// overrides for the property asked for). Rules of every look-up: names compare exactly (units of the host
// text), a property entry wins over its group's entry for the same earlier property, a later entry
// wins over an earlier one, and renames are never chained.
class RenameTable {
public:
    struct Entry {
        bool isGroup = false;
        GS::UniString group;     // the earlier group ("from" of a group entry, "group" of a property entry)
        GS::UniString property;  // the earlier property ("from" of a property entry)
        GS::UniString newGroup;  // "to" of a group entry; "toGroup", or else "group", of a property entry
        GS::UniString newProperty;
        std::size_t number = 0;  // counted from 1 among the root's elements, as report lines count
    };

    bool IsEmpty() const noexcept { return entries.empty(); }
    const std::vector<Entry>& Entries() const noexcept { return entries; }

    // Adds an entry after the others: a later entry wins over an earlier one. Throws
    // std::length_error beyond 2^32 - 2 entries.
    void Add(Entry entry);

    // A name and the entry (index into Entries()) that gives it. `group` and `property` refer to
    // the table's entries or, where the entry keeps the property's name, to the caller's argument:
    // they are valid while the argument lives and no entry is added.
    struct Name {
        const GS::UniString& group;
        const GS::UniString& property;
        std::size_t entry;
    };

    // The earlier names of the definition `property` of group `group`, in the order to try: the
    // later entry first. A group entry A to `group` gives (A, `property`) only when the table has
    // no property entry for (A, `property`). The same name comes twice when two entries give it.
    std::vector<Name> EarlierNames(const GS::UniString& group, const GS::UniString& property) const;

    // What the earlier name (`group`, `property`) is called now: the latest property entry for it
    // or, without one, the latest group entry from `group`, which keeps the property's name.
    // Nothing when no entry names it.
    std::optional<Name> RenamedName(const GS::UniString& group, const GS::UniString& property) const;

    // Rewrites, in `expression`, each property reference "{Property:GROUP/NAME}" whose (GROUP, NAME)
    // the table renames (RenamedName) into "{Property:NEWGROUP/NEWNAME}"; everything else stays as
    // it is, each reference is rewritten once (not chained), and the text is scanned once, from the
    // start. As names may hold "/" and "}", a reference runs from "{Property:" to some "}" before
    // the next "{Property:" and is split at some "/": of the splits that the table renames, one
    // that a property entry names wins over one that only a group entry renames, and among those
    // the nearest "}" and then the first "/"; a reference without such a split stays as it is.
    // Answers whether the text changed.
    bool RewriteReferences(GS::UniString& expression) const;

private:
    static constexpr std::uint32_t None = 0xFFFFFFFFu;

    // An open-addressing hash index from a key to the latest entry with that key. Keys are not
    // stored: a slot keeps the key's hash and the entry, and the caller says whether an entry
    // has the key it looks for.
    class KeyIndex {
    public:
        template <typename HasKey>
        std::uint32_t Find(std::uint64_t hash, HasKey hasKey) const;
        // Grows the index, if need be, so that the next Put allocates nothing.
        void MakeRoomForOne();
        // Makes `entry` the latest with its key; answers the one that was (None when none).
        template <typename HasKey>
        std::uint32_t Put(std::uint64_t hash, std::uint32_t entry, HasKey hasKey);

    private:
        struct Slot {
            std::uint64_t hash = 0;
            std::uint32_t entry = None;
        };
        void Grow();

        std::vector<Slot> slots;  // a power of two of them, at most half used
        std::size_t used = 0;
    };

    // Per entry: the hash of its earlier group and the entries before it with the same key.
    struct Links {
        std::uint64_t groupHash = 0;
        std::uint32_t previousByEarlier = None;
        std::uint32_t previousByNew = None;
    };

    // A property reference found in an expression: where its "/" and "}" are, and the entry that
    // renames it.
    struct Reference {
        std::size_t slash;
        std::size_t brace;
        std::uint32_t entry;
    };

    std::uint32_t Renaming(std::u16string_view group, std::uint64_t groupHash, std::u16string_view property,
                           std::uint64_t propertyHash) const;
    std::optional<Reference> FindReference(std::u16string_view text, std::size_t begin, std::size_t end) const;

    std::vector<Entry> entries;
    std::vector<Links> links;
    KeyIndex groupsByEarlier;      // group entries by earlier group
    KeyIndex groupsByNew;          // group entries by new group
    KeyIndex propertiesByEarlier;  // property entries by earlier (group, property)
    KeyIndex propertiesByNew;      // property entries by new (group, property)
    KeyIndex earlierGroups;        // every entry by earlier group: whether the table renames from a group
};

// Something in a rename table's file that the table does without.
struct RenameTableProblem {
    enum class Kind {
        Unreadable,          // the file cannot be read: `error`; no table
        NotWellFormed,       // not well-formed XML: `detail` (the reason) at `byte`; no table
        UnsupportedEntity,   // uses the entity `detail` (its name) at `byte`, which is not expanded; no table
        NoRenamesRoot,       // the root element is not "renames"; no table
        MissingAttribute,    // entry `entry` (element `element`) lacks attribute `detail`; skipped
        UnknownEntry,        // entry `entry` (element `element`) is neither "group" nor "property"; skipped
        DuplicateAttribute,  // entry `entry` (element `element`) has attribute `detail` twice; skipped
    };
    explicit RenameTableProblem(Kind kind) : kind(kind) {}

    // Whether the problem leaves the table empty (the first four kinds); such a problem comes alone.
    bool LeavesNoTable() const noexcept { return kind <= Kind::NoRenamesRoot; }

    Kind kind;
    SystemError error = 0;
    std::size_t byte = 0;
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

// Parses the text of a rename table, UTF-8. It must be well-formed XML 1.0 with one root element
// "renames" and no entity other than XML's five and character references; else the reading has
// one problem of a kind that leaves no table. Each entry of the root that cannot be used is
// skipped with one problem; the others make the table. docs/rename-table.md lists what the
// reading checks and what it does not.
RenameTableReading ParseRenameTable(std::string text);

// Reads the table at `path`: an empty table without problems when nothing is there; a file that
// cannot be read (a folder, no access, a link that leads nowhere or in a loop) is Unreadable.
RenameTableReading ReadRenameTable(const SystemPath& path);

}  // namespace Quillmere
