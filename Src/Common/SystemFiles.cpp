#include "SystemFiles.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "GSRoot/UnicodeCodec.hpp"
#include "MessageFormat.hpp"

#if defined(_WIN32)
#include "Win/Win.hpp"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Quillmere {

namespace {

// Turns each CR LF pair from `from` on into LF in place, from the first CR on; a text without CR
// costs one scan.
void DropCarriageReturnsBeforeLineFeeds(std::string& text, std::size_t from)
{
    const char* first = static_cast<const char*>(std::memchr(text.data() + from, '\r', text.size() - from));
    if (first == nullptr)
        return;
    std::size_t kept = static_cast<std::size_t>(first - text.data());
    for (std::size_t at = kept; at < text.size(); ++at) {
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
            continue;
        text[kept++] = text[at];
    }
    text.resize(kept);
}

#if defined(_WIN32)

SystemError LastError()
{
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<SystemError>(error) : ERROR_GEN_FAILURE;
}

static_assert(NotARegularFile == ERROR_BAD_FILE_TYPE);

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

#else

SystemError LastError()
{
    return errno != 0 ? errno : EIO;
}

#endif

// A regular file open for reading, closed when it goes.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    // Opens the file without waiting on what is no regular file. Answers 0, or why not.
    SystemError Open(const SystemPath& path);

    std::uint64_t size = 0;
#if defined(_WIN32)
    void* file = nullptr;  // HANDLE
#else
    int file = -1;
#endif
};

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
    const std::wstring variable(name, name + std::strlen(name));
    const wchar_t* value = _wgetenv(variable.c_str());
    if (value == nullptr)
        return std::nullopt;
    std::wstring path(value);
    for (const char c : tail)
        path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    return SystemPath(path);
#else
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return SystemPath(std::string(value).append(tail));
#endif
}

#if defined(_WIN32)

SystemError ReadOnlyFile::Open(const SystemPath& path)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    const bool opened = RetryWhileHeld(path, [&] {
        handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    });
    if (!opened) {
        // A folder cannot be opened this way and answers access denied.
        const SystemError why = LastError();
        return why == ERROR_ACCESS_DENIED && IsFolder(path) ? NotARegularFile : why;
    }
    // A named pipe, a console or another device could keep a read waiting.
    LARGE_INTEGER length{};
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return NotARegularFile;
    }
    if (!GetFileSizeEx(handle, &length)) {
        const SystemError why = LastError();
        CloseHandle(handle);
        return why;
    }
    file = handle;
    size = static_cast<std::uint64_t>(length.QuadPart);
    return 0;
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (file != nullptr)
        CloseHandle(static_cast<HANDLE>(file));
}

namespace {

// Reads up to `bytes` into `into`; answers how many, or -1.
long long ReadPiece(void* file, char* into, std::size_t bytes)
{
    DWORD read = 0;
    if (!ReadFile(static_cast<HANDLE>(file), into, static_cast<DWORD>(std::min<std::size_t>(bytes, 1u << 30)), &read, nullptr))
        return -1;
    return read;
}

}  // namespace

