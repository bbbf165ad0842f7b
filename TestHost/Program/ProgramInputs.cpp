#include "ProgramInputs.hpp"

#include <system_error>
#include <vector>

#include "InputFile.hpp"
#include "ProjectFile.hpp"
#include "SystemCalls.hpp"

namespace HostProgram {

namespace {

// A file the program or the module reads must be a regular file that opens for reading: not a
// folder, and not a named pipe or a device, which could keep the run waiting.
bool CheckReadableFile(const std::string& what, const std::filesystem::path& path, std::string& error)
{
    error = TestHost::ReadInputFile(path, what, nullptr);
    return error.empty();
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

// Whether two paths name the same file: by the file's identity where both exist (so also through
// a symbolic or hard link, "./x" or "../dir/x"), otherwise by the absolute path with the links of
// its existing part resolved.
bool IsSameFile(const std::filesystem::path& left, const std::filesystem::path& right)
{
    namespace fs = std::filesystem;
    std::error_code leftCode;
    std::error_code rightCode;
    if (fs::exists(left, leftCode) && fs::exists(right, rightCode)) {
        const bool same = fs::equivalent(left, right, leftCode);
        return !leftCode && same;
    }
    const auto resolved = [](const fs::path& path) {
        std::error_code code;
        const fs::path absolute = fs::absolute(path, code).lexically_normal();
        const fs::path canonical = fs::weakly_canonical(absolute, code);
        return code || canonical.empty() ? absolute : canonical;
    };
    return resolved(left) == resolved(right);
}

// A file the run reads, named by an option.
struct InputFile {
    const char* option;
    std::filesystem::path path;
};

// Refuses `path`, a file the run writes (`what` in messages), when it is one of the files the run
// reads; the --project file only when `projectToo`.
bool CheckNotRead(const std::string& what, const std::filesystem::path& path, const std::vector<InputFile>& read,
                  bool projectToo, std::string& error)
{
    for (const InputFile& input : read) {
        if ((projectToo || std::string(input.option) != "--project") && IsSameFile(path, input.path)) {
            error = what + " is the " + input.option + " file, which the run would overwrite";
            return false;
        }
    }
    return true;
}

}  // namespace

bool CheckProgramInputs(const ProgramOptions& options, ProgramInputs& inputs, std::string& error)
{
    const TestHost::ProjectReadResult project = TestHost::LoadProjectFile(options.project, inputs.project);
    if (!project.ok) {
        error = "project: " + project.message;
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
    if (std::filesystem::exists(inputs.moduleFile, code) && !CheckReadableFile("module", inputs.moduleFile, error))
        return false;
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
    if (!options.save.empty() && !options.json.empty() && IsSameFile(options.save, options.json)) {
        error = "--save and --json name the same file";
        return false;
    }

    // Nothing the run writes may take the place of what it reads, except that the project may be
    // saved in place. The module writes its backup file into the profile given.
    std::vector<InputFile> read = {{"--project", options.project}, {"--module", inputs.moduleFile}};
    if (options.dialog == DialogAnswer::Choose)
        read.push_back({"--choose", inputs.configuration});
    if (!options.save.empty() && !CheckNotRead("--save \"" + options.save + "\"", options.save, read, false, error))
        return false;
    if (!options.json.empty() && !CheckNotRead("--json \"" + options.json + "\"", options.json, read, true, error))
        return false;
    const std::filesystem::path backup = std::filesystem::path(options.profile) / "Documents" / "IFC_SG_Properties.xml";
    if (!options.profile.empty() &&
        !CheckNotRead("the backup file in --profile \"" + options.profile + "\"", backup, read, true, error))
        return false;
    return true;
}

}  // namespace HostProgram
