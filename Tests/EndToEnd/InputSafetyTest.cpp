// quillmere-host never destroys its inputs: a result file that names an input, by whatever path,
// is refused before anything is written, and the project saved in place, like the JSON file, takes
// the old file's place only once it is whole, so a failed write leaves the old file as it was. Nor
// does it wait on them: an input that is no regular file is refused, and one the module reads is
// refused by the module.
#include <sys/stat.h>

#include "EndToEndSupport.hpp"
#include "Support/Descriptors.hpp"

using namespace EndToEnd;

namespace {

class InputSafety : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(scratch.work() / "sub");
        fs::copy_file(ExampleProject(), ProjectFile());
        fs::copy_file(Configuration("2026"), ConfigurationFile());
        originalProject = Support::ReadBytes(ProjectFile());
        originalConfiguration = Support::ReadBytes(ConfigurationFile());
    }

    fs::path ProjectFile() const { return scratch.work() / "project.xml"; }
    fs::path ConfigurationFile() const { return scratch.work() / "configuration.xml"; }
    fs::path Profile() const { return scratch.work() / "profile"; }

    // Runs with `arguments` and checks that the run was refused as bad input: exit 2, one line on
    // the error output, nothing made or changed. Returns the line. A refusal takes moments (under
    // valgrind a few seconds): a run that takes minutes waits on something.
    std::string ExpectRefused(const std::vector<std::string>& arguments)
    {
        const std::vector<std::string> before = Scratch::Listing(scratch.work());
        const ProgramRun run = scratch.Run(arguments, RLIM_INFINITY, 120);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(Scratch::Listing(scratch.work()), before);
        EXPECT_EQ(Scratch::Listing(scratch.temp()), std::vector<std::string>{});
        EXPECT_EQ(Support::ReadBytes(ProjectFile()), originalProject);
        EXPECT_EQ(Support::ReadBytes(ConfigurationFile()), originalConfiguration);
        return run.err;
    }

    // The names in the work folder that are none of `expected`: files left behind.
    std::vector<std::string> Strays(const std::set<std::string>& expected) const
    {
        std::vector<std::string> strays;
        for (const auto& entry : fs::directory_iterator(scratch.work()))
            if (expected.count(entry.path().filename().string()) == 0)
                strays.push_back(entry.path().filename().string());
        return strays;
    }

    Scratch scratch;
    std::string originalProject;
    std::string originalConfiguration;
};

TEST_F(InputSafety, ResultFilesNamingAnInputByAnyPathAreRefused)
{
    const std::string project = ProjectFile().string();
    const std::string configuration = ConfigurationFile().string();
    fs::create_symlink("project.xml", scratch.work() / "link.xml");
    fs::create_hard_link(ProjectFile(), scratch.work() / "hard.xml");
    fs::create_symlink("../configuration.xml", scratch.work() / "sub" / "configuration-link.xml");
    const std::string dotted = (scratch.work() / "." / "project.xml").string();
    const std::string upAndDown = (scratch.work() / "sub" / ".." / "project.xml").string();
    const std::string refusedJson = " is the --project file, which the run would overwrite";

    for (const std::string& json : {dotted, upAndDown, (scratch.work() / "link.xml").string(),
                                    (scratch.work() / "hard.xml").string()})
        EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--json", json}).find("--json \"" + json + "\"" +
                                                                                          refusedJson),
                  std::string::npos)
            << json;
    // The configuration is read by the module during the run: neither result may replace it.
    EXPECT_NE(ExpectRefused({"--project", project, "--choose", configuration, "--save",
                             (scratch.work() / "sub" / "configuration-link.xml").string()})
                  .find("is the --choose file"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--choose", configuration, "--json",
                             (scratch.work() / "sub" / ".." / "configuration.xml").string()})
                  .find("is the --choose file"),
              std::string::npos);
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--save", (Support::BinaryFolder() / "Quillmere.so").string()})
                  .find("is the --module file"),
              std::string::npos);
    // The module's backup file would overwrite the project.
    fs::create_directories(Profile() / "Documents");
    fs::create_symlink("../../project.xml", Profile() / "Documents" / "IFC_SG_Properties.xml");
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--profile", Profile().string()})
                  .find("the backup file in --profile \"" + Profile().string() + "\" is the --project file"),
              std::string::npos);
    fs::remove(Profile() / "Documents" / "IFC_SG_Properties.xml");
    // Two results into one file, whether it exists or not.
    const std::string out = (scratch.work() / "out.xml").string();
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--save", out, "--json",
                             (scratch.work() / "sub" / ".." / "out.xml").string()})
                  .find("--save and --json name the same file"),
              std::string::npos);
    Support::WriteBytes(out, "earlier\n");
    fs::create_symlink("out.xml", scratch.work() / "out-link.xml");
    EXPECT_NE(ExpectRefused({"--project", project, "--cancel", "--save", out, "--json",
                             (scratch.work() / "out-link.xml").string()})
                  .find("--save and --json name the same file"),
              std::string::npos);
    EXPECT_EQ(Support::ReadBytes(out), "earlier\n");
}

