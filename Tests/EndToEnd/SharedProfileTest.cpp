// Two host instances on one user's profile, as quillmere-host processes: they share the store of
// kept values. One waits at its dialog while the other runs and keeps something; a run waits for
// the other instance's transaction. Each project's kept data stays its own and comes back to it.
#include <poll.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "EndToEndSupport.hpp"
#include "Support/Store.hpp"
#include "Support/StoreLock.hpp"

using namespace EndToEnd;

namespace {

// quillmere-host started and left running: its standard input from a terminal of the test's own
// (a pseudo-terminal), when asked, so that its dialog asks there and the test answers; otherwise
// from /dev/null.
class RunningProgram {
public:
    RunningProgram(const fs::path& folder, const std::string& name, const std::vector<std::string>& arguments,
                   bool terminal)
        : outFile(folder / (name + ".out")), errFile(folder / (name + ".err"))
    {
        std::string slave = "/dev/null";
        if (terminal) {
            master = ::posix_openpt(O_RDWR | O_NOCTTY);
            if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
                throw std::runtime_error("cannot make a terminal for quillmere-host");
            slave = ::ptsname(master);
        }
        // A session of its own, so that the terminal becomes its controlling terminal.
        child = Support::StartProgram(HostProgram(), arguments, slave, O_RDWR, outFile, errFile, 600, [] { ::setsid(); });
    }

    ~RunningProgram()
    {
        if (child > 0) {
            ::kill(child, SIGKILL);
            Wait();
        }
        if (master >= 0)
            ::close(master);
    }

    // What it printed so far.
    std::string Output() const { return Support::TryReadBytes(outFile).value_or(std::string()); }

    // Waits up to a minute for `text` in its output; false when it did not come.
    bool WaitForOutput(const std::string& text) const
    {
        for (int tries = 0; tries < 6000; ++tries) {
            if (Output().find(text) != std::string::npos)
                return true;
            if (Ended())
                return Output().find(text) != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Types a line on its terminal.
    void Type(const std::string& line)
    {
        const std::string text = line + "\n";
        if (::write(master, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("cannot type on quillmere-host's terminal");
        // The terminal echoes the line back; nobody needs it.
        pollfd echo{master, POLLIN, 0};
        char discard[4096];
        while (::poll(&echo, 1, 100) > 0 && ::read(master, discard, sizeof discard) > 0) {
        }
    }

    // Whether it has ended (then Wait() answers at once).
    bool Ended()
    {
        if (child <= 0)
            return true;
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) != child)
            return false;
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        child = -1;
        return true;
    }
    bool Ended() const { return const_cast<RunningProgram*>(this)->Ended(); }

    ProgramRun Wait()
    {
        if (child > 0) {
            int status = 0;
            if (::waitpid(child, &status, 0) == child)
                exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            child = -1;
        }
        ProgramRun run;
        run.exitCode = exitCode;
        run.out = Output();
        run.err = Support::TryReadBytes(errFile).value_or(std::string());
        return run;
    }

private:
    fs::path outFile;
    fs::path errFile;
    pid_t child = -1;
    int master = -1;
    int exitCode = -1;
};

class SharedProfile : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The edition the project was made with, and one without the doors' group, picked by mistake.
        full = Configuration("2025");
        std::string partial = Support::ReadBytes(full);
        const std::size_t start = partial.find("<propertyGroup name=\"SGPset_Door\"");
        const std::size_t end = partial.find("</propertyGroup>", start);
        ASSERT_NE(end, std::string::npos);
        partial.erase(start, end + std::string("</propertyGroup>").size() - start);
        partialFile = scratch.work() / "IFC-SG-2025-without-doors.xml";
        Support::WriteBytes(partialFile, partial);

        // Two projects with the same elements: the clinic, and its annex whose doors hold other values.
        fs::create_directories(scratch.work() / "clinic");
        fs::create_directories(scratch.work() / "annex");
        clinic = scratch.work() / "clinic" / "CommunityClinic.xml";
        annex = scratch.work() / "annex" / "CommunityClinic.xml";
        fs::copy_file(ExampleProject(), clinic);
        TestHost::Project project;
        LoadProject(ExampleProject(), project);
        std::vector<std::tuple<API_Guid, API_Guid, TestHost::Value>> doors;
        project.ForEachValue([&](const API_Guid& element, const API_Guid& definition, const TestHost::Value& value) {
            if (project.FindGroup(project.FindDefinition(definition)->group)->name == "SGPset_Door")
                doors.emplace_back(element, definition, value);
        });
        ASSERT_GT(doors.size(), 4u);
        for (auto& [element, definition, value] : doors) {
            if (value.type == API_PropertyIntegerValueType)
                value.integer += 30;
            else if (value.type == API_PropertyRealValueType)
                value.real += 1.5;
            else if (value.type == API_PropertyStringValueType)
                value.text = "annex " + value.text;
            else if (value.type == API_PropertyBooleanValueType)
                value.boolean = !value.boolean;
            ASSERT_EQ(project.SetElementValue(element, definition, value), 0);
        }
        std::string error;
        ASSERT_TRUE(TestHost::SaveProjectFile(project, annex.string(), error)) << error;
    }

