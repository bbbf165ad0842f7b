// A program run as a child: its streams land in the files, its exit code or signal comes back, the
// preparation runs in the child alone, nothing of the test's stays open in it, and a program that
// waits for ever is ended.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "Support/Programs.hpp"

namespace {

struct Ran {
    int exitCode;
    std::string out;
    std::string err;
};

Ran RunShell(const Support::ScratchFolder& folder, const std::string& script, const std::string& input,
             unsigned hangLimit)
{
    const std::filesystem::path out = folder.Path() / "out", err = folder.Path() / "err";
    const std::string variable = "QUILLMERE_PROGRAMS_TEST";
    const pid_t child = Support::StartProgram("/bin/sh", {"-c", script}, input, O_RDONLY, out, err, hangLimit,
                                              [&] { ::setenv(variable.c_str(), "prepared", 1); });
    const int exitCode = Support::WaitForExit(child);
    return Ran{exitCode, Support::ReadBytes(out), Support::ReadBytes(err)};
}

}  // namespace

TEST(Programs, AnswersWhatTheChildPrintedAndHowItEnded)
{
    const Support::ScratchFolder folder;
    const std::string typed = (folder.Path() / "typed").string();
    Support::WriteBytes(typed, "typed\n");
    // A descriptor the test holds without close-on-exec: the child must not inherit it.
    const int held = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(held, 3);
    const std::string heldInChild = "/proc/$$/fd/" + std::to_string(held);
    struct Case {
        std::string script;
        std::string input;
        unsigned hangLimit;
        Ran expected;
    };
    const Case cases[] = {
        {"echo out; echo err >&2; exit 3", "/dev/null", 60, {3, "out\n", "err\n"}},
        {"printf %s \"$QUILLMERE_PROGRAMS_TEST\"", "/dev/null", 60, {0, "prepared", ""}},
        {"cat", typed, 60, {0, "typed\n", ""}},
        {"test ! -e " + heldInChild + " && echo closed", "/dev/null", 60, {0, "closed\n", ""}},
        {"kill -TERM $$", "/dev/null", 60, {128 + 15, "", ""}},
        {"sleep 5", "/dev/null", 1, {142, "", ""}},
    };
    for (const Case& c : cases) {
        const Ran ran = RunShell(folder, c.script, c.input, c.hangLimit);
        EXPECT_EQ(ran.exitCode, c.expected.exitCode) << c.script;
        EXPECT_EQ(ran.out, c.expected.out) << c.script;
        EXPECT_EQ(ran.err, c.expected.err) << c.script;
    }
    ::close(held);
    EXPECT_EQ(std::getenv("QUILLMERE_PROGRAMS_TEST"), nullptr) << "the preparation ran in the test";
}

TEST(Programs, AMissingProgramEndsWith127)
{
    const Support::ScratchFolder folder;
    const pid_t child = Support::StartProgram(folder.Path() / "missing", {}, "/dev/null", O_RDONLY,
                                              folder.Path() / "out", folder.Path() / "err", 60, [] {});
    EXPECT_EQ(Support::WaitForExit(child), 127);
}
