// The platform allocator made to run out on purpose, for as long as a guard lives: capped at the
// bytes live now plus some headroom, or failing from a chosen allocation on. Every GS:: type, the
// module's heap and the host's GS:: texts draw from it.
#pragma once

#include <cstddef>
#include <vector>

namespace Support {

// Caps the live bytes at those live now plus `headroom` (0: the next allocation fails); the
// earlier cap comes back at the end.
class LiveBytesLimit {
public:
    explicit LiveBytesLimit(std::size_t headroom = 0);
    ~LiveBytesLimit();
    LiveBytesLimit(const LiveBytesLimit&) = delete;
    LiveBytesLimit& operator=(const LiveBytesLimit&) = delete;

private:
    std::size_t previous;
};

// Makes the `nth` allocation from now on (1: the next one) fail, and with `andLater` every one
// after it too, as memory running out at that point would; allocations succeed again at the end.
class FailingAllocation {
public:
    FailingAllocation(std::size_t nth, bool andLater);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
};

// The headrooms a sweep of LiveBytesLimit tries, from no room at all to just below 1 GiB, each
// four times the one before: 0, 64, 256, 1024, ... A piece of work that has not got to its end by
// the last one never will.
std::vector<std::size_t> GrowingHeadrooms();

}  // namespace Support
