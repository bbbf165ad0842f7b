// A rename table's text read back as the module reads it (Src/Renames/RenameTableReader.hpp). Every test
// that asks the module goes through here, so that the module's reader is called in one place.
#pragma once

#include <string>
#include <vector>

namespace RenameProposalTests {

// What the module's reader makes of a table.
struct ModuleReading {
    std::vector<std::string> entries;   // "group FROM -> TO" or "property GROUP / FROM -> TOGROUP / TO"
    std::vector<std::string> problems;  // the problem that leaves no table, or one per skipped entry
};

ModuleReading ReadThroughModule(const std::string& text);

}  // namespace RenameProposalTests
