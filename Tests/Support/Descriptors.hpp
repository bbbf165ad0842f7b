// POSIX only: the process's open file descriptors, named pipes, and a watchdog that keeps a test
// whose code waits on a named pipe from waiting for ever.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Support {

// The open descriptors of this process as "N -> what it names" (from /proc/self/fd), sorted; the
// one used to list them is left out.
std::vector<std::string> OpenDescriptors();

// Makes a named pipe (FIFO) at `path`; throws std::runtime_error on failure.
void MakeNamedPipe(const std::filesystem::path& path);

// While it lives, watches `pipes`: once `patience` has passed, and then every second, it opens
// each of them for writing and closes it again, so that a reader waiting in open() for a writer
// goes on and reads an end of file. A test whose code should never wait on them checks Fired().
class PipeWatchdog {
public:
    explicit PipeWatchdog(std::vector<std::filesystem::path> pipes,
                          std::chrono::seconds patience = std::chrono::seconds(60));
    ~PipeWatchdog();
    PipeWatchdog(const PipeWatchdog&) = delete;
    PipeWatchdog& operator=(const PipeWatchdog&) = delete;

    // Whether a reader was waiting on one of the pipes when the watchdog opened it.
    bool Fired() const;

private:
    void Watch(std::chrono::seconds patience);

    std::vector<std::filesystem::path> pipes;
    mutable std::mutex mutex;
    std::condition_variable stopping;
    bool stopped = false;
    bool fired = false;
    std::thread watcher;
};

}  // namespace Support
