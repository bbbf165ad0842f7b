// The command line of quillmere-host: bad arguments and unusable files give one line on the error
// output, a non-zero exit and nothing written; --help; output that does not depend on the run.
#include "EndToEndSupport.hpp"

using namespace EndToEnd;

namespace {

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = ExampleProject().string();
        configuration = Configuration("2026").string();
        saved = (scratch.work() / "saved.xml").string();
        json = (scratch.work() / "run.json").string();
    }

    // Runs with `arguments` and the two result files asked for (unless given), and checks that the run was
    // refused as bad input: exit 2, one line on the error output, nothing on the standard output,
    // no profile folder made in the temporary folder, no result file written.
    std::string ExpectRefused(std::vector<std::string> arguments)
    {
        std::string where;
        for (const std::string& argument : arguments)
            where += argument + " ";
        const std::vector<std::string> before = Scratch::Listing(scratch.work());
        for (const auto& [option, file] : {std::pair{"--save", saved}, std::pair{"--json", json}})
            if (std::find(arguments.begin(), arguments.end(), option) == arguments.end())
                arguments.insert(arguments.end(), {option, file});
        const ProgramRun run = scratch.Run(arguments);
        EXPECT_EQ(run.exitCode, 2) << where << run.err;
        EXPECT_EQ(run.out, "") << where;
        EXPECT_TRUE(run.err.rfind("quillmere-host: ", 0) == 0) << where << run.err;
        EXPECT_TRUE(run.err.ends_with("\n")) << where << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << where << run.err;
        EXPECT_EQ(Scratch::Listing(scratch.temp()), std::vector<std::string>{}) << where;
        EXPECT_EQ(Scratch::Listing(scratch.work()), before) << where;
        return run.err;
    }

    Scratch scratch;
    std::string project;
    std::string configuration;
    std::string saved;
    std::string json;
};

TEST_F(CommandLine, BadArgumentsAreRefusedBeforeAnythingIsWritten)
{
    EXPECT_NE(ExpectRefused({"--choose", configuration}).find("--project FILE is required"), std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--frobnicate"}).find("unknown option \"--frobnicate\""),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "stray"}).find("unexpected argument \"stray\""),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--project", project, "--cancel"}).find("--project given twice"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--choose", configuration}).find("exclude each other"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--undo", "-1"}).find("--undo"), std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--undo", "2x"}).find("--undo"), std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--fail", "HostListElements"}).find("--fail"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--fail", "HostDrawWalls=1"}).find("HostDrawWalls"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--fail", "HostListElements@0=1"}).find("--fail"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--missing", "HostOpenWindow"}).find("HostOpenWindow"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--json="}).find("--json needs a value"),
              std::string::npos);
    // Without --choose or --cancel the dialog would ask on the terminal, and there is none.
    EXPECT_NE(ExpectRefused({"--project", project}).find("--choose FILE or --cancel"), std::string::npos);
}

TEST_F(CommandLine, UnusableFilesAreRefusedBeforeAnythingIsWritten)
{
    const fs::path missing = scratch.work() / "missing.xml";
    EXPECT_NE(ExpectRefused({"--project", missing.string(), "--cancel"}).find("cannot open \"" + missing.string()),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", scratch.work().string(), "--cancel"}).find("it is a folder"), std::string::npos);

    // A project file that breaks on a known line: the message names the file and the line.
    std::vector<std::string> lines = SplitLines(Support::ReadBytes(ExampleProject()));
    std::size_t broken = 0;
    for (std::size_t i = 0; i < lines.size() && broken == 0; ++i) {
        const std::size_t at = lines[i].find("type=\"Real\" value=\"");
        if (at != std::string::npos) {
            lines[i] = lines[i].substr(0, at) + "type=\"Real\" value=\"thick\"/>";
            broken = i + 1;
        }
    }
    ASSERT_NE(broken, 0u);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    const fs::path brokenProject = scratch.work() / "broken.xml";
    Support::WriteBytes(brokenProject, text);
    EXPECT_NE(ExpectRefused({"--project", brokenProject.string(), "--cancel"})
                  .find(brokenProject.string() + ":" + std::to_string(broken) + ":"),
              std::string::npos);
    Support::WriteBytes(brokenProject, "<project format=\"1\">\n  <element\n");
    EXPECT_NE(ExpectRefused({"--project", brokenProject.string(), "--cancel"}).find("malformed XML"), std::string::npos);

    EXPECT_NE(ExpectRefused({"--project", project, "--choose", missing.string()}).find("configuration"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--module", missing.string()}).find("module"),
              std::string::npos);
    // A file that is not a module of this system, and a shared library without the module's texts.
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--module", project}).find("module"), std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--module",
                             (Support::BinaryFolder() / "quillmere_platform.so").string()})
                  .find("module"),
              std::string::npos);
    // Results that could not be written at the end.
    const fs::path noFolder = scratch.work() / "no-such-folder" / "out.xml";
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--save", noFolder.string()}).find("no folder"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--profile", project}).find("not a folder"),
              std::string::npos);
}

TEST_F(CommandLine, HelpDescribesTheOptions)
{
    const ProgramRun run = scratch.Run({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    for (const char* option : {"--project", "--module", "--choose", "--cancel", "--profile", "--save", "--undo",
                               "--fail", "--missing", "--json"})
        EXPECT_NE(run.out.find(std::string("  ") + option), std::string::npos) << option;
    EXPECT_EQ(Scratch::Listing(scratch.temp()), std::vector<std::string>{});
}

TEST_F(CommandLine, OutputDependsOnlyOnTheInputsApartFromTheProfileFolder)
{
    // The default profile is a new folder under the temporary folder, printed with the backup file in it.
    const ProgramRun first = scratch.Run({"--project", project, "--choose", configuration});
    const ProgramRun second = scratch.Run({"--project", project, "--choose", configuration});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ASSERT_EQ(second.exitCode, 0) << second.err;
    const std::vector<std::string> profiles = Scratch::Listing(scratch.temp());
    std::vector<std::string> folders;
    for (const std::string& name : profiles)
        if (name.find('/') == std::string::npos)
            folders.push_back(name);
    ASSERT_EQ(folders.size(), 2u);
    for (const std::string& folder : folders)
        EXPECT_TRUE(fs::is_regular_file(scratch.temp() / folder / "Documents" / "IFC_SG_Properties.xml")) << folder;

    const auto withoutProfile = [&](std::string text) {
        for (const std::string& folder : folders) {
            const std::string path = (scratch.temp() / folder).string();
            for (std::size_t at; (at = text.find(path)) != std::string::npos;)
                text.replace(at, path.size(), "<profile>");
        }
        return text;
    };
    EXPECT_NE(withoutProfile(first.out).find("Profile  <profile> (backup file <profile>/Documents/IFC_SG_Properties.xml)"),
              std::string::npos);
    EXPECT_EQ(withoutProfile(first.out), withoutProfile(second.out));
}

}  // namespace
