// The module's file seam: what ReadTextFile reads and what it refuses without waiting, and how
// WriteInPlaceOf puts a new file in another's place. No call leaves a descriptor open.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Common/MessageFormat.hpp"
#include "Common/SystemFiles.hpp"
#include "Support/Descriptors.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"

namespace {

namespace fs = std::filesystem;
using Quillmere::SystemError;

// A UNIX socket bound at `path` while it lives.
class BoundSocket {
public:
    explicit BoundSocket(const fs::path& path) : socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
    }
    ~BoundSocket() { ::close(socket); }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;

private:
    int socket;
};

TEST(SystemFiles, ReadsRegularFilesOnlyAndNeverWaits)
{
    const Support::ScratchFolder scratch;
    const auto at = [&scratch](const char* name) { return fs::path(name).is_absolute() ? fs::path(name) : scratch.Path() / name; };
    Support::WriteBytes(at("text.xml"), "<a>\r\n\tb\r</a>\r\n");
    Support::WriteBytes(at("empty.xml"), "");
    Support::WriteBytes(at("locked.xml"), "<a/>");
    ASSERT_EQ(::chmod(at("locked.xml").c_str(), 0), 0);
    Support::MakeNamedPipe(at("pipe.xml"));
    fs::create_directory(at("folder.xml"));
    fs::create_symlink("text.xml", at("link.xml"));
    fs::create_symlink("pipe.xml", at("pipe-link.xml"));
    fs::create_symlink("missing.xml", at("dangling.xml"));
    const BoundSocket socket(at("socket.xml"));
    // Should a read wait for a writer after all, the test fails instead of waiting for ever.
    const Support::PipeWatchdog watchdog({at("pipe.xml")});

    struct Case {
        const char* name;
        std::optional<std::string> text;  // nothing: refused
        SystemError error;                // why it is refused
        bool existing;                    // what IsExistingFile answers
    };
    std::vector<Case> cases = {
        // Each CR LF pair becomes LF; a lone CR stays.
        {"text.xml", "<a>\n\tb\r</a>\n", 0, true},
        {"empty.xml", "", 0, true},
        {"link.xml", "<a>\n\tb\r</a>\n", 0, true},
        {"missing.xml", std::nullopt, ENOENT, false},
        {"dangling.xml", std::nullopt, ENOENT, false},
        // A pipe without a writer would keep an ordinary open waiting; none of these is opened.
        {"pipe.xml", std::nullopt, Quillmere::NotARegularFile, false},
        {"pipe-link.xml", std::nullopt, Quillmere::NotARegularFile, false},
        {"folder.xml", std::nullopt, Quillmere::NotARegularFile, false},
        {"socket.xml", std::nullopt, Quillmere::NotARegularFile, false},
        {"/dev/null", std::nullopt, Quillmere::NotARegularFile, false},
    };
    // Root reads a file without read permission all the same.
    if (::geteuid() != 0)
        cases.push_back({"locked.xml", std::nullopt, EACCES, true});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> before = Support::OpenDescriptors();
        SystemError error = 0;
        EXPECT_EQ(Quillmere::ReadTextFile(at(c.name), &error), c.text);
        if (!c.text) {
            EXPECT_EQ(error, c.error);
        }
        EXPECT_EQ(Quillmere::ReadTextFile(at(c.name)), c.text);
        EXPECT_EQ(Quillmere::IsExistingFile(at(c.name)), c.existing);
        EXPECT_EQ(Support::OpenDescriptors(), before);
    }
    EXPECT_FALSE(watchdog.Fired()) << "a read waited on the named pipe";
}

// Writes `bytes` through WriteInPlaceOf for `target` in pieces of single characters, of a few bytes and
// of more than 1 MiB; answers its result.
SystemError WriteReplacing(const fs::path& target, const std::string& bytes)
{
    return Quillmere::WriteInPlaceOf(target, [&bytes](const Quillmere::ByteWriter& write) {
        const std::size_t pieces[] = {1, 5, 4096, std::size_t{1} << 20, 1, 3, (std::size_t{1} << 20) + 1, 65536};
        for (std::size_t at = 0, next = 0; at < bytes.size(); next = (next + 1) % std::size(pieces)) {
            const std::size_t size = std::min(pieces[next], bytes.size() - at);
            write(std::string_view(bytes).substr(at, size));
            at += size;
        }
    });
}

