// Reads a backup file's text as the format is read (docs/backup-file.md): the earlier version's
// kept files and an unsettled backup file are read so, once, when they are taken into the store.
#pragma once

#include <optional>
#include <string>

#include "Common/FileProblem.hpp"
#include "ValueBackupFile.hpp"

namespace Quillmere {

// What a backup file's text gives: the backup, or why it cannot be read as one. The earlier
// version's files of kept values (a backup file has neither) name on their root the run that saved
// the values ("run"), and when ("saved").
struct ValueBackupReading {
    std::optional<ValueBackup> backup{};
    std::optional<UInt32> run{};  // when the root has a "run" attribute
    std::string saved{};
    std::optional<FileProblem> problem{};  // why there is no backup: the file's, or its text's
};

// Parses a whole backup file's text with rapidxml, parse flags 0: the root is the first node, the
// first child named "element" begins the entries and every later sibling is one, an entry without
// "guid" is skipped, each child element of an entry is a value of its key in any of the file's
// forms. A text whose elements nest deeper than a backup's could (a hostile one, which would use up
// the parser's stack) is refused as not well-formed. A problem names no file.
ValueBackupReading ParseValueBackup(std::string text);

// Reads and parses the file at `path`; its problem names it.
ValueBackupReading ReadValueBackupFile(const SystemPath& path);

}  // namespace Quillmere
