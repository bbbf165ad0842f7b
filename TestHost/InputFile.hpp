// Files the test host reads because someone named them. Only a regular file (or a link to one) is
// opened: a named pipe would keep an ordinary open waiting for a writer for ever, and a device may
// act when it is opened. Those, folders and sockets are refused with a message instead.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace TestHost {

// Opens the file at `path` for reading and, when `bytes` is given, reads it whole into it. Answers
// an empty string on success, else one line: "cannot open WHAT"PATH": REASON" (REASON "it is a
// folder", "it is a named pipe (FIFO), not a file", the system's reason, ...) or "cannot read ...",
// where WHAT is `what` and a blank when `what` is not empty.
std::string ReadInputFile(const std::filesystem::path& path, const std::string& what, std::string* bytes);
// The same, handing the bytes to `pieces` as they are read, in pieces of at most 64 KiB, instead of
// keeping them: for a file too large to hold whole.
std::string ReadInputFile(const std::filesystem::path& path, const std::string& what,
                          const std::function<void(std::string_view)>& pieces);

}  // namespace TestHost
