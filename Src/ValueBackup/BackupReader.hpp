// Reads a backup file's text one element entry at a time, as it arrives: each entry is parsed by
// rapidxml on its own and its values copied out, so that neither the whole text nor a tree of the
// whole document need be held at once.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "ValueBackupFile.hpp"
#include "Common/XmlDocument.hpp"

namespace Quillmere {

class BackupReader {
public:
    // Takes the text that follows what it was given before, in `text` (which it may change; line
    // ends as text mode gives them). What it cannot take yet, an entry that the next text ends,
    // stays at the end of `text`; `last` says there is no more. Answers false once the text is
    // found not to be a backup (Reading() then says why).
    bool Take(std::string& text, bool last);

    // The backup read so far, or the problem.
    ValueBackupReading& Reading() noexcept { return reading; }

private:
    enum class State { BeforeRoot, InRoot, AfterRoot };

    // Each takes what it can of `text` from `at` and answers where it stopped: at a construct the
    // text does not yet end, or where the state changes.
    std::size_t TakeBeforeRoot(std::string& text, std::size_t at);
    std::size_t TakeInRoot(std::string& text, std::size_t at);
    bool TakeRootTag(std::string_view tag, std::size_t at);
    bool TakeChild(std::string& text, std::size_t start, std::size_t end);
    bool TakeEntry(std::string& text, std::size_t start, std::size_t end);
    bool Fail(const char* reason, std::size_t at);

    State state = State::BeforeRoot;
    std::size_t offset = 0;  // where `text` begins in the file
    bool entriesStarted = false;
    ValueBackup backup;
    ValueBackupReading reading;
    XmlDocument document;
};

// Parses a whole backup file's text.
ValueBackupReading ParseValueBackup(std::string text);

// Reads the backup file at `path` a piece at a time (so that no more than a piece and the largest
// entry is held). Nothing when the file cannot be read; `error` then says why.
std::optional<ValueBackupReading> ReadValueBackupFile(const SystemPath& path, SystemError& error);

}  // namespace Quillmere
