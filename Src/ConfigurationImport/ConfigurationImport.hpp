// Choosing and reading the configuration file and its rename table, and handing the configuration's
// text to the host's classification and property imports.
#pragma once

#include <optional>
#include <string>

#include "Common/SystemFiles.hpp"
#include "Renames/RenameTableReader.hpp"
#include "Win/Win.hpp"

namespace Quillmere {

using WideString = std::basic_string<WCHAR>;

// Capacity of the dialog's file-name buffer, the terminating NUL included.
constexpr DWORD ConfigurationPathCapacity = 260;

// Shows the open-file dialog. Gives the chosen path, or nothing when the dialog was cancelled,
// closed or failed (any result but 1).
std::optional<WideString> SelectConfigurationFile();

// Reads the whole file at `path` in text mode (CR LF becomes LF), opened by its full Unicode
// path. Gives nothing when the file cannot be opened or is no regular file (`error`, when given,
// then receives why); an empty file gives an empty text.
std::optional<std::string> ReadConfigurationText(const WideString& path, SystemError* error = nullptr);

// The configuration the user chose: where it is, and its whole text.
struct Configuration {
    SystemPath path;
    std::string text;
};

// Lets the user choose the configuration file and reads it. Nothing, and no message, when the
// dialog was cancelled; nothing, reported as UnreadableConfigurationLine, when the file cannot be
// read (it is then no regular file, or was removed or locked after it was chosen).
std::optional<Configuration> ChooseConfiguration();

// The rename table beside the configuration (RenameTablePathBeside); each of its problems is
// reported as one line. An empty table when there is none or it cannot be used.
RenameTable ReadRenameTableBeside(const Configuration& configuration);

// The codes of the two import commands.
struct ImportCodes {
    GSErrCode classifications = NoError;
    GSErrCode properties = NoError;
};

// Runs "Import Classifications" and "Import Properties" on the configuration's text as undoable
// commands (the second also after the first failed), reporting each failure.
ImportCodes ImportConfiguration(const Configuration& configuration);

}  // namespace Quillmere
