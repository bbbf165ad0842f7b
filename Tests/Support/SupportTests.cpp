// The shared test support itself: a helper that quietly did less than it says would let every
// suite built on it pass for the wrong reason.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "GSRoot/MemoryManager.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "Support/Memory.hpp"
#include "Support/OwnedValues.hpp"
#include "Support/Projects.hpp"

namespace {

namespace fs = std::filesystem;

// The variable's value, or nothing when it is not set.
std::optional<std::string> Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

TEST(ScratchFolder, EachIsNewAndGoesWithEverythingInIt)
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

TEST(Files, BytesComeBackExactlyWhateverTheirSize)
{
    const Support::ScratchFolder folder;
    const fs::path file = folder.Path() / "bytes";
    // Empty, and around the size the reader takes at a time.
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                                   std::size_t{65537}, std::size_t{200000}}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 7 % 256);
        Support::WriteBytes(file, bytes);
        EXPECT_EQ(fs::file_size(file), size);
        EXPECT_EQ(Support::ReadBytes(file), bytes) << size;
        EXPECT_EQ(Support::TryReadBytes(file), bytes) << size;
    }
    // A shorter text replaces a longer one whole.
    Support::WriteBytes(file, "a longer text");
    ASSERT_TRUE(Support::TryWriteBytes(file, "short"));
    EXPECT_EQ(Support::ReadBytes(file), "short");
}

TEST(Files, WhatCannotBeReadOrWrittenIsSaid)
{
    const Support::ScratchFolder folder;
    const fs::path missing = folder.Path() / "missing.xml";
    EXPECT_EQ(Support::TryReadBytes(missing), std::nullopt);
    try {
        Support::ReadBytes(missing);
        ADD_FAILURE() << "a missing file was read";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "cannot read " + Support::Utf8Path(missing));
    }
    // A folder opens, but is no file to read.
    EXPECT_EQ(Support::TryReadBytes(folder.Path()), std::nullopt);

    const fs::path nowhere = folder.Path() / "no-such-folder" / "file.xml";
    EXPECT_FALSE(Support::TryWriteBytes(nowhere, "x"));
    EXPECT_THROW(Support::WriteBytes(nowhere, "x"), std::runtime_error);
    EXPECT_THROW(folder.Write("no-such-folder/file.xml", "x"), std::runtime_error);
    EXPECT_FALSE(fs::exists(nowhere.parent_path()));
}

TEST(UserProfile, PointsAtTheFolderAndGivesTheEarlierValueBack)
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

TEST(ProfileFolder, HoldsDocumentsAndIsTheProfileWhileItLives)
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
    EXPECT_TRUE(fs::is_regular_file(builtIn / "Tests" / "Support" / "SupportTests.cpp"));
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

TEST(Memory, TheLimitHoldsWhileTheGuardLivesAndNestsBack)
{
    {
        const Support::LiveBytesLimit exhausted;
        EXPECT_EQ(GS::MemoryManager::Allocate(1), nullptr);
    }
    void* outerBlock = nullptr;
    {
        const Support::LiveBytesLimit outer(256);
        outerBlock = GS::MemoryManager::Allocate(128);
        EXPECT_NE(outerBlock, nullptr);
        {
            const Support::LiveBytesLimit inner(0);
            EXPECT_EQ(GS::MemoryManager::Allocate(1), nullptr);
        }
        // The outer limit again: 128 more bytes fit, then no more.
        void* more = GS::MemoryManager::Allocate(128);
        EXPECT_NE(more, nullptr);
        EXPECT_EQ(GS::MemoryManager::Allocate(1), nullptr);
        GS::MemoryManager::Free(more);
    }
    void* after = GS::MemoryManager::Allocate(1 << 20);
    EXPECT_NE(after, nullptr);
    GS::MemoryManager::Free(after);
    GS::MemoryManager::Free(outerBlock);
}

TEST(Memory, TheChosenAllocationFailsUntilTheGuardEnds)
{
    void* blocks[4] = {};
    {
        const Support::FailingAllocation second(2, false);
        blocks[0] = GS::MemoryManager::Allocate(8);
        EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
        blocks[1] = GS::MemoryManager::Allocate(8);
        EXPECT_NE(blocks[0], nullptr);
        EXPECT_NE(blocks[1], nullptr);
    }
    {
        const Support::FailingAllocation fromTheNext(1, true);
        EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
        EXPECT_EQ(GS::MemoryManager::Allocate(8), nullptr);
    }
    {
        // Ended before its allocation came: nothing fails.
        const Support::FailingAllocation later(3, true);
    }
    blocks[2] = GS::MemoryManager::Allocate(8);
    blocks[3] = GS::MemoryManager::Allocate(8);
    EXPECT_NE(blocks[2], nullptr);
    EXPECT_NE(blocks[3], nullptr);
    for (void* block : blocks)
        GS::MemoryManager::Free(block);
}

