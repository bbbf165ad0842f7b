#include "ReferenceRewriting.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace Quillmere {

namespace {

using Units = std::u16string_view;

// A property reference found in an expression: where its "/" and "}" are, and the entry that
// renames it.
struct Reference {
    std::size_t slash;
    std::size_t brace;
    std::size_t entry;
};

// The reference whose names start at `begin` in `text` and end before `end` (npos: the text's
// end). A "/" is tried only when what precedes it is a group the table renames from. A group entry
// renames whatever name follows, so it cannot tell where the name ends: a split that a property
// entry names wins, and the nearest "}" only among splits of the same kind.
std::optional<Reference> FindReference(const RenameTable& table, Units text, std::size_t begin, std::size_t end)
{
    const auto nearer = [](const std::optional<Reference>& best, std::size_t brace) {
        return !best || brace < best->brace;
    };
    std::optional<Reference> byProperty;
    std::optional<Reference> byGroup;
    for (std::size_t slash = text.find(u'/', begin); slash < end && nearer(byProperty, slash);
         slash = text.find(u'/', slash + 1)) {
        const Units group = text.substr(begin, slash - begin);
        if (!table.RenamesFromGroup(group))
            continue;
        for (std::size_t brace = text.find(u'}', slash + 1); brace < end && nearer(byProperty, brace);
             brace = text.find(u'}', brace + 1)) {
            const std::optional<std::size_t> entry = table.RenamingEntry(group, text.substr(slash + 1, brace - slash - 1));
            if (entry && !table.Entries()[*entry].isGroup)
                byProperty = Reference{slash, brace, *entry};
            else if (entry && nearer(byGroup, brace))
                byGroup = Reference{slash, brace, *entry};
        }
    }
    return byProperty ? byProperty : byGroup;
}

}  // namespace

bool RewriteReferences(const RenameTable& table, GS::UniString& expression)
{
    constexpr Units Marker = u"{Property:";
    const Units text = UnitsOf(expression);
    std::u16string rewritten;
    std::size_t copied = 0;  // text before this is in `rewritten`
    for (std::size_t at = text.find(Marker); at != Units::npos;) {
        const std::size_t begin = at + Marker.size();
        at = text.find(Marker, begin);  // a reference ends before the next one starts
        const std::optional<Reference> found = FindReference(table, text, begin, at);
        if (!found)
            continue;
        const RenameTable::Entry& entry = table.Entries()[found->entry];
        const Units name = text.substr(found->slash + 1, found->brace - found->slash - 1);
        rewritten.append(text.substr(copied, begin - copied));
        rewritten.append(UnitsOf(entry.newGroup));
        rewritten.push_back(u'/');
        rewritten.append(entry.isGroup ? name : UnitsOf(entry.newProperty));
        rewritten.push_back(u'}');
        copied = found->brace + 1;
    }
    rewritten.append(text.substr(copied));
    if (rewritten == text)
        return false;
    expression = GS::UniString(rewritten.data(), static_cast<USize>(rewritten.size()));
    return true;
}

}  // namespace Quillmere
