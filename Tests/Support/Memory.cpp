#include "Memory.hpp"

#include "GSRoot/MemoryManager.hpp"

namespace Support {

LiveBytesLimit::LiveBytesLimit(std::size_t headroom)
    : previous(GS::MemoryManager::SetLiveBytesLimit(GS::MemoryManager::LiveBytes() + headroom))
{
}

LiveBytesLimit::~LiveBytesLimit()
{
    GS::MemoryManager::SetLiveBytesLimit(previous);
}

FailingAllocation::FailingAllocation(std::size_t nth, bool andLater)
{
    GS::MemoryManager::FailAllocation(nth, andLater);
}

FailingAllocation::~FailingAllocation()
{
    GS::MemoryManager::FailAllocation(0, false);
}

std::vector<std::size_t> GrowingHeadrooms()
{
    std::vector<std::size_t> headrooms = {0};
    for (std::size_t headroom = 64; headroom < std::size_t{1} << 30; headroom *= 4)
        headrooms.push_back(headroom);
    return headrooms;
}

}  // namespace Support