    fs::path Profile() const { return scratch.work() / "profile"; }
    fs::path Store() const { return Profile() / "AppData" / "Local" / "Quillmere" / "store.sqlite"; }

    // The arguments of a run of `project` that saves it in place.
    std::vector<std::string> Arguments(const fs::path& project, const std::string& json) const
    {
        return {"--project", project.string(), "--profile", Profile().string(), "--save", project.string(),
                "--json", (scratch.work() / json).string()};
    }

    ProgramRun RunNow(const fs::path& project, const fs::path& configuration, const std::string& json)
    {
        std::vector<std::string> arguments = Arguments(project, json);
        arguments.insert(arguments.end(), {"--choose", configuration.string()});
        return scratch.Run(arguments);
    }

    std::vector<std::string> ReportTexts(const std::string& json) const
    {
        std::vector<std::string> texts;
        const Json read = ReadJson(scratch.work() / json);
        for (const Json& line : read.at("reportLines"))
            texts.push_back(line.at("text").get<std::string>());
        return texts;
    }

    // The last line of the run's report; empty when there is none.
    std::string LastLine(const std::string& json) const
    {
        const std::vector<std::string> texts = ReportTexts(json);
        return texts.empty() ? std::string() : texts.back();
    }

    // The last line of a run that kept the doors' values and their one expression list.
    std::string WaitingLine(std::size_t values) const
    {
        return "Waiting in \"" + Store().string() + "\" for an import that defines their properties: " +
               std::to_string(values) + " values, 1 expression list (SGPset_Door)";
    }

    // The values of the doors' group of the project file.
    static Support::ValueMap DoorValues(const fs::path& file)
    {
        TestHost::Project project;
        LoadProject(file, project);
        Support::ValueMap doors;
        for (const auto& [name, value] : Support::OwnedValues(project))
            if (std::get<1>(name) == "SGPset_Door")
                doors.emplace(name, value);
        return doors;
    }

    // How many values the store keeps for the project file.
    std::size_t KeptFor(const fs::path& project) const
    {
        const std::vector<std::string> values = Support::KeptValues(Store());
        return std::count_if(values.begin(), values.end(), [&](const std::string& value) {
            return Support::KeptValueColumns(value)[0] == "file:" + project.string();
        });
    }

    Scratch scratch;
    fs::path full;
    fs::path partialFile;
    fs::path clinic;
    fs::path annex;
};

}  // namespace

