// The backup of a 100,000-value project written by a child process that is killed at random
// moments while it writes, and by one that runs out of file size: the backup path always holds a
// complete file, the earlier one or the new one.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <random>
#include <thread>

#include "ReliabilitySupport.hpp"

#include "ConfigurationXml.hpp"
#include "BackupFile/ValueBackupWriter.hpp"

using namespace Reliability;

namespace {

constexpr int ElementCount = 12500;
constexpr int PropertiesPerElement = 8;  // 100,000 values
// Each kill waits for the child to collect 100,000 values first; the sanitizers' build, several
// times slower at that, kills fewer times.
#if defined(__SANITIZE_ADDRESS__)
constexpr int Kills = 4;
#else
constexpr int Kills = 10;
#endif

const char* const Configuration = R"(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="Mark" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Note" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
    <property name="Height" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
    <property name="LayerCount" type="Integer"><appliesTo item="IfcWall"/></property>
    <property name="Rating" type="Integer"><appliesTo item="IfcWall"/></property>
    <property name="IsExternal" type="Boolean"><appliesTo item="IfcWall"/></property>
    <property name="IsLoadBearing" type="Boolean"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>)";

using Clock = std::chrono::steady_clock;

class CrashConsistency : public ProfileTest {
protected:
    void SetUp() override
    {
        ProfileTest::SetUp();
        TestHost::Project& project = host.GetProject();
        ASSERT_EQ(TestHost::ImportClassificationXml(project, Configuration).code, 0);
        ASSERT_EQ(TestHost::ImportPropertyXml(project, Configuration).code, 0);
        const API_Guid item = project.FindItemById("IfcWall")->guid;
        for (const TestHost::PropertyDefinition* definition : project.DefinitionsOfGroup(project.FindGroupByName("SGPset_Wall")->guid))
            definitions.push_back(definition->guid);
        ASSERT_EQ(definitions.size(), std::size_t{PropertiesPerElement});
        for (int i = 0; i < ElementCount; ++i)
            elements.push_back(project.AddElement("W" + std::to_string(i), "IfcWall", item));
        SetValues("old");
        SetImportedFuncAddrs(host.ServiceTable());
        ASSERT_EQ(GuardedInitialize(host.Context()), NoError);
    }

    void TearDown() override
    {
        GuardedRelease();
        ProfileTest::TearDown();
    }

    void SetValues(const std::string& edition)
    {
        TestHost::Project& project = host.GetProject();
        for (int i = 0; i < ElementCount; ++i) {
            const std::string mark = edition + "-" + std::to_string(i);
            const TestHost::Value values[PropertiesPerElement] = {
                TestHost::MakeStringValue(mark), TestHost::MakeStringValue("note <" + mark + "> & more"),
                TestHost::MakeRealValue(0.1 * i), TestHost::MakeRealValue(edition.size() + i / 7.0),
                TestHost::MakeIntegerValue(i), TestHost::MakeIntegerValue(-i * static_cast<int>(edition.size())),
                TestHost::MakeBooleanValue(i % 2 == 0), TestHost::MakeBooleanValue(edition == "new")};
            for (int p = 0; p < PropertiesPerElement; ++p)
                ASSERT_EQ(project.SetElementValue(elements[i], definitions[p], values[p]), 0);
        }
    }

    // The backup phase in a child process, after `prepare` ran in it. Report lines come back
    // through `lines` when given.
    pid_t StartBackup(const std::function<void()>& prepare = {}, int linesOut = -1)
    {
        const pid_t child = ::fork();
        if (child == 0) {
            if (prepare)
                prepare();
            host.ClearOutput();
            BackupElementValues(run);
            if (linesOut >= 0) {
                for (const auto& line : host.ReportLines()) {
                    const std::string text = line.text + "\n";
                    (void)!::write(linesOut, text.data(), text.size());
                }
                ::close(linesOut);
            }
            ::_exit(0);
        }
        return child;
    }

    // Whether the child has ended, leaving it to be waited for.
    static bool HasEnded(pid_t child)
    {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
    }

    static int Wait(pid_t child)
    {
        int status = 0;
        ::waitpid(child, &status, 0);
        return status;
    }

