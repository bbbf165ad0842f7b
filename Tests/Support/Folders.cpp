#include "Folders.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "Files.hpp"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace Support {

namespace fs = std::filesystem;

namespace {

fs::path FolderFromEnvironment(const char* variable, const char* builtIn)
{
    const char* folder = std::getenv(variable);
    return folder != nullptr && *folder != '\0' ? fs::path(folder) : fs::path(builtIn);
}

unsigned long ProcessId()
{
#ifdef _WIN32
    return static_cast<unsigned long>(::_getpid());
#else
    return static_cast<unsigned long>(::getpid());
#endif
}

}  // namespace

fs::path SourceFolder()
{
    return FolderFromEnvironment("QUILLMERE_SOURCE_DIR", QUILLMERE_DEFAULT_SOURCE_DIR);
}

fs::path BinaryFolder()
{
    return FolderFromEnvironment("QUILLMERE_BIN_DIR", QUILLMERE_DEFAULT_BIN_DIR);
}

fs::path FixtureFile(const fs::path& relative)
{
    const fs::path file = SourceFolder() / "Tests" / "Fixtures" / relative;
    if (!fs::is_regular_file(file))
        throw std::runtime_error("no fixture file " + Utf8Path(file));
    return file;
}

std::string Utf8Path(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

ScratchFolder::ScratchFolder(const fs::path& suffix)
{
    // The name holds the process, a count within it and the clock; creating the folder fails when
    // that name is taken already (by another process, or by anything planted there), and then the
    // next count is tried.
    static std::atomic<unsigned long> count{0};
    const fs::path temporary = fs::temp_directory_path();
    const auto ticks = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path name = "quillmere-" + std::to_string(ProcessId()) + "-" + std::to_string(++count) + "-" +
                        std::to_string(ticks % 1000000);
        name += suffix;
        std::error_code error;
        if (fs::create_directory(temporary / name, error)) {
            path = temporary / name;
            // As mkdtemp makes it: for this user alone.
            fs::permissions(path, fs::perms::owner_all, error);
            return;
        }
    }
    throw std::runtime_error("cannot create a folder under " + Utf8Path(temporary));
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

fs::path ScratchFolder::Write(const fs::path& name, std::string_view bytes) const
{
    const fs::path file = path / name;
    WriteBytes(file, bytes);
    return file;
}

#ifdef _WIN32
FolderVariable::FolderVariable(const char* name, const fs::path& folder) : name(name)
{
    const std::wstring wide(name, name + std::strlen(name));
    if (const wchar_t* value = ::_wgetenv(wide.c_str()); value != nullptr)
        previous = value;
    if (::_wputenv_s(wide.c_str(), folder.wstring().c_str()) != 0)
        throw std::runtime_error(std::string("cannot set ") + name);
}

FolderVariable::~FolderVariable()
{
    const std::wstring wide(name, name + std::strlen(name));
    ::_wputenv_s(wide.c_str(), previous ? previous->c_str() : L"");  // empty: removed
}
#else
FolderVariable::FolderVariable(const char* name, const fs::path& folder) : name(name)
{
    if (const char* value = std::getenv(name); value != nullptr)
        previous = value;
    if (::setenv(name, folder.c_str(), 1) != 0)
        throw std::runtime_error(std::string("cannot set ") + name);
}

FolderVariable::~FolderVariable()
{
    if (previous)
        ::setenv(name, previous->c_str(), 1);
    else
        ::unsetenv(name);
}
#endif

ProfileFolder::ProfileFolder(const fs::path& suffix) : folder(suffix), user(folder.Path())
{
    fs::create_directory(Documents());
    fs::create_directories(LocalAppData());
}

}  // namespace Support
