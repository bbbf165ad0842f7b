#include "RenameTable.hpp"

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "rapidxml.hpp"

#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Common/XmlDocument.hpp"
#include "Common/XmlScan.hpp"
#include "Common/XmlName.hpp"
#include "GSRoot/UnicodeCodec.hpp"

#if defined(_WIN32)
#include "Win/Win.hpp"
#endif

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
    const std::uint64_t groupHash = HashUnits(UnitsOf(entry.group));
    const std::uint64_t newGroupHash = HashUnits(UnitsOf(entry.newGroup));
    const std::uint64_t earlierKey = entry.isGroup ? groupHash : HashPair(groupHash, HashUnits(UnitsOf(entry.property)));
    const std::uint64_t newKey = entry.isGroup ? newGroupHash : HashPair(newGroupHash, HashUnits(UnitsOf(entry.newProperty)));

    // Whatever can throw comes first, so that a failure leaves the table as it was: room in the
    // vectors, then in the indexes (growing one keeps what it finds).
    if (entries.size() == entries.capacity())
        entries.reserve(std::max<std::size_t>(16, entries.size() * 2));
    if (links.size() == links.capacity())
        links.reserve(std::max<std::size_t>(16, links.size() * 2));
    KeyIndex& byEarlier = entry.isGroup ? groupsByEarlier : propertiesByEarlier;
    KeyIndex& byNew = entry.isGroup ? groupsByNew : propertiesByNew;
    for (KeyIndex* keys : {&byEarlier, &byNew, &earlierGroups})
        keys->MakeRoomForOne();

    entries.push_back(std::move(entry));
    const Entry& added = entries.back();
    const Units group = UnitsOf(added.group);
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

// --- Reading ------------------------------------------------------------------------------------

namespace {

using Problem = RenameTableProblem;

// The text is not changed by the parser, so that offsets, the markup between nodes and the
// references in values can be checked afterwards; every kind of node is kept for the same reason.
constexpr int ParseFlags = rapidxml::parse_non_destructive | rapidxml::parse_validate_closing_tags |
                           rapidxml::parse_declaration_node | rapidxml::parse_comment_nodes |
                           rapidxml::parse_doctype_node | rapidxml::parse_pi_nodes;

bool IsXmlCharacter(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The first byte of `text` that is not UTF-8 or not an XML character, with the reason; npos when
// there is none.
std::size_t FirstNonXmlCharacter(std::string_view text, const char*& reason)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t used = 0;
    for (std::size_t at = 0; at < text.size(); at += used) {
        if (bytes[at] >= 0x20 && bytes[at] < 0x80) {
            used = 1;
            continue;
        }
        const char32_t c = GS::Unicode::DecodeUtf8(bytes + at, text.size() - at, used);
        if (c == GS::Unicode::ReplacementCharacter && used == 1) {
            reason = Messages::RenameTableNotUtf8Reason;
            return at;
        }
        if (!IsXmlCharacter(c)) {
            reason = Messages::RenameTableNotXmlCharacterReason;
            return at;
        }
    }
    return std::string_view::npos;
}

// How deep elements may nest: a table needs three levels. rapidxml descends one call per level, so
// a text of nothing but start tags could use up the stack.
constexpr std::size_t MaxNesting = 256;

// Where the first element deeper than MaxNesting starts, found as rapidxml will parse the text (up
// to a NUL): markup is skipped as rapidxml skips it and a start tag ends at the first ">" outside
// quotes. Where the two differ, rapidxml stops at a parse error before it gets any deeper than
// what this counts. npos when no element is that deep.
std::size_t FirstTooDeep(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at)) {
        const XmlScan::Markup kind = XmlScan::KindAt(text, at);
        std::size_t tooDeep = std::string_view::npos;
        const std::size_t end = kind == XmlScan::Markup::StartTag ? XmlScan::EndOfElement(text, at, MaxNesting, &tooDeep)
                                : kind == XmlScan::Markup::EndTag ? XmlScan::EndOfTag(text, at)
                                                                  : XmlScan::EndOfMarkup(text, at);
        if (end == XmlScan::TooDeep || end == XmlScan::NotFound)
            return tooDeep;
        at = end;
    }
    return std::string_view::npos;
}

