#include "ProgramOptions.hpp"

#include <charconv>
#include <string_view>

namespace HostProgram {

namespace {

// Options that take a value, and whether they may be repeated.
struct ValueOption {
    std::string_view name;
    bool repeatable;
};

constexpr ValueOption ValueOptions[] = {
    {"--project", false}, {"--module", false}, {"--choose", false}, {"--profile", false}, {"--save", false},
    {"--json", false},    {"--undo", false},   {"--fail", true},    {"--missing", true},
};

const ValueOption* FindValueOption(std::string_view name)
{
    for (const ValueOption& option : ValueOptions)
        if (option.name == name)
            return &option;
    return nullptr;
}

bool ParseCount(std::string_view text, std::size_t& count)
{
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), count);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Takes one option's value; false with a message for a bad one.
bool TakeValue(std::string_view name, const std::string& value, ProgramOptions& options, std::string& error)
{
    if (value.empty()) {
        error = std::string(name) + " needs a value";
        return false;
    }
    if (name == "--project") {
        options.project = value;
    } else if (name == "--module") {
        options.module = value;
    } else if (name == "--choose") {
        options.configuration = value;
    } else if (name == "--profile") {
        options.profile = value;
    } else if (name == "--save") {
        options.save = value;
    } else if (name == "--json") {
        options.json = value;
    } else if (name == "--undo") {
        std::size_t count = 0;
        if (!ParseCount(value, count)) {
            error = "--undo needs a whole number of steps, not \"" + value + "\"";
            return false;
        }
        options.undo = count;
    } else if (name == "--fail") {
        TestHost::InjectedFault fault;
        std::string faultError;
        if (!TestHost::ParseFault(value, fault, faultError)) {
            error = "--fail " + faultError;
            return false;
        }
        options.faults.push_back(fault);
        options.faultTexts.push_back(value);
    } else if (name == "--missing") {
        if (!TestHost::FindServiceIndex(value).has_value()) {
            error = "--missing " + value + ": no host service of that name";
            return false;
        }
        options.missing.push_back(value);
    }
    return true;
}

}  // namespace

bool ParseProgramOptions(int argc, const char* const* argv, ProgramOptions& parsed, std::string& error)
{
    ProgramOptions options;
    std::vector<std::string_view> seen;
    bool cancel = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            continue;
        }
        if (argument == "--cancel") {
            if (cancel) {
                error = "--cancel given twice";
                return false;
            }
            cancel = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const ValueOption* option = FindValueOption(name);
        if (option == nullptr) {
            error = argument.starts_with("-") ? "unknown option \"" + std::string(name) + "\""
                                              : "unexpected argument \"" + std::string(argument) + "\"";
            return false;
        }
        std::string value;
        if (equals != std::string_view::npos) {
            value = std::string(argument.substr(equals + 1));
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = std::string(name) + " needs a value";
            return false;
        }
        for (const std::string_view earlier : seen)
            if (earlier == option->name && !option->repeatable) {
                error = std::string(name) + " given twice";
                return false;
            }
        seen.push_back(option->name);
        if (!TakeValue(option->name, value, options, error))
            return false;
    }
    const bool choose = !options.configuration.empty();
    if (choose && cancel) {
        error = "--choose and --cancel exclude each other";
        return false;
    }
    options.dialog = choose ? DialogAnswer::Choose : (cancel ? DialogAnswer::Cancel : DialogAnswer::Terminal);
    if (!options.help && options.project.empty()) {
        error = "--project FILE is required";
        return false;
    }
    parsed = std::move(options);
    return true;
}

std::string UsageText()
{
    return R"(Usage: quillmere-host --project FILE [options]

Loads the Quillmere module as the host application does, opens the project, chooses the menu
command "Import IFC-SG Classifications and Properties..." once, and shows what happened: the
undoable steps, the report window lines and the alert as they come, then a table of the values of
the property groups the module owns (those it asked to remove or whose values it read) before and
after the command, the expressions re-applied and a summary.

Options:
  --project FILE        the project file to open (required; see docs/project-format.md)
  --module FILE         the module file (default: Quillmere.so or Quillmere.dll beside this program)
  --choose FILE         answer the module's file dialog with this configuration file
  --cancel              cancel the module's file dialog
                        (with neither, the dialog asks on the terminal; without a terminal one
                        of them is required)
  --profile DIR         the user's profile folder ("USERPROFILE"): the backup file is written to
                        DIR/Documents/IFC_SG_Properties.xml (default: a new folder under the
                        system's temporary folder; its path is printed)
  --save FILE           write the resulting project to FILE
  --undo N              after the command, undo the last N steps and show what came back
  --fail SERVICE[@N]=CODE
                        make a host service answer CODE (decimal or 0x hexadecimal) on every call,
                        or only on its N-th call; repeatable
  --missing SERVICE     leave a host service out of the service table; repeatable
  --json FILE           write the results as JSON to FILE as well
  -h, --help            show this text

Exit status: 0 when the command ran, 1 when the module could not be started or a result could not
be written, 2 for a bad command line or input file (then nothing is written).

Example:
  quillmere-host --project Examples/CommunityClinic.xml \
                 --choose Examples/Configurations/IFC-SG-2026.xml --save /tmp/clinic-2026.xml
)";
}

}  // namespace HostProgram
