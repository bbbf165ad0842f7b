#include "InputFile.hpp"

#include <cerrno>
#include <cstring>
#include <system_error>

#if defined(_WIN32)
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace TestHost {

namespace {

namespace fs = std::filesystem;

// Why a thing of `type` is no input file; empty for a regular file.
std::string RefusedKind(fs::file_type type)
{
    switch (type) {
        case fs::file_type::regular: return {};
        case fs::file_type::directory: return "it is a folder";
        case fs::file_type::fifo: return "it is a named pipe (FIFO), not a file";
        case fs::file_type::character:
        case fs::file_type::block: return "it is a device, not a file";
        case fs::file_type::socket: return "it is a socket, not a file";
        default: return "it is not a regular file";
    }
}

#if !defined(_WIN32)

fs::file_type TypeOf(mode_t mode)
{
    return S_ISREG(mode)    ? fs::file_type::regular
           : S_ISDIR(mode)  ? fs::file_type::directory
           : S_ISFIFO(mode) ? fs::file_type::fifo
           : S_ISCHR(mode)  ? fs::file_type::character
           : S_ISBLK(mode)  ? fs::file_type::block
           : S_ISSOCK(mode) ? fs::file_type::socket
                            : fs::file_type::unknown;
}

// Opens without waiting, should a pipe have taken the file's place since it was looked at, and
// checks what was opened. Answers the descriptor, or -1 with the reason.
int OpenRegular(const fs::path& path, std::string& reason)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) {
        reason = std::strerror(errno);
        return -1;
    }
    struct stat status {};
    if (::fstat(file, &status) != 0)
        reason = std::strerror(errno);
    else
        reason = RefusedKind(TypeOf(status.st_mode));
    if (!reason.empty()) {
        ::close(file);
        return -1;
    }
    return file;
}

// Reads the whole file, handing each piece to `pieces`; reserves room for it first in `reserve`.
bool ReadAll(int file, const std::function<void(std::string_view)>& pieces, std::string* reserve, std::string& reason)
{
    struct stat status {};
    if (reserve != nullptr && ::fstat(file, &status) == 0 && status.st_size > 0)
        reserve->reserve(reserve->size() + static_cast<std::size_t>(status.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t read = ::read(file, buffer, sizeof buffer);
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0) {
            reason = std::strerror(errno);
            return false;
        }
        if (read == 0)
            return true;
        pieces(std::string_view(buffer, static_cast<std::size_t>(read)));
    }
}

#endif

// Opens the file as ReadInputFile says and, with `pieces`, reads it into them (room reserved in
// `reserve` first, when given).
std::string ReadPieces(const fs::path& path, const std::string& what,
                       const std::function<void(std::string_view)>* pieces, std::string* reserve)
{
    const std::string named = (what.empty() ? "" : what + " ") + "\"" + path.string() + "\": ";
    // The kind is looked at first, without opening anything.
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    if (!code) {
        if (std::string refused = RefusedKind(status.type()); !refused.empty())
            return "cannot open " + named + refused;
    }
#if defined(_WIN32)
    (void)reserve;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return "cannot open " + named + std::strerror(errno);
    if (pieces != nullptr) {
        char buffer[1 << 16];
        while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
            (*pieces)(std::string_view(buffer, static_cast<std::size_t>(file.gcount())));
            if (file.eof())
                break;
        }
        if (file.bad())
            return "cannot read " + named + "the read failed";
    }
#else
    std::string reason;
    const int file = OpenRegular(path, reason);
    if (file < 0)
        return "cannot open " + named + reason;
    const bool read = pieces == nullptr || ReadAll(file, *pieces, reserve, reason);
    ::close(file);
    if (!read)
        return "cannot read " + named + reason;
#endif
    return {};
}

}  // namespace

std::string ReadInputFile(const fs::path& path, const std::string& what, std::string* bytes)
{
    if (bytes == nullptr)
        return ReadPieces(path, what, nullptr, nullptr);
    const std::function<void(std::string_view)> append = [bytes](std::string_view piece) { bytes->append(piece); };
    return ReadPieces(path, what, &append, bytes);
}

std::string ReadInputFile(const fs::path& path, const std::string& what,
                          const std::function<void(std::string_view)>& pieces)
{
    return ReadPieces(path, what, &pieces, nullptr);
}

}  // namespace TestHost
