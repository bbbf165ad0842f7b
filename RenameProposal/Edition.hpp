// An IFC-SG configuration as the rename proposal sees it: its classification items and its property
// groups with their properties' names, types, measures and items, read from the host's import
// format (docs/configuration-format.md) with nothing of the host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace RenameProposal {

// A classification item: the id that "appliesTo" names, in the system that holds it.
struct EditionItem {
    std::string system;
    std::string id;
    std::uint32_t parent = NoParent;  // index into Edition::items of the item that holds it

    static constexpr std::uint32_t NoParent = 0xFFFFFFFFu;
};

struct EditionProperty {
    std::string name;
    std::int32_t valueType = 0;  // value type code (Src/Restore/Convertibility.hpp), 0 to 4
    std::int32_t measure = 1;    // measure code, 1 (Default) to 5 (Angle)
    std::vector<std::uint32_t> items;  // indexes into Edition::items, ascending, each once
};

struct EditionGroup {
    std::string name;
    std::vector<EditionProperty> properties;  // in the file's order
};

struct Edition {
    std::vector<std::string> systems;  // "NAME VERSION" (or "NAME") of each classification system
    std::vector<EditionItem> items;    // the items of every system, depth first
    std::vector<EditionGroup> groups;  // in the file's order
};

// An edition read from a configuration's text, or why it could not be.
struct EditionReading {
    Edition edition;
    std::string problem;  // empty when the text was read; else one line, "line N: ..." where it can say
};

// Reads the UTF-8 text of a configuration. It is refused (a problem, no edition) where the host's
// import would refuse it: XML that is not well-formed, a root other than "configuration", an
// element or text where the format has none, a required attribute missing or empty, an unknown
// type or measure, a default that does not fit its type, an item that "appliesTo" names but no
// system holds, a name or item id given twice; and also where XML 1.0 is stricter than the host's
// parser: bytes that are not UTF-8 or characters XML does not allow, written or referred to.
EditionReading ReadEdition(std::string_view text);

// Whether the items `a` and `b` of `edition` are one, or one holds the other at some depth
// (IfcWall and IfcWall.PARTITIONING): a property of one applies to elements of the same type.
bool ItemsRelated(const Edition& edition, std::uint32_t a, std::uint32_t b);

// The index in `edition` of the item with the system and id of `item`; EditionItem::NoParent when
// it has none.
std::uint32_t SameItemIn(const Edition& edition, const EditionItem& item);

// The names of value types and measures in the format ("Real", "Length"); "?" for a code outside it.
const char* ValueTypeName(std::int32_t valueType);
const char* MeasureName(std::int32_t measure);

}  // namespace RenameProposal
