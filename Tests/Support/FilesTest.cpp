// The test support's files as bytes.
#include <string>

#include <gtest/gtest.h>

#include "Support/Files.hpp"
#include "Support/Folders.hpp"

namespace {

namespace fs = std::filesystem;

}  // namespace

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