    TestHost::Host host;
    std::vector<API_Guid> definitions;
    std::vector<API_Guid> elements;
};

}  // namespace

TEST_F(CrashConsistency, KilledWhileWritingTheBackupLeavesTheOldOrTheNewFile)
{
    // The earlier file, written in this process.
    host.ClearOutput();
    BackupElementValues(run);
    ASSERT_TRUE(host.ReportLines().empty());
    const std::string oldFile = Support::ReadBytes(profile.BackupFile());
    ASSERT_EQ(BackupContent::Read(profile.BackupFile())->Count(), std::size_t{ElementCount * PropertiesPerElement});

    // One complete run with other values: the new file, and how long writing it takes (from the
    // moment the temporary file appears to the end of the process).
    SetValues("new");
    const pid_t measured = StartBackup();
    Clock::time_point writeStart{};
    while (::waitpid(measured, nullptr, WNOHANG) == 0) {
        if (writeStart == Clock::time_point{} && fs::exists(profile.TemporaryFile()))
            writeStart = Clock::now();
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    ASSERT_NE(writeStart, Clock::time_point{}) << "the temporary file was never seen";
    const auto writeTime = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - writeStart);
    const std::string newFile = Support::ReadBytes(profile.BackupFile());
    ASSERT_NE(newFile, oldFile);
    ASSERT_EQ(BackupContent::Read(profile.BackupFile())->Count(), std::size_t{ElementCount * PropertiesPerElement});

    // Killed at a random moment of the write, counted from the temporary file's appearance.
    std::mt19937 random(20261209);
    std::uniform_int_distribution<long> delay(0, writeTime.count() * 6 / 5);
    int oldKept = 0, newKept = 0, killedWhileWriting = 0;
    for (int kill = 0; kill < Kills; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        Support::WriteBytes(profile.BackupFile(), oldFile);
        fs::remove(profile.TemporaryFile());
        const long wait = delay(random);
        const pid_t child = StartBackup();
        while (!fs::exists(profile.TemporaryFile()) && !HasEnded(child))
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        std::this_thread::sleep_for(std::chrono::microseconds(wait));
        ::kill(child, SIGKILL);
        Wait(child);

        const std::string left = Support::ReadBytes(profile.BackupFile());
        EXPECT_TRUE(left == oldFile || left == newFile) << "the backup path holds " << left.size() << " other bytes";
        oldKept += left == oldFile ? 1 : 0;
        newKept += left == newFile ? 1 : 0;
        killedWhileWriting += fs::exists(profile.TemporaryFile()) ? 1 : 0;
    }
    std::cout << "[ kills    ] " << Kills << " kills within " << writeTime.count() << " us of writing "
              << newFile.size() << " bytes: " << oldKept
              << " left the old file, " << newKept << " the new one; " << killedWhileWriting
              << " hit the write itself\n";
    // The kills did land inside the write, not only before or after it.
    EXPECT_GT(killedWhileWriting, 0);
}

TEST_F(CrashConsistency, FileSizeLimitReportsTheWriteErrorAndKeepsTheEarlierFile)
{
    host.ClearOutput();
    BackupElementValues(run);
    const std::string oldFile = Support::ReadBytes(profile.BackupFile());
    ASSERT_GT(oldFile.size(), 1u << 20);
    SetValues("new");

    // As a full disk: the file may not grow past 64 KiB, and writing further fails with EFBIG
    // (SIGXFSZ ignored, as a host that does not die of it).
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = StartBackup(
        [&] {
            ::close(pipeEnds[0]);
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64 * 1024, RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        },
        pipeEnds[1]);
    ::close(pipeEnds[1]);
    std::string lines;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        lines.append(buffer, static_cast<std::size_t>(got));
    ::close(pipeEnds[0]);
    const int status = Wait(child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    EXPECT_EQ(lines, "Backup Write Error: " + std::to_string(EFBIG) + "\n");
    EXPECT_EQ(Support::ReadBytes(profile.BackupFile()), oldFile);
    EXPECT_FALSE(fs::exists(profile.TemporaryFile()));
}