// The character a reference "&...;" stands for, from its text between "&" and ";": one of XML's
// five entities or a character reference. Nothing for anything else; `isEntity` then says whether
// it is an entity name.
std::optional<char32_t> ReferencedCharacter(std::string_view reference, bool& isEntity)
{
    isEntity = false;
    if (reference.size() >= 2 && reference[0] == '#') {
        const bool hex = reference[1] == 'x';
        const std::string_view digits = reference.substr(hex ? 2 : 1);
        char32_t code = 0;
        for (const char digit : digits) {
            int value = -1;
            if (digit >= '0' && digit <= '9')
                value = digit - '0';
            else if (hex && digit >= 'a' && digit <= 'f')
                value = digit - 'a' + 10;
            else if (hex && digit >= 'A' && digit <= 'F')
                value = digit - 'A' + 10;
            if (value < 0)
                return std::nullopt;
            code = code * (hex ? 16 : 10) + static_cast<char32_t>(value);
            if (code > 0x10FFFF)
                return 0;  // not a character: refused by the caller
        }
        if (digits.empty())
            return std::nullopt;
        return code;
    }
    static const struct {
        std::string_view name;
        char32_t c;
    } predefined[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& entity : predefined)
        if (reference == entity.name)
            return entity.c;
    isEntity = IsXmlName(reference);
    return std::nullopt;
}

// What the checks of a text find: the earliest fault, and the first entity that is not expanded.
struct Findings {
    std::size_t faultAt = std::string_view::npos;
    const char* fault = nullptr;
    std::size_t entityAt = std::string_view::npos;
    std::string_view entity;

    void Fault(std::size_t at, const char* reason)
    {
        if (fault == nullptr || at < faultAt) {
            faultAt = at;
            fault = reason;
        }
    }
};

// Where comments, CDATA sections, processing instructions and document type declarations lie,
// from "<" to the end of their markup: "<" within them starts no markup.
struct Range {
    std::size_t begin;
    std::size_t end;
};

class DocumentChecks {
public:
    DocumentChecks(std::string_view text, Findings& findings) : text(text), findings(findings) {}

    // Checks every node of the parsed document, then the markup between them. Answers the root
    // element, nullptr when there is none.
    const XmlNode* Check(const XmlNode& document)
    {
        for (const XmlNode* node = document.first_node(); node != nullptr; node = Next(node, &document))
            CheckNode(*node, node->parent() == &document);
        CheckMarkup();
        if (root == nullptr)
            findings.Fault(text.size(), Messages::RenameTableNoRootReason);
        return root;
    }

    // The attribute of `node` that repeats the name of an earlier one, the first such in the
    // text; nullptr when the names differ.
    const XmlAttribute* RepeatedAttribute(const XmlNode& node)
    {
        attributes.clear();
        for (const XmlAttribute* attribute = node.first_attribute(); attribute != nullptr;
             attribute = attribute->next_attribute())
            attributes.push_back(attribute);
        if (attributes.size() < 2)
            return nullptr;
        // Sorted by name and, among equal names, by place: each later one of equal names repeats.
        std::stable_sort(attributes.begin(), attributes.end(), [](const XmlAttribute* a, const XmlAttribute* b) {
            return NameOf(a) < NameOf(b);
        });
        const XmlAttribute* first = nullptr;
        for (std::size_t at = 1; at < attributes.size(); ++at)
            if (NameOf(attributes[at]) == NameOf(attributes[at - 1]) &&
                (first == nullptr || attributes[at]->name() < first->name()))
                first = attributes[at];
        return first;
    }

private:
    std::size_t OffsetOf(const char* in) const { return static_cast<std::size_t>(in - text.data()); }

