// The rename table proposed from one edition of a configuration to a newer one, and the changes
// between them: which groups and properties the newer edition added, removed, retyped, moved and
// renamed. docs/upgrading.md describes the rules for users.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "Edition.hpp"

namespace RenameProposal {

// A property of an edition: the index of its group and its index in the group.
struct PropertyAt {
    std::uint32_t group = 0;
    std::uint32_t property = 0;

    friend bool operator==(const PropertyAt&, const PropertyAt&) = default;
};

// A group of the older edition that is gone, whose properties mostly reappear in `newer`.
struct GroupEntry {
    std::uint32_t older = 0;
    std::uint32_t newer = 0;
    std::size_t carried = 0;  // the older group's property names that `newer` has and did not have before
};

// An older owned property that is gone and is `newer` now: renamed in its own group (or the group
// its group became), or moved to another group.
struct PropertyEntry {
    PropertyAt older;
    PropertyAt newer;
    bool moved = false;
};

// Where an older property could go.
struct Candidate {
    PropertyAt newer;
    bool moved = false;          // to a group other than its own (or the one its group became)
    bool continuesOlder = false;  // the newer property continues an older property of its own name
};

// An older owned property with candidates but no entry: the user chooses, from comments.
struct PropertyChoice {
    enum class Reason {
        SeveralPlaces,   // more than one candidate
        ContinuedTarget, // the one candidate continues an older property of its own name
        SharedTarget,    // the one candidate is that of other older properties too (`rivals`)
        SimilarName,     // no rule links the names: a newer name of the same group and type that starts alike
    };
    PropertyAt older;
    Reason reason = Reason::SeveralPlaces;
    std::vector<Candidate> candidates;  // in the newer edition's order
    std::vector<PropertyAt> rivals;     // SharedTarget: the other older properties, in order
};

// An older owned group that is gone, whose properties mostly reappear in more than one group.
struct GroupChoice {
    std::uint32_t older = 0;
    std::vector<GroupEntry> candidates;  // in the newer edition's order
};

// A property kept by name (in its own group, or the group its group became) with another type or measure.
struct Retype {
    PropertyAt older;
    PropertyAt newer;
};

// A property the newer edition added, and, where its group holds it, a property of the same name
// but for spelling (NameFolding.hpp) that continues an older one beside it.
struct AddedProperty {
    PropertyAt newer;
    std::optional<std::uint32_t> otherSpelling;  // index in the same group
};

// Everything in the order of the edition the items come from.
struct Proposal {
    // Per older group, the newer group it continues in: the group of its name, else the target of
    // its group entry; nothing for a group that is gone without one.
    std::vector<std::optional<std::uint32_t>> continuations;

    std::vector<GroupEntry> groupEntries;
    std::vector<PropertyEntry> propertyEntries;
    std::vector<GroupChoice> groupChoices;
    std::vector<PropertyChoice> propertyChoices;

    std::vector<std::uint32_t> groupsAdded;      // newer groups no older group continues in
    std::vector<std::uint32_t> groupsRemoved;    // older groups gone without a group entry
    std::vector<AddedProperty> propertiesAdded;  // newer properties that continue none and no entry leads to
    std::vector<PropertyAt> propertiesRemoved;   // older properties gone without an entry or choice
    std::vector<Retype> retyped;
};

// Whether a group is the add-on's ("SGPset_" anywhere in its name, letter case counts) and so
// whether the import saves its values; only such groups are the source of entries.
bool IsOwnedGroup(std::string_view name);
// Whether a group is a standard set ("Pset_" at the start): like owned groups, it may receive values.
bool IsStandardSet(std::string_view name);

// Proposes the rename table from `older` to `newer`:
//  - a group entry for an owned group that is gone when more than half of its property names
//    reappear, new to it, in one owned group or standard set (in several: a group choice);
//  - for each property of an owned group that is gone from its group (or the group its group
//    became): a rename to a property of that group whose name equals it but for spelling
//    (NameFolding.hpp); failing that, a move to a property of its name (failing that, of its name
//    but for spelling) in another owned group or standard set that applies to one of its items;
//  - an entry only where there is one candidate, new in the newer edition, and no other older
//    property has it as its one candidate; else a choice, as does a newer name of the same group
//    and type that starts like the older one (SimilarName).
// Never an entry for a name the newer edition still has. The same editions give the same proposal.
Proposal ProposeRenames(const Edition& older, const Edition& newer);

}  // namespace RenameProposal
