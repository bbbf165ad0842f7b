// The value backup file on Windows: written through a text-mode stream (CR LF on disk), read back
// by the restore in the same command, and placed in the Documents folder of the "USERPROFILE"
// that the host set. A file that another program holds for a moment is waited for.
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include "ImportPatch.hpp"
#include "Project.hpp"
#include "Support/Memory.hpp"
#include "WindowsTestSupport.hpp"

namespace {

using WinTests::FindValue;

// Another program's hold on a file, as an editor, a virus scanner or a sync client keeps one: a
// thread of its own opens the file with `share` and keeps it open until Release().
class FileHolder {
public:
    FileHolder(const std::filesystem::path& path, DWORD share)
    {
        std::promise<bool> opened;
        std::future<bool> openedFuture = opened.get_future();
        thread = std::thread([this, path, share, &opened] {
            const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
            opened.set_value(file != INVALID_HANDLE_VALUE);
            std::unique_lock<std::mutex> lock(mutex);
            letGoNow.wait(lock, [this] { return letGo; });
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        });
        holding = openedFuture.get();
    }
    ~FileHolder() { Release(); }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    bool Holding() const { return holding; }

    // Closes the file; it is closed when this returns.
    void Release()
    {
        if (!thread.joinable())
            return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            letGo = true;
        }
        letGoNow.notify_all();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable letGoNow;
    bool letGo = false;
    bool holding = false;
    std::thread thread;
};

// What the module's own calls on one file met, seen through its imports of MoveFileExW, CreateFileW
// and Sleep from kernel32: the error of each call on the file (0 for success) and each pause. At
// the first failed call the holder, when given, lets go of the file, as if the other program
// closed it just then. `onceInPlace`, when given, runs after the first move that put the file in
// place, before the module goes on.
struct HeldFileWatch {
    std::filesystem::path file;
    FileHolder* releaseOnFailure = nullptr;
    std::function<void()> onceInPlace;
    std::vector<DWORD> errors;
    std::vector<DWORD> pauses;

    static inline HeldFileWatch* current = nullptr;
    static inline decltype(&MoveFileExW) realMoveFileEx = nullptr;
    static inline decltype(&CreateFileW) realCreateFile = nullptr;
    static inline decltype(&Sleep) realSleep = nullptr;

    // The module sees the call's own last error whatever is done here.
    void Note(LPCWSTR path, bool succeeded)
    {
        const DWORD last = GetLastError();
        if (path != nullptr && std::filesystem::path(path).lexically_normal() == file.lexically_normal()) {
            errors.push_back(succeeded ? 0 : last);
            if (!succeeded && releaseOnFailure != nullptr)
                releaseOnFailure->Release();
        }
        SetLastError(last);
    }

    static BOOL WINAPI WatchMove(LPCWSTR from, LPCWSTR to, DWORD flags)
    {
        const BOOL moved = realMoveFileEx(from, to, flags);
        current->Note(to, moved != 0);
        if (moved != 0 && current->onceInPlace && current->errors.back() == 0) {
            const DWORD last = GetLastError();
            std::exchange(current->onceInPlace, nullptr)();
            SetLastError(last);
        }
        return moved;
    }
    static HANDLE WINAPI WatchOpen(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD flags, HANDLE templateFile)
    {
        const HANDLE file = realCreateFile(name, access, share, security, disposition, flags, templateFile);
        current->Note(name, file != INVALID_HANDLE_VALUE);
        return file;
    }
    static void WINAPI WatchPause(DWORD milliseconds)
    {
        current->pauses.push_back(milliseconds);
        realSleep(milliseconds);
    }
};

// The module's calls go through `watch` while this lives.
class WatchingModuleCalls {
public:
    explicit WatchingModuleCalls(HeldFileWatch& watch)
    {
        HeldFileWatch::current = &watch;
        HeldFileWatch::realMoveFileEx = reinterpret_cast<decltype(&MoveFileExW)>(moves.Original());
        HeldFileWatch::realCreateFile = reinterpret_cast<decltype(&CreateFileW)>(opens.Original());
        HeldFileWatch::realSleep = reinterpret_cast<decltype(&Sleep)>(pauses.Original());
    }
    ~WatchingModuleCalls() { HeldFileWatch::current = nullptr; }
    WatchingModuleCalls(const WatchingModuleCalls&) = delete;
    WatchingModuleCalls& operator=(const WatchingModuleCalls&) = delete;

