#include "FuzzTargets.hpp"

#include <stdexcept>

#include "Common/ExactText.hpp"
#include "Renames/ReferenceRewriting.hpp"
#include "Renames/RenameTableReader.hpp"

namespace Fuzz {

using namespace Quillmere;

namespace {

std::string Describe(const GS::UniString& group, const GS::UniString& property)
{
    return std::string(group.ToCStr().Get()) + "/" + property.ToCStr().Get();
}

// Whether a reference made of the two names can be read back only one way.
bool PlainName(const GS::UniString& name)
{
    const std::u16string_view units(name.ToUStr(), name.GetLength());
    return units.find_first_of(u"/}") == std::u16string_view::npos && units.find(u"{Property:") == std::u16string_view::npos;
}

// What the problems of a reading must be: one that leaves no table comes alone, with no entry;
// entries and skipped entries have distinct numbers, rising in the order of the text.
std::string CheckProblems(const RenameTableReading& reading)
{
    if (reading.problem && (!reading.skipped.empty() || !reading.table.IsEmpty()))
        return "a problem that leaves no table comes with skipped entries or entries";
    std::size_t last = 0;
    std::size_t skipped = 0;
    for (const RenameTable::Entry& entry : reading.table.Entries()) {
        while (skipped < reading.skipped.size() && reading.skipped[skipped].number < entry.number)
            last = reading.skipped[skipped++].number;
        if (entry.number <= last || (skipped < reading.skipped.size() && reading.skipped[skipped].number == entry.number))
            return "entry numbers repeat or fall";
        last = entry.number;
    }
    return {};
}

// Each name a look-up answers comes from a valid entry that gives it, in the order of the rules;
// the renamed name of an earlier name lists that earlier name among its own earlier names.
std::string CheckLookUps(const RenameTable& table, const GS::UniString& group, const GS::UniString& property)
{
    const std::vector<RenameTable::Entry>& entries = table.Entries();
    std::size_t previous = entries.size();
    for (const RenameTable::Name& name : table.EarlierNames(group, property)) {
        if (name.entry >= previous)
            return "earlier names out of order or of no entry: " + Describe(group, property);
        previous = name.entry;
        const RenameTable::Entry& entry = entries[name.entry];
        const bool gives = entry.isGroup ? entry.newGroup == group && name.group == entry.group && name.property == property
                                         : entry.newGroup == group && entry.newProperty == property &&
                                               name.group == entry.group && name.property == entry.property;
        if (!gives)
            return "an earlier name its entry does not give: " + Describe(group, property);
    }
    const std::optional<RenameTable::Name> renamed = table.RenamedName(group, property);
    if (!renamed)
        return {};
    if (renamed->entry >= entries.size() || entries[renamed->entry].group != group)
        return "a renamed name of no entry or of another group: " + Describe(group, property);
    bool listed = false;
    for (const RenameTable::Name& name : table.EarlierNames(renamed->group, renamed->property))
        listed = listed || (name.entry == renamed->entry && name.group == group && name.property == property);
    if (!listed)
        return "a renamed name whose earlier names lack the name: " + Describe(group, property);

    // A reference of plain names is rewritten to the renamed name, and only when that differs.
    if (PlainName(group) && PlainName(property) && PlainName(renamed->group) && PlainName(renamed->property)) {
        const GS::UniString open("{Property:");
        const GS::UniString slash("/");
        const GS::UniString close("}");
        GS::UniString reference = open + group + slash + property + close;
        const GS::UniString expected = open + renamed->group + slash + renamed->property + close;
        const bool changed = RewriteReferences(table, reference);
        if (reference != expected || changed != (renamed->group != group || renamed->property != property))
            return "a reference not rewritten to the renamed name: " + Describe(group, property);
    }
    return {};
}

}  // namespace

std::string RenameTableTarget::Run(std::string_view input)
{
    try {
        const RenameTableReading reading = ParseRenameTable(input);
        if (std::string problem = CheckProblems(reading); !problem.empty())
            return problem;
        const RenameTable& table = reading.table;

        // Every name the table holds, earlier and new, looked up both ways; a bounded number, so
        // that a long table costs the fuzzer time in reading, not in the checks.
        const GS::UniString other("Zq");
        std::size_t checked = 0;
        for (const RenameTable::Entry& entry : table.Entries()) {
            if (++checked > 64)
                break;
            for (const auto& [group, property] : {std::pair{&entry.group, entry.isGroup ? &other : &entry.property},
                                                  std::pair{&entry.newGroup, entry.isGroup ? &other : &entry.newProperty}})
                if (std::string problem = CheckLookUps(table, *group, *property); !problem.empty())
                    return problem;
        }

        // A name no entry holds has neither earlier nor renamed names; text without a reference is
        // not rewritten.
        const GS::UniString absent("SGPset_\xE2\x80\x8B");  // ends in a zero-width space, which no input gives
        if (input.find("&#") == std::string_view::npos && input.find("\xE2\x80\x8B") == std::string_view::npos &&
            (!table.EarlierNames(absent, other).empty() || table.RenamedName(absent, other)))
            return "names for a name the table does not hold";
        std::u16string units;
        GS::UniString text = ExactUtf8ToUniString(input, units);
        const GS::UniString before = text;
        const bool changed = RewriteReferences(table, text);
        if (input.find("{Property:") == std::string_view::npos && (changed || text != before))
            return "a text without references was rewritten";
        if (changed == (text == before))
            return "the rewrite says it changed the text when it did not, or the other way round";
    } catch (const std::exception& error) {
        return std::string("reading the table threw: ") + error.what();
    }
    return {};
}

}  // namespace Fuzz
