#include "ModuleTableReading.hpp"

#include "Renames/RenameTableReader.hpp"

namespace RenameProposalTests {

namespace {

std::string Utf8(const GS::UniString& text)
{
    const GS::UniString::CStr bytes = text.ToCStr();
    return std::string(bytes.Get(), bytes.GetLength());
}

}  // namespace

ModuleReading ReadThroughModule(const std::string& text)
{
    const Quillmere::RenameTableReading reading = Quillmere::ParseRenameTable(text);
    ModuleReading result;
    for (const Quillmere::RenameTable::Entry& entry : reading.table.Entries())
        result.entries.push_back(entry.isGroup ? "group " + Utf8(entry.group) + " -> " + Utf8(entry.newGroup)
                                               : "property " + Utf8(entry.group) + " / " + Utf8(entry.property) +
                                                     " -> " + Utf8(entry.newGroup) + " / " + Utf8(entry.newProperty));
    if (reading.problem)
        result.problems.push_back(reading.problem->Detail());
    for (const Quillmere::SkippedEntry& skipped : reading.skipped)
        result.problems.push_back("entry " + std::to_string(skipped.number) + " (" + skipped.element + ") skipped" +
                                  (skipped.missing.empty() ? "" : ": no " + skipped.missing));
    return result;
}

}  // namespace RenameProposalTests
