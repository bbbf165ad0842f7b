#include "Descriptors.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace Support {

std::vector<std::string> OpenDescriptors()
{
    std::vector<std::string> open;
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr)
        throw std::runtime_error(std::string("cannot list /proc/self/fd: ") + std::strerror(errno));
    const std::string own = std::to_string(::dirfd(folder));
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == own)
            continue;
        char target[4096];
        const ssize_t length = ::readlink(("/proc/self/fd/" + name).c_str(), target, sizeof target);
        open.push_back(name + " -> " + (length > 0 ? std::string(target, static_cast<std::size_t>(length)) : "?"));
    }
    ::closedir(folder);
    std::sort(open.begin(), open.end());
    return open;
}

void MakeNamedPipe(const std::filesystem::path& path)
{
    if (::mkfifo(path.c_str(), 0644) != 0)
        throw std::runtime_error("cannot make the named pipe " + path.string() + ": " + std::strerror(errno));
}

PipeWatchdog::PipeWatchdog(std::vector<std::filesystem::path> pipes, std::chrono::seconds patience)
    : pipes(std::move(pipes)), watcher([this, patience] { Watch(patience); })
{
}

PipeWatchdog::~PipeWatchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
    }
    stopping.notify_all();
    watcher.join();
}

bool PipeWatchdog::Fired() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return fired;
}

void PipeWatchdog::Watch(std::chrono::seconds patience)
{
    std::unique_lock<std::mutex> lock(mutex);
    std::chrono::seconds wait = patience;
    while (!stopping.wait_for(lock, wait, [this] { return stopped; })) {
        // Opening for writing without waiting succeeds only while there is a reader.
        for (const std::filesystem::path& pipe : pipes) {
            const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) {
                fired = true;
                ::close(writer);
            }
        }
        wait = std::chrono::seconds(1);
    }
}

}  // namespace Support
