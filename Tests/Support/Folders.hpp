// Folders the tests, the fuzz targets and the benchmark work in: the source and build folders, the
// shared fixture files, scratch folders of their own, and a profile folder as "USERPROFILE".
// Nothing here depends on a test framework: what cannot be done throws std::runtime_error, which
// fails the test that called it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace Support {

// The repository: QUILLMERE_SOURCE_DIR from the environment, else the one the build was made from.
std::filesystem::path SourceFolder();
// Where the build puts the module file, the platform library and the programs: QUILLMERE_BIN_DIR
// from the environment, else the build's own.
std::filesystem::path BinaryFolder();
// The file `relative` under Tests/Fixtures, the fixtures that more than one suite uses; throws when
// there is no such file.
std::filesystem::path FixtureFile(const std::filesystem::path& relative);

// A fresh folder under the system's temporary folder, whose name ends in `suffix` (any characters
// the file system takes), removed with everything in it at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::filesystem::path& suffix = {});
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const noexcept { return path; }
    // Writes `bytes` as they are to the file `name` in the folder and answers its full path.
    std::filesystem::path Write(const std::filesystem::path& name, std::string_view bytes) const;

private:
    std::filesystem::path path;
};

// Sets the environment variable `name` to `folder` while it lives (on Windows through the C
// runtime's environment, which the module shares, as UTF-16 so that a folder of any name reaches it
// whole); the earlier value, or none, comes back at the end.
class FolderVariable {
public:
    FolderVariable(const char* name, const std::filesystem::path& folder);
    ~FolderVariable();
    FolderVariable(const FolderVariable&) = delete;
    FolderVariable& operator=(const FolderVariable&) = delete;

private:
    const char* name;
    std::optional<std::filesystem::path::string_type> previous;
};

// Points "USERPROFILE" at `folder` while it lives, and "LOCALAPPDATA" at its "AppData/Local", as a
// user's profile has them: the add-on takes its backup folder from the first and its store from the
// second.
class UserProfile {
public:
    explicit UserProfile(const std::filesystem::path& folder)
        : profile("USERPROFILE", folder), local("LOCALAPPDATA", folder / "AppData" / "Local")
    {
    }

private:
    FolderVariable profile;
    FolderVariable local;
};

// A scratch folder with a Documents and an "AppData/Local" folder in it, as "USERPROFILE" while it
// lives: where the add-on writes its value backup and keeps its store.
class ProfileFolder {
public:
    explicit ProfileFolder(const std::filesystem::path& suffix = {});

    const std::filesystem::path& Path() const noexcept { return folder.Path(); }
    std::filesystem::path Documents() const { return Path() / "Documents"; }
    // The backup file the add-on writes, and the temporary file it writes first.
    std::filesystem::path BackupFile() const { return Documents() / "IFC_SG_Properties.xml"; }
    std::filesystem::path TemporaryFile() const { return Documents() / "IFC_SG_Properties.xml.tmp"; }
    // The local application data folder, and the add-on's store in it.
    std::filesystem::path LocalAppData() const { return Path() / "AppData" / "Local"; }
    std::filesystem::path Store() const { return LocalAppData() / "Quillmere" / "store.sqlite"; }
    // Writes `bytes` to the file `name` in the profile folder and answers its full path.
    std::filesystem::path Write(const std::filesystem::path& name, std::string_view bytes) const
    {
        return folder.Write(name, bytes);
    }

private:
    ScratchFolder folder;  // made first and removed last, after "USERPROFILE" no longer names it
    UserProfile user;
};

// A path as UTF-8, for messages: its native form may hold characters no code page has.
std::string Utf8Path(const std::filesystem::path& path);

}  // namespace Support
