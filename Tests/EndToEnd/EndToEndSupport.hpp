// What the end-to-end tests share: where the built program and the examples are, running
// quillmere-host as a child process in a scratch folder of its own, and reading projects back.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ProjectFile.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "Support/OwnedValues.hpp"
#include "Support/Programs.hpp"
#include "Support/Projects.hpp"

namespace EndToEnd {

namespace fs = std::filesystem;

inline fs::path HostProgram()
{
    return Support::BinaryFolder() / "quillmere-host";
}

inline fs::path ExampleProject()
{
    return Support::SourceFolder() / "Examples" / "CommunityClinic.xml";
}

inline fs::path Configuration(const char* edition)
{
    return Support::SourceFolder() / "Examples" / "Configurations" / (std::string("IFC-SG-") + edition + ".xml");
}

inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// What one run of the program printed and answered.
struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;

    std::vector<std::string> OutLines() const { return SplitLines(out); }
};

// A scratch folder per test: `work` for what the program reads and writes, `temp` as the
// program's temporary folder (TMPDIR), so a test sees every folder the program creates there.
class Scratch {
public:
    Scratch()
    {
        fs::create_directory(work());
        fs::create_directory(temp());
    }

    fs::path work() const { return root.Path() / "work"; }
    fs::path temp() const { return root.Path() / "temp"; }

    // Runs quillmere-host with `arguments`, standard input from /dev/null (not a terminal), no other
    // descriptor of the test's, and TMPDIR set to temp(). A `fileSizeLimit` (bytes) makes every write
    // beyond it fail, as on a full disk; the standard output and error count too. A run still going
    // after `hangLimit` seconds is taken to wait for ever and ended by SIGALRM (exit code 142).
    ProgramRun Run(const std::vector<std::string>& arguments, rlim_t fileSizeLimit = RLIM_INFINITY,
                   unsigned hangLimit = 600) const
    {
        const fs::path outFile = root.Path() / "stdout.txt";
        const fs::path errFile = root.Path() / "stderr.txt";
        const std::string tmpdir = temp().string();
        const pid_t child = Support::StartProgram(HostProgram(), arguments, "/dev/null", O_RDONLY, outFile, errFile,
                                                  hangLimit, [&] {
            ::setenv("TMPDIR", tmpdir.c_str(), 1);
            if (fileSizeLimit != RLIM_INFINITY) {
                // A write past the limit then fails with EFBIG instead of ending the process.
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{fileSizeLimit, fileSizeLimit};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    ::_exit(125);
            }
        });
        ProgramRun run;
        run.exitCode = Support::WaitForExit(child);
        run.out = Support::ReadBytes(outFile);
        run.err = Support::ReadBytes(errFile);
        return run;
    }