    bool Applied() const { return moves.Applied() && opens.Applied() && pauses.Applied(); }

private:
    static HMODULE Module() { return GetModuleHandleW(WinTests::ModuleFile().c_str()); }

    const WinTests::ImportPatch moves{Module(), "kernel32.dll", "MoveFileExW",
                                      reinterpret_cast<void*>(&HeldFileWatch::WatchMove)};
    const WinTests::ImportPatch opens{Module(), "kernel32.dll", "CreateFileW",
                                      reinterpret_cast<void*>(&HeldFileWatch::WatchOpen)};
    const WinTests::ImportPatch pauses{Module(), "kernel32.dll", "Sleep",
                                       reinterpret_cast<void*>(&HeldFileWatch::WatchPause)};
};

class BackupFile : public WinTests::RunningModuleTest {
protected:
    // Answers the dialog with the sample configuration, written to the profile folder.
    void ChooseSampleConfiguration()
    {
        dialogs->QueueChoice(profileFolder.Write(L"IFC-SG.xml", WinTests::SampleConfiguration).wstring());
    }
};

// Every LF preceded by CR, and no CR elsewhere.
bool HasOnlyCrLfLineEnds(const std::string& bytes)
{
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        if (bytes[at] == '\n' && (at == 0 || bytes[at - 1] != '\r'))
            return false;
        if (bytes[at] == '\r' && (at + 1 == bytes.size() || bytes[at + 1] != '\n'))
            return false;
    }
    return true;
}

TEST_F(BackupFile, TheFileHasCrLfLineEndsAndTheRestoreTakesThisRunsValues)
{
    const WinTests::SampleProject sample(host.GetProject());
    ChooseSampleConfiguration();
    // Once the backup is in place the restore is still to come: look at the file, and change one
    // value in it, as another program might: the restore takes this run's values from memory all
    // the same.
    std::optional<std::string> written;
    HeldFileWatch watch;
    watch.file = profileFolder.BackupFile();
    watch.onceInPlace = [&] {
        written = Support::TryReadBytes(profileFolder.BackupFile());
        if (written) {
            std::string changed = *written;
            if (const std::size_t at = changed.find(">0.250000<"); at != std::string::npos)
                changed.replace(at, 10, ">0.375000<");
            EXPECT_TRUE(Support::TryWriteBytes(profileFolder.BackupFile(), changed));
        }
    };
    const WatchingModuleCalls watching(watch);
    ASSERT_TRUE(watching.Applied());

    EXPECT_EQ(RunCommand(), NoError);

    ASSERT_TRUE(written.has_value()) << "no backup file was put in place";
    const std::string location =
        "Lobby &amp; &lt;stair&gt; \xCE\x94\xCE\xB9\xCE\xAC\xCE\xB4\xCF\x81\xCE\xBF\xCE\xBC\xCE\xBF\xCF\x82 \xE8\xB5\xB0\xE5\xBB\x8A";
    const std::string expected = WinTests::WithCrLf(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<project>\n"
        "\t<element guid=\"" + TestHost::GuidToText(sample.wall) + "\">\n"
        "\t\t<SGPset_Wall-FireResistancePeriod valType=\"Integer\" MType=\"Default\">120</SGPset_Wall-FireResistancePeriod>\n"
        "\t\t<SGPset_Wall-Thickness valType=\"Real\" MType=\"Length\">0.250000</SGPset_Wall-Thickness>\n"
        "\t</element>\n"
        "\t<element guid=\"" + TestHost::GuidToText(sample.door) + "\">\n"
        "\t\t<SGPset_Door-ClearWidth valType=\"Real\" MType=\"Length\">1.050000</SGPset_Door-ClearWidth>\n"
        "\t\t<SGPset_Door-FireExit valType=\"Boolean\" MType=\"Default\">1</SGPset_Door-FireExit>\n"
        "\t\t<SGPset_Door-Location valType=\"String\" MType=\"Default\">" + location + "</SGPset_Door-Location>\n"
        "\t</element>\n"
        "</project>\n\n");
    // The printer ends the document with an empty line.
    EXPECT_TRUE(HasOnlyCrLfLineEnds(*written));
    EXPECT_EQ(*written, expected);

    // The restore wrote this run's values into the new definitions, not the changed file's.
    ASSERT_EQ(host.Alerts().size(), 1u);
    const TestHost::Project& project = host.GetProject();
    const TestHost::Value* thickness = FindValue(project, sample.wall, "SGPset_Wall", "Thickness");
    const TestHost::Value* period = FindValue(project, sample.wall, "SGPset_Wall", "FireResistancePeriod");
    const TestHost::Value* width = FindValue(project, sample.door, "SGPset_Door", "ClearWidth");
    const TestHost::Value* exit = FindValue(project, sample.door, "SGPset_Door", "FireExit");
    const TestHost::Value* place = FindValue(project, sample.door, "SGPset_Door", "Location");
    ASSERT_TRUE(thickness && period && width && exit && place);
    EXPECT_EQ(*thickness, TestHost::MakeRealValue(0.25));
    EXPECT_EQ(*period, TestHost::MakeIntegerValue(120));
    EXPECT_EQ(*width, TestHost::MakeRealValue(1.05));
    EXPECT_EQ(*exit, TestHost::MakeBooleanValue(true));
    EXPECT_EQ(*place, TestHost::MakeStringValue("Lobby & <stair> \xCE\x94\xCE\xB9\xCE\xAC\xCE\xB4\xCF\x81\xCE\xBF\xCE\xBC\xCE\xBF\xCF\x82 \xE8\xB5\xB0\xE5\xBB\x8A"));
    EXPECT_TRUE(host.ReportLines().empty());
}

