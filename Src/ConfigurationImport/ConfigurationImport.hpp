// Choosing and reading the configuration file, and handing its text to the host's classification
// and property imports.
#pragma once

#include <optional>
#include <string>

#include "Win/Win.hpp"

namespace Quillmere {

using WideString = std::basic_string<WCHAR>;

// Capacity of the dialog's file-name buffer, the terminating NUL included.
constexpr DWORD ConfigurationPathCapacity = 260;

// Shows the open-file dialog. Gives the chosen path, or nothing when the dialog was cancelled,
// closed or failed (any result but 1).
std::optional<WideString> SelectConfigurationFile();

// Reads the whole file at `path` in text mode (CR LF becomes LF), opened by its full Unicode
// path. Gives nothing when the file cannot be opened; an empty file gives an empty text.
std::optional<std::string> ReadConfigurationText(const WideString& path);

// Lets the user choose the configuration, then runs "Import Classifications" and "Import
// Properties" as undoable commands (the second also after the first failed), reporting each
// failure. Only when both succeed are the saved expressions and element values brought back.
void ImportConfiguration();

}  // namespace Quillmere
