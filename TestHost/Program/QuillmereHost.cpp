// quillmere-host: loads the Quillmere module as the host application does and runs its menu
// command once on a project file, showing what the command did to the owned property values.
// Usage: quillmere-host --help
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "HostRun.hpp"
#include "ProgramInputs.hpp"
#include "ProgramOptions.hpp"
#include "ResultsJson.hpp"
#include "ResultsText.hpp"
#include "SystemCalls.hpp"

namespace {

constexpr int ExitRunFailed = 1;
constexpr int ExitBadInput = 2;

int Fail(int status, const std::string& message)
{
    std::cerr << "quillmere-host: " << message << std::endl;
    return status;
}

// The profile folder with its Documents and local application data folders: the one given, or a
// new one for this run.
bool PrepareProfile(const HostProgram::ProgramOptions& options, std::filesystem::path& profile, std::string& error)
{
    std::error_code code;
    if (options.profile.empty()) {
        profile = HostProgram::CreateRunFolder(error);
        if (profile.empty())
            return false;
    } else {
        profile = std::filesystem::absolute(options.profile, code).lexically_normal();
    }
    for (const std::filesystem::path& folder : {profile / "Documents", profile / "AppData" / "Local"}) {
        std::filesystem::create_directories(folder, code);
        if (code) {
            error = "cannot create \"" + folder.string() + "\": " + code.message();
            return false;
        }
    }
    return true;
}

int Run(int argc, const char* const* argv)
{
    using namespace HostProgram;
    ProgramOptions options;
    std::string error;
    if (!ParseProgramOptions(argc, argv, options, error))
        return Fail(ExitBadInput, error + " (see --help)");
    if (options.help) {
        std::cout << UsageText();
        return 0;
    }
    // Everything is checked before the first folder or file is made.
    ProgramInputs inputs;
    if (!CheckProgramInputs(options, inputs, error))
        return Fail(ExitBadInput, error);

    std::filesystem::path profile;
    if (!PrepareProfile(options, profile, error))
        return Fail(ExitRunFailed, error);
    RunResults results;
    if (!RunHostCommand(options, inputs, profile, std::cout, results, error))
        return Fail(ExitRunFailed, error);
    results.savedTo = options.save;
    if (!options.json.empty()) {
        if (!ReplaceFileContent(
                options.json, [&results](const TextSink& sink) { WriteResultsJson(results, sink); }, error))
            return Fail(ExitRunFailed, error);
        results.jsonTo = options.json;
    }
    PrintResults(results, std::cout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& exception) {
        return Fail(ExitRunFailed, exception.what());
    }
}
