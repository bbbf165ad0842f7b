#include "RenamesProgram.hpp"

#include <optional>

#include "ChangeReport.hpp"
#include "Edition.hpp"
#include "ProgramFiles.hpp"
#include "Proposal.hpp"
#include "RenameTableText.hpp"

namespace RenameProposal {

namespace {

namespace fs = std::filesystem;

constexpr const char* ProgramName = "quillmere-renames";

struct ProgramOptions {
    std::vector<fs::path> configurations;
    std::optional<fs::path> output;
    std::optional<fs::path> report;
    bool force = false;
    bool help = false;
};

// Thrown on the first problem; RunRenamesProgram prints it.
struct ProgramProblem {
    std::string message;
};

std::string Text(const fs::path& argument)
{
    return Utf8Path(argument);
}

// The value of the option at `arguments[index]`, which must come next and be given once.
void TakeValue(const std::vector<fs::path>& arguments, std::size_t& index, std::optional<fs::path>& value)
{
    const std::string option = Text(arguments[index]);
    if (value)
        throw ProgramProblem{option + " is given twice"};
    if (index + 1 >= arguments.size() || arguments[index + 1].empty())
        throw ProgramProblem{option + " needs a file name"};
    value = arguments[++index];
}

ProgramOptions ParseOptions(const std::vector<fs::path>& arguments)
{
    ProgramOptions options;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string argument = Text(arguments[index]);
        if (argument == "--output")
            TakeValue(arguments, index, options.output);
        else if (argument == "--report")
            TakeValue(arguments, index, options.report);
        else if (argument == "--force")
            options.force = true;
        else if (argument == "--help" || argument == "-h")
            options.help = true;
        else if (argument.size() > 1 && argument[0] == '-')
            throw ProgramProblem{"unknown option \"" + argument + "\" (" + ProgramName + " --help lists the options)"};
        else if (argument.empty())
            throw ProgramProblem{"an empty argument where a configuration file was expected"};
        else
            options.configurations.push_back(arguments[index]);
    }
    if (!options.help && options.configurations.size() < 2)
        throw ProgramProblem{"two configurations are needed, the older and the newer (" + std::string(ProgramName) +
                             " --help)"};
    if (options.configurations.size() > 2)
        throw ProgramProblem{"one configuration too many: \"" + Text(options.configurations[2]) + "\""};
    return options;
}

Edition ReadConfiguration(const fs::path& path)
{
    std::string bytes;
    if (std::string problem = ReadInputFile(path, bytes); !problem.empty())
        throw ProgramProblem{problem};
    EditionReading reading = ReadEdition(bytes);
    if (!reading.problem.empty())
        throw ProgramProblem{"\"" + Text(path) + "\" is not a configuration the program reads: " + reading.problem};
    return std::move(reading.edition);
}

// The outputs, checked before anything is written.
std::vector<fs::path> OutputPaths(const ProgramOptions& options)
{
    fs::path table = options.output.value_or(fs::path(options.configurations[1]).replace_extension(".renames.xml"));
    std::vector<fs::path> outputs = {table};
    if (options.report) {
        std::error_code code;
        if (fs::absolute(*options.report, code).lexically_normal() == fs::absolute(table, code).lexically_normal() ||
            fs::equivalent(*options.report, table, code))
            throw ProgramProblem{"the table and the report cannot both go to \"" + Text(table) + "\""};
        outputs.push_back(*options.report);
    }
    for (const fs::path& output : outputs)
        if (std::string problem = CheckOutputPath(output, options.configurations, options.force); !problem.empty())
            throw ProgramProblem{problem};
    return outputs;
}

ProgramResult Run(const ProgramOptions& options)
{
    const Edition older = ReadConfiguration(options.configurations[0]);
    const Edition newer = ReadConfiguration(options.configurations[1]);
    const std::vector<fs::path> outputs = OutputPaths(options);
    const EditionPair editions{older, newer, Text(options.configurations[0].filename()),
                               Text(options.configurations[1].filename())};
    const Proposal proposal = ProposeRenames(older, newer);
    std::vector<std::pair<fs::path, std::string>> files = {{outputs[0], RenameTableText(proposal, editions)}};
    ProgramResult result;
    if (options.report)
        files.emplace_back(outputs[1], ChangeReportText(proposal, editions));
    else
        result.out = ChangeReportText(proposal, editions) + "\n";
    if (std::string problem = WriteOutputFiles(files, options.force); !problem.empty())
        throw ProgramProblem{problem};
    result.out += "Rename table written: " + Text(outputs[0]) + "\n";
    if (options.report)
        result.out += "Change report written: " + Text(outputs[1]) + "\n";
    return result;
}

}  // namespace

std::string RenamesProgramUsage()
{
    return std::string("Usage: ") + ProgramName +
           " OLD.xml NEW.xml [--output FILE] [--report FILE] [--force]\n"
           "\n"
           "Proposes the rename table for moving a project from the configuration OLD.xml to the newer\n"
           "NEW.xml, and reports what NEW.xml added, removed, retyped, moved and renamed.\n"
           "\n"
           "  --output FILE   write the table to FILE; without it, the table goes beside NEW.xml as\n"
           "                  NEW.renames.xml, the rename table the import reads with NEW.xml\n"
           "  --report FILE   write the change report to FILE instead of printing it\n"
           "  --force         replace the table or report file if it exists\n"
           "\n"
           "Review the table before the import reads it: docs/upgrading.md. Exit status: 0 when the\n"
           "table is written, 2 when anything is wrong (nothing is written then).\n";
}

ProgramResult RunRenamesProgram(const std::vector<fs::path>& arguments)
{
    try {
        const ProgramOptions options = ParseOptions(arguments);
        if (options.help)
            return ProgramResult{0, RenamesProgramUsage(), {}};
        return Run(options);
    } catch (const ProgramProblem& problem) {
        return ProgramResult{2, {}, std::string(ProgramName) + ": " + problem.message + "\n"};
    } catch (const std::exception& failure) {
        return ProgramResult{2, {}, std::string(ProgramName) + ": " + failure.what() + "\n"};
    }
}

}  // namespace RenameProposal
