// The store of what runs keep: one SQLite database per user in the local application data folder
// (docs/backup-file.md shows its tables). For each project it holds the values and expression lists
// that runs did not bring back, and what the run that kept them left on the properties they could
// come back into. A run reads its project's part once, may write what it saved before it removes
// anything, and writes what it keeps at its end, each in one transaction; a second host instance
// waits for the other's transaction. A file SQLite finds damaged is set aside under a new name and
// a new store begun; a store that is locked or cannot be opened for a moment is waited for, then
// reported, never set aside.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "Common/FileProblem.hpp"
#include "GSRoot/GSRoot.hpp"
#include "Run/KeptData.hpp"
#include "Sqlite.hpp"

namespace Quillmere {

// The identity a project without a file takes when the store knows no anchor among its elements:
// "anchor:" and the least GUID of them (in the order of their texts); "anchor:" alone for none.
ProjectIdentity NewAnchor(const GS::Array<API_Guid>& elements);

class KeptStore {
public:
    // Where the store lies: "LOCALAPPDATA\Quillmere\store.sqlite", or the same under
    // "USERPROFILE\AppData\Local" when LOCALAPPDATA is not set. Nothing when neither is set.
    static std::optional<SystemPath> DefaultPath();

    // How long the store waits for another host instance's transaction before it reports the store
    // busy.
    static constexpr int DefaultBusyMilliseconds = 10000;

    explicit KeptStore(SystemPath path, int busyMilliseconds = DefaultBusyMilliseconds)
        : path(std::move(path)), busyMilliseconds(busyMilliseconds)
    {
    }
    const SystemPath& Path() const noexcept { return path; }
    // Where a damaged store was set aside when this run opened it; empty when none was.
    const SystemPath& SetAside() const noexcept { return setAside; }

    // Opens the store, making its folder, file and tables when missing. A damaged file is set aside
    // and a new one begun (SetAside() then names it). The problem when it cannot be used.
    std::optional<FileProblem> Open();
    // Whether anything is kept for any project: only then need the run know its project.
    std::optional<FileProblem> HoldsAnything(bool& holds);
    // Reads what is kept for `project` into `kept` (empty before), with what an earlier version
    // left for the elements in `elements` (nullptr: none of it); the project's values of elements
    // not in `elements` end (ElementGone).
    std::optional<FileProblem> Read(const ProjectIdentity& project, const ElementSet* elements, KeptData& kept);
    // The identity of the project without a file that holds one of `elements`: the anchor the store
    // knows, or else NewAnchor.
    std::optional<FileProblem> AnchorIdentity(const ElementSet& elements, ProjectIdentity& identity);

    // Before the removal: keeps `values` (all of them; nullptr: none) and the run's own lists for
    // its project, numbering the run (`run.run`, and each list's record) when it has no number yet.
    std::optional<FileProblem> WriteSaved(KeptAtRunEnd& run, const ValueBackup* values);
    // At the run's end: what it leaves, in one transaction, numbering the run as WriteSaved does.
    // Of `kept`, the kept data as read with its fates, what stays is kept and what came back or
    // ended leaves; of the run's values `own` (nullptr: none), those whose `ownFates` stay are kept
    // with them as reasons (nullptr: all, as not brought back yet).
    std::optional<FileProblem> WriteRunEnd(KeptAtRunEnd& end, const KeptData& kept, const ValueBackup* own = nullptr,
                                           const std::vector<ValueFate>* ownFates = nullptr);

    // Keeps what an earlier version of the add-on left in its files, for no project known: the
    // values of each of its runs (`started` says when each run started) and its lists. Rows that
    // are there already stay as they are, so taking the same files twice keeps them once.
    std::optional<FileProblem> WriteEarlierVersion(const std::vector<std::pair<UInt32, ValueBackup>>& values,
                                                   const std::vector<KeptExpressionList>& lists,
                                                   const std::map<UInt32, std::string>& started);

private:
    // Runs `work` on the database in one transaction, opening the database first when it is not
    // open; without work (nullptr) it only opens it, in no transaction. A `write` transaction takes
    // the write lock at once (BEGIN IMMEDIATE), so that it waits for other writers here rather than
    // failing at its first change. A failure closes the database, which rolls the transaction back.
    // A store SQLite finds damaged is set aside and begun anew, and the work tried once more on the
    // new one; the problem when it fails for good.
    std::optional<FileProblem> Attempt(const std::function<void(SqliteDatabase&)>& work, bool write = false);

    SystemPath path;
    int busyMilliseconds;
    SystemPath setAside;
    SqliteDatabase database;
};

}  // namespace Quillmere
