#include "RenameTable.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "rapidxml.hpp"

#include "Common/ExactText.hpp"
#include "Common/XmlDocument.hpp"

namespace Quillmere {

// --- Look-ups -----------------------------------------------------------------------------------

namespace {

using Units = std::u16string_view;

Units UnitsOf(const GS::UniString& text)
{
    return Units(text.ToUStr(), text.GetLength());
}

// FNV-1a over UTF-16 units, one unit a step, so that a caller can hash a text as it scans it.
constexpr std::uint64_t HashStart = 14695981039346656037ull;

constexpr std::uint64_t HashStep(std::uint64_t hash, char16_t unit)
{
    return (hash ^ unit) * 1099511628211ull;
}

std::uint64_t HashUnits(Units units)
{
    std::uint64_t hash = HashStart;
    for (const char16_t unit : units)
        hash = HashStep(hash, unit);
    return hash;
}

// The hash of a (group, property) key from the hashes of its parts.
constexpr std::uint64_t HashPair(std::uint64_t group, std::uint64_t property)
{
    return (group * 0x9E3779B97F4A7C15ull) ^ property;
}

// The first slot to probe: the hash's bits mixed (FNV's low bits alone cluster) and masked.
std::size_t FirstSlot(std::uint64_t hash, std::size_t mask)
{
    hash ^= hash >> 30;
    hash *= 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 27;
    hash *= 0x94D049BB133111EBull;
    hash ^= hash >> 31;
    return static_cast<std::size_t>(hash) & mask;
}

}  // namespace

template <typename HasKey>
std::uint32_t RenameTable::KeyIndex::Find(std::uint64_t hash, HasKey hasKey) const
{
    if (slots.empty())
        return None;
    const std::size_t mask = slots.size() - 1;
    for (std::size_t at = FirstSlot(hash, mask); slots[at].entry != None; at = (at + 1) & mask)
        if (slots[at].hash == hash && hasKey(slots[at].entry))
            return slots[at].entry;
    return None;
}

void RenameTable::KeyIndex::MakeRoomForOne()
{
    if ((used + 1) * 2 > slots.size())
        Grow();
}

template <typename HasKey>
std::uint32_t RenameTable::KeyIndex::Put(std::uint64_t hash, std::uint32_t entry, HasKey hasKey)
{
    MakeRoomForOne();
    const std::size_t mask = slots.size() - 1;
    std::size_t at = FirstSlot(hash, mask);
    for (; slots[at].entry != None; at = (at + 1) & mask) {
        if (slots[at].hash == hash && hasKey(slots[at].entry)) {
            const std::uint32_t previous = slots[at].entry;
            slots[at].entry = entry;
            return previous;
        }
    }
    slots[at] = Slot{hash, entry};
    ++used;
    return None;
}

void RenameTable::KeyIndex::Grow()
{
    std::vector<Slot> grown(std::max<std::size_t>(16, slots.size() * 2));
    const std::size_t mask = grown.size() - 1;
    for (const Slot& slot : slots) {
        if (slot.entry == None)
            continue;
        std::size_t at = FirstSlot(slot.hash, mask);
        while (grown[at].entry != None)
            at = (at + 1) & mask;
        grown[at] = slot;
    }
    slots.swap(grown);
}

void RenameTable::Add(Entry entry)
{
    if (entries.size() >= None - 1)
        throw std::length_error("rename table: too many entries");
    const auto index = static_cast<std::uint32_t>(entries.size());
    const Units group = UnitsOf(entry.group);
    const std::uint64_t groupHash = HashUnits(group);
    const std::uint64_t newGroupHash = HashUnits(UnitsOf(entry.newGroup));
    const std::uint64_t earlierKey = entry.isGroup ? groupHash : HashPair(groupHash, HashUnits(UnitsOf(entry.property)));
    const std::uint64_t newKey = entry.isGroup ? newGroupHash : HashPair(newGroupHash, HashUnits(UnitsOf(entry.newProperty)));

    // Whatever can throw comes first, so that a failure leaves the table as it was: room in the
    // vectors, then in the indexes (growing one keeps what it finds).
    entries.reserve(entries.size() + 1);
    links.reserve(links.size() + 1);
    KeyIndex& byEarlier = entry.isGroup ? groupsByEarlier : propertiesByEarlier;
    KeyIndex& byNew = entry.isGroup ? groupsByNew : propertiesByNew;
    for (KeyIndex* keys : {&byEarlier, &byNew, &earlierGroups})
        keys->MakeRoomForOne();

    entries.push_back(std::move(entry));
    const Entry& added = entries.back();
    Links link;
    link.groupHash = groupHash;
    link.previousByEarlier = byEarlier.Put(earlierKey, index, [&](std::uint32_t other) {
        return UnitsOf(entries[other].group) == group &&
               (added.isGroup || UnitsOf(entries[other].property) == UnitsOf(added.property));
    });
    link.previousByNew = byNew.Put(newKey, index, [&](std::uint32_t other) {
        return UnitsOf(entries[other].newGroup) == UnitsOf(added.newGroup) &&
               (added.isGroup || UnitsOf(entries[other].newProperty) == UnitsOf(added.newProperty));
    });
    earlierGroups.Put(groupHash, index, [&](std::uint32_t other) { return UnitsOf(entries[other].group) == group; });
    links.push_back(link);
}

std::vector<RenameTable::Name> RenameTable::EarlierNames(const GS::UniString& group,
                                                         const GS::UniString& property) const
{
    std::vector<Name> names;
    if (entries.empty())
        return names;
    const Units groupUnits = UnitsOf(group);
    const Units propertyUnits = UnitsOf(property);
    const std::uint64_t groupHash = HashUnits(groupUnits);
    const std::uint64_t propertyHash = HashUnits(propertyUnits);

    // Two chains, each from its latest entry back: the property entries to (group, property) and
    // the group entries to group. Merged by entry index, the later entry comes first.
    std::uint32_t byProperty = propertiesByNew.Find(HashPair(groupHash, propertyHash), [&](std::uint32_t entry) {
        return UnitsOf(entries[entry].newGroup) == groupUnits && UnitsOf(entries[entry].newProperty) == propertyUnits;
    });
    std::uint32_t byGroup = groupsByNew.Find(
        groupHash, [&](std::uint32_t entry) { return UnitsOf(entries[entry].newGroup) == groupUnits; });
    while (byProperty != None || byGroup != None) {
        if (byProperty != None && (byGroup == None || byProperty > byGroup)) {
            const Entry& entry = entries[byProperty];
            names.push_back(Name{entry.group, entry.property, byProperty});
            byProperty = links[byProperty].previousByNew;
            continue;
        }
        const Entry& entry = entries[byGroup];
        const Units earlierGroup = UnitsOf(entry.group);
        // A property entry for the earlier property of this group says where it went instead.
        const bool overridden =
            propertiesByEarlier.Find(HashPair(links[byGroup].groupHash, propertyHash), [&](std::uint32_t other) {
                return UnitsOf(entries[other].group) == earlierGroup && UnitsOf(entries[other].property) == propertyUnits;
            }) != None;
        if (!overridden)
            names.push_back(Name{entry.group, property, byGroup});
        byGroup = links[byGroup].previousByNew;
    }
    return names;
}

std::uint32_t RenameTable::Renaming(Units group, std::uint64_t groupHash, Units property,
                                    std::uint64_t propertyHash) const
{
    const std::uint32_t byProperty =
        propertiesByEarlier.Find(HashPair(groupHash, propertyHash), [&](std::uint32_t entry) {
            return UnitsOf(entries[entry].group) == group && UnitsOf(entries[entry].property) == property;
        });
    if (byProperty != None)
        return byProperty;
    return groupsByEarlier.Find(groupHash,
                                [&](std::uint32_t entry) { return UnitsOf(entries[entry].group) == group; });
}

std::optional<RenameTable::Name> RenameTable::RenamedName(const GS::UniString& group,
                                                          const GS::UniString& property) const
{
    if (entries.empty())
        return std::nullopt;
    const Units groupUnits = UnitsOf(group);
    const Units propertyUnits = UnitsOf(property);
    const std::uint32_t index = Renaming(groupUnits, HashUnits(groupUnits), propertyUnits, HashUnits(propertyUnits));
    if (index == None)
        return std::nullopt;
    const Entry& entry = entries[index];
    return Name{entry.newGroup, entry.isGroup ? property : entry.newProperty, index};
}

std::optional<RenameTable::Reference> RenameTable::FindReference(Units text, std::size_t begin,
                                                                 std::size_t end) const
{
    // The group's hash grows with the scan; a "/" is tried only when what precedes it is a group
    // the table renames from, and then the name's hash grows towards each "}". A group entry
    // renames whatever name follows, so it cannot tell where the name ends: a split that a
    // property entry names wins, and the nearest "}" only among splits of the same kind.
    const auto nearer = [](const std::optional<Reference>& best, std::size_t brace) {
        return !best || brace < best->brace;
    };
    std::optional<Reference> byProperty;
    std::optional<Reference> byGroup;
    std::uint64_t groupHash = HashStart;
    for (std::size_t slash = begin; slash < end && nearer(byProperty, slash); ++slash) {
        const char16_t unit = text[slash];
        if (unit == u'/') {
            const Units group = text.substr(begin, slash - begin);
            const bool renamedGroup = earlierGroups.Find(groupHash, [&](std::uint32_t entry) {
                return UnitsOf(entries[entry].group) == group;
            }) != None;
            std::uint64_t nameHash = HashStart;
            for (std::size_t brace = slash + 1; renamedGroup && brace < end && nearer(byProperty, brace); ++brace) {
                if (text[brace] == u'}') {
                    const std::uint32_t entry =
                        Renaming(group, groupHash, text.substr(slash + 1, brace - slash - 1), nameHash);
                    if (entry != None && !entries[entry].isGroup) {
                        byProperty = Reference{slash, brace, entry};
                        break;
                    }
                    if (entry != None && nearer(byGroup, brace))
                        byGroup = Reference{slash, brace, entry};
                }
                nameHash = HashStep(nameHash, text[brace]);
            }
        }
        groupHash = HashStep(groupHash, unit);
    }
    return byProperty ? byProperty : byGroup;
}

bool RenameTable::RewriteReferences(GS::UniString& expression) const
{
    static constexpr char16_t MarkerUnits[] = u"{Property:";
    constexpr Units Marker(MarkerUnits, sizeof(MarkerUnits) / sizeof(char16_t) - 1);
    if (entries.empty())
        return false;

    const Units text = UnitsOf(expression);
    std::u16string rewritten;
    std::size_t copied = 0;  // text before this is in `rewritten`
    std::size_t at = text.find(Marker);
    while (at != Units::npos) {
        const std::size_t begin = at + Marker.size();
        const std::size_t next = text.find(Marker, begin);
        const std::optional<Reference> found = FindReference(text, begin, next == Units::npos ? text.size() : next);
        if (!found) {
            at = next;
            continue;
        }
        const Entry& entry = entries[found->entry];
        const Units group = text.substr(begin, found->slash - begin);
        const Units name = text.substr(found->slash + 1, found->brace - found->slash - 1);
        const Units newName = entry.isGroup ? name : UnitsOf(entry.newProperty);
        if (UnitsOf(entry.newGroup) != group || newName != name) {
            rewritten.append(text.substr(copied, begin - copied));
            rewritten.append(UnitsOf(entry.newGroup));
            rewritten.push_back(u'/');
            rewritten.append(newName);
            rewritten.push_back(u'}');
            copied = found->brace + 1;
        }
        at = text.find(Marker, found->brace + 1);
    }
    if (copied == 0)
        return false;
    rewritten.append(text.substr(copied));
    expression = GS::UniString(rewritten.data(), static_cast<USize>(rewritten.size()));
    return true;
}

// --- Reading ---------------------------------------------------------------------------------

namespace {

using XmlNode = rapidxml::xml_node<char>;
using XmlAttribute = rapidxml::xml_attribute<char>;
using Problem = RenameTableProblem;

std::string_view NameOf(const XmlNode* node)
{
    return std::string_view(node->name(), node->name_size());
}

// The first attribute the entry `node` needs and lacks; nullptr when it has them all.
const char* MissingAttribute(const XmlNode* node, bool isGroup)
{
    const char* const required[] = {isGroup ? "from" : "group", isGroup ? "to" : "from", isGroup ? nullptr : "to"};
    for (const char* attribute : required)
        if (attribute != nullptr && node->first_attribute(attribute) == nullptr)
            return attribute;
    return nullptr;
}

RenameTable::Entry MakeEntry(const XmlNode* node, bool isGroup, std::size_t number, std::u16string& units)
{
    const auto name = [&units](const XmlAttribute* attribute) {
        return ExactUtf8ToUniString(attribute->value(), attribute->value_size(), units);
    };
    RenameTable::Entry entry;
    entry.isGroup = isGroup;
    entry.number = number;
    if (isGroup) {
        entry.group = name(node->first_attribute("from"));
        entry.newGroup = name(node->first_attribute("to"));
    } else {
        entry.group = name(node->first_attribute("group"));
        entry.property = name(node->first_attribute("from"));
        const XmlAttribute* toGroup = node->first_attribute("toGroup");
        entry.newGroup = toGroup != nullptr ? name(toGroup) : entry.group;
        entry.newProperty = name(node->first_attribute("to"));
    }
    return entry;
}

}  // namespace

SystemPath RenameTablePathBeside(const SystemPath& configuration)
{
    SystemPath path = configuration;
    path.replace_extension(".renames.xml");
    return path;
}

RenameTableReading ParseRenameTable(std::string text)
{
    RenameTableReading reading;
    XmlDocument document;
    try {
        document.parse<0>(text.data());
    } catch (const rapidxml::parse_error& failure) {
        Problem problem(Problem::Kind::NotWellFormed);
        problem.byte = static_cast<std::size_t>(failure.where<char>() - text.data());
        problem.detail = failure.what();
        reading.problems.push_back(std::move(problem));
        return reading;
    }
    const XmlNode* root = document.first_node();
    if (root == nullptr || NameOf(root) != "renames") {
        reading.problems.emplace_back(Problem::Kind::NoRenamesRoot);
        return reading;
    }

    std::u16string units;
    std::size_t number = 0;
    for (const XmlNode* node = root->first_node(); node != nullptr; node = node->next_sibling()) {
        if (node->type() != rapidxml::node_element)
            continue;
        ++number;
        const bool isGroup = NameOf(node) == "group";
        Problem problem(Problem::Kind::UnknownEntry);
        problem.entry = number;
        problem.element = std::string(NameOf(node));
        if (!isGroup && NameOf(node) != "property") {
            reading.problems.push_back(std::move(problem));
            continue;
        }
        if (const char* missing = MissingAttribute(node, isGroup)) {
            problem.kind = Problem::Kind::MissingAttribute;
            problem.detail = missing;
            reading.problems.push_back(std::move(problem));
            continue;
        }
        reading.table.Add(MakeEntry(node, isGroup, number, units));
    }
    return reading;
}

RenameTableReading ReadRenameTable(const SystemPath& path)
{
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored))
        return RenameTableReading{};
    SystemError error = 0;
    std::optional<std::string> text = ReadTextFile(path, &error);
    if (!text) {
        RenameTableReading reading;
        Problem problem(Problem::Kind::Unreadable);
        problem.error = error;
        reading.problems.push_back(std::move(problem));
        return reading;
    }
    return ParseRenameTable(std::move(*text));
}

}  // namespace Quillmere