    // The node after `node` in document order.
    static const XmlNode* Next(const XmlNode* node, const XmlNode* document)
    {
        if (const XmlNode* child = node->first_node())
            return child;
        for (; node != document; node = node->parent())
            if (const XmlNode* sibling = node->next_sibling())
                return sibling;
        return nullptr;
    }

    void CheckNode(const XmlNode& node, bool topLevel)
    {
        switch (node.type()) {
            case rapidxml::node_element: CheckElement(node, topLevel); break;
            case rapidxml::node_data: CheckText(node.value(), node.value_size()); break;
            case rapidxml::node_cdata: {
                const std::size_t begin = OffsetOf(node.value()) - 9;  // "<![CDATA["
                if (topLevel)
                    findings.Fault(begin, Messages::RenameTableTextOutsideRootReason);
                opaque.push_back(Range{begin, OffsetOf(node.value()) + node.value_size() + 3});
                break;
            }
            case rapidxml::node_comment: CheckComment(node); break;
            case rapidxml::node_pi: CheckProcessingInstruction(node); break;
            case rapidxml::node_doctype: {
                const std::size_t begin = OffsetOf(node.value()) - 10;  // "<!DOCTYPE" and one blank
                if (!topLevel || root != nullptr || doctype)
                    findings.Fault(begin, Messages::RenameTableMisplacedDoctypeReason);
                doctype = true;
                opaque.push_back(Range{begin, OffsetOf(node.value()) + node.value_size() + 1});
                break;
            }
            case rapidxml::node_declaration: declarations.push_back(&node); break;
            default: break;
        }
    }

    void CheckComment(const XmlNode& node)
    {
        const std::string_view comment = ValueOf(&node);
        const std::size_t hyphens = comment.find("--");
        if (hyphens != std::string_view::npos)
            findings.Fault(OffsetOf(node.value()) + hyphens, Messages::RenameTableDoubleHyphenInCommentReason);
        else if (!comment.empty() && comment.back() == '-')
            findings.Fault(OffsetOf(node.value()) + comment.size() - 1, Messages::RenameTableDoubleHyphenInCommentReason);
        opaque.push_back(Range{OffsetOf(node.value()) - 4, OffsetOf(node.value()) + node.value_size() + 3});
    }

    void CheckProcessingInstruction(const XmlNode& node)
    {
        const std::string_view target = NameOf(&node);
        if (!IsXmlName(target))
            findings.Fault(OffsetOf(node.name()), Messages::RenameTableNotXmlNameReason);
        else if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l')
            findings.Fault(OffsetOf(node.name()), Messages::RenameTableReservedTargetReason);
        opaque.push_back(Range{OffsetOf(node.name()) - 2, OffsetOf(node.value()) + node.value_size() + 2});
    }

    void CheckElement(const XmlNode& element, bool topLevel)
    {
        if (topLevel) {
            if (root != nullptr)
                findings.Fault(OffsetOf(element.name()) - 1, Messages::RenameTableSecondRootReason);
            else
                root = &element;
        }
        if (!IsXmlName(NameOf(&element)))
            findings.Fault(OffsetOf(element.name()), Messages::RenameTableNotXmlNameReason);
        for (const XmlAttribute* attribute = element.first_attribute(); attribute != nullptr;
             attribute = attribute->next_attribute()) {
            CheckAttributeName(attribute);
            const std::size_t less = ValueOf(attribute).find('<');
            if (less != std::string_view::npos)
                findings.Fault(OffsetOf(attribute->value()) + less, Messages::RenameTableLessThanInAttributeReason);
            CheckReferences(attribute->value(), attribute->value_size());
        }
        // A repeated attribute on an entry skips the entry; elsewhere the text is not XML.
        const bool entry = root != nullptr && element.parent() == root;
        if (!entry)
            if (const XmlAttribute* repeated = RepeatedAttribute(element))
                findings.Fault(OffsetOf(repeated->name()), Messages::RenameTableAttributeTwiceReason);
    }

