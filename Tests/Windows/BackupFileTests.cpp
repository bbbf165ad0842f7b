// The value backup file on Windows: written through a text-mode stream (CR LF on disk), read back
// by the restore in the same command, and placed in the Documents folder of the "USERPROFILE"
// that the host set.
#include "Project.hpp"
#include "Support/Memory.hpp"
#include "WindowsTestSupport.hpp"

namespace {

using WinTests::FindValue;

class BackupFileTest : public WinTests::RunningModuleTest {
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

TEST_F(BackupFileTest, TheFileHasCrLfLineEndsAndTheRestoreTakesThisRunsValues)
{
    const WinTests::SampleProject sample(host.GetProject());
    ChooseSampleConfiguration();
    // While the dialog is up the backup is on disk and the restore is still to come: look at the
    // file, and change one value in it, as another program might: the restore takes this run's
    // values from memory all the same.
    std::optional<std::string> written;
    dialogs->HoldWhile([&](HWND) {
        if (!written) {
            written = Support::TryReadBytes(profileFolder.BackupFile());
            if (written) {
                std::string changed = *written;
                if (const std::size_t at = changed.find(">0.250000<"); at != std::string::npos)
                    changed.replace(at, 10, ">0.375000<");
                EXPECT_TRUE(Support::TryWriteBytes(profileFolder.BackupFile(), changed));
            }
        }
        return false;
    });

    EXPECT_EQ(RunCommand(), NoError);

    ASSERT_TRUE(written.has_value()) << "no backup file when the dialog was up";
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

TEST_F(BackupFileTest, TheModuleWritesWhereTheHostPointsUserProfile)
{
    const WinTests::SampleProject sample(host.GetProject());
    dialogs->QueueCancel();
    ASSERT_EQ(RunCommand(), NoError);
    const std::optional<std::string> first = Support::TryReadBytes(profileFolder.BackupFile());
    ASSERT_TRUE(first.has_value()) << "nothing written under the first profile";
    EXPECT_NE(first->find("<SGPset_Wall-Thickness"), std::string::npos);

    // A second profile, set while the module is loaded: the next run would write there, and leaves
    // the first profile's file alone. The owned groups are gone by now, so it builds no backup and,
    // with no earlier file to keep, writes none and says nothing.
    Support::ScratchFolder otherFolder(L"-other-profile");
    ASSERT_TRUE(std::filesystem::create_directory(otherFolder.Path() / L"Documents"));
    {
        const Support::UserProfile other(otherFolder.Path());
        dialogs->QueueCancel();
        ASSERT_EQ(RunCommand(), NoError);
    }
    EXPECT_FALSE(std::filesystem::exists(otherFolder.Path() / L"Documents" / L"IFC_SG_Properties.xml"));
    EXPECT_TRUE(host.ReportLines().empty());
    EXPECT_EQ(Support::TryReadBytes(profileFolder.BackupFile()), first);
    EXPECT_EQ(dialogs->Dialogs().size(), 2u);
}

TEST_F(BackupFileTest, AProfileFolderOfAnyNameHoldsTheBackup)
{
    // A user folder named in Chinese and Greek, which no 8-bit code page holds whole.
    const Support::ProfileFolder user(L"-\u7528\u6237-\u03c7\u03c1\u03ae\u03c3\u03c4\u03b7\u03c2");
    const std::filesystem::path backup = user.BackupFile();
    const WinTests::SampleProject sample(host.GetProject());

    // A cancelled run writes the backup there; the next run, which finds no owned group, restores
    // the values from that file.
    dialogs->QueueCancel();
    ASSERT_EQ(RunCommand(), NoError);
    const std::optional<std::string> written = Support::TryReadBytes(backup);
    ASSERT_TRUE(written.has_value()) << "no backup file in the profile folder";
    EXPECT_NE(written->find("<SGPset_Door-ClearWidth valType=\"Real\" MType=\"Length\">1.050000<"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(profileFolder.BackupFile()));

    host.ClearOutput();
    ChooseSampleConfiguration();
    ASSERT_EQ(RunCommand(), NoError);
    ASSERT_EQ(host.ReportLines().size(), 1u);  // the earlier backup is kept, and says so
    EXPECT_NE(host.ReportLines()[0].text.find(WinTests::Utf8(backup.wstring())), std::string::npos);
    ASSERT_EQ(host.Alerts().size(), 1u);
    const TestHost::Project& project = host.GetProject();
    const TestHost::Value* thickness = FindValue(project, sample.wall, "SGPset_Wall", "Thickness");
    const TestHost::Value* place = FindValue(project, sample.door, "SGPset_Door", "Location");
    ASSERT_TRUE(thickness && place);
    EXPECT_EQ(*thickness, TestHost::MakeRealValue(0.25));
    EXPECT_EQ(*place, TestHost::MakeStringValue("Lobby & <stair> \xCE\x94\xCE\xB9\xCE\xAC\xCE\xB4\xCF\x81\xCE\xBF\xCE\xBC\xCE\xBF\xCF\x82 \xE8\xB5\xB0\xE5\xBB\x8A"));
    EXPECT_EQ(Support::TryReadBytes(backup), written);
}

TEST_F(BackupFileTest, RunningOutOfMemoryAnywhereEndsTheCommandWithoutAborting)
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