TEST_F(BackupFile, TheModuleWritesWhereTheHostPointsUserProfile)
{
    const WinTests::SampleProject sample(host.GetProject());
    // A cancelled dialog writes nothing.
    dialogs->QueueCancel();
    ASSERT_EQ(RunCommand(), NoError);
    EXPECT_FALSE(std::filesystem::exists(profileFolder.BackupFile()));
    ChooseSampleConfiguration();
    ASSERT_EQ(RunCommand(), NoError);
    const std::optional<std::string> first = Support::TryReadBytes(profileFolder.BackupFile());
    ASSERT_TRUE(first.has_value()) << "nothing written under the first profile";
    EXPECT_NE(first->find("<SGPset_Wall-Thickness"), std::string::npos);

    // A second profile, set while the module is loaded: the next run writes there, and leaves the
    // first profile's file alone.
    Support::ScratchFolder otherFolder(L"-other-profile");
    ASSERT_TRUE(std::filesystem::create_directory(otherFolder.Path() / L"Documents"));
    ASSERT_TRUE(std::filesystem::create_directories(otherFolder.Path() / L"AppData" / L"Local"));
    {
        const Support::UserProfile other(otherFolder.Path());
        ChooseSampleConfiguration();
        ASSERT_EQ(RunCommand(), NoError);
    }
    EXPECT_EQ(Support::TryReadBytes(otherFolder.Path() / L"Documents" / L"IFC_SG_Properties.xml"), first);
    EXPECT_TRUE(host.ReportLines().empty());
    EXPECT_EQ(Support::TryReadBytes(profileFolder.BackupFile()), first);
    EXPECT_EQ(dialogs->Dialogs().size(), 3u);
}

