// quillmere-renames as a program: where it writes, what it never writes over, what it prints, its
// exit status, and the same bytes for the same inputs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ModuleTableReading.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "Support/Programs.hpp"

namespace fs = std::filesystem;

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// A folder with copies of the example editions 2027.1 and 2028.1, to run the program in.
class RenamesProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        const fs::path examples = Support::SourceFolder() / "Examples" / "Configurations";
        fs::copy_file(examples / "IFC-SG-2027.xml", older);
        fs::copy_file(examples / "IFC-SG-2028.xml", newer);
    }

    // Runs the program with `arguments` in the scratch folder, with no input and nothing open but
    // the standard descriptors.
    ProgramRun Start(const std::vector<std::string>& arguments) const
    {
        const fs::path out = streams.Path() / "out", err = streams.Path() / "err";
        const pid_t child = Support::StartProgram(Support::BinaryFolder() / "quillmere-renames", arguments,
                                                  "/dev/null", O_RDONLY, out, err, 60, [this] {
                                                      if (::chdir(folder.Path().c_str()) != 0)
                                                          ::_exit(126);
                                                  });
        const int status = Support::WaitForExit(child);
        return ProgramRun{status, Support::ReadBytes(out), Support::ReadBytes(err)};
    }

    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    Support::ScratchFolder folder;
    Support::ScratchFolder streams;
    const fs::path older = folder.Path() / "IFC-SG-2027.xml";
    const fs::path newer = folder.Path() / "IFC-SG-2028.xml";
    const fs::path beside = folder.Path() / "IFC-SG-2028.renames.xml";
};

}  // namespace

TEST_F(RenamesProgram, WritesTheTableBesideTheNewerEditionAndPrintsTheReport)
{
    const ProgramRun run = Start({"IFC-SG-2027.xml", "IFC-SG-2028.xml"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"IFC-SG-2027.xml", "IFC-SG-2028.renames.xml", "IFC-SG-2028.xml"}));
    EXPECT_TRUE(run.out.starts_with("Changes from \"IFC-SG-2027.xml\" (IFC-SG 2027.1) to \"IFC-SG-2028.xml\" (IFC-SG 2028.1)\n"));
    EXPECT_NE(run.out.find("\nProperties: 47 before, 65 after; 20 added, 1 removed, 3 retyped, 3 moved, 2 renamed, 1 to choose\n"),
              std::string::npos);
    EXPECT_TRUE(run.out.ends_with("\nRename table written: IFC-SG-2028.renames.xml\n"));
    const RenameProposalTests::ModuleReading reading = RenameProposalTests::ReadThroughModule(Support::ReadBytes(beside));
    EXPECT_TRUE(reading.problems.empty());
    EXPECT_EQ(reading.entries.size(), 6u);
}

TEST_F(RenamesProgram, NeverOverAFileWithoutForce)
{
    Support::WriteBytes(beside, "the user's reviewed table");
    const ProgramRun refused = Start({older.string(), newer.string()});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "quillmere-renames: \"" + beside.string() + "\" exists; --force replaces it\n");
    EXPECT_EQ(Support::ReadBytes(beside), "the user's reviewed table");
    // Nothing else was written either: not the report, no temporary file.
    const fs::path report = folder.Path() / "report.txt";
    EXPECT_EQ(Start({older.string(), newer.string(), "--report", report.string()}).status, 2);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"IFC-SG-2027.xml", "IFC-SG-2028.renames.xml", "IFC-SG-2028.xml"}));
    Support::WriteBytes(report, "an earlier report");
    fs::remove(beside);
    EXPECT_EQ(Start({older.string(), newer.string(), "--report", report.string()}).status, 2);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"IFC-SG-2027.xml", "IFC-SG-2028.xml", "report.txt"}));

    const ProgramRun forced = Start({older.string(), newer.string(), "--force", "--report", report.string()});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_TRUE(Support::ReadBytes(report).starts_with("Changes from "));
    EXPECT_TRUE(Support::ReadBytes(beside).starts_with("<?xml"));
}