    void CheckAttributeName(const XmlAttribute* attribute)
    {
        if (!IsXmlName(NameOf(attribute)))
            findings.Fault(OffsetOf(attribute->name()), Messages::RenameTableNotXmlNameReason);
        else if (!XmlScan::IsSpace(attribute->name()[-1]))
            findings.Fault(OffsetOf(attribute->name()), Messages::RenameTableNoSpaceBeforeAttributeReason);
    }

    // Text of an element: "]]>" may not stand in it, and its references are checked.
    void CheckText(const char* value, std::size_t size)
    {
        const std::size_t end = std::string_view(value, size).find("]]>");
        if (end != std::string_view::npos)
            findings.Fault(OffsetOf(value) + end, Messages::RenameTableCdataEndInTextReason);
        CheckReferences(value, size);
    }

    // Each "&" must start a reference to a character XML allows, or an entity (noted, not expanded).
    void CheckReferences(const char* value, std::size_t size)
    {
        const std::string_view in(value, size);
        for (std::size_t amp = in.find('&'); amp != std::string_view::npos; amp = in.find('&', amp + 1)) {
            const std::size_t semicolon = in.find(';', amp + 1);
            if (semicolon == std::string_view::npos) {
                findings.Fault(OffsetOf(value) + amp, Messages::RenameTableBadReferenceReason);
                return;
            }
            const std::string_view reference = in.substr(amp + 1, semicolon - amp - 1);
            bool isEntity = false;
            const std::optional<char32_t> c = ReferencedCharacter(reference, isEntity);
            if (isEntity) {
                if (findings.entity.empty() || OffsetOf(value) + amp < findings.entityAt) {
                    findings.entity = reference;
                    findings.entityAt = OffsetOf(value) + amp;
                }
            } else if (!c) {
                findings.Fault(OffsetOf(value) + amp, Messages::RenameTableBadReferenceReason);
                return;
            } else if (!IsXmlCharacter(*c)) {
                findings.Fault(OffsetOf(value) + amp, Messages::RenameTableNotXmlCharacterReason);
                return;
            }
            amp = semicolon;
        }
    }

    // The declaration's attributes: version, then optionally encoding, then standalone, each of
    // its form; `at` is where the declaration starts.
    void CheckDeclaration(const XmlNode& declaration, std::size_t at)
    {
        static const std::string_view names[] = {"version", "encoding", "standalone"};
        std::size_t next = 0;
        const XmlAttribute* attribute = declaration.first_attribute();
        if (attribute == nullptr || NameOf(attribute) != "version")
            findings.Fault(attribute != nullptr ? OffsetOf(attribute->name()) : at, Messages::RenameTableBadDeclarationReason);
        for (; attribute != nullptr; attribute = attribute->next_attribute()) {
            CheckAttributeName(attribute);
            const std::string_view name = NameOf(attribute);
            while (next < 3 && names[next] != name)
                ++next;
            if (next == 3 || !IsDeclarationValue(next, ValueOf(attribute))) {
                findings.Fault(OffsetOf(attribute->name()), Messages::RenameTableBadDeclarationReason);
                return;
            }
            ++next;
        }
    }

    static bool IsDeclarationValue(std::size_t which, std::string_view value)
    {
        const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
        const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
        switch (which) {
            case 0:  // "1." and digits
                return value.size() > 2 && value.substr(0, 2) == "1." &&
                       std::all_of(value.begin() + 2, value.end(), isDigit);
            case 1:  // a letter, then letters, digits, ".", "_", "-"
                return !value.empty() && isLetter(value[0]) && std::all_of(value.begin(), value.end(), [&](char c) {
                    return isLetter(c) || isDigit(c) || c == '.' || c == '_' || c == '-';
                });
            default: return value == "yes" || value == "no";
        }
    }

