#include "SystemFiles.hpp"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "GSRoot/UnicodeCodec.hpp"
#include "MessageFormat.hpp"

#if defined(_WIN32)
#include "Win/Win.hpp"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Quillmere {

namespace {

// Turns each CR LF pair into LF in place.
void DropCarriageReturnsBeforeLineFeeds(std::string& text)
{
    std::size_t kept = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\r' || at + 1 == text.size() || text[at + 1] != '\n')
            text[kept++] = text[at];
    }
    text.resize(kept);
}

// The system's calls on an open file, each the same on both systems: OpenRegularFile,
// CreateFileAfresh, ReadSome, WriteSome, SyncToDisk, Close and MoveInPlaceOf. A call that fails leaves
// why for LastError().
#if defined(_WIN32)

static_assert(NotARegularFile == ERROR_BAD_FILE_TYPE);

SystemError LastError()
{
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<SystemError>(error) : ERROR_GEN_FAILURE;
}

bool IsFolder(const SystemPath& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A held file is tried again this many times, after 25 ms more each time: 1.375 s in all.
constexpr DWORD HeldFileRetries = 10;
constexpr DWORD HeldFileRetryStep = 25;  // ms

// Whether a call on `path` that failed with `error` may succeed once another program lets go of the
// file: a sharing or lock violation, or access denied, which a file pending deletion or one a
// scanner has open gives too. A folder denies access for good.
bool MayBeHeldByAnother(DWORD error, const SystemPath& path)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           (error == ERROR_ACCESS_DENIED && !IsFolder(path));
}

// Runs `call` (true on success, else GetLastError() says why) until it succeeds, fails for another
// reason, or has been retried HeldFileRetries times; GetLastError() then holds its last error.
template <typename Call>
bool RetryWhileHeld(const SystemPath& path, Call&& call)
{
    for (DWORD retry = 1;; ++retry) {
        if (call())
            return true;
        const DWORD error = GetLastError();
        if (retry > HeldFileRetries || !MayBeHeldByAnother(error, path)) {
            SetLastError(error);
            return false;
        }
        Sleep(HeldFileRetryStep * retry);
    }
}

// CreateFileW, tried again while another program holds the file.
FileHandle OpenWhileHeld(const SystemPath& path, DWORD access, DWORD sharing, DWORD creation)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    RetryWhileHeld(path, [&] {
        handle = CreateFileW(path.c_str(), access, sharing, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    });
    return handle != INVALID_HANDLE_VALUE ? handle : NoFile;
}

// Opens the regular file at `path` for reading and tells its size. Answers 0, or why not.
SystemError OpenRegularFile(const SystemPath& path, FileHandle& file, std::uint64_t& size)
{
    file = OpenWhileHeld(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (file == NoFile) {
        // A folder cannot be opened this way and answers access denied.
        const SystemError why = LastError();
        return why == ERROR_ACCESS_DENIED && IsFolder(path) ? NotARegularFile : why;
    }
    // A named pipe, a console or another device could keep a read waiting.
    if (GetFileType(file) != FILE_TYPE_DISK)
        return NotARegularFile;
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length))
        return LastError();
    size = static_cast<std::uint64_t>(length.QuadPart);
    return 0;
}

// Creates the file at `path` afresh: what lies there is removed first (DeleteFileW removes a link
// itself, not what it names), and what is put there meanwhile is refused. Answers 0, or why not.
SystemError CreateFileAfresh(const SystemPath& path, FileHandle& file)
{
    if (const SystemError why = RemoveFile(path))
        return why;
    file = OpenWhileHeld(path, GENERIC_WRITE, 0, CREATE_NEW);
    return file != NoFile ? 0 : LastError();
}

// Reads up to `bytes` into `into`; answers how many, or -1.
long long ReadSome(FileHandle file, char* into, std::size_t bytes)
{
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes, 1u << 30));
    return ReadFile(file, into, chunk, &read, nullptr) ? static_cast<long long>(read) : -1;
}

// Writes up to `bytes` of `data`; answers how many (at least one), or -1.
long long WriteSome(FileHandle file, const char* data, std::size_t bytes)
{
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes, 1u << 30));
    return WriteFile(file, data, chunk, &written, nullptr) && written > 0 ? static_cast<long long>(written) : -1;
}

