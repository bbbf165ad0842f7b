// The floor of the value backup: the least work that writes the same backup document, and reads it
// back, with the same XML library and no host in between. The benchmark holds the module's phases
// against these two.
//
// The write builds the document that the module writes (declaration, "project", one "element" per
// entry with its "guid", one value element per saved value named by its key, with "valType",
// "MType" and the value text, reals as "%f" gives them where that reads back exactly and otherwise
// in their shortest exact form) as a rapidxml tree, and prints it straight into the file through a
// buffer. The read loads the file, parses it with rapidxml's flags 0, finds each entry's element by
// a hash look-up of its GUID and each value's definition by a hash look-up of its key, and converts
// the text by "valType" into a typed value. Both draw their memory from GS::MemoryManager, so their
// peaks can be measured like the module's. Keys must be XML names (the benchmark's are).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "BenchProject.hpp"

namespace Bench {

// Writes the backup document of `content` to `path`. Returns the number of bytes written; throws
// std::runtime_error when the file cannot be written.
std::size_t FloorWrite(const BackupContent& content, const std::string& path);

class FloorReader {
public:
    // Indexes the elements and keys of `content`, whose values a read brings back.
    explicit FloorReader(const BackupContent& content);

    // Reads the backup file at `path` into Restored(). Returns the number of values read; throws
    // std::runtime_error for a file that cannot be read or parsed.
    std::size_t Read(const std::string& path);

    // The value read for entry `entry` (in the order of BackupContent::entries) and key `key`.
    const TestHost::Value& Restored(std::size_t entry, std::size_t key) const { return restored[entry * keyCount + key]; }

private:
    std::unordered_map<API_Guid, std::size_t, TestHost::GuidHash> entryOf;
    std::unordered_map<std::string_view, std::size_t> keyOf;
    std::size_t keyCount = 0;
    std::vector<TestHost::Value> restored;
};

}  // namespace Bench
