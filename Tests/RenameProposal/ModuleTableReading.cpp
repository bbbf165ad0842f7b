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
    for (const Quillmere::RenameTableProblem& problem : reading.problems)
        result.problems.push_back("kind " + std::to_string(static_cast<int>(problem.kind)) + " at byte " +
                                  std::to_string(problem.byte) + ": " + problem.detail);
    return result;
}

}  // namespace RenameProposalTests
