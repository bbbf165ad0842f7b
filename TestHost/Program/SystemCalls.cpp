#include "SystemCalls.hpp"

#include <cstdio>
#include <cstdlib>
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
#if defined(_WIN32)
    const long process = _getpid();
#else
    const long process = static_cast<long>(::getpid());
#endif
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

bool SetProcessVariable(const char* name, const std::string& value)
{
#if defined(_WIN32)
    return _putenv_s(name, value.c_str()) == 0;
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

}  // namespace HostProgram
