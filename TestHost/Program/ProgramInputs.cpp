#include "ProgramInputs.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "ProjectFile.hpp"
#include "SystemCalls.hpp"

namespace HostProgram {

namespace {

// A file the program reads must be an existing, readable file (not a folder).
bool CheckReadableFile(const std::string& what, const std::filesystem::path& path, std::string& error)
{
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        error = "cannot open " + what + " \"" + path.string() + "\": it is a folder";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + what + " \"" + path.string() + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

// A file the program writes at the end must go into an existing folder and not be a folder itself.
bool CheckWritablePlace(const std::string& option, const std::filesystem::path& path, std::string& error)
{
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        error = option + " \"" + path.string() + "\": it is a folder";
        return false;
    }
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    if (!std::filesystem::is_directory(folder, code)) {
        error = option + " \"" + path.string() + "\": no folder \"" + folder.string() + "\"";
        return false;
    }
    return true;
}

}  // namespace

bool CheckProgramInputs(const ProgramOptions& options, ProgramInputs& inputs, std::string& error)
{
    const TestHost::ProjectReadResult read = TestHost::LoadProjectFile(options.project, inputs.project);
    if (!read.ok) {
        error = "project: " + read.message;
        return false;
    }

    std::error_code code;
    std::filesystem::path module = options.module;
    inputs.moduleShownAs = options.module;
    if (module.empty()) {
        const std::filesystem::path folder = ExecutableFolder();
        if (folder.empty()) {
            error = "cannot tell where this program lies; give --module FILE";
            return false;
        }
        module = folder / DefaultModuleFileName();
        inputs.moduleShownAs = DefaultModuleFileName();
    }
    inputs.moduleFile = std::filesystem::absolute(module, code).lexically_normal();
    std::string detail;
    const TestHost::ModuleError moduleError = TestHost::ReadModuleDescription(inputs.moduleFile, inputs.module, &detail);
    if (moduleError != TestHost::ModuleError::None) {
        error = "module " + (detail.empty() ? inputs.moduleFile.string() + ": " +
                                                  TestHost::DescribeModuleError(moduleError)
                                            : detail);
        return false;
    }

    switch (options.dialog) {
        case DialogAnswer::Choose:
            if (!CheckReadableFile("configuration", options.configuration, error))
                return false;
            inputs.configuration = std::filesystem::absolute(options.configuration, code).lexically_normal();
            break;
        case DialogAnswer::Cancel:
            break;
        case DialogAnswer::Terminal:
            if (!IsInputTerminal()) {
                error = "nobody can answer the module's file dialog: give --choose FILE or --cancel";
                return false;
            }
            break;
    }

    if (!options.profile.empty() && std::filesystem::exists(options.profile, code) &&
        !std::filesystem::is_directory(options.profile, code)) {
        error = "--profile \"" + options.profile + "\": it is not a folder";
        return false;
    }
    if (!options.save.empty() && !CheckWritablePlace("--save", options.save, error))
        return false;
    if (!options.json.empty() && !CheckWritablePlace("--json", options.json, error))
        return false;
    if (!options.save.empty() && !options.json.empty() &&
        std::filesystem::absolute(options.save, code) == std::filesystem::absolute(options.json, code)) {
        error = "--save and --json name the same file";
        return false;
    }
    return true;
}

}  // namespace HostProgram