bool SyncToDisk(FileHandle file)
{
    return FlushFileBuffers(file) != 0;
}

bool Close(FileHandle file)
{
    return CloseHandle(file) != 0;
}

// Puts the file `from` in place of `to`, written through: the move returns once the new name is on
// the disk.
bool MoveInPlaceOf(const SystemPath& from, const SystemPath& to)
{
    return RetryWhileHeld(to, [&] {
        return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
}

bool RenameWithoutReplacing(const SystemPath& from, const SystemPath& to)
{
    return RetryWhileHeld(from, [&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0; });
}

bool NameIsTaken()
{
    return GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS;
}

#else

SystemError LastError()
{
    return errno != 0 ? errno : EIO;
}

// Opens the regular file at `path` for reading and tells its size. Answers 0, or why not.
SystemError OpenRegularFile(const SystemPath& path, FileHandle& file, std::uint64_t& size)
{
    // Only a regular file is opened: opening a device may act on it, and opening a named pipe waits
    // for a writer. O_NONBLOCK keeps the open from waiting should a pipe take the file's place
    // meanwhile, and what was opened is checked again; a regular file's reads never wait.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return LastError();
    if (!S_ISREG(status.st_mode))
        return NotARegularFile;
    file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file == NoFile || ::fstat(file, &status) != 0)
        return LastError();
    size = static_cast<std::uint64_t>(status.st_size);
    return S_ISREG(status.st_mode) ? 0 : NotARegularFile;
}

// Creates the file at `path` afresh: what lies there is removed first (unlink removes a link itself,
// not what it names), and O_EXCL and O_NOFOLLOW refuse what is put there meanwhile rather than
// follow it. Answers 0, or why not.
SystemError CreateFileAfresh(const SystemPath& path, FileHandle& file)
{
    ::unlink(path.c_str());
    file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return file != NoFile ? 0 : LastError();
}

// Reads up to `bytes` into `into`; answers how many, or -1.
long long ReadSome(FileHandle file, char* into, std::size_t bytes)
{
    ssize_t read = 0;
    do
        read = ::read(file, into, bytes);
    while (read < 0 && errno == EINTR);
    return read;
}

// Writes up to `bytes` of `data`; answers how many (at least one), or -1.
long long WriteSome(FileHandle file, const char* data, std::size_t bytes)
{
    ssize_t written = 0;
    do
        written = ::write(file, data, bytes);
    while (written < 0 && errno == EINTR);
    if (written == 0)
        errno = ENOSPC;
    return written > 0 ? written : -1;
}

bool SyncToDisk(FileHandle file)
{
    return ::fsync(file) == 0;
}

bool Close(FileHandle file)
{
    return ::close(file) == 0;
}

// Puts the file `from` in place of `to`. The rename is durable once the folder that holds the name
// is, which is flushed too.
bool MoveInPlaceOf(const SystemPath& from, const SystemPath& to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0)
        return false;
    const SystemPath folder = to.has_parent_path() ? to.parent_path() : SystemPath(".");
    const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle >= 0) {
        ::fsync(handle);
        ::close(handle);
    }
    return true;
}

