#include "Win.hpp"

#include <map>
#include <mutex>
#include <string>

namespace {

constexpr UINT FirstMessage = 0xC000;
constexpr UINT LastMessage = 0xFFFF;

// Names and their numbers for the life of the process. This is the platform's own memory, not
// GS::MemoryManager's: a name registered at module load must not count as a block the module
// leaves behind.
std::mutex registryMutex;
std::map<std::u16string, UINT>& Registry()
{
    static std::map<std::u16string, UINT> registry;
    return registry;
}

}  // namespace

UINT RegisterWindowMessageW(LPCWSTR name)
{
    if (name == nullptr || name[0] == 0)
        return 0;
    std::lock_guard<std::mutex> lock(registryMutex);
    auto& registry = Registry();
    const auto [entry, added] = registry.try_emplace(std::u16string(name), 0);
    if (added) {
        if (registry.size() - 1 > LastMessage - FirstMessage) {
            registry.erase(entry);
            return 0;  // every number of the range is taken
        }
        entry->second = FirstMessage + static_cast<UINT>(registry.size() - 1);
    }
    return entry->second;
}
