// The resources of loaded modules, opened once per module and kept until the module lets them go.
// A GSResModule is a number handed out here (1, 2, ...), never reused while the process runs.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "../GSRoot/GSRoot.hpp"
#include "RS.hpp"
#include "ResourceFile.hpp"

namespace {

constexpr Int16 StringListStringType = 0;  // the only kind of string list

struct ResourceCache {
    std::mutex mutex;
    std::map<GSResModule, std::shared_ptr<const RSModuleFile>> open;
    GSResModule lastHandle = 0;
};

// Built on first use and never destroyed: modules may release their resources while the process
// exits, after other statics have gone.
ResourceCache& Cache()
{
    static ResourceCache* cache = new ResourceCache;
    return *cache;
}

std::shared_ptr<const RSModuleFile> FindOpen(GSResModule resModule)
{
    ResourceCache& cache = Cache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    const auto found = cache.open.find(resModule);
    return found != cache.open.end() ? found->second : nullptr;
}

}  // namespace

GSResModule RSInitModuleImageCache(GSInstance instance)
{
    auto file = std::make_shared<RSModuleFile>();
    if (file->OpenLoaded(instance) != RSFileError::None)
        return InvalidResModule;
    ResourceCache& cache = Cache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    const GSResModule handle = ++cache.lastHandle;
    cache.open.emplace(handle, std::move(file));
    return handle;
}

void RSRemoveModuleImageCache(GSResModule resModule)
{
    std::shared_ptr<const RSModuleFile> closing;  // closed outside the lock
    ResourceCache& cache = Cache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    const auto found = cache.open.find(resModule);
    if (found == cache.open.end())
        return;
    closing = std::move(found->second);
    cache.open.erase(found);
}

bool RSGetIndString(GS::UniString* result, Int16 resID, Int16 index, GSResModule resModule, Int16 stringType,
                    const char* srcFile, int srcLine)
{
    const std::shared_ptr<const RSModuleFile> file = FindOpen(resModule);
    std::vector<UInt8> list;
    std::string item;
    if (result == nullptr || file == nullptr || stringType != StringListStringType ||
        file->ReadResource(RSResourceKey::Named("STRS"), RSResourceKey::Number(static_cast<UInt16>(resID)), list) !=
            RSFileError::None ||
        !RSGetStringItem(list, index, item)) {
        DBPrintf("RSGetIndString: no item %d of string list %d in resources %lld (%s:%d)\n", index, resID,
                 static_cast<long long>(resModule), srcFile != nullptr ? srcFile : "?", srcLine);
        return false;
    }
    *result = GS::UniString(item.c_str(), CC_Default);
    return true;
}