    // Every file and folder under `folder`, relative, sorted.
    static std::vector<std::string> Listing(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            names.push_back(fs::relative(entry.path(), folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    Support::ScratchFolder root;
};

using Json = nlohmann::json;

// Reads a JSON file; fails the test (by exception) when it is not JSON.
inline Json ReadJson(const fs::path& path)
{
    return Json::parse(Support::ReadBytes(path));
}

// Reads a project file; fails the test (by exception) when it cannot be read.
inline void LoadProject(const fs::path& path, TestHost::Project& project)
{
    const TestHost::ProjectReadResult result = TestHost::LoadProjectFile(path.string(), project);
    if (!result.ok)
        throw std::runtime_error(result.message);
}

// The value as the project file writes it.
inline std::string ValueText(const TestHost::Value& value)
{
    switch (value.type) {
        case 1: return "Integer " + std::to_string(value.integer);
        case 2: {
            std::ostringstream text;
            text.precision(17);
            text << value.real;
            return "Real " + text.str();
        }
        case 3: return "String " + value.text;
        case 4: return std::string("Boolean ") + (value.boolean ? "true" : "false");
        default: return "Undefined";
    }
}

// The project described by names instead of GUIDs of groups, definitions and items, one line per
// system, item, group, definition, element and value, sorted: two projects that hold the same
// things under the same names give the same lines, whatever GUIDs and order the import gave them.
// `withOwned` false leaves out the owned groups, their definitions and their values.
inline std::vector<std::string> DescribeByNames(const TestHost::Project& project, bool withOwned = true)
{
    std::vector<std::string> lines;
    const auto itemId = [&project](const API_Guid& guid) {
        const TestHost::ClassificationItem* item = project.FindItem(guid);
        return item != nullptr ? item->id : std::string("?");
    };
    for (const TestHost::ClassificationSystem& system : project.Systems()) {
        lines.push_back("system|" + system.name + "|" + system.version);
        std::vector<API_Guid> pending = system.items;
        while (!pending.empty()) {
            const TestHost::ClassificationItem* item = project.FindItem(pending.back());
            pending.pop_back();
            lines.push_back("item|" + system.name + "|" + item->id + "|" + item->name + "|" +
                            (item->parent == APINULLGuid ? std::string() : itemId(item->parent)));
            pending.insert(pending.end(), item->children.begin(), item->children.end());
        }
    }
    const auto groupName = [&project](const API_Guid& guid) {
        const TestHost::PropertyGroup* group = project.FindGroup(guid);
        return group != nullptr ? group->name : std::string("?");
    };
    for (const TestHost::PropertyGroup& group : project.Groups())
        if (withOwned || !Support::IsOwnedGroup(group.name))
            lines.push_back("group|" + group.name + "|" + group.description + "|" + std::to_string(group.kind));
    for (const TestHost::PropertyDefinition& definition : project.Definitions()) {
        const std::string group = groupName(definition.group);
        if (!withOwned && Support::IsOwnedGroup(group))
            continue;
        std::string line = "definition|" + group + "|" + definition.name + "|" + definition.description + "|" +
                           std::to_string(definition.kind) + "|" + std::to_string(definition.valueType) + "|" +
                           std::to_string(definition.measureType) + "|" + ValueText(definition.defaultValue) + "|" +
                           std::to_string(definition.expressionFlag) + "|";
        for (const std::string& expression : definition.expressions)
            line += expression + ";";
        std::vector<std::string> items;
        for (const API_Guid& item : definition.availability)
            items.push_back(itemId(item));
        std::sort(items.begin(), items.end());
        for (const std::string& item : items)
            line += "|" + item;
        lines.push_back(line);
    }
    for (const TestHost::Element& element : project.Elements())
        lines.push_back("element|" + TestHost::GuidToText(element.guid) + "|" + element.name + "|" + element.ifcType +
                        "|" + itemId(element.classification));
    project.ForEachValue([&](const API_Guid& element, const API_Guid& definition, const TestHost::Value& value) {
        const TestHost::PropertyDefinition* owner = project.FindDefinition(definition);
        const std::string group = groupName(owner->group);
        if (withOwned || !Support::IsOwnedGroup(group))
            lines.push_back("value|" + TestHost::GuidToText(element) + "|" + group + "|" + owner->name + "|" +
                            ValueText(value));
    });
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The lines of `left` missing from `right`, each with a leading "-", and those of `right` missing
// from `left` with a "+"; empty when both describe the same project.
inline std::vector<std::string> DescriptionDifference(const std::vector<std::string>& left,
                                                      const std::vector<std::string>& right)
{
    std::vector<std::string> onlyLeft;
    std::vector<std::string> onlyRight;
    std::set_difference(left.begin(), left.end(), right.begin(), right.end(), std::back_inserter(onlyLeft));
    std::set_difference(right.begin(), right.end(), left.begin(), left.end(), std::back_inserter(onlyRight));
    std::vector<std::string> difference;
    for (const std::string& line : onlyLeft)
        difference.push_back("-" + line);
    for (const std::string& line : onlyRight)
        difference.push_back("+" + line);
    return difference;
}

// The (group, property) names of the owned definitions of a configuration, read by the test
// host's own import into an empty project.
inline std::set<std::pair<std::string, std::string>> OwnedNamesOf(const fs::path& configuration)
{
    TestHost::Project project;
    Support::ImportConfiguration(project, Support::ReadBytes(configuration));
    std::set<std::pair<std::string, std::string>> names;
    for (const TestHost::PropertyDefinition& definition : project.Definitions()) {
        const std::string group = project.FindGroup(definition.group)->name;
        if (Support::IsOwnedGroup(group))
            names.emplace(group, definition.name);
    }
    return names;
}

}  // namespace EndToEnd