TEST_F(InputSafety, InputsThatAreNoRegularFilesAreRefusedWithoutWaiting)
{
    // A named pipe without a writer would keep an ordinary open waiting for ever, and a device may
    // act when it is opened: neither is opened.
    const std::string pipe = (scratch.work() / "pipe.xml").string();
    Support::MakeNamedPipe(pipe);
    fs::create_symlink("pipe.xml", scratch.work() / "pipe-link.xml");
    const std::string link = (scratch.work() / "pipe-link.xml").string();
    const std::string folder = (scratch.work() / "sub").string();
    const std::string project = ProjectFile().string();
    const std::string isPipe = "\": it is a named pipe (FIFO), not a file";

    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--project", pipe, "--cancel"}, "project: cannot open \"" + pipe + isPipe},
        {{"--project", link, "--cancel"}, "project: cannot open \"" + link + isPipe},
        {{"--project", "/dev/null", "--cancel"}, "project: cannot open \"/dev/null\": it is a device, not a file"},
        {{"--project", project, "--choose", pipe}, "cannot open configuration \"" + pipe + isPipe},
        {{"--project", project, "--choose", folder}, "cannot open configuration \"" + folder + "\": it is a folder"},
        {{"--project", project, "--cancel", "--module", pipe}, "cannot open module \"" + pipe + isPipe},
        {{"--project", project, "--cancel", "--module", folder}, "cannot open module \"" + folder + "\": it is a folder"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(arguments[1] + " " + arguments.back());
        EXPECT_EQ(ExpectRefused(arguments), "quillmere-host: " + message + "\n");
    }
    EXPECT_TRUE(fs::is_fifo(pipe));
}

TEST_F(InputSafety, PipesWhereTheModuleReadsOrWritesDoNotKeepTheRunWaiting)
{
    const std::string project = ProjectFile().string();
    const std::string configuration = ConfigurationFile().string();
    const fs::path table = scratch.work() / "configuration.renames.xml";
    const fs::path backup = Profile() / "Documents" / "IFC_SG_Properties.xml";
    fs::create_directories(backup.parent_path());
    const std::string alert = "  alert    Import Successful: ";

    struct Case {
        const char* what;
        fs::path pipe;
        std::vector<std::string> arguments;
        std::vector<std::string> printed;  // lines the run prints, among others, or their beginnings
        bool pipeStays;                    // false: the backup took the pipe's place
        long reportLines;
    };
    const Case cases[] = {
        // The module does not read the table, says so, and goes on without renames.
        {"rename table", table, {"--project", project, "--choose", configuration},
         {"  report   The rename table \"" + table.string() + "\" could not be used (system error 22); values and "
          "expressions follow their own names only",
          alert},
         true, 8},  // and the six properties the table would have renamed, kept, and what waits
        // The backup takes the place of the pipe, which is never opened (the run, without its table,
        // keeps the six renamed properties and tells of them as above).
        {"backup file, written", backup, {"--project", project, "--choose", configuration},
         {alert, "Backup file present: " + backup.string()}, false, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Profile() / "AppData");  // what the run before kept
        fs::remove(c.pipe);
        Support::MakeNamedPipe(c.pipe);
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--profile", Profile().string()});
        const ProgramRun run = scratch.Run(arguments, RLIM_INFINITY, 300);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (const std::string& line : c.printed)
            EXPECT_NE(run.out.find("\n" + line), std::string::npos) << line << "\n" << run.out;
        const std::vector<std::string> lines = run.OutLines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return line.rfind("  report ", 0) == 0; }),
                  c.reportLines)
            << run.out;
        EXPECT_EQ(fs::is_fifo(c.pipe), c.pipeStays);
        fs::remove(c.pipe);
    }
}

