// The few system calls of the quillmere-host program that differ between POSIX and Windows.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace HostProgram {

// The folder that holds the running executable; empty when the system cannot say.
std::filesystem::path ExecutableFolder();

// The module file's name on this system: Quillmere.dll on Windows, Quillmere.so elsewhere.
const char* DefaultModuleFileName();

// Creates a new, empty folder for one run under the system's temporary folder, named
// quillmere-host-<process>-<n>. Returns the empty path and a message in `error` on failure.
std::filesystem::path CreateRunFolder(std::string& error);

// Sets the environment variable `name` (ASCII) to a path for this process (and so for the module,
// which shares the C runtime); on Windows as UTF-16, so a folder of any name arrives whole. Returns
// false when the system refuses.
bool SetProcessVariable(const char* name, const std::filesystem::path& value);

// Whether the standard input is a terminal (someone can answer a prompt).
bool IsInputTerminal();

// Receives a file's text piece by piece, in order.
using TextSink = std::function<void(std::string_view)>;

// Writes the text that `writeText` hands to its sink as the file at `path`, through a new file in
// the same folder that takes the file's place only once it is completely written, so that a failure
// leaves an existing file as it was. The text goes to the new file as it comes, never whole in
// memory. A symbolic link is followed: the file it names is replaced. Returns false with a message
// naming `path` on failure, and leaves no new file behind (also when `writeText` throws, which it
// then passes on).
bool ReplaceFileContent(const std::string& path, const std::function<void(const TextSink&)>& writeText,
                        std::string& error);

}  // namespace HostProgram
