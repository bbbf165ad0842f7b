#include "LoadedModule_posix.hpp"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <link.h>
#include <unistd.h>

namespace QmLoadedModule {

namespace {

struct Search {
    std::uintptr_t base = 0;
    std::uintptr_t pageMask = 0;
    bool found = false;
    std::string name;
};

// The start of an object's first mapping: its lowest loadable segment, rounded down to a page,
// moved by the load bias. This is where the loader mapped the file's first bytes.
int MatchMappingStart(dl_phdr_info* info, std::size_t, void* data)
{
    auto* search = static_cast<Search*>(data);
    bool anyLoad = false;
    std::uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < lowest) {
            lowest = info->dlpi_phdr[i].p_vaddr;
            anyLoad = true;
        }
    }
    if (!anyLoad || info->dlpi_addr + (lowest & search->pageMask) != search->base)
        return 0;
    search->found = true;
    search->name = info->dlpi_name != nullptr ? info->dlpi_name : "";
    return 1;
}

bool ReadProgramPath(std::string& path)
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return false;
    path = program.string();
    return true;
}

// The file mapped at `start` as /proc/self/maps names it: absolute even when the object was
// opened by a relative name and the working folder has changed since.
bool ReadMappedFile(std::uintptr_t start, std::string& path)
{
    FILE* maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr)
        return false;
    bool found = false;
    char line[4096 + 256];
    while (!found && std::fgets(line, sizeof line, maps) != nullptr) {
        std::uintptr_t from = 0;
        int consumed = 0;
        if (std::sscanf(line, "%" SCNxPTR "-%*s %*s %*s %*s %*s%n", &from, &consumed) < 1 ||
            from != start)
            continue;
        std::string rest(line + consumed);
        const auto first = rest.find('/');
        if (first == std::string::npos)
            continue;
        rest.erase(0, first);
        while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r'))
            rest.pop_back();
        path = rest;
        found = true;
    }
    std::fclose(maps);
    return found;
}

}  // namespace

bool FindModuleFile(const void* base, std::string& path)
{
    if (base == nullptr)
        return ReadProgramPath(path);

    Search search;
    search.base = reinterpret_cast<std::uintptr_t>(base);
    search.pageMask = ~(static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE)) - 1);
    dl_iterate_phdr(&MatchMappingStart, &search);
    if (!search.found)
        return false;
    if (search.name.empty())  // the program itself
        return ReadProgramPath(path);
    if (search.name.front() == '/') {
        path = search.name;
        return true;
    }
    if (ReadMappedFile(search.base, path))
        return true;
    std::error_code error;
    path = std::filesystem::absolute(search.name, error).string();
    return true;
}

}  // namespace QmLoadedModule
