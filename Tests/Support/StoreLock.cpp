#include "StoreLock.hpp"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include <sqlite3.h>

#include "Folders.hpp"

namespace Support {

bool StoreIsLocked(const std::filesystem::path& path, bool write)
{
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(Utf8Path(path).c_str(), &database, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(database);
        throw std::runtime_error("cannot open the store " + Utf8Path(path));
    }
    sqlite3_busy_timeout(database, 0);
    const int code = sqlite3_exec(database, write ? "BEGIN IMMEDIATE" : "BEGIN; SELECT count(*) FROM sqlite_master",
                                  nullptr, nullptr, nullptr);
    const bool locked = (code & 0xFF) == SQLITE_BUSY;
    const std::string why = sqlite3_errmsg(database);
    sqlite3_exec(database, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(database);
    if (code != SQLITE_OK && !locked)
        throw std::runtime_error("cannot look at the store's lock: " + why);
    return locked;
}

StoreLock::StoreLock(const std::filesystem::path& path, Kind kind)
{
    // A socket rather than a pipe: a write to a shell that has ended then fails instead of raising
    // SIGPIPE in the test.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error("cannot make a socket for the sqlite3 shell");
    const std::string file = Utf8Path(path);
    shell = ::fork();
    if (shell == 0) {
        const int nothing = ::open("/dev/null", O_RDWR);
        ::dup2(ends[1], STDIN_FILENO);
        ::dup2(nothing, STDOUT_FILENO);
        ::dup2(nothing, STDERR_FILENO);
        ::close_range(3, ~0u, 0);
        ::execlp("sqlite3", "sqlite3", file.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ends[1]);
    input = ends[0];
    if (shell < 0) {
        Release();
        throw std::runtime_error("cannot start the sqlite3 shell");
    }
    // The shell waits for the lock itself, should this process be looking at it at that moment.
    const std::string begin =
        std::string(".timeout 10000\n") + (kind == Kind::Write ? "BEGIN IMMEDIATE;\n" : "BEGIN EXCLUSIVE;\n");
    const bool sent = ::send(input, begin.data(), begin.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(begin.size());
    for (int tries = 0; sent && tries < 2000; ++tries) {
        if (std::filesystem::exists(path) && StoreIsLocked(path, kind == Kind::Write))
            return;
        int status = 0;
        if (::waitpid(shell, &status, WNOHANG) == shell) {
            shell = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Release();
    throw std::runtime_error("the sqlite3 shell did not take the lock on " + file);
}

StoreLock::~StoreLock()
{
    if (releaser.joinable())
        releaser.join();
    Release();
}

void StoreLock::Release()
{
    const std::lock_guard<std::mutex> hold(mutex);
    // At the end of its input the shell closes the database, which rolls the transaction back.
    if (input >= 0)
        ::close(input);
    input = -1;
    if (shell > 0) {
        int status = 0;
        ::waitpid(shell, &status, 0);
    }
    shell = -1;
}

void StoreLock::ReleaseAfter(std::chrono::milliseconds delay)
{
    releaser = std::thread([this, delay] {
        std::this_thread::sleep_for(delay);
        Release();
    });
}

}  // namespace Support
