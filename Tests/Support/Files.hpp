// Files read and written as bytes, exactly as they are on disk (binary mode: no line end is
// converted on Windows).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace Support {

// The file's bytes; throws std::runtime_error when it cannot be opened or read.
std::string ReadBytes(const std::filesystem::path& file);
// The file's bytes; nothing when it cannot be opened or read.
std::optional<std::string> TryReadBytes(const std::filesystem::path& file);

// Writes `bytes` as the whole file, replacing what it held; throws std::runtime_error on failure.
void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
// The same, answering false on failure: for callers through which no exception may pass.
bool TryWriteBytes(const std::filesystem::path& file, std::string_view bytes);

}  // namespace Support