TEST_F(SharedProfile, OneInstanceAtItsDialogWhileAnotherKeepsAndEachProjectGetsItsOwnBack)
{
    const Support::ValueMap clinicDoors = DoorValues(clinic), annexDoors = DoorValues(annex);
    ASSERT_EQ(clinicDoors.size(), annexDoors.size());
    ASSERT_FALSE(Support::SameValues(clinicDoors, annexDoors));

    // The clinic's instance opens its dialog and waits there, on its terminal.
    RunningProgram waiting(scratch.work(), "clinic", Arguments(clinic, "clinic.json"), true);
    ASSERT_TRUE(waiting.WaitForOutput("File path (empty to cancel): ")) << waiting.Output();

    // Meanwhile the annex's instance runs the edition without doors: its doors' values are kept.
    const ProgramRun annexRun = RunNow(annex, partialFile, "annex.json");
    ASSERT_EQ(annexRun.exitCode, 0) << annexRun.err;
    EXPECT_EQ(LastLine("annex.json"), WaitingLine(annexDoors.size())) << annexRun.out;
    EXPECT_EQ(KeptFor(annex), annexDoors.size());
    EXPECT_FALSE(waiting.Ended());

    // The clinic's user picks the same edition.
    waiting.Type(partialFile.string());
    const ProgramRun clinicRun = waiting.Wait();
    ASSERT_EQ(clinicRun.exitCode, 0) << clinicRun.err << clinicRun.out;
    EXPECT_EQ(LastLine("clinic.json"), WaitingLine(clinicDoors.size())) << clinicRun.out;
    EXPECT_EQ(KeptFor(clinic), clinicDoors.size());
    EXPECT_EQ(KeptFor(annex), annexDoors.size());
    EXPECT_TRUE(DoorValues(clinic).empty());
    EXPECT_TRUE(DoorValues(annex).empty());

    // The right edition, the annex first: each project's doors get their own values back.
    for (const auto& [project, doors, json] : {std::tuple{annex, annexDoors, "annex-again.json"},
                                               std::tuple{clinic, clinicDoors, "clinic-again.json"}}) {
        SCOPED_TRACE(project.string());
        const ProgramRun run = RunNow(project, full, json);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Support::SameValues(DoorValues(project), doors));
        EXPECT_EQ(KeptFor(project), 0u);
        const std::vector<std::string> report = ReportTexts(json);
        ASSERT_FALSE(report.empty());
        EXPECT_NE(report[0].find(std::to_string(doors.size()) + " values came back from an earlier run"),
                  std::string::npos)
            << report[0];
    }
    EXPECT_EQ(Support::KeptValueCount(Store()), 0u);
}

TEST_F(SharedProfile, ARunWaitsWhileAnotherInstanceWritesTheStoreAndThenCompletes)
{
    // The store exists and holds the annex's kept values.
    ASSERT_EQ(RunNow(annex, partialFile, "annex.json").exitCode, 0);
    const std::size_t annexKept = KeptFor(annex);
    ASSERT_GT(annexKept, 0u);

    // Another instance holds the store's write lock for three seconds while the clinic's run goes:
    // the run saves its expression lists in the store before it removes anything, and waits there.
    Support::StoreLock lock(Store(), Support::StoreLock::Kind::Write);
    std::vector<std::string> arguments = Arguments(clinic, "clinic.json");
    arguments.insert(arguments.end(), {"--choose", partialFile.string()});
    RunningProgram run(scratch.work(), "clinic", arguments, false);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_FALSE(run.Ended()) << run.Output();
    EXPECT_EQ(run.Output().find("  step     "), std::string::npos) << run.Output();
    lock.Release();

    const ProgramRun done = run.Wait();
    ASSERT_EQ(done.exitCode, 0) << done.err;
    const std::vector<std::string> report = ReportTexts("clinic.json");
    for (const std::string& line : report)
        EXPECT_EQ(line.find("could not be used"), std::string::npos) << line;
    EXPECT_EQ(LastLine("clinic.json"), WaitingLine(DoorValues(ExampleProject()).size())) << done.out;
    EXPECT_EQ(KeptFor(clinic), DoorValues(ExampleProject()).size());
    EXPECT_EQ(KeptFor(annex), annexKept);
    EXPECT_NE(done.out.find("  step     "), std::string::npos);
}
