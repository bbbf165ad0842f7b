// The module's seam around the system's file calls: reading a file whole, and replacing a file
// through a temporary one that nothing else can redirect. Names are the system's own (UTF-16 on
// Windows, UTF-8 bytes elsewhere), so a folder of any name works.
#pragma once

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quillmere {

// A file's name in the system's own form.
using SystemPath = std::filesystem::path;

// The system's number for why a file call failed: errno, or GetLastError() on Windows.
using SystemError = int;

// NotARegularFile: why a path that names something other than a regular file (a folder, a named
// pipe, a device, a socket) is not read: reading such a thing can wait for ever. EINVAL (22) on
// POSIX, ERROR_BAD_FILE_TYPE (222) on Windows.
// FileHandle: an open file, a HANDLE on Windows, a descriptor elsewhere.
#if defined(_WIN32)
constexpr SystemError NotARegularFile = 222;
using FileHandle = void*;
constexpr FileHandle NoFile = nullptr;
#else
constexpr SystemError NotARegularFile = EINVAL;
using FileHandle = int;
constexpr FileHandle NoFile = -1;
#endif

// `path` as UTF-8 text, for messages.
std::string PathText(const SystemPath& path);

// The folder the environment variable `name` holds, followed by `tail` ("/" between its names, the
// system's separator in the answer), in the system's own form: read as UTF-16 on Windows, so that a
// folder of any name works. Nothing when the variable is not set.
std::optional<SystemPath> EnvironmentPath(const char* name, std::string_view tail);

// Reads the whole regular file (or the one a link names) with one sized read. Line ends come back
// as text mode gives them on Windows: each CR LF pair becomes LF, so files written on either system
// read the same. Nothing when the file cannot be opened or read, or is no regular file
// (NotARegularFile), which is refused without waiting on it; `error`, when given, then receives why.
// On Windows a file that another program holds for a moment is waited for briefly (see
// WriteInPlaceOf).
std::optional<std::string> ReadTextFile(const SystemPath& path, SystemError* error = nullptr);

// Whether a regular file (or a link to one) exists at `path`; a folder, a named pipe or a device is
// none, as ReadTextFile would not read it.
bool IsExistingFile(const SystemPath& path);
// Whether something other than a regular file lies at `path`: a folder, a named pipe, a device.
bool IsSomethingElse(const SystemPath& path);

// Makes the folder that holds `path` when it is missing (its own folder must exist). Answers 0, or
// why it could not.
SystemError CreateFolderOf(const SystemPath& path);

// Removes the file at `path` (a link itself, not what it names); no file there is no failure.
SystemError RemoveFile(const SystemPath& path);

// Renames the file at `path` to a name beside it that no file has: "NAME.WHAT-YYYYMMDD-HHMMSS.EXT",
// with "-2", "-3", ... added when that is taken, so that nothing is overwritten and no later run
// takes the name. Answers the new path; empty when the file could not be renamed.
SystemPath SetFileAside(const SystemPath& path, const char* what);

// The names in `folder`; none when it cannot be listed.
std::vector<SystemPath> FilesIn(const SystemPath& folder);

// Whether anything at all is at `path`: a file, a folder, a device, or a link, even one that leads
// nowhere or in a loop (the link itself is looked at). True also when the path cannot be looked at
// for another reason than that nothing is there (no access to its folder).
bool IsAnythingAt(const SystemPath& path);

// Hands bytes on: to a file, or to a text.
using ByteWriter = std::function<void(std::string_view bytes)>;

// Writes a new file in place of another: the bytes `print` hands to its writer go to "<target>.tmp"
// beside it, created new (a stale file or a link that lies there is removed first, never followed),
// and take the target's name only once all of them are written, flushed to the disk and the file
// is closed; the folder is flushed after the rename too (on Windows the move is written through),
// so that a power loss leaves the old file or the new one, never an empty one. Until then, and on
// any failure, the target stays as it was; the temporary file never outlives the call, not even
// when `print` throws. Each piece is written when handed over, so `print` hands large ones. After
// the first failure nothing more is written. Answers 0, or the first failure; `print` is not called
// when the temporary file cannot be created.
// On Windows an editor, a virus scanner or a sync client may hold either file for a moment, and a
// call on it then fails with a sharing or lock violation or access denied: such a call is tried
// again after 25, 50, ... 250 ms (10 times, 1.375 s in all) before its error is answered.
// (Not named ReplaceFile: windows.h makes that name a macro for ReplaceFileA.)
SystemError WriteInPlaceOf(const SystemPath& target, const std::function<void(const ByteWriter& write)>& print);

}  // namespace Quillmere