TEST_F(InputSafety, ProjectSavedInPlaceThroughALinkReplacesTheFileBehindIt)
{
    fs::create_symlink("project.xml", scratch.work() / "link.xml");
    fs::create_hard_link(ProjectFile(), scratch.work() / "hard.xml");
    ASSERT_EQ(::chmod(ProjectFile().c_str(), 0640), 0);
    const std::string link = (scratch.work() / "link.xml").string();

    const ProgramRun run = scratch.Run({"--project", link, "--choose", ConfigurationFile().string(), "--profile",
                                        Profile().string(), "--save", link});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Project saved: " + link + "\n"), std::string::npos);
    // The link stays a link; the file it names holds the result, with its permissions.
    EXPECT_TRUE(fs::is_symlink(link));
    TestHost::Project saved;
    LoadProject(ProjectFile(), saved);
    EXPECT_EQ(saved.FindSystemByName("IFC-SG")->version, "2026.1");
    EXPECT_EQ(fs::status(ProjectFile()).permissions(), fs::perms(0640));
    // The file was replaced, not written over: another hard link keeps what was there before.
    EXPECT_EQ(Support::ReadBytes(scratch.work() / "hard.xml"), originalProject);
    EXPECT_EQ(Strays({"project.xml", "configuration.xml", "link.xml", "hard.xml", "profile", "sub"}),
              std::vector<std::string>{});
}

TEST_F(InputSafety, FailedWritesLeaveTheFilesTheyWouldReplaceAsTheyWere)
{
    // Writes past 32 KiB fail, as on a full disk: the run's output up to the failure and the
    // module's backup file stay below that, the saved project and the JSON file do not.
    constexpr rlim_t Limit = 32 * 1024;
    const std::string project = ProjectFile().string();
    const std::string json = (scratch.work() / "run.json").string();
    Support::WriteBytes(json, "{\"earlier\": true}\n");
    const std::vector<std::string> arguments = {"--project", project, "--choose", ConfigurationFile().string(),
                                                "--profile", Profile().string()};
    const std::set<std::string> expected = {"project.xml", "configuration.xml", "run.json", "profile", "sub"};

    std::vector<std::string> saving = arguments;
    saving.insert(saving.end(), {"--save", project});
    const ProgramRun failedSave = scratch.Run(saving, Limit);
    EXPECT_EQ(failedSave.exitCode, 1) << failedSave.err;
    EXPECT_EQ(failedSave.err, "quillmere-host: cannot write \"" + project + "\": File too large\n");
    EXPECT_EQ(Support::ReadBytes(ProjectFile()), originalProject);
    EXPECT_EQ(Strays(expected), std::vector<std::string>{});

    std::vector<std::string> reporting = arguments;
    reporting.insert(reporting.end(), {"--json", json});
    const ProgramRun failedJson = scratch.Run(reporting, Limit);
    EXPECT_EQ(failedJson.exitCode, 1) << failedJson.err;
    EXPECT_EQ(failedJson.err, "quillmere-host: cannot write \"" + json + "\": File too large\n");
    EXPECT_EQ(Support::ReadBytes(json), "{\"earlier\": true}\n");
    EXPECT_EQ(Strays(expected), std::vector<std::string>{});

    // Without the limit the same runs write both files whole.
    ASSERT_EQ(scratch.Run(saving).exitCode, 0);
    EXPECT_GT(Support::ReadBytes(ProjectFile()).size(), Limit);
    ASSERT_EQ(scratch.Run(reporting).exitCode, 0);
    EXPECT_GT(Support::ReadBytes(json).size(), Limit);
    EXPECT_EQ(ReadJson(json).at("configuration").get<std::string>(), ConfigurationFile().string());
}

}  // namespace
