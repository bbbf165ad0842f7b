#include "Files.hpp"

#include <fstream>
#include <stdexcept>

#include "Folders.hpp"

namespace Support {

std::string ReadBytes(const std::filesystem::path& file)
{
    std::optional<std::string> bytes = TryReadBytes(file);
    if (!bytes)
        throw std::runtime_error("cannot read " + Utf8Path(file));
    return std::move(*bytes);
}

std::optional<std::string> TryReadBytes(const std::filesystem::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        return std::nullopt;
    std::string bytes;
    char buffer[1 << 16];
    while (stream.read(buffer, sizeof buffer) || stream.gcount() > 0)
        bytes.append(buffer, static_cast<std::size_t>(stream.gcount()));
    // A failed read (a folder opened as a file, say) leaves the stream bad, not only at its end.
    if (stream.bad())
        return std::nullopt;
    return bytes;
}

void WriteBytes(const std::filesystem::path& file, std::string_view bytes)
{
    if (!TryWriteBytes(file, bytes))
        throw std::runtime_error("cannot write " + Utf8Path(file));
}

bool TryWriteBytes(const std::filesystem::path& file, std::string_view bytes)
{
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    stream.close();
    return !stream.fail();
}

}  // namespace Support
