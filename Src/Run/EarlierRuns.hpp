// What earlier runs of the command left in the profile folder for later ones, as this run found
// it: the newest backup file, the values of earlier runs that no run has brought back yet, and the
// history file that keeps count of the runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Common/SystemFiles.hpp"
#include "GSRoot/GSRoot.hpp"
#include "Run/ValueBackup.hpp"
#include "Run/ValueFate.hpp"

namespace Quillmere {

// A file as it lay on disk: enough to tell whether it is still the file a run wrote.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // the file system's time of the last write, in its own ticks
    bool operator==(const FileStamp& other) const noexcept { return size == other.size && modified == other.modified; }
};

// The backup file as the history records it.
struct BackupRecord {
    FileStamp stamp;
    UInt32 run = 0;         // the run that wrote it
    std::string saved;      // when
    bool settled = false;   // every value of it was brought back or put into a kept file
};

// A file of values an earlier run saved and no run has brought back yet, "IFC_SG_Properties.N.xml"
// for run N: the backup file's form, read as a backup.
struct KeptValues {
    SystemPath path;
    UInt32 run = 0;
    std::string saved;                 // when that run saved them
    std::optional<ValueBackup> values; // once read
    std::vector<ValueFate> fates;      // by value, once read
    bool unreadable = false;
    bool isBackupFile = false;         // the backup file itself, read as a source of values
    std::size_t broughtBack = 0;       // how many of its values this run brought back
};

struct EarlierRuns {
    SystemPath folder;                   // the profile's Documents folder; empty without a profile
    UInt32 lastRun = 0;                  // the number of the last run the history recorded
    UInt32 backupRun = 0;                // the run that wrote the backup file
    std::optional<BackupRecord> backup;  // the history's record of the backup file
    std::optional<FileStamp> backupFile; // the backup file as it lies there now; nothing when absent
    std::vector<KeptValues> kept;        // newest first

    bool HasProfile() const { return !folder.empty(); }
    // Values of earlier runs that may yet come back lie in kept files or in the backup file.
    bool HasValues() const { return !kept.empty() || BackupUnsettled(); }
    // The history's record is of the backup file as it lies there now.
    bool BackupRecorded() const { return backupFile && backup && backup->stamp == *backupFile; }
    // The backup file holds values that no run has brought back or kept elsewhere.
    bool BackupUnsettled() const { return backupFile && !(BackupRecorded() && backup->settled); }
};

}  // namespace Quillmere