TEST(SystemFiles, ReplaceFilePutsTheNewFileInPlaceOfWhateverIsThere)
{
    const Support::ScratchFolder scratch;
    const fs::path target = scratch.Path() / "IFC_SG_Properties.xml";
    const fs::path temporary = scratch.Path() / "IFC_SG_Properties.xml.tmp";
    const fs::path elsewhere = scratch.Path() / "elsewhere.xml";
    std::string large;  // past 1 MiB
    for (int i = 0; large.size() < (std::size_t{3} << 20); ++i)
        large += "\t\t<SGPset_Wall-Thickness valType=\"Real\" MType=\"Length\">" + std::to_string(i) + ".250000</SGPset_Wall-Thickness>\n";

    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::string bytes;
    };
    const Case cases[] = {
        {"no file", [] {}, "<project/>\n"},
        {"an earlier file, and another name for it that keeps the old bytes",
         [&] {
             Support::WriteBytes(target, "earlier");
             fs::create_hard_link(target, elsewhere);
         },
         large},
        // Replaced, not opened: nothing waits for a reader.
        {"a named pipe", [&] { Support::MakeNamedPipe(target); }, "<project/>\n"},
        {"a stale temporary file", [&] { Support::WriteBytes(temporary, "stale"); }, ""},
        // The link is removed, never followed.
        {"a link where the temporary file goes",
         [&] {
             Support::WriteBytes(elsewhere, "not ours");
             fs::create_symlink(elsewhere, temporary);
         },
         large},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const fs::path& path : {target, temporary, elsewhere})
            fs::remove(path);
        c.prepare();
        const std::vector<std::string> before = Support::OpenDescriptors();
        EXPECT_EQ(WriteReplacing(target, c.bytes), 0);
        EXPECT_EQ(Support::OpenDescriptors(), before);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
        EXPECT_EQ(Support::ReadBytes(target), c.bytes);
        EXPECT_FALSE(fs::exists(fs::symlink_status(temporary)));
        if (fs::exists(elsewhere)) {
            EXPECT_NE(Support::ReadBytes(elsewhere), c.bytes);
        }
    }
}

