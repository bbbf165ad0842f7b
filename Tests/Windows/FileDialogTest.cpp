// The module's menu command with the real common dialog of Windows: what the module asks the
// dialog for (its request record, seen on the way to comdlg32, and what the dialog then shows),
// and what becomes of a chosen, a cancelled, a non-existent, a CR LF and a non-Latin file.
#include <cstring>

#include <algorithm>
#include <array>

#include "ImportPatch.hpp"
#include "RecordConversion.hpp"
#include "WindowsTestSupport.hpp"

namespace {

using WinTests::FindValue;

// The last request the module made to GetOpenFileNameW, copied on its way, and the answer.
struct SeenRequest {
    int calls = 0;
    OPENFILENAMEW record{};                 // as the module filled it
    std::vector<std::wstring> filterTexts;  // lpstrFilter's strings up to the empty one
    std::wstring title;
    bool bufferZeroFilled = false;          // all nMaxFile units of lpstrFile were zero
    BOOL result = 0;
    std::wstring chosen;                    // lpstrFile after the dialog
};

SeenRequest seen;
using GetOpenFileNameProc = BOOL(WINAPI*)(OPENFILENAMEW*);
GetOpenFileNameProc realGetOpenFileName = nullptr;

BOOL WINAPI WatchGetOpenFileName(OPENFILENAMEW* request)
{
    ++seen.calls;
    std::memcpy(&seen.record, request, sizeof(OPENFILENAMEW));
    seen.filterTexts.clear();
    for (const wchar_t* text = request->lpstrFilter; text != nullptr && *text != L'\0'; text += wcslen(text) + 1)
        seen.filterTexts.emplace_back(text);
    seen.title = request->lpstrTitle != nullptr ? request->lpstrTitle : L"";
    seen.bufferZeroFilled = request->lpstrFile != nullptr;
    for (DWORD i = 0; seen.bufferZeroFilled && i < request->nMaxFile; ++i)
        seen.bufferZeroFilled = request->lpstrFile[i] == L'\0';
    seen.result = realGetOpenFileName(request);
    seen.chosen = request->lpstrFile != nullptr ? request->lpstrFile : L"";
    return seen.result;
}

// The texts the host's classification import received, passed on to the test host's service.
std::vector<std::string> classificationTexts;
ServiceEntry::HostImportClassificationXml hostClassificationImport = nullptr;

GSErrCode WatchClassificationImport(API_HostContext* context, const GS::UniString* text, Int32 option1, Int32 option2)
{
    classificationTexts.push_back(TestHost::ToUtf8(*text));
    return hostClassificationImport(context, text, option1, option2);
}

class FileDialog : public WinTests::RunningModuleTest {
protected:
    void SetUp() override
    {
        WinTests::RunningModuleTest::SetUp();
        if (HasFatalFailure())
            return;
        seen = SeenRequest{};
        watch.emplace(static_cast<HMODULE>(GetModuleHandleW(WinTests::ModuleFile().c_str())), "comdlg32.dll",
                      "GetOpenFileNameW", reinterpret_cast<void*>(&WatchGetOpenFileName));
        ASSERT_TRUE(watch->Applied()) << "the module does not import GetOpenFileNameW from comdlg32.dll";
        realGetOpenFileName = reinterpret_cast<GetOpenFileNameProc>(watch->Original());
    }
    void TearDown() override
    {
        watch.reset();
        WinTests::RunningModuleTest::TearDown();
    }

    // Writes the sample configuration as `name` in `folder`.
    static std::filesystem::path WriteConfiguration(const std::filesystem::path& folder, const std::wstring& name)
    {
        const std::filesystem::path file = folder / name;
        EXPECT_TRUE(Support::TryWriteBytes(file, WinTests::SampleConfiguration));
        return file;
    }

    // The one dialog the command showed.
    const TestHost::ObservedFileDialog& OnlyDialog()
    {
        EXPECT_EQ(dialogs->Dialogs().size(), 1u) << "no dialog appeared: is there a display?";
        static const TestHost::ObservedFileDialog none;
        return dialogs->Dialogs().empty() ? none : dialogs->Dialogs().front();
    }

    void ExpectNothingImported()
    {
        EXPECT_FALSE(RanCommand("Import Classifications"));
        EXPECT_FALSE(RanCommand("Import Properties"));
        EXPECT_TRUE(host.Alerts().empty());
    }

