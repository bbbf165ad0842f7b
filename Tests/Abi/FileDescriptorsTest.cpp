// Whole runs of the command through the module file leave the process with the descriptors it had
// before, whether the files the module reads are good or cannot be read: a named pipe (which the
// module must not wait on), a folder, a file without read permission; the store among them.
#include <sys/stat.h>
#include <unistd.h>

#include "ModuleRun.hpp"
#include "Support/Descriptors.hpp"

namespace {

using namespace Abi;
namespace fs = std::filesystem;

const char* const Configuration = R"xml(<configuration>
  <classificationSystem name="IFC-SG"><item id="IfcWall"/></classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="FireRating" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>)xml";

// The file of a run that is made unreadable, and how.
enum class Target { None, Configuration, RenameTable, Store };
enum class Kind { Good, Pipe, Folder, Unreadable };

class FileDescriptors : public ModuleRunTest {
protected:
    FileDescriptors() : ModuleRunTest(Configuration) {}

    void SetUp() override
    {
        ModuleRunTest::SetUp();
        for (const char* name : {"W1", "W2", "W3"}) {
            const API_Guid wall = AddElement(name, "IfcWall");
            Set(wall, "SGPset_Wall", "FireRating", TestHost::MakeStringValue("REI 60"));
            Set(wall, "SGPset_Wall", "Thickness", TestHost::MakeRealValue(0.2));
        }
        Start();
    }

    fs::path PathOf(Target target) const
    {
        switch (target) {
            case Target::Configuration: return home.Path() / "chosen.xml";
            case Target::RenameTable: return home.Path() / "config.renames.xml";
            case Target::Store: return home.Store();
            default: return {};
        }
    }

    static void Make(Kind kind, const fs::path& path)
    {
        fs::remove_all(path);
        fs::create_directories(path.parent_path());
        switch (kind) {
            case Kind::Good: break;
            case Kind::Pipe: Support::MakeNamedPipe(path); break;
            case Kind::Folder: fs::create_directory(path); break;
            case Kind::Unreadable:
                Support::WriteBytes(path, "<renames/>");
                ASSERT_EQ(::chmod(path.c_str(), 0), 0);
                break;
        }
    }

    // Runs the command, choosing `chosen` or cancelling, and expects it to leave the descriptors
    // as they were.
    void RunKeepingDescriptors(bool choose, const fs::path& chosen = {})
    {
        const std::vector<std::string> before = Support::OpenDescriptors();
        RunCommand(choose, {}, chosen);
        EXPECT_EQ(Support::OpenDescriptors(), before);
    }
};

TEST_F(FileDescriptors, NoRunLeavesADescriptorOpenWhateverItReads)
{
    const Support::PipeWatchdog watchdog(
        {PathOf(Target::Configuration), PathOf(Target::RenameTable), PathOf(Target::Store)});
    struct Case {
        Target target;
        Kind kind;
        std::size_t reportLines;
        const char* reported;  // a part of the first report line
        std::size_t alerts;
    };
    std::vector<Case> cases = {
        {Target::None, Kind::Good, 0, "", 1},
        // The module does not read the chosen pipe, says so and ends the command.
        {Target::Configuration, Kind::Pipe, 1, "could not be read (system error 22); nothing was changed", 0},
        {Target::Configuration, Kind::Folder, 0, "", 0},  // the dialog refuses it
        // It reads the table beside it, says it cannot, and goes on.
        {Target::RenameTable, Kind::Good, 0, "", 1},
        {Target::RenameTable, Kind::Pipe, 1, "could not be used (system error 22)", 1},
        {Target::RenameTable, Kind::Folder, 1, "could not be used (system error 22)", 1},
        // It opens its store, says when it cannot, and goes on without it: the values are safe in
        // the backup file.
        {Target::Store, Kind::Good, 0, "", 1},
        {Target::Store, Kind::Pipe, 1, "could not be used (system error 22)", 1},
        {Target::Store, Kind::Folder, 1, "could not be used (system error 22)", 1},
    };
    // Root opens files without read permission all the same.
    if (::geteuid() != 0) {
        cases.push_back({Target::Configuration, Kind::Unreadable, 1, "could not be read (system error 13)", 0});
        cases.push_back({Target::RenameTable, Kind::Unreadable, 1, "could not be used (system error 13)", 1});
        cases.push_back({Target::Store, Kind::Unreadable, 1, "could not be used", 1});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE("target " + std::to_string(static_cast<int>(c.target)) + ", kind " +
                     std::to_string(static_cast<int>(c.kind)));
        const fs::path path = PathOf(c.target);
        if (c.target == Target::Store)
            RunKeepingDescriptors(true);  // a store as a run leaves it
        if (c.target == Target::RenameTable && c.kind == Kind::Good)
            home.Write("config.renames.xml", "<renames/>");
        else if (c.target != Target::None && c.kind != Kind::Good)
            Make(c.kind, path);

        RunKeepingDescriptors(true, c.target == Target::Configuration ? path : fs::path());
        ASSERT_EQ(ReportTexts().size(), c.reportLines) << ::testing::PrintToString(ReportTexts());
        if (c.reportLines != 0) {
            EXPECT_NE(ReportTexts()[0].find(c.reported), std::string::npos) << ReportTexts()[0];
        }
        EXPECT_EQ(host.Alerts().size(), c.alerts);

        host.Undo(host.StepNames().size());
        if (!path.empty()) {
            std::error_code ignored;
            fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
            fs::remove_all(path);
        }
    }
    EXPECT_FALSE(watchdog.Fired()) << "the module waited on a named pipe";
}

}  // namespace
