// POSIX only: a lock on the add-on's store held by another process, as a second host instance holds
// it during its transaction. The sqlite3 shell holds it, in a child process: a second connection
// of the same process would not do, since two copies of SQLite in one process (the module's and the
// test's) do not see each other's POSIX locks, and one copy lets its own connections wait on each
// other differently than processes do.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

namespace Support {

class StoreLock {
public:
    enum class Kind {
        Write,      // BEGIN IMMEDIATE: others may still read, but not write
        Exclusive,  // BEGIN EXCLUSIVE: others may neither read nor write
    };

    // Starts the shell on the store at `path` (made when missing) and returns once it holds the
    // lock, as seen from this process; throws std::runtime_error when it cannot.
    StoreLock(const std::filesystem::path& path, Kind kind);
    // Releases, as Release().
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // Ends the shell, whose transaction is rolled back, and waits for it; later calls do nothing.
    void Release();
    // Releases once `delay` has passed, from a thread of its own; returns at once.
    void ReleaseAfter(std::chrono::milliseconds delay);

private:
    std::mutex mutex;
    pid_t shell = -1;
    int input = -1;  // the shell's standard input
    std::thread releaser;
};

// Whether another connection holds a lock on the store at `path` that keeps this one from writing
// (`write`), or from reading as well: tried once, without waiting.
bool StoreIsLocked(const std::filesystem::path& path, bool write);

}  // namespace Support