    // The markup between the nodes: each "<" outside the ranges above starts an element, an end
    // tag or a declaration (which rapidxml recognises as "<?xml" and a blank, in any case), and
    // "<!" that starts none of the kept kinds is markup that rapidxml skips without a word.
    void CheckMarkup()
    {
        const std::size_t bom = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
        std::size_t range = 0;
        std::size_t declaration = 0;
        for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
            while (range < opaque.size() && opaque[range].end <= at)
                ++range;
            if (range < opaque.size() && opaque[range].begin <= at) {
                at = opaque[range].end - 1;
                continue;
            }
            const std::string_view markup = text.substr(at + 1, 5);
            if (markup.substr(0, 1) == "!") {
                findings.Fault(at, Messages::RenameTableUnknownMarkupReason);
            } else if (markup.substr(0, 1) == "?") {
                if (at != bom || markup.substr(1, 3) != "xml")
                    findings.Fault(at, Messages::RenameTableMisplacedDeclarationReason);
                if (declaration < declarations.size())
                    CheckDeclaration(*declarations[declaration++], at);
            }
        }
    }

    std::string_view text;
    Findings& findings;
    const XmlNode* root = nullptr;
    bool doctype = false;
    std::vector<Range> opaque;  // in document order
    std::vector<const XmlNode*> declarations;
    std::vector<const XmlAttribute*> attributes;  // scratch of RepeatedAttribute
};

// An attribute's value as the table means it, in `bytes`: references replaced by their characters
// and each white-space character written as such (line ends included, a CR LF pair as one) by a
// blank, as XML normalises attribute values. The references were checked before.
GS::UniString AttributeText(const XmlAttribute* attribute, std::string& bytes, std::u16string& units)
{
    const std::string_view value = ValueOf(attribute);
    bytes.clear();
    for (std::size_t at = 0; at < value.size(); ++at) {
        const char c = value[at];
        if (c == '&') {
            const std::size_t semicolon = value.find(';', at);
            bool isEntity = false;
            const std::optional<char32_t> referenced = ReferencedCharacter(value.substr(at + 1, semicolon - at - 1), isEntity);
            char encoded[4];
            bytes.append(encoded, GS::Unicode::EncodeUtf8(referenced.value_or(GS::Unicode::ReplacementCharacter), encoded));
            at = semicolon;
        } else if (c == '\r' && at + 1 < value.size() && value[at + 1] == '\n') {
            continue;
        } else {
            bytes.push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
        }
    }
    return ExactUtf8ToUniString(bytes, units);
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

RenameTable::Entry MakeEntry(const XmlNode* node, bool isGroup, std::size_t number, std::string& bytes,
                             std::u16string& units)
{
    const auto text = [&](const char* name) { return AttributeText(node->first_attribute(name), bytes, units); };
    RenameTable::Entry entry;
    entry.isGroup = isGroup;
    entry.number = number;
    if (isGroup) {
        entry.group = text("from");
        entry.newGroup = text("to");
    } else {
        entry.group = text("group");
        entry.property = text("from");
        entry.newGroup = node->first_attribute("toGroup") != nullptr ? text("toGroup") : entry.group;
        entry.newProperty = text("to");
    }
    return entry;
}

RenameTableReading NotWellFormed(std::string detail, std::size_t byte)
{
    RenameTableReading reading;
    Problem problem(Problem::Kind::NotWellFormed);
    problem.detail = std::move(detail);
    problem.byte = byte;
    reading.problems.push_back(std::move(problem));
    return reading;
}

// Whether nothing at all is at `path`: no file, no folder, not even a link that leads nowhere.
bool NothingAt(const SystemPath& path)
{
#if defined(_WIN32)
    // GetFileAttributesW does not follow a link: it describes the link itself.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
#else
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::not_found;
#endif
}

}  // namespace

SystemPath RenameTablePathBeside(const SystemPath& configuration)
{
    SystemPath path = configuration;
    path.replace_extension(".renames.xml");
    return path;
}

