// Every input the fuzz targets keep, fed again to the same entry functions: the seeds they start
// from and each input that once found a fault (Fuzz/regressions/<target>/).
#include <algorithm>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "FuzzTargets.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"

namespace {

namespace fs = std::filesystem;

// The files of the target's seed and regression folders and the repository files it starts from.
std::vector<fs::path> KeptInputs(const std::string& target, const std::vector<fs::path>& repositoryFiles)
{
    const fs::path source = Support::SourceFolder();
    std::vector<fs::path> inputs;
    for (const char* folder : {"corpus", "regressions"}) {
        const fs::path path = source / "Fuzz" / folder / target;
        if (fs::is_directory(path))
            for (const fs::directory_entry& entry : fs::directory_iterator(path))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                    inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& file : repositoryFiles)
        inputs.push_back(source / file);
    return inputs;
}

template <typename Run>
void Replay(const std::string& target, const std::vector<fs::path>& repositoryFiles, std::size_t atLeast, Run run)
{
    const std::vector<fs::path> inputs = KeptInputs(target, repositoryFiles);
    ASSERT_GE(inputs.size(), atLeast) << "the seeds of " << target << " are missing";
    for (const fs::path& input : inputs)
        EXPECT_EQ(run(Support::ReadBytes(input)), "") << input;
}

}  // namespace

TEST(FuzzReplay, BackupRestore)
{
    Fuzz::BackupRestoreTarget target(Support::SourceFolder());
    Replay("backup_restore", {}, 3, [&](const std::string& input) { return target.Run(input); });
}

TEST(FuzzReplay, ProjectReader)
{
    Replay("project_reader", {"Examples/CommunityClinic.xml"}, 2, Fuzz::RunProjectReader);
}

TEST(FuzzReplay, ConfigurationImport)
{
    Fuzz::ConfigurationImportTarget target(Support::SourceFolder());
    Replay("configuration_import", {"Examples/Configurations/IFC-SG-2025.xml", "Examples/Configurations/IFC-SG-2026.xml"},
           3, [&](const std::string& input) { return target.Run(input); });
}

TEST(FuzzReplay, RenameTable)
{
    Fuzz::RenameTableTarget target;
    Replay("rename_table", {"Examples/Configurations/IFC-SG-2026.renames.xml"}, 2,
           [&](const std::string& input) { return target.Run(input); });
}

// Texts each target must refuse, or read in an unusual way, pass its checks.
TEST(FuzzReplay, RefusedAndOddInputsAreNoFinding)
{
    // Refused texts are no finding; the project reader and the import say why they refuse.
    EXPECT_EQ(Fuzz::RunProjectReader("<project"), "");
    EXPECT_EQ(Fuzz::RunProjectReader(""), "");
    Fuzz::ConfigurationImportTarget import(Support::SourceFolder());
    EXPECT_EQ(import.Run("<configuration><propertyGroup/></configuration>"), "");
    EXPECT_EQ(import.Run("\xFF\xFE<"), "");

    // An unreadable backup file gives its one report line and the alert; a readable one restores.
    Fuzz::BackupRestoreTarget restore(Support::SourceFolder());
    EXPECT_EQ(restore.Run("<project><element guid=\"x\">"), "");
    EXPECT_EQ(restore.Run(""), "");
    EXPECT_EQ(restore.Run("<project><element guid=\"00000000-0000-0000-0000-000000000001\">"
                          "<value key=\"SGPset_A-&#9;b\" valType=\"String\">&#1;&#55296;&#32; </value></element></project>"),
              "");
}

TEST(FuzzReplay, OddRenameTablesAreNoFinding)
{
    // Reported and skipped, or read: a table naming a group as its own new name, an entry without
    // its attributes, another root, no XML at all.
    Fuzz::RenameTableTarget target;
    for (const char* table : {"<renames><group from=\"A\" to=\"A\"/><property group=\"A\" from=\"P\" to=\"P\"/></renames>",
                              "<renames><group/><property group=\"A\"/><other/></renames>", "<tables/>", "", "\xFF<"})
        EXPECT_EQ(target.Run(table), "") << table;
}
