// The quillmere-renames program's entry: the arguments to RunRenamesProgram, its texts to the
// standard output and error, its status as the exit status.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "RenamesProgram.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

#if defined(_WIN32)

// Writes UTF-8 text: to a console as its characters, elsewhere as the bytes themselves (no CR is
// added, so the report is the same file as on other systems).
bool Print(FILE* stream, const std::string& text)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
        DWORD written = 0;
        return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
    }
    _setmode(_fileno(stream), _O_BINARY);
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
}

#else

bool Print(FILE* stream, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
}

#endif

int RunWith(const std::vector<std::filesystem::path>& arguments)
{
    const RenameProposal::ProgramResult result = RenameProposal::RunRenamesProgram(arguments);
    const bool printed = Print(stdout, result.out);
    Print(stderr, result.err);
    if (!printed) {
        Print(stderr, "quillmere-renames: the standard output could not be written\n");
        return 2;
    }
    return result.status;
}

}  // namespace

#if defined(_WIN32)
// The arguments as Windows gives them, so that any file name comes through.
int wmain(int argc, wchar_t** argv)
{
    return RunWith(std::vector<std::filesystem::path>(argv + 1, argv + argc));
}
#else
int main(int argc, char** argv)
{
    return RunWith(std::vector<std::filesystem::path>(argv + 1, argv + argc));
}
#endif