    std::optional<WinTests::ImportPatch> watch;
    Support::ScratchFolder files{L"-configurations"};
};

TEST_F(FileDialog, TheModuleAsksForAConfigurationFileAndImportsTheChosenOne)
{
    const WinTests::SampleProject sample(host.GetProject());
    const std::filesystem::path configuration = WriteConfiguration(files.Path(), L"IFC-SG 2024.2.xml");
    dialogs->QueueChoice(configuration.wstring());

    EXPECT_EQ(RunCommand(), NoError);

    // The request record: its size and exactly the members that are set.
    ASSERT_EQ(seen.calls, 1);
    const OPENFILENAMEW& request = seen.record;
    EXPECT_EQ(request.lStructSize, 152u);
    EXPECT_EQ(sizeof(OPENFILENAMEW), 152u);
    EXPECT_EQ(seen.filterTexts, (std::vector<std::wstring>{L"IFC-SG Config File", L"*.xml", L"Any File", L"*.*"}));
    EXPECT_EQ(request.nFilterIndex, 1u);
    EXPECT_NE(request.lpstrFile, nullptr);
    EXPECT_TRUE(seen.bufferZeroFilled);
    EXPECT_EQ(request.nMaxFile, 260u);
    EXPECT_EQ(seen.title, L"Select an IFC-SG Config File");
    EXPECT_EQ(request.Flags, static_cast<DWORD>(OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST));
    EXPECT_EQ(request.Flags, 0x1800u);
    EXPECT_EQ(request.hwndOwner, nullptr);
    EXPECT_EQ(request.hInstance, nullptr);
    EXPECT_EQ(request.lpstrCustomFilter, nullptr);
    EXPECT_EQ(request.nMaxCustFilter, 0u);
    EXPECT_EQ(request.lpstrFileTitle, nullptr);
    EXPECT_EQ(request.nMaxFileTitle, 0u);
    EXPECT_EQ(request.lpstrInitialDir, nullptr);
    EXPECT_EQ(request.nFileOffset, 0u);
    EXPECT_EQ(request.nFileExtension, 0u);
    EXPECT_EQ(request.lpstrDefExt, nullptr);
    EXPECT_EQ(request.lCustData, 0);
    EXPECT_EQ(request.lpfnHook, nullptr);
    EXPECT_EQ(request.lpTemplateName, nullptr);
    EXPECT_EQ(request.pvReserved, nullptr);
    EXPECT_EQ(request.dwReserved, 0u);
    EXPECT_EQ(request.FlagsEx, 0u);

    // What the real dialog showed: the title, both filter pairs with the first one selected, an
    // empty name, no owner, and the read-only box that only OFN_HIDEREADONLY would hide.
    const TestHost::ObservedFileDialog& dialog = OnlyDialog();
    EXPECT_EQ(dialog.title, L"Select an IFC-SG Config File");
    EXPECT_EQ(dialog.fileTypes, (std::vector<std::wstring>{L"IFC-SG Config File", L"Any File"}));
    EXPECT_EQ(dialog.selectedFileType, 0);
    EXPECT_EQ(dialog.fileNameShown, L"");
    EXPECT_FALSE(dialog.owned);
    EXPECT_TRUE(dialog.readOnlyBoxShown);
    EXPECT_TRUE(dialog.refusals.empty());
    EXPECT_FALSE(dialog.cancelled);

    // The dialog answered with the path, and the whole chain ran on it.
    EXPECT_EQ(seen.result, 1);
    EXPECT_EQ(seen.chosen, configuration.wstring());
    EXPECT_TRUE(RanCommand("Import Classifications"));
    EXPECT_TRUE(RanCommand("Import Properties"));
    ASSERT_EQ(host.Alerts().size(), 1u);
    EXPECT_EQ(host.Alerts()[0].title, "Import Successful");
    const TestHost::Value* thickness = FindValue(host.GetProject(), sample.wall, "SGPset_Wall", "Thickness");
    ASSERT_NE(thickness, nullptr);
    EXPECT_EQ(thickness->real, 0.25);
    EXPECT_TRUE(host.ReportLines().empty());
}

TEST_F(FileDialog, CancellingTheDialogImportsNothing)
{
    const WinTests::SampleProject sample(host.GetProject());
    dialogs->QueueCancel();

    EXPECT_EQ(RunCommand(), NoError);

    const TestHost::ObservedFileDialog& dialog = OnlyDialog();
    EXPECT_TRUE(dialog.cancelled);
    EXPECT_FALSE(dialog.abandoned);
    EXPECT_EQ(seen.result, 0);
    ExpectNothingImported();
    // Nothing was removed either, and no backup written: the project is as it was.
    EXPECT_NE(host.GetProject().FindGroupByName("SGPset_Wall"), nullptr);
    EXPECT_NE(host.GetProject().FindGroupByName("Pset_WallCommon"), nullptr);
    EXPECT_TRUE(host.StepNames().empty());
    EXPECT_FALSE(std::filesystem::exists(profileFolder.BackupFile()));
    EXPECT_TRUE(host.ReportLines().empty());
}

TEST_F(FileDialog, AFileThatDoesNotExistIsRefusedAndTheDialogStaysOpen)
{
    const WinTests::SampleProject sample(host.GetProject());
    const std::filesystem::path missing = files.Path() / L"IFC-SG 2030.xml";
    dialogs->QueueChoice(missing.wstring());

    EXPECT_EQ(RunCommand(), NoError);

    const TestHost::ObservedFileDialog& dialog = OnlyDialog();
    // The box's wording is the system's ("File does not exist" under wine).
    ASSERT_EQ(dialog.refusals.size(), 1u);
    EXPECT_FALSE(dialog.refusals[0].empty());
    EXPECT_TRUE(dialog.stayedOpenAfterRefusal);
    EXPECT_TRUE(dialog.cancelled);
    EXPECT_FALSE(dialog.abandoned);
    EXPECT_EQ(seen.result, 0);
    ExpectNothingImported();
}

TEST_F(FileDialog, AConfigurationWithCrLfLineEndsReachesTheHostWithLf)
{
    // The service table handed over again, with the classification import watched.
    std::array<API_ServiceEntry, HostServiceTableSize> table;
    std::copy_n(host.ServiceTable(), HostServiceTableSize, table.begin());
    hostClassificationImport =
        reinterpret_cast<ServiceEntry::HostImportClassificationXml>(table[ServiceIndex::HostImportClassificationXml]);
    table[ServiceIndex::HostImportClassificationXml] = reinterpret_cast<API_ServiceEntry>(&WatchClassificationImport);
    classificationTexts.clear();
    ASSERT_EQ(loader.Bind(table.data()), TestHost::ModuleError::None);
    const std::filesystem::path configuration =
        files.Write(L"IFC-SG saved on Windows.xml", WinTests::WithCrLf(WinTests::SampleConfiguration));
    dialogs->QueueChoice(configuration.wstring());

    EXPECT_EQ(RunCommand(), NoError);

    ASSERT_EQ(classificationTexts.size(), 1u);
    EXPECT_EQ(classificationTexts[0], WinTests::SampleConfiguration);
    EXPECT_TRUE(RanCommand("Import Properties"));
    EXPECT_EQ(host.Alerts().size(), 1u);
}

TEST_F(FileDialog, AConfigurationUnderANonLatinPathOpens)
{
    const WinTests::SampleProject sample(host.GetProject());
    const std::filesystem::path folder = files.Path() / L"\u914D\u7F6E \u03A0\u03B1\u03C1\u03AC\u03BC\u03B5\u03C4\u03C1\u03BF\u03B9";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::filesystem::path configuration = WriteConfiguration(folder, L"IFC-SG \u8A2D\u5B9A.xml");
    dialogs->QueueChoice(configuration.wstring());

    EXPECT_EQ(RunCommand(), NoError);

    EXPECT_TRUE(OnlyDialog().refusals.empty());
    EXPECT_EQ(seen.result, 1);
    EXPECT_EQ(seen.chosen, configuration.wstring());
    EXPECT_TRUE(RanCommand("Import Classifications"));
    EXPECT_TRUE(RanCommand("Import Properties"));
    EXPECT_EQ(host.Alerts().size(), 1u);
    EXPECT_NE(host.GetProject().FindGroupByName("SGPset_Door"), nullptr);
}

TEST_F(FileDialog, TheRenameTableBesideAConfigurationUnderANonLatinPathIsRead)
{
    const WinTests::SampleProject sample(host.GetProject());
    // A newer edition that renames the door group; its table lies beside it.
    std::string renamed = WinTests::SampleConfiguration;
    renamed.replace(renamed.find("\"SGPset_Door\""), 13, "\"SGPset_DoorLeaf\"");
    const std::filesystem::path folder = files.Path() / L"\u914D\u7F6E \u03A0\u03B1\u03C1\u03AC\u03BC\u03B5\u03C4\u03C1\u03BF\u03B9";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::filesystem::path configuration = folder / L"IFC-SG \u8A2D\u5B9A.xml";
    ASSERT_TRUE(Support::TryWriteBytes(configuration, renamed));
    ASSERT_TRUE(Support::TryWriteBytes(folder / L"IFC-SG \u8A2D\u5B9A.renames.xml",
                                     "<renames><group from=\"SGPset_Door\" to=\"SGPset_DoorLeaf\"/></renames>"));
    dialogs->QueueChoice(configuration.wstring());

    EXPECT_EQ(RunCommand(), NoError);

    EXPECT_EQ(seen.chosen, configuration.wstring());
    EXPECT_TRUE(host.ReportLines().empty());
    ASSERT_EQ(host.Alerts().size(), 1u);
    const TestHost::Value* width = WinTests::FindValue(host.GetProject(), sample.door, "SGPset_DoorLeaf", "ClearWidth");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(*width, TestHost::MakeRealValue(1.05));
}

}  // namespace