TEST(Memory, HeadroomsGrowFourfoldFromNothingToBelowOneGibibyte)
{
    const std::vector<std::size_t> headrooms = Support::GrowingHeadrooms();
    ASSERT_GE(headrooms.size(), 3u);
    EXPECT_EQ(headrooms[0], 0u);
    EXPECT_EQ(headrooms[1], 64u);
    for (std::size_t i = 2; i < headrooms.size(); ++i)
        EXPECT_EQ(headrooms[i], headrooms[i - 1] * 4);
    EXPECT_LT(headrooms.back(), std::size_t{1} << 30);
    EXPECT_GE(headrooms.back() * 4, std::size_t{1} << 30);
}

TEST(OwnedValues, OnlyOwnedGroupsByNamesAndRealsBitForBit)
{
    EXPECT_TRUE(Support::IsOwnedGroup("SGPset_Wall"));
    EXPECT_TRUE(Support::IsOwnedGroup("Office SGPset_Door"));
    EXPECT_FALSE(Support::IsOwnedGroup("sgpset_Wall"));
    EXPECT_FALSE(Support::IsOwnedGroup("Pset_WallCommon"));

    TestHost::Project project;
    Support::ImportConfiguration(project, R"(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/></classificationSystem>
  <propertyGroup name="SGPset_Wall"><property name="Thickness" type="Real"><appliesTo item="IfcWall"/></property></propertyGroup>
  <propertyGroup name="Pset_WallCommon"><property name="Reference" type="String"><appliesTo item="IfcWall"/></property></propertyGroup>
</configuration>)");
    const API_Guid wall = project.AddElement("W", "IfcWall", project.FindItemById("IfcWall")->guid);
    const auto definition = [&](const char* group, const char* name) {
        return project.FindDefinitionByName(project.FindGroupByName(group)->guid, name)->guid;
    };
    ASSERT_EQ(project.SetElementValue(wall, definition("SGPset_Wall", "Thickness"), TestHost::MakeRealValue(0.0)), 0);
    ASSERT_EQ(project.SetElementValue(wall, definition("Pset_WallCommon", "Reference"), TestHost::MakeStringValue("R")), 0);

    const Support::ValueMap zero = Support::OwnedValues(project);
    ASSERT_EQ(zero.size(), 1u);
    EXPECT_EQ(zero.begin()->first, (Support::ValueName{TestHost::GuidToText(wall), "SGPset_Wall", "Thickness"}));
    EXPECT_TRUE(Support::SameValues(zero, Support::OwnedValues(project)));

    ASSERT_EQ(project.SetElementValue(wall, definition("SGPset_Wall", "Thickness"), TestHost::MakeRealValue(-0.0)), 0);
    const Support::ValueMap negativeZero = Support::OwnedValues(project);
    EXPECT_TRUE(negativeZero.begin()->second == zero.begin()->second);  // equal as numbers ...
    EXPECT_FALSE(Support::SameValue(negativeZero.begin()->second, zero.begin()->second));  // ... not as bits
    EXPECT_FALSE(Support::SameValues(negativeZero, zero));
    EXPECT_FALSE(Support::SameValues(zero, {}));
    EXPECT_FALSE(Support::SameValues(zero, {{{"other", "SGPset_Wall", "Thickness"}, zero.begin()->second}}));
}

TEST(Projects, AFailedImportSaysWhichAndWhy)
{
    TestHost::Project project;
    try {
        Support::ImportConfiguration(project, "<configuration><unknown/></configuration>");
        ADD_FAILURE() << "an unknown element was imported";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("the classification import failed with ", 0), 0u) << error.what();
    }
    // Classifications import, the property group names an item that does not exist.
    EXPECT_THROW(Support::ImportConfiguration(project, R"(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/></classificationSystem>
  <propertyGroup name="SGPset_Wall"><property name="P" type="String"><appliesTo item="IfcDoor"/></property></propertyGroup>
</configuration>)"),
                 std::runtime_error);
}

TEST(Projects, TheWallProjectHoldsWhatItSays)
{
    TestHost::Project project;
    Support::MakeWallProject(project, 3, true);
    const Support::ValueMap values = Support::OwnedValues(project);
    EXPECT_EQ(values.size(), 6u);
    EXPECT_EQ(project.Elements().size(), 3u);
    const API_Guid group = project.FindGroupByName("SGPset_Wall")->guid;
    EXPECT_EQ(project.FindDefinitionByName(group, "Thickness")->expressions, std::vector<std::string>{"{Wall.Width}"});
    std::string last;
    for (const TestHost::Element& element : project.Elements())
        if (element.name == "W2")
            last = TestHost::GuidToText(element.guid);
    EXPECT_EQ(values.at({last, "SGPset_Wall", "FireRating"}), TestHost::MakeStringValue("REI 2"));
    EXPECT_TRUE(Support::SameValue(values.at({last, "SGPset_Wall", "Thickness"}), TestHost::MakeRealValue(0.1 * 2)));

    TestHost::Project withoutThickness;
    Support::MakeWallProject(withoutThickness, 2, false);
    EXPECT_EQ(Support::OwnedValues(withoutThickness).size(), 2u);
}

}  // namespace
