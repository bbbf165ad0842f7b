// What one run of quillmere-host found out, gathered for the final table, the summary and the
// JSON file.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Host.hpp"
#include "ModuleLoader.hpp"
#include "ValueTable.hpp"

namespace HostProgram {

// One run of HostRunUndoableCommand as the module asked for it.
struct CommandStep {
    std::string name;
    GSErrCode result = NoError;  // non-zero: the host kept no step
};

// The expression list of one owned definition.
struct ExpressionList {
    std::string group;
    std::string definition;
    std::vector<std::string> expressions;
    std::string renamedFrom;  // "group / definition" of a list that came back under these names
};

// Finds the lists saved but not re-applied that came back, unchanged, into a definition whose names
// did not exist before the command (`namesBefore`: group and definition names): a renamed group or
// definition. Such a list leaves `notReapplied` and marks the re-applied one it became. The same
// definition name is taken first, then the same group; each re-applied list answers one.
void FindRenamedExpressionLists(std::vector<ExpressionList>& reapplied, std::vector<ExpressionList>& notReapplied,
                                const std::set<std::pair<std::string, std::string>>& namesBefore);

struct UndoOutcome {
    std::size_t requested = 0;
    std::vector<std::string> steps;          // the steps undone, newest first
    std::vector<std::string> groupsBack;     // groups there after the undo but not before it
    std::vector<std::string> groupsGone;     // groups there before the undo but not after it
};

struct RunResults {
    std::string project;                     // as given
    std::string moduleShownAs;
    TestHost::ModuleDescription module;
    std::string dialog;                      // "choose", "cancel" or "terminal"
    std::string configuration;               // as given with --choose
    std::string profile;
    std::string backupFile;
    bool backupFilePresent = false;          // the file is there after the run
    std::string savedTo;                     // --save, once written
    std::string jsonTo;                      // --json, once written

    std::vector<CommandStep> commands;
    std::vector<std::string> history;        // the host's undo steps after the command, oldest first
    std::vector<TestHost::Host::ReportLine> reportLines;
    std::vector<TestHost::Host::Alert> alerts;
    std::vector<std::string> debugLines;

    // The groups the module treated as its own: those whose removal it asked for and those whose
    // values it read. Their names, for the project's groups before the command, in host order.
    std::vector<std::string> ownedGroups;
    std::size_t groupCount = 0;              // the project's groups before the command
    ValueTable values;                       // owned values held before the command
    std::vector<ExpressionList> reapplied;   // definitions changed by successful commands
    std::vector<ExpressionList> notReapplied;  // flagged lists of owned definitions not re-applied
    std::size_t otherValuesBefore = 0;
    std::size_t otherValuesUnchanged = 0;
    std::optional<UndoOutcome> undo;
    std::vector<std::pair<std::string, UInt64>> serviceCalls;  // services called at least once

    // Counts of the rows by status, and of the kept rows that are kept under other names.
    std::size_t Count(ValueStatus status) const { return values.Count(status); }
    std::size_t CountRenamed() const { return values.CountRenamed(); }
};

}  // namespace HostProgram