TEST(SystemFiles, ReplaceFileLeavesTheTargetAsItWasWhenItCannotReplaceIt)
{
    const Support::ScratchFolder scratch;
    const fs::path target = scratch.Path() / "IFC_SG_Properties.xml";
    const fs::path temporary = scratch.Path() / "IFC_SG_Properties.xml.tmp";

    struct Case {
        const char* what;
        fs::path target;
        std::function<void()> prepare;
        std::function<SystemError()> write;
        SystemError error;
    };
    const auto complete = [&target] { return WriteReplacing(target, "new"); };
    const Case cases[] = {
        {"no folder for it", scratch.Path() / "Documents" / "IFC_SG_Properties.xml", [] {},
         [&] { return WriteReplacing(scratch.Path() / "Documents" / "IFC_SG_Properties.xml", "new"); }, ENOENT},
        {"a folder in its place", target, [&] { fs::create_directory(target); }, complete, EISDIR},
        // The printing throws half way, as when memory runs out.
        {"stopped half way", target, [&] { Support::WriteBytes(target, "earlier"); },
         [&] {
             const auto stopping = [&](const Quillmere::ByteWriter& write) {
                 write("new");
                 EXPECT_TRUE(fs::exists(temporary));
                 throw std::bad_alloc();
             };
             EXPECT_THROW(Quillmere::WriteInPlaceOf(target, stopping), std::bad_alloc);
             return SystemError{0};
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(target);
        c.prepare();
        const std::optional<std::string> earlier = Support::TryReadBytes(c.target);
        const bool folder = fs::is_directory(c.target);
        const std::vector<std::string> before = Support::OpenDescriptors();
        EXPECT_EQ(c.write(), c.error);
        EXPECT_EQ(Support::OpenDescriptors(), before);
        EXPECT_EQ(fs::is_directory(c.target), folder);
        if (!folder) {
            EXPECT_EQ(Support::TryReadBytes(c.target), earlier);
        }
        EXPECT_FALSE(fs::exists(fs::symlink_status(temporary)));
    }
}

}  // namespace

TEST(SystemFiles, ReadWholeWithCarriageReturnsBeforeLineFeedsDropped)
{
    const Support::ScratchFolder folder;
    // CR LF pairs, a CR alone, and one at the very end.
    const fs::path file = folder.Write("text.txt", "a\r\nb\r\r\nc\rd\r\n\r\ne\r");
    const std::optional<std::string> whole = Quillmere::ReadTextFile(file);
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(*whole, "a\nb\r\nc\rd\n\ne\r");
}

// Anything at a path counts, a link that leads nowhere or in a loop too; only a missing name, or a
// path through something that is no folder, is nothing.
TEST(SystemFiles, IsAnythingAtLooksAtLinksThemselves)
{
    const Support::ScratchFolder scratch;
    const fs::path file = scratch.Write("file.xml", "<a/>");
    fs::create_directory(scratch.Path() / "folder");
    fs::create_symlink("missing.xml", scratch.Path() / "dangling.xml");
    fs::create_symlink("loop.xml", scratch.Path() / "loop.xml");
    const struct {
        fs::path path;
        bool anything;
    } cases[] = {
        {file, true},
        {scratch.Path() / "folder", true},
        {scratch.Path() / "dangling.xml", true},
        {scratch.Path() / "loop.xml", true},
        {scratch.Path() / "missing.xml", false},
        {file / "inside.xml", false},
        {scratch.Path() / "gone" / "inside.xml", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Quillmere::IsAnythingAt(c.path), c.anything) << c.path;
}

// A file set aside takes a name beside it that no file has: "-2" is added when the name with the
// time alone is taken, and nothing is overwritten. Tried again should the clock pass a second
// meanwhile.
TEST(SystemFiles, SetFileAsideTakesANameNoFileHas)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const Support::ScratchFolder scratch;
        const std::string stamp = Quillmere::LocalTimeText("%Y%m%d-%H%M%S");
        const fs::path taken = scratch.Write("store.damaged-" + stamp + ".sqlite", "taken");
        const fs::path store = scratch.Write("store.sqlite", "kept");
        const fs::path aside = Quillmere::SetFileAside(store, "damaged");
        if (Quillmere::LocalTimeText("%Y%m%d-%H%M%S") != stamp)
            continue;
        EXPECT_EQ(aside, scratch.Path() / ("store.damaged-" + stamp + "-2.sqlite"));
        EXPECT_EQ(Support::ReadBytes(taken), "taken");
        EXPECT_EQ(Support::ReadBytes(aside), "kept");
        std::vector<fs::path> listed = Quillmere::FilesIn(scratch.Path());
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, (std::vector<fs::path>{aside, taken}));
        // Nothing there: nothing set aside, nothing listed.
        EXPECT_TRUE(Quillmere::SetFileAside(store, "damaged").empty());
        EXPECT_TRUE(Quillmere::FilesIn(store).empty());
        return;
    }
    FAIL() << "the clock passed a second during each of 5 attempts";
}

TEST(SystemFiles, EnvironmentPathAppendsItsTail)
{
    const Support::ScratchFolder scratch;
    const Support::FolderVariable local("QUILLMERE_TEST_FOLDER", scratch.Path());
    EXPECT_EQ(Quillmere::EnvironmentPath("QUILLMERE_TEST_FOLDER", "/Quillmere/store.sqlite"),
              fs::path(scratch.Path().string() + "/Quillmere/store.sqlite"));
    EXPECT_EQ(Quillmere::EnvironmentPath("QUILLMERE_TEST_NOT_SET", "/a"), std::nullopt);
}
