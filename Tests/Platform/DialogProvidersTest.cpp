#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "DialogRequest.hpp"
#include "Support/Descriptors.hpp"
#include "Support/Folders.hpp"
#include "Win/DialogProviders.hpp"

namespace {

std::u16string Utf16Of(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// A terminal whose input is `typed` and whose output is collected in memory.
class Terminal {
public:
    explicit Terminal(const std::string& typed) : typed(typed)
    {
        input = typed.empty() ? std::fopen("/dev/null", "r") : fmemopen(this->typed.data(), this->typed.size(), "r");
        output = open_memstream(&printed, &printedSize);
    }
    ~Terminal()
    {
        std::fclose(input);
        std::fclose(output);
        std::free(printed);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    TerminalFileDialog Dialog() { return TerminalFileDialog(input, output); }
    std::string Printed()
    {
        std::fflush(output);
        return std::string(printed, printedSize);
    }

private:
    std::string typed;
    std::FILE* input = nullptr;
    std::FILE* output = nullptr;
    char* printed = nullptr;
    std::size_t printedSize = 0;
};

std::size_t CountOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace

TEST(DialogProviders, TerminalShowsTitleAndFiltersAndTakesAnExistingFile)
{
    const Support::ScratchFolder folder;
    const std::string chosen = folder.Write("config.xml", "<xml/>").string();
    Terminal terminal(chosen + "\n");
    ConfigurationRequest request;
    EXPECT_EQ(terminal.Dialog().Answer(request.record), 1);
    EXPECT_EQ(request.GetFile(), Utf16Of(chosen));

    const std::string printed = terminal.Printed();
    EXPECT_EQ(printed.find("Select an IFC-SG Config File\n"), 0u);
    EXPECT_NE(printed.find("  1. IFC-SG Config File (*.xml) [selected]\n"), std::string::npos);
    EXPECT_NE(printed.find("  2. Any File (*.*)\n"), std::string::npos);
    EXPECT_EQ(CountOf(printed, "[selected]"), 1u);
    EXPECT_EQ(CountOf(printed, "File path (empty to cancel): "), 1u);
}

TEST(DialogProviders, TerminalAsksAgainUntilTheFileExists)
{
    const Support::ScratchFolder folder;
    const std::string chosen = folder.Write("config.xml", "<xml/>").string();
    const std::string missing = (folder.Path() / "missing.xml").string();
    Terminal terminal(missing + "\n" + folder.Path().string() + "\n  " + chosen + " \r\n");
    ConfigurationRequest request;
    EXPECT_EQ(terminal.Dialog().Answer(request.record), 1);
    EXPECT_EQ(request.GetFile(), Utf16Of(chosen));

    const std::string printed = terminal.Printed();
    EXPECT_EQ(CountOf(printed, "File does not exist: "), 2u);  // the missing file, then the folder
    EXPECT_NE(printed.find("File does not exist: " + missing + "\n"), std::string::npos);
    EXPECT_EQ(CountOf(printed, "File path (empty to cancel): "), 3u);
}

TEST(DialogProviders, TerminalTakesANamedPipeWithoutWaitingOnIt)
{
    // Its check looks at the pipe without opening it, which would wait for a writer.
    const Support::ScratchFolder folder;
    const std::string pipe = (folder.Path() / "pipe.xml").string();
    Support::MakeNamedPipe(pipe);
    const Support::PipeWatchdog watchdog({pipe});
    Terminal terminal(pipe + "\n");
    ConfigurationRequest request;
    EXPECT_EQ(terminal.Dialog().Answer(request.record), 1);
    EXPECT_EQ(request.GetFile(), Utf16Of(pipe));
    EXPECT_FALSE(watchdog.Fired());
}

TEST(DialogProviders, TerminalEmptyAnswerOrEndOfInputCancels)
{
    const Support::ScratchFolder folder;
    const std::string missing = (folder.Path() / "missing.xml").string();
    for (const std::string& typed : {std::string("\n"), std::string("   \n"), std::string(""),
                                    missing + "\n", missing + "\n\n/never/read\n"}) {
        Terminal terminal(typed);
        ConfigurationRequest request;
        EXPECT_EQ(terminal.Dialog().Answer(request.record), 0) << typed;
        EXPECT_EQ(request.file[0], 0) << typed;
        EXPECT_NE(terminal.Printed().find("Cancelled."), std::string::npos);
    }
}

TEST(DialogProviders, TerminalRefusesAPathLongerThanTheBuffer)
{
    Terminal terminal("/tmp/a-name-too-long-for-it.xml\n/tmp/short.xml\n");
    WCHAR buffer[24];
    for (WCHAR& unit : buffer)
        unit = 0xAAAA;
    ConfigurationRequest request;
    request.record.lpstrFile = buffer;
    request.record.nMaxFile = 16;
    request.record.Flags = 0;  // the files need not exist
    EXPECT_EQ(terminal.Dialog().Answer(request.record), 1);
    EXPECT_EQ(std::u16string(buffer), u"/tmp/short.xml");
    for (int i = 16; i < 24; ++i)
        EXPECT_EQ(buffer[i], 0xAAAA) << i;
    EXPECT_NE(terminal.Printed().find("The path is too long: at most 15 characters fit.\n"), std::string::npos);
}

TEST(DialogProviders, TerminalTakesARelativePathFromTheCurrentFolder)
{
    char folder[4096];
    ASSERT_NE(::getcwd(folder, sizeof(folder)), nullptr);
    Terminal terminal("relative/config.xml\n");
    ConfigurationRequest request;
    request.record.Flags = 0;
    EXPECT_EQ(terminal.Dialog().Answer(request.record), 1);
    const std::string expected = std::string(folder) + "/relative/config.xml";
    EXPECT_EQ(request.GetFile(), Utf16Of(expected));
}

TEST(DialogProviders, TerminalAnswersGetOpenFileNameOnceInstalled)
{
    const Support::ScratchFolder folder;
    const std::string chosen = folder.Write("Caf\xC3\xA9.xml", "<xml/>").string();
    Terminal terminal(chosen + "\n");
    TerminalFileDialog dialog = terminal.Dialog();
    const OpenFileDialogProvider previous = dialog.Install();
    ConfigurationRequest request;
    EXPECT_EQ(GetOpenFileNameW(&request.record), 1);
    EXPECT_EQ(request.GetFile(), Utf16Of(folder.Path().string() + "/Caf") + u"\u00E9.xml");
    EXPECT_EQ(QmSetOpenFileDialogProvider(previous, nullptr), &TerminalFileDialog::Provide);
}