// link and unlink: unlike rename, link never replaces a file that has the name.
bool RenameWithoutReplacing(const SystemPath& from, const SystemPath& to)
{
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

bool NameIsTaken()
{
    return errno == EEXIST;
}

#endif

// Reads the whole of `file`, `size` bytes when it was opened, into `text`. Answers 0, or why not.
SystemError ReadWhole(FileHandle file, std::uint64_t size, std::string& text)
{
    // One sized read, and one more that finds the end (or what a growing file added).
    for (std::size_t piece = static_cast<std::size_t>(size) + 1;; piece = std::size_t{1} << 20) {
        const std::size_t before = text.size();
        text.resize(before + piece);
        const long long read = ReadSome(file, text.data() + before, piece);
        if (read < 0)
            return LastError();
        text.resize(before + static_cast<std::size_t>(read));
        if (read == 0)
            return 0;
    }
}

// Writes all of `bytes` to `file`. Answers 0, or why not.
SystemError WriteAll(FileHandle file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const long long written = WriteSome(file, bytes.data(), bytes.size());
        if (written < 0)
            return LastError();
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

std::string PathText(const SystemPath& path)
{
#if defined(_WIN32)
    const std::wstring& units = path.native();
    return GS::Unicode::ConvertUtf16ToUtf8(reinterpret_cast<const char16_t*>(units.data()), units.size());
#else
    return path.native();
#endif
}

std::optional<SystemPath> EnvironmentPath(const char* name, std::string_view tail)
{
#if defined(_WIN32)
    const wchar_t* value = _wgetenv(std::wstring(name, name + std::strlen(name)).c_str());
#else
    const char* value = std::getenv(name);
#endif
    if (value == nullptr)
        return std::nullopt;
    return SystemPath(value) += SystemPath(tail).make_preferred();
}

std::optional<std::string> ReadTextFile(const SystemPath& path, SystemError* error)
{
    FileHandle file = NoFile;
    std::uint64_t size = 0;
    std::string text;
    SystemError why = OpenRegularFile(path, file, size);
    if (why == 0)
        why = ReadWhole(file, size, text);
    if (file != NoFile)
        Close(file);
    if (why != 0) {
        if (error != nullptr)
            *error = why;
        return std::nullopt;
    }
    DropCarriageReturnsBeforeLineFeeds(text);
    return text;
}

bool IsExistingFile(const SystemPath& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

bool IsSomethingElse(const SystemPath& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

#if defined(_WIN32)

bool IsAnythingAt(const SystemPath& path)
{
    // GetFileAttributesW does not follow a link: it describes the link itself.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

SystemError CreateFolderOf(const SystemPath& path)
{
    const SystemPath folder = path.parent_path();
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return IsFolder(folder) ? 0 : ERROR_BAD_FILE_TYPE;
    return LastError();
}

SystemError RemoveFile(const SystemPath& path)
{
    // DeleteFileW removes a link itself, not what it points to.
    if (RetryWhileHeld(path, [&] { return DeleteFileW(path.c_str()) != 0; }))
        return 0;
    const DWORD why = GetLastError();
    return why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND ? 0 : static_cast<SystemError>(why);
}

#else

bool IsAnythingAt(const SystemPath& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

SystemError CreateFolderOf(const SystemPath& path)
{
    const SystemPath folder = path.parent_path();
    if (::mkdir(folder.c_str(), 0777) == 0)
        return 0;
    struct stat status {};
    if (errno == EEXIST && ::stat(folder.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    return LastError();
}

SystemError RemoveFile(const SystemPath& path)
{
    // unlink removes a link itself, not what it points to.
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : LastError();
}

#endif

std::vector<SystemPath> FilesIn(const SystemPath& folder)
{
    std::vector<SystemPath> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        names.push_back(entry->path());
    return names;
}

SystemPath SetFileAside(const SystemPath& path, const char* what)
{
    const std::string stamp = std::string(".") + what + "-" + LocalTimeText("%Y%m%d-%H%M%S");
    for (int number = 1; number < 1000; ++number) {
        // "NAME.WHAT-STAMP-N.EXT" beside `path`; without "-N" for the first.
        SystemPath name = path.stem();
        name += number > 1 ? stamp + "-" + std::to_string(number) : stamp;
        name += path.extension();
        const SystemPath aside = SystemPath(path).replace_filename(name);
        if (RenameWithoutReplacing(path, aside))
            return aside;
        if (!NameIsTaken())
            return SystemPath();
    }
    return SystemPath();
}

SystemError WriteInPlaceOf(const SystemPath& target, const std::function<void(const ByteWriter& write)>& print)
{
    const SystemPath temporary = SystemPath(target) += ".tmp";
    FileHandle file = NoFile;
    SystemError failure = CreateFileAfresh(temporary, file);
    if (failure != 0)
        return failure;
    try {
        print([&](std::string_view bytes) {
            if (failure == 0)
                failure = WriteAll(file, bytes);
        });
    } catch (...) {
        Close(file);
        RemoveFile(temporary);
        throw;
    }
    if (failure == 0 && !SyncToDisk(file))
        failure = LastError();
    if (!Close(file) && failure == 0)
        failure = LastError();
    if (failure == 0 && !MoveInPlaceOf(temporary, target))
        failure = LastError();
    if (failure != 0)
        RemoveFile(temporary);
    return failure;
}

}  // namespace Quillmere
