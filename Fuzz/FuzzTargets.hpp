// The entry functions of the fuzz targets. Each takes one input and answers an empty text when
// everything it checks holds, or what went wrong. libFuzzer's drivers (FuzzMain.cpp) abort on a
// non-empty answer; the regression suite (Tests/Reliability) replays every kept input through the
// same functions and fails the test instead.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace Fuzz {

// The value restore of the add-on, in-process, against the example project: the input is written
// as the backup file of a command that built no backup of its own, and RestoreElementValues()
// reads it, as a run after a cancelled one does. The text is also parsed, printed and parsed
// again: the second parse must give the same values (what the restore would write).
// One instance per process: it holds the test host, which is a single instance.
class BackupRestoreTarget {
public:
    // `sourceFolder` holds Examples/CommunityClinic.xml.
    explicit BackupRestoreTarget(const std::filesystem::path& sourceFolder);
    ~BackupRestoreTarget();
    BackupRestoreTarget(const BackupRestoreTarget&) = delete;
    BackupRestoreTarget& operator=(const BackupRestoreTarget&) = delete;

    std::string Run(std::string_view input);

private:
    struct State;
    std::unique_ptr<State> state;
};

// The test host's project reader: a text it accepts must be written back by WriteProjectXml as a
// text that reads to the same project (the written text reads and writes to itself).
std::string RunProjectReader(std::string_view input);

// The test host's configuration import, classifications and then properties, on a project that
// already holds the example's configuration and elements: a refused import changes nothing, and
// importing the same text a second time changes nothing more.
class ConfigurationImportTarget {
public:
    explicit ConfigurationImportTarget(const std::filesystem::path& sourceFolder);
    ~ConfigurationImportTarget();
    ConfigurationImportTarget(const ConfigurationImportTarget&) = delete;
    ConfigurationImportTarget& operator=(const ConfigurationImportTarget&) = delete;

    std::string Run(std::string_view input);

private:
    std::string baseProject;  // the project file text every input starts from
};

// The add-on's reading of a rename table's text, without a host: a problem that leaves no table
// comes alone, entry numbers rise, every look-up answers names that its entries give in the order
// of the rules, a renamed name leads back to its earlier name, a reference of plain names is
// rewritten to the renamed name, and a text without references is not rewritten.
class RenameTableTarget {
public:
    std::string Run(std::string_view input);
};

}  // namespace Fuzz
