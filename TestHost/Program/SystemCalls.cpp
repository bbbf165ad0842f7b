#include "SystemCalls.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace HostProgram {

namespace {

long ProcessId()
{
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<long>(::getpid());
#endif
}

std::FILE* OpenForWriting(const std::filesystem::path& path)
{
#if defined(_WIN32)
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

// Writes the text, flushes and closes `file`, and asks the system to put the bytes on the disk
// before the file takes the target's place. Returns false with errno set on failure; the file is
// closed either way (also when `writeText` throws). After a failed write the rest of the text is
// not written.
bool WriteAndClose(std::FILE* file, const std::function<void(const TextSink&)>& writeText)
{
    bool written = true;
    int writeError = 0;  // of the write that failed: making the rest of the text may touch errno
    try {
        writeText([&written, &writeError, file](std::string_view piece) {
            if (written && std::fwrite(piece.data(), 1, piece.size(), file) != piece.size()) {
                written = false;
                writeError = errno;
            }
        });
    } catch (...) {
        std::fclose(file);
        throw;
    }
    if (written) {
        written = std::fflush(file) == 0;
#if defined(_WIN32)
        written = written && _commit(_fileno(file)) == 0;
#else
        written = written && ::fsync(fileno(file)) == 0;
#endif
        writeError = errno;
    }
    const bool closed = std::fclose(file) == 0;
    if (!written)
        errno = writeError;
    return written && closed;
}

// Puts `from` in the place of `to`, replacing a file there in one step.
bool MoveOver(const std::filesystem::path& from, const std::filesystem::path& to, std::string& reason)
{
#if defined(_WIN32)
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    reason = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
#else
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    reason = std::strerror(errno);
    return false;
#endif
}

}  // namespace

std::filesystem::path ExecutableFolder()
{
    std::error_code error;
#if defined(_WIN32)
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return {};
    return std::filesystem::path(std::wstring(buffer, length)).parent_path();
#else
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : executable.parent_path();
#endif
}

const char* DefaultModuleFileName()
{
#if defined(_WIN32)
    return "Quillmere.dll";
#else
    return "Quillmere.so";
#endif
}

std::filesystem::path CreateRunFolder(std::string& error)
{
    std::error_code code;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(code);
    if (code) {
        error = "no temporary folder: " + code.message();
        return {};
    }
    const long process = ProcessId();
    // create_directory answers false for a name that exists, so two runs never share a folder.
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        const std::filesystem::path folder =
            temporary / ("quillmere-host-" + std::to_string(process) + "-" + std::to_string(attempt));
        if (std::filesystem::create_directory(folder, code))
            return folder;
        if (code) {
            error = "cannot create a folder in " + temporary.string() + ": " + code.message();
            return {};
        }
    }
    error = "cannot create a new folder in " + temporary.string();
    return {};
}

bool SetProcessVariable(const char* name, const std::filesystem::path& value)
{
#if defined(_WIN32)
    const std::wstring wideName(name, name + std::char_traits<char>::length(name));
    return _wputenv_s(wideName.c_str(), value.wstring().c_str()) == 0;
#else
    return ::setenv(name, value.c_str(), 1) == 0;
#endif
}

bool IsInputTerminal()
{
#if defined(_WIN32)
    return _isatty(_fileno(stdin)) != 0;
#else
    return ::isatty(STDIN_FILENO) != 0;
#endif
}

bool ReplaceFileContent(const std::string& path, const std::function<void(const TextSink&)>& writeText,
                        std::string& error)
{
    namespace fs = std::filesystem;
    std::error_code code;
    // The file a link names, so that the link stays and the file behind it is replaced.
    fs::path target = fs::weakly_canonical(fs::absolute(path, code), code);
    if (code || target.empty())
        target = fs::absolute(path, code).lexically_normal();
    const fs::path temporary =
        target.parent_path() / ("." + target.filename().string() + ".quillmere-host-" + std::to_string(ProcessId()));
    const auto fail = [&](const std::string& reason) {
        fs::remove(temporary, code);
        error = "cannot write \"" + path + "\": " + reason;
        return false;
    };
    std::FILE* file = OpenForWriting(temporary);
    if (file == nullptr)
        return fail(std::strerror(errno));
    bool written = false;
    try {
        written = WriteAndClose(file, writeText);
    } catch (...) {
        fs::remove(temporary, code);
        throw;
    }
    if (!written)
        return fail(std::strerror(errno));
    // The new file keeps the permissions of the one it replaces.
    const fs::file_status existing = fs::status(target, code);
    if (!code && fs::is_regular_file(existing))
        fs::permissions(temporary, existing.permissions(), code);
    std::string reason;
    if (!MoveOver(temporary, target, reason))
        return fail(reason);
    return true;
}

}  // namespace HostProgram
