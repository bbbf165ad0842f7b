// The value backup file on Windows: written through a text-mode stream (CR LF on disk), read back
// by the restore in the same command, and placed in the Documents folder of the "USERPROFILE"
// that the host set.
#include "Project.hpp"
#include "WindowsTestSupport.hpp"

namespace {

using WinTests::FindValue;

class BackupFileTest : public WinTests::RunningModuleTest {
protected:
    // Answers the dialog with the sample configuration, written to the profile folder.
    void ChooseSampleConfiguration()
    {
        const std::filesystem::path configuration = profileFolder.Path() / L"IFC-SG.xml";
        ASSERT_TRUE(WinTests::WriteBytes(configuration, WinTests::SampleConfiguration));
        dialogs->QueueChoice(configuration.wstring());
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

TEST_F(BackupFileTest, TheFileHasCrLfLineEndsAndTheRestoreReadsItBack)
{
    const WinTests::SampleProject sample(host.GetProject());
    ChooseSampleConfiguration();
    // While the dialog is up the backup is on disk and the restore is still to come: look at the
    // file, and change one value in it, so that what comes back can only have come from the file.
    std::optional<std::string> written;
    dialogs->HoldWhile([&](HWND) {
        if (!written) {
            written = WinTests::ReadBytes(BackupFile());
            if (written) {
                std::string changed = *written;
                if (const std::size_t at = changed.find(">0.250000<"); at != std::string::npos)
                    changed.replace(at, 10, ">0.375000<");
                EXPECT_TRUE(WinTests::WriteBytes(BackupFile(), changed));
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

    // The restore read the CR LF file, the changed value included, into the new definitions.
    ASSERT_EQ(host.Alerts().size(), 1u);
    const TestHost::Project& project = host.GetProject();
    const TestHost::Value* thickness = FindValue(project, sample.wall, "SGPset_Wall", "Thickness");
    const TestHost::Value* period = FindValue(project, sample.wall, "SGPset_Wall", "FireResistancePeriod");
    const TestHost::Value* width = FindValue(project, sample.door, "SGPset_Door", "ClearWidth");
    const TestHost::Value* exit = FindValue(project, sample.door, "SGPset_Door", "FireExit");
    const TestHost::Value* place = FindValue(project, sample.door, "SGPset_Door", "Location");
    ASSERT_TRUE(thickness && period && width && exit && place);
    EXPECT_EQ(*thickness, TestHost::MakeRealValue(0.375));
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
    const std::optional<std::string> first = WinTests::ReadBytes(BackupFile());
    ASSERT_TRUE(first.has_value()) << "nothing written under the first profile";
    EXPECT_NE(first->find("<SGPset_Wall-Thickness"), std::string::npos);

    // A second profile, set while the module is loaded: the next run writes there, and leaves the
    // first profile's file alone. The owned groups are gone by now, so it saves no value.
    WinTests::ScratchFolder otherFolder(L"-other-profile");
    ASSERT_TRUE(std::filesystem::create_directory(otherFolder.Path() / L"Documents"));
    {
        const WinTests::UserProfile other(otherFolder.Path());
        dialogs->QueueCancel();
        ASSERT_EQ(RunCommand(), NoError);
    }
    EXPECT_EQ(WinTests::ReadBytes(otherFolder.Path() / L"Documents" / L"IFC_SG_Properties.xml"),
              std::optional<std::string>("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<project/>\r\n\r\n"));
    EXPECT_EQ(WinTests::ReadBytes(BackupFile()), first);
    EXPECT_EQ(dialogs->Dialogs().size(), 2u);
}

}  // namespace