bool IsExistingFile(const SystemPath& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool IsSomethingElse(const SystemPath& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

bool IsAnythingAt(const SystemPath& path)
{
    // GetFileAttributesW does not follow a link: it describes the link itself.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

#else

SystemError ReadOnlyFile::Open(const SystemPath& path)
{
    // Only a regular file is opened: opening a device may act on it, and opening a named pipe waits
    // for a writer. O_NONBLOCK keeps the open from waiting should a pipe take the file's place
    // meanwhile, and what was opened is checked again; a regular file's reads never wait.
    struct stat status {};
    errno = 0;
    if (::stat(path.c_str(), &status) != 0)
        return LastError();
    if (!S_ISREG(status.st_mode))
        return NotARegularFile;
    errno = 0;
    const int opened = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (opened < 0)
        return LastError();
    errno = 0;
    const bool statted = ::fstat(opened, &status) == 0;
    const SystemError why = !statted ? LastError() : !S_ISREG(status.st_mode) ? NotARegularFile : 0;
    if (why != 0) {
        ::close(opened);
        return why;
    }
    file = opened;
    size = static_cast<std::uint64_t>(status.st_size);
    return 0;
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (file >= 0)
        ::close(file);
}

namespace {

// Reads up to `bytes` into `into`; answers how many, or -1.
long long ReadPiece(int file, char* into, std::size_t bytes)
{
    while (true) {
        errno = 0;
        const ssize_t read = ::read(file, into, bytes);
        if (read >= 0 || errno != EINTR)
            return read;
    }
}

}  // namespace

bool IsExistingFile(const SystemPath& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsSomethingElse(const SystemPath& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

bool IsAnythingAt(const SystemPath& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

#endif

std::optional<std::string> ReadTextFile(const SystemPath& path, SystemError* error)
{
    const auto fail = [error](SystemError why) -> std::optional<std::string> {
        if (error != nullptr)
            *error = why;
        return std::nullopt;
    };
    ReadOnlyFile file;
    if (const SystemError why = file.Open(path))
        return fail(why);
    if (file.size >= SIZE_MAX / 2)
        return fail(EFBIG);
    // One sized read, and one more that finds the end (or what a growing file added).
    std::string text;
    for (std::size_t piece = static_cast<std::size_t>(file.size) + 1;; piece = std::size_t{1} << 20) {
        const std::size_t before = text.size();
        text.resize(before + piece);
        const long long read = ReadPiece(file.file, text.data() + before, piece);
        if (read < 0)
            return fail(LastError());
        text.resize(before + static_cast<std::size_t>(read));
        if (read == 0)
            break;
    }
    DropCarriageReturnsBeforeLineFeeds(text, 0);
    return text;
}

ReplacingFileWriter::ReplacingFileWriter(SystemPath target) : target(std::move(target))
{
    temporary = this->target;
    temporary += ".tmp";
}

ReplacingFileWriter::~ReplacingFileWriter()
{
    CloseFile();
    if (created && !committed)
        RemoveTemporary();
}

#if defined(_WIN32)

SystemError ReplacingFileWriter::Open()
{
    // DeleteFileW removes a link itself, not what it points to.
    if (!RetryWhileHeld(temporary, [&] { return DeleteFileW(temporary.c_str()) != 0; })) {
        const DWORD why = GetLastError();
        if (why != ERROR_FILE_NOT_FOUND && why != ERROR_PATH_NOT_FOUND)
            return failure = LastError();
    }
    HANDLE handle = INVALID_HANDLE_VALUE;
    const bool opened = RetryWhileHeld(temporary, [&] {
        handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    });
    if (!opened)
        return failure = LastError();
    file = handle;
    created = true;
    buffer.reset(new char[BufferSize]);
    return failure = 0;
}

void ReplacingFileWriter::WriteToFile(const char* data, std::size_t size)
{
    while (failure == 0 && size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(file), data, chunk, &written, nullptr) || written == 0) {
            failure = LastError();
            return;
        }
        data += written;
        size -= written;
    }
}

void ReplacingFileWriter::CloseFile() noexcept
{
    if (file != nullptr) {
        if (!CloseHandle(static_cast<HANDLE>(file)) && failure == 0)
            failure = LastError();
        file = nullptr;
    }
}

void ReplacingFileWriter::RemoveTemporary() noexcept
{
    DeleteFileW(temporary.c_str());
}

SystemError ReplacingFileWriter::Commit()
{
    Flush();
    if (failure == 0 && file != nullptr && !FlushFileBuffers(static_cast<HANDLE>(file)))
        failure = LastError();
    CloseFile();
    // Written through: the move returns once the new name is on the disk.
    if (failure == 0 && !RetryWhileHeld(target, [&] {
            return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        }))
        failure = LastError();
    committed = failure == 0;
    return failure;
}

#else

SystemError ReplacingFileWriter::Open()
{
    // unlink removes a link itself, not what it points to; O_EXCL and O_NOFOLLOW then refuse
    // anything that is put there before the file is made.
    ::unlink(temporary.c_str());
    errno = 0;
    file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file < 0)
        return failure = LastError();
    created = true;
    buffer.reset(new char[BufferSize]);
    return failure = 0;
}

void ReplacingFileWriter::WriteToFile(const char* data, std::size_t size)
{
    while (failure == 0 && size > 0) {
        errno = 0;
        const ssize_t written = ::write(file, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            failure = written == 0 ? ENOSPC : LastError();
            return;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void ReplacingFileWriter::CloseFile() noexcept
{
    if (file >= 0) {
        errno = 0;
        if (::close(file) != 0 && failure == 0)
            failure = LastError();
        file = -1;
    }
}

void ReplacingFileWriter::RemoveTemporary() noexcept
{
    ::unlink(temporary.c_str());
}

SystemError ReplacingFileWriter::Commit()
{
    Flush();
    errno = 0;
    if (failure == 0 && file >= 0 && ::fsync(file) != 0)
        failure = LastError();
    CloseFile();
    errno = 0;
    if (failure == 0 && std::rename(temporary.c_str(), target.c_str()) != 0)
        failure = LastError();
    committed = failure == 0;
    // The rename is durable once the folder that holds the name is.
    if (committed) {
        const SystemPath folder = target.has_parent_path() ? target.parent_path() : SystemPath(".");
        const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (handle >= 0) {
            ::fsync(handle);
            ::close(handle);
        }
    }
    return failure;
}

#endif

void ReplacingFileWriter::Flush()
{
    if (used > 0 && failure == 0)
        WriteToFile(buffer.get(), used);
    used = 0;
}

void ReplacingFileWriter::WriteThrough(const char* data, std::size_t size)
{
    Flush();
    if (size < BufferSize) {
        std::memcpy(buffer.get(), data, size);
        used = size;
    } else {
        WriteToFile(data, size);
    }
}

}  // namespace Quillmere

namespace Quillmere {

namespace {

// "NAME.WHAT-STAMP-N.EXT" beside `path`; without "-N" for the first.
SystemPath AsideName(const SystemPath& path, const char* what, const std::string& stamp, int number)
{
    SystemPath aside = path;
    std::string name = PathText(path.stem()) + "." + what + "-" + stamp;
    if (number > 1)
        name += "-" + std::to_string(number);
    name += PathText(path.extension());
#if defined(_WIN32)
    aside.replace_filename(SystemPath(GS::Unicode::ConvertUtf8ToUtf16(name.data(), name.size())));
#else
    aside.replace_filename(name);
#endif
    return aside;
}

}  // namespace

#if defined(_WIN32)

SystemError CreateFolderOf(const SystemPath& path)
{
    const SystemPath folder = path.parent_path();
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return IsFolder(folder) ? 0 : ERROR_BAD_FILE_TYPE;
    return LastError();
}

SystemError RemoveFile(const SystemPath& path)
{
    if (RetryWhileHeld(path, [&] { return DeleteFileW(path.c_str()) != 0; }))
        return 0;
    const DWORD why = GetLastError();
    return why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND ? 0 : static_cast<SystemError>(why);
}

namespace {

bool RenameWithoutReplacing(const SystemPath& from, const SystemPath& to)
{
    return RetryWhileHeld(from, [&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0; });
}

bool NameIsTaken()
{
    return GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS;
}

}  // namespace

std::vector<SystemPath> FilesIn(const SystemPath& folder)
{
    std::vector<SystemPath> names;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder / L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(folder / entry.cFileName);
    while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

#else

SystemError CreateFolderOf(const SystemPath& path)
{
    const SystemPath folder = path.parent_path();
    errno = 0;
    if (::mkdir(folder.c_str(), 0777) == 0)
        return 0;
    struct stat status {};
    if (errno == EEXIST && ::stat(folder.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    return LastError();
}

SystemError RemoveFile(const SystemPath& path)
{
    errno = 0;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : LastError();
}

namespace {

// link and unlink: unlike rename, link never replaces a file that has the name.
bool RenameWithoutReplacing(const SystemPath& from, const SystemPath& to)
{
    errno = 0;
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

bool NameIsTaken()
{
    return errno == EEXIST;
}

}  // namespace

std::vector<SystemPath> FilesIn(const SystemPath& folder)
{
    std::vector<SystemPath> names;
    DIR* const directory = ::opendir(folder.c_str());
    if (directory == nullptr)
        return names;
    while (const dirent* entry = ::readdir(directory))
        names.push_back(folder / entry->d_name);
    ::closedir(directory);
    return names;
}

#endif

std::optional<FileStamp> StampOf(const SystemPath& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    const std::filesystem::file_time_type modified = std::filesystem::last_write_time(path, error);
    if (error)
        return std::nullopt;
    return FileStamp{size, static_cast<std::int64_t>(modified.time_since_epoch().count())};
}

SystemPath SetFileAside(const SystemPath& path, const char* what)
{
    const std::string stamp = LocalTimeText("%Y%m%d-%H%M%S");
    for (int number = 1; number < 1000; ++number) {
        const SystemPath aside = AsideName(path, what, stamp, number);
        if (RenameWithoutReplacing(path, aside))
            return aside;
        if (!NameIsTaken())
            return SystemPath();
    }
    return SystemPath();
}

}  // namespace Quillmere