namespace {

// The problem that keeps `text` from being a table at all, or nothing; `root` then receives its root.
std::optional<RenameTableReading> CheckDocument(std::string& text, XmlDocument& document, Findings& findings,
                                                const XmlNode*& root)
{
    // rapidxml ends the text at a NUL and takes any byte; the characters are checked first and the
    // text is parsed up to the first bad one, so that the earlier of the two faults is reported.
    const char* characterFault = nullptr;
    const std::size_t badCharacter = FirstNonXmlCharacter(text, characterFault);
    if (badCharacter != std::string::npos)
        text[badCharacter] = '\0';
    const std::size_t tooDeep = FirstTooDeep(text);
    if (tooDeep < badCharacter)
        return NotWellFormed(Messages::RenameTableTooDeepReason, tooDeep);
    try {
        document.parse<ParseFlags>(text.data());
    } catch (const rapidxml::parse_error& failure) {
        const auto at = static_cast<std::size_t>(failure.where<char>() - text.data());
        if (at < badCharacter)
            return NotWellFormed(failure.what(), at);
    }
    if (badCharacter != std::string::npos)
        return NotWellFormed(characterFault, badCharacter);

    root = DocumentChecks(text, findings).Check(document);
    if (findings.fault != nullptr)
        return NotWellFormed(findings.fault, findings.faultAt);
    RenameTableReading reading;
    if (!findings.entity.empty()) {
        Problem problem(Problem::Kind::UnsupportedEntity);
        problem.detail = std::string(findings.entity);
        problem.byte = findings.entityAt;
        reading.problems.push_back(std::move(problem));
        return reading;
    }
    if (NameOf(root) != "renames") {
        reading.problems.emplace_back(Problem::Kind::NoRenamesRoot);
        return reading;
    }
    return std::nullopt;
}

// Why the entry `node`, number `number`, is skipped; nothing when it is a good entry.
std::optional<Problem> ProblemOfEntry(const XmlNode* node, std::size_t number, DocumentChecks& checks)
{
    const bool isGroup = NameOf(node) == "group";
    Problem problem(Problem::Kind::UnknownEntry);
    problem.entry = number;
    problem.element = std::string(NameOf(node));
    if (!isGroup && NameOf(node) != "property")
        return problem;
    if (const XmlAttribute* repeated = checks.RepeatedAttribute(*node)) {
        problem.kind = Problem::Kind::DuplicateAttribute;
        problem.detail = std::string(NameOf(repeated));
        return problem;
    }
    if (const char* missing = MissingAttribute(node, isGroup)) {
        problem.kind = Problem::Kind::MissingAttribute;
        problem.detail = missing;
        return problem;
    }
    return std::nullopt;
}

}  // namespace

RenameTableReading ParseRenameTable(std::string text)
{
    XmlDocument document;
    Findings findings;
    const XmlNode* root = nullptr;
    if (std::optional<RenameTableReading> unusable = CheckDocument(text, document, findings, root))
        return std::move(*unusable);

    DocumentChecks checks(text, findings);
    RenameTableReading reading;
    std::string bytes;
    std::u16string units;
    std::size_t number = 0;
    for (const XmlNode* node = root->first_node(); node != nullptr; node = node->next_sibling()) {
        if (node->type() != rapidxml::node_element)
            continue;
        ++number;
        if (std::optional<Problem> problem = ProblemOfEntry(node, number, checks))
            reading.problems.push_back(std::move(*problem));
        else
            reading.table.Add(MakeEntry(node, NameOf(node) == "group", number, bytes, units));
    }
    return reading;
}

RenameTableReading ReadRenameTable(const SystemPath& path)
{
    SystemError error = 0;
    std::optional<std::string> text = ReadTextFile(path, &error);
    if (!text) {
        RenameTableReading reading;
        if (NothingAt(path))
            return reading;
        Problem problem(Problem::Kind::Unreadable);
        problem.error = error;
        reading.problems.push_back(std::move(problem));
        return reading;
    }
    return ParseRenameTable(std::move(*text));
}

}  // namespace Quillmere
