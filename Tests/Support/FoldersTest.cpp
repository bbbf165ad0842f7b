// The test support's folders: scratch and profile folders, "USERPROFILE", and the source, build
// and fixture folders.
#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "Support/Projects.hpp"

namespace {

namespace fs = std::filesystem;

// The variable's value, or nothing when it is not set.
std::optional<std::string> Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace

TEST(Folders, EachScratchFolderIsNewAndGoesWithEverythingInIt)
{
    fs::path kept;
    {
        const Support::ScratchFolder first;
        const Support::ScratchFolder second(u8"-\u7528\u6237 \u03c7");
        ASSERT_TRUE(fs::is_directory(first.Path()));
        ASSERT_TRUE(fs::is_directory(second.Path()));
        EXPECT_NE(first.Path(), second.Path());
        EXPECT_EQ(first.Path().parent_path(), fs::temp_directory_path());
        EXPECT_TRUE(fs::is_empty(first.Path()));
        const std::string name = Support::Utf8Path(second.Path().filename());
        const std::string suffix = "-\xE7\x94\xA8\xE6\x88\xB7 \xCF\x87";
        ASSERT_GT(name.size(), suffix.size());
        EXPECT_EQ(name.substr(name.size() - suffix.size()), suffix);

        const std::string bytes("a\r\nb\0c", 6);
        const fs::path file = first.Write("file.bin", bytes);
        EXPECT_EQ(file, first.Path() / "file.bin");
        EXPECT_EQ(Support::ReadBytes(file), bytes);
        fs::create_directories(first.Path() / "inner" / "deeper");
        first.Write("inner/deeper/more.txt", "more");
        kept = first.Path();
    }
    EXPECT_FALSE(fs::exists(kept));
}

TEST(Folders, UserProfilePointsAtTheFolderAndGivesTheEarlierValueBack)
{
    const std::optional<std::string> outside = Environment("USERPROFILE");
    ::setenv("USERPROFILE", "/earlier", 1);
    {
        const Support::UserProfile first("/first");
        EXPECT_EQ(Environment("USERPROFILE"), "/first");
        {
            const Support::UserProfile second("/second");
            EXPECT_EQ(Environment("USERPROFILE"), "/second");
        }
        EXPECT_EQ(Environment("USERPROFILE"), "/first");
    }
    EXPECT_EQ(Environment("USERPROFILE"), "/earlier");

    // Unset before, unset after.
    ::unsetenv("USERPROFILE");
    {
        const Support::UserProfile profile("/somewhere");
        EXPECT_EQ(Environment("USERPROFILE"), "/somewhere");
    }
    EXPECT_EQ(Environment("USERPROFILE"), std::nullopt);

    if (outside)
        ::setenv("USERPROFILE", outside->c_str(), 1);
}

TEST(Folders, ProfileFolderHoldsDocumentsAndIsTheProfileWhileItLives)
{
    const std::optional<std::string> before = Environment("USERPROFILE");
    fs::path kept;
    {
        const Support::ProfileFolder profile("-profile");
        kept = profile.Path();
        EXPECT_EQ(Environment("USERPROFILE"), profile.Path().string());
        EXPECT_TRUE(fs::is_directory(profile.Documents()));
        EXPECT_EQ(profile.Documents(), profile.Path() / "Documents");
        EXPECT_EQ(profile.BackupFile(), profile.Path() / "Documents" / "IFC_SG_Properties.xml");
        EXPECT_EQ(profile.TemporaryFile(), profile.Path() / "Documents" / "IFC_SG_Properties.xml.tmp");
        EXPECT_EQ(Support::ReadBytes(profile.Write("config.xml", "<c/>")), "<c/>");
    }
    EXPECT_EQ(Environment("USERPROFILE"), before);
    EXPECT_FALSE(fs::exists(kept));
}

TEST(Folders, FromTheEnvironmentElseTheBuildsOwn)
{
    const std::optional<std::string> outside = Environment("QUILLMERE_SOURCE_DIR");
    ::unsetenv("QUILLMERE_SOURCE_DIR");
    const fs::path builtIn = Support::SourceFolder();
    EXPECT_TRUE(fs::is_regular_file(builtIn / "Tests" / "Support" / "FoldersTest.cpp"));
    ::setenv("QUILLMERE_SOURCE_DIR", "/elsewhere", 1);
    EXPECT_EQ(Support::SourceFolder(), fs::path("/elsewhere"));
    ::setenv("QUILLMERE_SOURCE_DIR", "", 1);  // empty counts as not set
    EXPECT_EQ(Support::SourceFolder(), builtIn);
    if (outside)
        ::setenv("QUILLMERE_SOURCE_DIR", outside->c_str(), 1);
    else
        ::unsetenv("QUILLMERE_SOURCE_DIR");

    EXPECT_TRUE(fs::is_regular_file(Support::BinaryFolder() / "quillmere_platform.so"));
    EXPECT_EQ(Support::WallConfigurationFile(),
              Support::SourceFolder() / "Tests" / "Fixtures" / "Configurations" / "WallFireRatingAndThickness.xml");
    EXPECT_THROW(Support::FixtureFile("Configurations/NoSuchFixture.xml"), std::runtime_error);
    EXPECT_THROW(Support::FixtureFile("Configurations"), std::runtime_error);  // a folder is no fixture
}
