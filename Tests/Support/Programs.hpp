// POSIX only: running one of the project's programs as a child process, with its standard streams
// in files and nothing else of the test's open.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace Support {

// Starts `program` with `arguments`: `prepare` runs first in the child (its folder, environment,
// limits, a session of its own), then standard input comes from `input` opened with `inputFlags`,
// output and error go to the two files, no other descriptor of the test's stays open (so that any
// other it holds at its end is its own: Tools/valgrind-tests.sh counts them), and a run still going
// after `hangLimit` seconds is ended by SIGALRM (exit code 142). Answers the child's process id;
// throws std::runtime_error when it cannot start one.
pid_t StartProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                   const std::string& input, int inputFlags, const std::filesystem::path& outFile,
                   const std::filesystem::path& errFile, unsigned hangLimit, const std::function<void()>& prepare);

// Waits for the child `child` to end and answers its exit code, or 128 plus the signal that ended
// it; throws std::runtime_error when it cannot wait for it.
int WaitForExit(pid_t child);

}  // namespace Support
