// The files beside the value backup that keep what earlier runs saved and did not bring back:
// "IFC_SG_Properties.N.xml", the values run N saved and no run has brought back yet (the backup
// file's form, its root naming the run), and "IFC_SG_Properties.history.xml", which counts the
// runs, records the backup file as its run left it and holds the expression lists no run has
// brought back yet (docs/backup-file.md).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Common/SystemFiles.hpp"
#include "Run/EarlierRuns.hpp"
#include "Run/SavedExpressions.hpp"
#include "Run/UpdateRun.hpp"
#include "ValueBackupFile.hpp"

namespace Quillmere {

// How many runs a kept value or list outlives the run that saved it: a profile's files then hold
// what any of its last KeptRuns runs did not bring back, and no more.
constexpr UInt32 KeptRuns = 10;

// What the history file holds.
struct HistoryFile {
    UInt32 lastRun = 0;
    std::optional<BackupRecord> backup;
    ExpressionStoreList lists;
};

// The history file's text, and the file read back; nothing when the text is not a history file.
std::string PrintHistory(const HistoryFile& history);
std::optional<HistoryFile> ParseHistory(std::string text);

// Where the files lie in the folder of the backup file.
SystemPath HistoryFilePath(const SystemPath& folder);
SystemPath KeptValuesPath(const SystemPath& folder, UInt32 run);

// The files of kept values in `folder`, newest first, not yet read.
std::vector<KeptValues> FindKeptValues(const SystemPath& folder);

// The file's size and time of last write; nothing when there is no regular file there.
std::optional<FileStamp> StampOf(const SystemPath& path);

// The local time now, and of a file stamp, as the files and report lines give it:
// "2026-12-09 14:05".
std::string TimeText();
std::string TimeText(const FileStamp& stamp);
// When the backup file's values were saved: the history's time when it records the file as it lies
// now, else the file's time of last write; empty when there is no backup file.
std::string BackupSavedText(const EarlierRuns& earlier);

// Write `values` (with a kept file's header when given), or the history into `folder`, through a
// temporary file; a failure is reported as BackupWriteError and leaves the file as it was.
bool WriteValuesFile(const SystemPath& path, const ValueBackup& values, const KeptFileHeader* header = nullptr);
bool WriteHistory(const SystemPath& folder, const HistoryFile& history);

// Reads what earlier runs left in the folder of the backup file (nothing without "USERPROFILE"):
// the history, the backup file's stamp and the kept files (not their values), into `run.earlier`;
// numbers the run and notes when it started. The history's lists become the module's store, with
// those of a run of this session that ended before it could record them. A history file that cannot
// be read is reported as one line, and the run goes on as if there were none.
void ReadEarlierRuns(UpdateRun& run);

// Reads the values of `kept`, once; a file that cannot be read is reported as one line and kept
// as it is.
void ReadKeptValues(KeptValues& kept);

}  // namespace Quillmere
