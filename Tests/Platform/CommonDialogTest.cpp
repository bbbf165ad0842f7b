#include <string>

#include <gtest/gtest.h>

#include "DialogRequest.hpp"
#include "Support/Descriptors.hpp"
#include "Support/Folders.hpp"
#include "Win/DialogProviders.hpp"
#include "Win/Win.hpp"

namespace {

std::u16string Utf16Of(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

class CommonDialog : public ::testing::Test {
protected:
    void SetUp() override { previous = dialog.Install(); }
    void TearDown() override { QmSetOpenFileDialogProvider(previous, nullptr); }

    ScriptedFileDialog dialog;
    const Support::ScratchFolder folder;
    OpenFileDialogProvider previous = nullptr;
};

}  // namespace

TEST_F(CommonDialog, CancelsWithoutAProvider)
{
    const OpenFileDialogProvider previous = QmSetOpenFileDialogProvider(nullptr, nullptr);
    ConfigurationRequest request;
    EXPECT_EQ(GetOpenFileNameW(&request.record), 0);
    EXPECT_EQ(request.file[0], 0);
    EXPECT_EQ(GetOpenFileNameW(nullptr), 0);
    QmSetOpenFileDialogProvider(previous, nullptr);
}

TEST_F(CommonDialog, ReturnsTheChosenExistingFileAndRecordsTheRequest)
{
    const std::string chosen = folder.Write("IFC-SG_Config.xml", "<xml/>").string();
    dialog.QueueChoice(chosen);
    ConfigurationRequest request;
    ASSERT_EQ(GetOpenFileNameW(&request.record), 1);
    EXPECT_EQ(request.GetFile(), Utf16Of(chosen));
    EXPECT_EQ(request.record.nFileOffset, folder.Path().string().size() + 1);
    EXPECT_EQ(request.record.nFileExtension, chosen.size() - 3);

    ASSERT_EQ(dialog.GetRequests().size(), 1u);
    ExpectConfigurationRequest(dialog.GetRequests()[0]);
    EXPECT_EQ(dialog.GetPendingAnswerCount(), 0u);
}

TEST_F(CommonDialog, RequestCopyShowsDeviations)
{
    dialog.QueueCancel();
    ConfigurationRequest request;
    request.record.hwndOwner = &request;
    request.record.lpstrTitle = nullptr;
    request.record.lpstrFilter = nullptr;
    request.record.lpstrDefExt = u"xml";
    request.file[0] = u'a';
    request.file[1] = u'b';
    EXPECT_EQ(GetOpenFileNameW(&request.record), 0);
    ASSERT_EQ(dialog.GetRequests().size(), 1u);
    const OpenFileRequestCopy& seen = dialog.GetRequests()[0];
    EXPECT_FALSE(seen.ownerIsNull);
    EXPECT_FALSE(seen.hasTitle);
    EXPECT_TRUE(seen.filters.empty());
    EXPECT_EQ(seen.initialFile, "ab");
    EXPECT_FALSE(seen.otherMembersZero);
}

TEST_F(CommonDialog, RejectsMalformedRequestsWithoutAskingTheProvider)
{
    dialog.QueueChoice(folder.Write("a.xml", "<xml/>").string());
    for (DWORD size : {0u, 76u, 151u, 153u, 160u}) {
        ConfigurationRequest request;
        request.record.lStructSize = size;
        EXPECT_EQ(GetOpenFileNameW(&request.record), 0) << size;
        EXPECT_EQ(request.file[0], 0);
    }
    ConfigurationRequest noBuffer;
    noBuffer.record.lpstrFile = nullptr;
    EXPECT_EQ(GetOpenFileNameW(&noBuffer.record), 0);
    ConfigurationRequest noCapacity;
    noCapacity.record.nMaxFile = 0;
    EXPECT_EQ(GetOpenFileNameW(&noCapacity.record), 0);
    EXPECT_EQ(noCapacity.file[0], 0);

    EXPECT_TRUE(dialog.GetRequests().empty());
    EXPECT_EQ(dialog.GetPendingAnswerCount(), 1u);
}

TEST_F(CommonDialog, EnforcesTheMustExistFlags)
{
    const std::string missing = (folder.Path() / "missing.xml").string();
    const std::string inMissingFolder = (folder.Path() / "nowhere/config.xml").string();

    dialog.QueueChoice(missing);
    ConfigurationRequest mustExist;
    EXPECT_EQ(GetOpenFileNameW(&mustExist.record), 0);

    dialog.QueueChoice(folder.Path().string());  // a folder is not a file
    ConfigurationRequest folderChosen;
    EXPECT_EQ(GetOpenFileNameW(&folderChosen.record), 0);

    // A named pipe is looked at, not opened (no writer would ever come): it exists.
    const std::string pipe = (folder.Path() / "pipe.xml").string();
    Support::MakeNamedPipe(pipe);
    dialog.QueueChoice(pipe);
    ConfigurationRequest pipeChosen;
    EXPECT_EQ(GetOpenFileNameW(&pipeChosen.record), 1);
    EXPECT_EQ(pipeChosen.GetFile(), Utf16Of(pipe));

    dialog.QueueChoice(inMissingFolder);
    ConfigurationRequest pathMustExist;
    pathMustExist.record.Flags = OFN_PATHMUSTEXIST;
    EXPECT_EQ(GetOpenFileNameW(&pathMustExist.record), 0);

    dialog.QueueChoice(missing);
    ConfigurationRequest folderOnly;
    folderOnly.record.Flags = OFN_PATHMUSTEXIST;
    EXPECT_EQ(GetOpenFileNameW(&folderOnly.record), 1);
    EXPECT_EQ(folderOnly.GetFile(), Utf16Of(missing));

    dialog.QueueChoice(inMissingFolder);
    ConfigurationRequest noChecks;
    noChecks.record.Flags = 0;
    EXPECT_EQ(GetOpenFileNameW(&noChecks.record), 1);
    EXPECT_EQ(noChecks.GetFile(), Utf16Of(inMissingFolder));
}

TEST_F(CommonDialog, ChecksANonAsciiPathInUtf8)
{
    const std::string name = "\xE5\xBB\xBA\xE7\xAD\x91 Caf\xC3\xA9 \xF0\x9F\x98\x80.xml";  // 建筑 Café 😀.xml
    const std::string chosen = folder.Write(name, "<xml/>").string();
    dialog.QueueChoice(chosen);
    ConfigurationRequest request;
    ASSERT_EQ(GetOpenFileNameW(&request.record), 1);
    const std::u16string expected = Utf16Of(folder.Path().string() + "/") + u"\u5EFA\u7B51 Caf\u00E9 \xD83D\xDE00.xml";
    EXPECT_EQ(request.GetFile(), expected);
}

TEST_F(CommonDialog, CancelAndAnEmptyQueueGiveZero)
{
    dialog.QueueCancel();
    ConfigurationRequest cancelled;
    EXPECT_EQ(GetOpenFileNameW(&cancelled.record), 0);
    EXPECT_EQ(cancelled.file[0], 0);
    ConfigurationRequest unanswered;
    EXPECT_EQ(GetOpenFileNameW(&unanswered.record), 0);
    EXPECT_EQ(dialog.GetRequests().size(), 2u);
}

TEST_F(CommonDialog, NeverWritesPastTheBufferCapacity)
{
    // 16 units of which the request offers 8; the rest must stay as they are.
    WCHAR buffer[16];
    const auto prepare = [&](OPENFILENAMEW& record) {
        for (WCHAR& unit : buffer)
            unit = 0xAAAA;
        buffer[0] = 0;
        record.lpstrFile = buffer;
        record.nMaxFile = 8;
        record.Flags = 0;
    };
    const auto untouchedPastCapacity = [&] {
        for (int i = 8; i < 16; ++i) {
            if (buffer[i] != 0xAAAA)
                return false;
        }
        return true;
    };

    dialog.QueueChoice("/a/b/cd");  // 7 units and the terminator: fits exactly
    ConfigurationRequest fits;
    prepare(fits.record);
    EXPECT_EQ(GetOpenFileNameW(&fits.record), 1);
    EXPECT_EQ(std::u16string(buffer), u"/a/b/cd");
    EXPECT_TRUE(untouchedPastCapacity());

    dialog.QueueChoice("/a/b/cde");  // one unit too many
    ConfigurationRequest tooLong;
    prepare(tooLong.record);
    EXPECT_EQ(GetOpenFileNameW(&tooLong.record), 0);
    EXPECT_TRUE(untouchedPastCapacity());
}

namespace {

// Fills the whole buffer without a terminator and claims success.
BOOL FillWithoutTerminator(OPENFILENAMEW* request, void*)
{
    for (DWORD i = 0; i < request->nMaxFile; ++i)
        request->lpstrFile[i] = u'x';
    return 1;
}

BOOL ChooseNothing(OPENFILENAMEW*, void*)
{
    return 1;
}

BOOL AnswerTwo(OPENFILENAMEW* request, void*)
{
    request->lpstrFile[0] = u'/';
    request->lpstrFile[1] = 0;
    return 2;
}

}  // namespace

TEST_F(CommonDialog, DistrustsWhatAProviderClaims)
{
    for (OpenFileDialogProvider provider : {&FillWithoutTerminator, &ChooseNothing, &AnswerTwo}) {
        QmSetOpenFileDialogProvider(provider, nullptr);
        ConfigurationRequest request;
        request.record.Flags = 0;
        EXPECT_EQ(GetOpenFileNameW(&request.record), 0);
    }
}
