#include "Programs.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace Support {

pid_t StartProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                   const std::string& input, int inputFlags, const std::filesystem::path& outFile,
                   const std::filesystem::path& errFile, unsigned hangLimit, const std::function<void()>& prepare)
{
    std::vector<std::string> argv = {program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        prepare();
        const int in = ::open(input.c_str(), inputFlags);
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int error = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || error < 0)
            ::_exit(126);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(error, STDERR_FILENO);
        ::close_range(3, ~0u, 0);
        // An alarm outlives execv.
        ::alarm(hangLimit);
        ::execv(program.c_str(), pointers.data());
        ::_exit(127);
    }
    if (child < 0)
        throw std::runtime_error("cannot run " + program.string());
    return child;
}

int WaitForExit(pid_t child)
{
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        throw std::runtime_error("cannot wait for process " + std::to_string(child));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace Support
