// GetModuleFileNameW for systems without Windows: the module is named by its load address.
#include "Win.hpp"

#include <string>

#include "../GSRoot/UnicodeCodec.hpp"
#include "../RS/LoadedModule_posix.hpp"

// As on Windows: a path that does not fit is cut to size - 1 units and a NUL, and the result is
// then `size` itself, so callers can tell a cut path from a whole one.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    std::string path;
    if (!QmLoadedModule::FindModuleFile(module, path) || size == 0 || buffer == nullptr)
        return 0;

    DWORD written = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(path.data());
    std::size_t used = 0;
    for (std::size_t at = 0; at < path.size(); at += used) {
        char16_t units[2];
        const std::size_t count = GS::Unicode::EncodeUtf16(GS::Unicode::DecodeUtf8(bytes + at, path.size() - at, used), units);
        if (written + count > size - 1) {
            buffer[written] = 0;
            return size;
        }
        for (std::size_t i = 0; i < count; ++i)
            buffer[written++] = units[i];
    }
    buffer[written] = 0;
    return written;
}
