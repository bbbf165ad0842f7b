// The files the program reads and writes: its two configurations, the rename table and the report.
// It never waits on what it opens, never writes over its inputs, and writes either every output or
// none.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace RenameProposal {

// The path as UTF-8, for messages.
std::string Utf8Path(const std::filesystem::path& path);

// Reads the file at `path` whole into `bytes`. Only a regular file (or a link to one) is opened: a
// named pipe would keep the program waiting, and a device may act when it is opened. Answers an
// empty string, or one line: "cannot open "PATH": REASON" or "cannot read "PATH": REASON".
std::string ReadInputFile(const std::filesystem::path& path, std::string& bytes);

// Why `path` cannot be an output, or an empty string: it names one of `inputs` (the same file,
// however named) or a folder, or it exists and `replace` is false.
std::string CheckOutputPath(const std::filesystem::path& path, const std::vector<std::filesystem::path>& inputs,
                            bool replace);

// Writes each file's bytes: first to a new temporary file beside it, then, once all are written,
// each in its place, replacing a file there only when `replace` is true (without it, a file that
// has come there in the meantime stays and is reported). Answers an empty string, or one line on
// the first problem; the temporary files are then removed, and so are the outputs put in place
// before it that replaced nothing.
std::string WriteOutputFiles(const std::vector<std::pair<std::filesystem::path, std::string>>& files, bool replace);

}  // namespace RenameProposal