TEST_F(RenamesProgram, OutputAndReportWhereTheOptionsSayAndTheSameBytesTwice)
{
    const ProgramRun first = Start({older.string(), newer.string(), "--output", "a.xml", "--report", "a.txt"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "Rename table written: a.xml\nChange report written: a.txt\n");
    const ProgramRun second = Start({"--report", "b.txt", "--output", "b.xml", older.string(), newer.string()});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Support::ReadBytes(folder.Path() / "a.xml"), Support::ReadBytes(folder.Path() / "b.xml"));
    EXPECT_EQ(Support::ReadBytes(folder.Path() / "a.txt"), Support::ReadBytes(folder.Path() / "b.txt"));
    // The printed report is the report file's text.
    const ProgramRun printed = Start({older.string(), newer.string(), "--output", "c.xml"});
    EXPECT_EQ(printed.out, Support::ReadBytes(folder.Path() / "a.txt") + "\nRename table written: c.xml\n");
    EXPECT_FALSE(fs::exists(beside));
}

TEST_F(RenamesProgram, NeverWritesOverItsInputs)
{
    const std::string before = Support::ReadBytes(older), after = Support::ReadBytes(newer);
    fs::create_symlink(older, folder.Path() / "link.xml");
    const std::vector<std::vector<std::string>> runs = {
        {older.string(), newer.string(), "--output", older.string(), "--force"},
        {older.string(), newer.string(), "--report", "./IFC-SG-2028.xml", "--force"},
        {older.string(), newer.string(), "--output", "link.xml", "--force"},
        {older.string(), older.string(), "--output", older.string(), "--force"},
    };
    for (const std::vector<std::string>& arguments : runs) {
        const ProgramRun run = Start(arguments);
        EXPECT_EQ(run.status, 2) << arguments[3];
        EXPECT_NE(run.err.find("the program never writes over its inputs"), std::string::npos) << run.err;
    }
    EXPECT_EQ(Support::ReadBytes(older), before);
    EXPECT_EQ(Support::ReadBytes(newer), after);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"IFC-SG-2027.xml", "IFC-SG-2028.xml", "link.xml"}));
}

TEST_F(RenamesProgram, BadOptionsAndInputsOneLineAndStatusTwo)
{
    ASSERT_EQ(::mkfifo((folder.Path() / "pipe.xml").c_str(), 0600), 0);
    fs::create_directory(folder.Path() / "folder.xml");
    Support::WriteBytes(folder.Path() / "broken.xml", "<configuration><propertyGroup name=\"A\">\n<x/></propertyGroup></configuration>");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::string o = older.string(), n = newer.string();
    const Case cases[] = {
        {{}, "two configurations are needed, the older and the newer (quillmere-renames --help)"},
        {{o}, "two configurations are needed, the older and the newer (quillmere-renames --help)"},
        {{o, n, "third.xml"}, "one configuration too many: \"third.xml\""},
        {{o, n, "--out", "x"}, "unknown option \"--out\" (quillmere-renames --help lists the options)"},
        {{o, n, "--output"}, "--output needs a file name"},
        {{o, n, "--report", ""}, "--report needs a file name"},
        {{o, n, "--output", "a", "--output", "b"}, "--output is given twice"},
        {{o, n, "--output", "same.txt", "--report", "./same.txt"}, "the table and the report cannot both go to \"same.txt\""},
        {{"missing.xml", n}, "cannot open \"missing.xml\": No such file or directory"},
        {{o, "folder.xml"}, "cannot open \"folder.xml\": it is a folder"},
        {{"pipe.xml", n}, "cannot open \"pipe.xml\": it is a named pipe (FIFO), not a file"},
        {{o, "broken.xml"}, "\"broken.xml\" is not a configuration the program reads: line 2: unknown element <x> in <propertyGroup>"},
        {{o, n, "--output", "folder.xml", "--force"}, "\"folder.xml\" is a folder"},
        {{o, n, "--output", "no/such/folder.xml"}, "cannot write \"no/such/folder.xml\": No such file or directory"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = Start(c.arguments);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(run.err, "quillmere-renames: " + c.message + "\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"IFC-SG-2027.xml", "IFC-SG-2028.xml", "broken.xml", "folder.xml", "pipe.xml"}));

    const ProgramRun help = Start({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: quillmere-renames OLD.xml NEW.xml [--output FILE] [--report FILE] [--force]\n"));
}