TEST_F(BackupFile, AProfileFolderOfAnyNameHoldsTheBackup)
{
    // A user folder named in Chinese and Greek, which no 8-bit code page holds whole.
    const Support::ProfileFolder user(L"-\u7528\u6237-\u03c7\u03c1\u03ae\u03c3\u03c4\u03b7\u03c2");
    const std::filesystem::path backup = user.BackupFile();
    const WinTests::SampleProject sample(host.GetProject());

    // A run writes the backup there, and the store beside it in the profile's AppData.
    ChooseSampleConfiguration();
    ASSERT_EQ(RunCommand(), NoError);
    const std::optional<std::string> written = Support::TryReadBytes(backup);
    ASSERT_TRUE(written.has_value()) << "no backup file in the profile folder";
    EXPECT_NE(written->find("<SGPset_Door-ClearWidth valType=\"Real\" MType=\"Length\">1.050000<"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(profileFolder.BackupFile()));
    EXPECT_TRUE(host.ReportLines().empty());

    // A configuration without the door's group: its values wait in the store under that folder, and
    // the next run with the sample configuration brings them back from there.
    std::string withoutDoors = WinTests::SampleConfiguration;
    const std::size_t door = withoutDoors.find("SGPset_Door");
    ASSERT_NE(door, std::string::npos);
    withoutDoors.replace(door, 11, "SGPset_Gate");
    dialogs->QueueChoice(user.Write(L"IFC-SG without doors.xml", withoutDoors).wstring());
    ASSERT_EQ(RunCommand(), NoError);
    EXPECT_TRUE(std::filesystem::is_regular_file(user.Store()));
    host.ClearOutput();
    ChooseSampleConfiguration();
    ASSERT_EQ(RunCommand(), NoError);
    ASSERT_EQ(host.ReportLines().size(), 1u);
    EXPECT_NE(host.ReportLines()[0].text.find(" came back from an earlier run, saved "), std::string::npos);
    ASSERT_EQ(host.Alerts().size(), 1u);
    const TestHost::Project& project = host.GetProject();
    const TestHost::Value* thickness = FindValue(project, sample.wall, "SGPset_Wall", "Thickness");
    const TestHost::Value* place = FindValue(project, sample.door, "SGPset_Door", "Location");
    ASSERT_TRUE(thickness && place);
    EXPECT_EQ(*thickness, TestHost::MakeRealValue(0.25));
    EXPECT_EQ(*place, TestHost::MakeStringValue("Lobby & <stair> \xCE\x94\xCE\xB9\xCE\xAC\xCE\xB4\xCF\x81\xCE\xBF\xCE\xBC\xCE\xBF\xCF\x82 \xE8\xB5\xB0\xE5\xBB\x8A"));
}

TEST_F(BackupFile, AFileAnotherProgramHoldsForAMomentIsWaitedFor)
{
    // An earlier run's backup without values: replaced, it leaves nothing to keep.
    const std::string Earlier = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<project/>\n\n";
    const WinTests::SampleProject sample(host.GetProject());
    const std::filesystem::path configuration = profileFolder.Write(L"IFC-SG.xml", WinTests::SampleConfiguration);
    HeldFileWatch watch;
    const WatchingModuleCalls watching(watch);
    ASSERT_TRUE(watching.Applied());
    const std::vector<DWORD> everyPause = {25, 50, 75, 100, 125, 150, 175, 200, 225, 250};

    struct Case {
        const char* what;
        bool configuration;  // the configuration, held without sharing; else the backup file, as an
                             // editor holds it (reading and writing shared, deletion not)
        bool letGo;          // at the module's first failed call on it; else after the command
    };
    const Case cases[] = {
        {"backup file, for a moment", false, true},
        {"backup file, all along", false, false},
        {"configuration, for a moment", true, true},
        {"configuration, all along", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.ClearOutput();
        ASSERT_TRUE(Support::TryWriteBytes(profileFolder.BackupFile(), Earlier));
        watch.file = c.configuration ? configuration : profileFolder.BackupFile();
        watch.errors.clear();
        watch.pauses.clear();
        FileHolder holder(watch.file, c.configuration ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(holder.Holding());
        watch.releaseOnFailure = c.letGo ? &holder : nullptr;
        dialogs->QueueChoice(configuration.wstring());

        EXPECT_EQ(RunCommand(), NoError);
        holder.Release();

        // Every call on the file failed until the holder let go; what a held file answers depends
        // on the call (wine: access denied to the replacement, a sharing violation to the open).
        ASSERT_FALSE(watch.errors.empty());
        const DWORD held = watch.errors.front();
        EXPECT_TRUE(held == ERROR_ACCESS_DENIED || held == ERROR_SHARING_VIOLATION) << held;
        std::vector<DWORD> errors(c.letGo ? 1 : 11, held);
        if (c.letGo)
            errors.push_back(0);
        EXPECT_EQ(watch.errors, errors);
        EXPECT_EQ(watch.pauses, c.letGo ? std::vector<DWORD>{25} : everyPause);

        const std::optional<std::string> backup = Support::TryReadBytes(profileFolder.BackupFile());
        ASSERT_TRUE(backup.has_value());
        EXPECT_FALSE(std::filesystem::exists(profileFolder.TemporaryFile()));
        if (c.configuration) {
            // A configuration that cannot be read ends the command with one line, before anything
            // is saved.
            EXPECT_EQ(*backup == Earlier, !c.letGo);
            EXPECT_EQ(host.ReportLines().size(), c.letGo ? 0u : 1u);
            EXPECT_EQ(host.Alerts().size(), c.letGo ? 1u : 0u);
        } else {
            // A backup that cannot be written leaves the earlier file; the restore takes this run's
            // values from memory all the same.
            EXPECT_EQ(*backup == Earlier, !c.letGo);
            EXPECT_EQ(backup->find("<SGPset_Wall-Thickness") != std::string::npos, c.letGo);
            std::vector<std::string> lines;
            for (const auto& line : host.ReportLines())
                lines.push_back(line.text);
            EXPECT_EQ(lines, c.letGo ? std::vector<std::string>{}
                                     : std::vector<std::string>{"Backup Write Error: " + std::to_string(held)});
            EXPECT_EQ(host.Alerts().size(), 1u);
        }
        host.Undo(host.StepNames().size());
    }
}

TEST_F(BackupFile, AFolderWhereAFileIsReadIsRefusedAtOnce)
{
    // A folder answers access denied, as a held file may, but for good: it is not tried again.
    const WinTests::SampleProject sample(host.GetProject());
    const std::filesystem::path configuration = profileFolder.Write(L"IFC-SG.xml", WinTests::SampleConfiguration);
    const std::filesystem::path table = profileFolder.Path() / L"IFC-SG.renames.xml";
    ASSERT_TRUE(std::filesystem::create_directory(table));
    HeldFileWatch watch;
    watch.file = table;
    const WatchingModuleCalls watching(watch);
    ASSERT_TRUE(watching.Applied());
    dialogs->QueueChoice(configuration.wstring());

    EXPECT_EQ(RunCommand(), NoError);

    EXPECT_EQ(watch.errors, std::vector<DWORD>{ERROR_ACCESS_DENIED});
    EXPECT_EQ(watch.pauses, std::vector<DWORD>{});
    ASSERT_EQ(host.ReportLines().size(), 1u);
    EXPECT_EQ(host.ReportLines()[0].text, "The rename table \"" + WinTests::Utf8(table.wstring()) +
                                              "\" could not be used (system error 222); values and expressions "
                                              "follow their own names only");
    EXPECT_EQ(host.Alerts().size(), 1u);
}

TEST_F(BackupFile, RunningOutOfMemoryAnywhereEndsTheCommandWithoutAborting)
{
    // The platform library throws std::bad_alloc through the module's frames: its handler must
    // catch it, as on Linux.
    const WinTests::SampleProject sample(host.GetProject());
    const std::string stopped = "Import IFC-SG Classifications and Properties stopped: std::bad_alloc";
    bool completed = false;
    for (const std::size_t headroom : Support::GrowingHeadrooms()) {
        SCOPED_TRACE("headroom " + std::to_string(headroom));
        host.ClearOutput();
        // A run that stops before the dialog leaves its answer for the next one.
        if (dialogs->PendingAnswers() == 0)
            ChooseSampleConfiguration();
        GSErrCode result = NoError;
        {
            const Support::LiveBytesLimit limit(headroom);
            result = RunCommand();
        }
        EXPECT_EQ(result, NoError);
        completed = host.Alerts().size() == 1;
        if (!completed) {
            ASSERT_FALSE(host.ReportLines().empty());
            EXPECT_EQ(host.ReportLines().back().text, stopped);
        }
        // Back to the project as it was for the next round.
        host.Undo(host.StepNames().size());
        if (completed)
            break;
    }
    EXPECT_TRUE(completed) << "the command never got to its end";
}

}  // namespace
