#include "ProgramFiles.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace RenameProposal {

namespace fs = std::filesystem;

std::string Utf8Path(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

namespace {

std::string Quoted(const fs::path& path)
{
    return "\"" + Utf8Path(path) + "\"";
}

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

// A file staged beside its target.
struct StagedFile {
    fs::path temporary;
    fs::path target;
    bool placed = false;
    bool replacedNothing = false;
};

#if defined(_WIN32)

std::string SystemReason(DWORD error)
{
    return std::system_category().message(static_cast<int>(error));
}

// Reads a regular file (a pipe or device is refused before anything is read from it).
std::string ReadOpened(const fs::path& path, std::string& bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "cannot open " + Quoted(path) + ": " + SystemReason(GetLastError());
    std::string problem;
    if (GetFileType(file) != FILE_TYPE_DISK)
        problem = "cannot open " + Quoted(path) + ": it is not a regular file";
    char buffer[1 << 16];
    DWORD read = 0;
    while (problem.empty()) {
        if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr))
            problem = "cannot read " + Quoted(path) + ": " + SystemReason(GetLastError());
        else if (read == 0)
            break;
        else
            bytes.append(buffer, read);
    }
    CloseHandle(file);
    return problem;
}

// Creates a new file beside `target` (never one that exists) and writes `bytes` into it.
std::string Stage(StagedFile& staged, const std::string& bytes)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        staged.temporary = staged.target.parent_path() /
                           (L"~" + staged.target.filename().wstring() + L"." + std::to_wstring(GetCurrentProcessId()) +
                            L"." + std::to_wstring(attempt) + L".tmp");
        file = CreateFileW(staged.temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        staged.temporary.clear();
        return "cannot write " + Quoted(staged.target) + ": " + SystemReason(error);
    }
    std::string problem;
    for (std::size_t at = 0; at < bytes.size() && problem.empty();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
        if (!WriteFile(file, bytes.data() + at, chunk, &written, nullptr))
            problem = "cannot write " + Quoted(staged.target) + ": " + SystemReason(GetLastError());
        at += written;
    }
    if (!CloseHandle(file) && problem.empty())
        problem = "cannot write " + Quoted(staged.target) + ": " + SystemReason(GetLastError());
    return problem;
}

// Puts the staged file in its place; without `replace`, never over a file that is there.
std::string Place(StagedFile& staged, bool replace)
{
    if (MoveFileExW(staged.temporary.c_str(), staged.target.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        staged.placed = true;
        staged.replacedNothing = !replace;
        return {};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return Quoted(staged.target) + " exists; --force replaces it";
    return "cannot write " + Quoted(staged.target) + ": " + SystemReason(error);
}

#else

std::string ReadOpened(const fs::path& path, std::string& bytes)
{
    // Without waiting, should a pipe have taken the file's place since it was looked at.
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0)
        return "cannot open " + Quoted(path) + ": " + std::strerror(errno);
    struct stat status {};
    std::string problem;
    if (::fstat(file, &status) != 0)
        problem = "cannot open " + Quoted(path) + ": " + std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        problem = "cannot open " + Quoted(path) + ": it is not a regular file";
    char buffer[1 << 16];
    while (problem.empty()) {
        const ssize_t read = ::read(file, buffer, sizeof buffer);
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            problem = "cannot read " + Quoted(path) + ": " + std::strerror(errno);
        if (read <= 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(read));
    }
    ::close(file);
    return problem;
}

std::string Stage(StagedFile& staged, const std::string& bytes)
{
    std::string pattern = (staged.target.parent_path() / ("." + staged.target.filename().string() + ".XXXXXX")).string();
    const int file = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (file < 0)
        return "cannot write " + Quoted(staged.target) + ": " + std::strerror(errno);
    staged.temporary = pattern;
    // mkostemp makes the file for its owner alone; an output is as any new file of the user's.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    std::string problem;
    if (::fchmod(file, 0666 & ~mask) != 0)
        problem = "cannot write " + Quoted(staged.target) + ": " + std::strerror(errno);
    for (std::size_t at = 0; at < bytes.size() && problem.empty();) {
        const ssize_t written = ::write(file, bytes.data() + at, bytes.size() - at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            problem = "cannot write " + Quoted(staged.target) + ": " + std::strerror(errno);
        else
            at += static_cast<std::size_t>(written);
    }
    if (::close(file) != 0 && problem.empty())
        problem = "cannot write " + Quoted(staged.target) + ": " + std::strerror(errno);
    return problem;
}

// Puts the staged file in its place. Without `replace`, a hard link makes the target only where
// nothing is there; where the file system has no hard links, the target is looked at first.
std::string Place(StagedFile& staged, bool replace)
{
    const std::string exists = Quoted(staged.target) + " exists; --force replaces it";
    if (!replace && ::link(staged.temporary.c_str(), staged.target.c_str()) == 0) {
        ::unlink(staged.temporary.c_str());
    } else if (!replace && errno == EEXIST) {
        return exists;
    } else if (!replace && errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV && errno != ENOSYS) {
        return "cannot write " + Quoted(staged.target) + ": " + std::strerror(errno);
    } else if (struct stat status{}; !replace && ::lstat(staged.target.c_str(), &status) == 0) {
        return exists;
    } else if (::rename(staged.temporary.c_str(), staged.target.c_str()) != 0) {
        return "cannot write " + Quoted(staged.target) + ": " + std::strerror(errno);
    }
    staged.placed = true;
    staged.replacedNothing = !replace;
    return {};
}

#endif

// Removes what a failed write leaves behind.
void Undo(std::vector<StagedFile>& staged)
{
    for (StagedFile& file : staged) {
        std::error_code ignored;
        if (!file.placed && !file.temporary.empty())
            fs::remove(file.temporary, ignored);
        if (file.placed && file.replacedNothing)
            fs::remove(file.target, ignored);
    }
}

}  // namespace

std::string ReadInputFile(const fs::path& path, std::string& bytes)
{
    // The kind is looked at first, without opening anything.
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    if (code)
        return "cannot open " + Quoted(path) + ": " + code.message();
    if (std::string refused = RefusedKind(status.type()); !refused.empty())
        return "cannot open " + Quoted(path) + ": " + refused;
    return ReadOpened(path, bytes);
}

std::string CheckOutputPath(const fs::path& path, const std::vector<fs::path>& inputs, bool replace)
{
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    if (!fs::exists(status))
        return {};
    for (const fs::path& input : inputs)
        if (fs::equivalent(path, input, code))
            return Quoted(path) + " is the input " + Quoted(input) + "; the program never writes over its inputs";
    if (fs::is_directory(status))
        return Quoted(path) + " is a folder";
    if (!fs::is_regular_file(status))
        return Quoted(path) + " is not a regular file";
    return replace ? std::string() : Quoted(path) + " exists; --force replaces it";
}

std::string WriteOutputFiles(const std::vector<std::pair<fs::path, std::string>>& files, bool replace)
{
    std::vector<StagedFile> staged;
    for (const auto& [target, bytes] : files) {
        staged.push_back(StagedFile{{}, target});
        if (std::string problem = Stage(staged.back(), bytes); !problem.empty()) {
            Undo(staged);
            return problem;
        }
    }
    for (StagedFile& file : staged)
        if (std::string problem = Place(file, replace); !problem.empty()) {
            Undo(staged);
            return problem;
        }
    return {};
}

}  // namespace RenameProposal
