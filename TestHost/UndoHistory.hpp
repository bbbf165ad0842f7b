// The host's undo history: named steps, each holding the inverses of the project changes made while
// it was open. Undoing a step replays its inverses newest first, which restores the project exactly
// (order, GUIDs, values, expressions) at a cost proportional to what the step changed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Project.hpp"

namespace TestHost {

class UndoHistory final : public ChangeRecorder {
public:
    // Attaches itself to `project` as its change recorder; detaches on destruction.
    explicit UndoHistory(Project& project);
    ~UndoHistory() override;
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Opens a step named `name`. Opening while a step is open starts a nested part of that step:
    // its changes belong to the outer step and `name` is not recorded.
    void OpenStep(const std::string& name);
    // Closes the innermost open step or nested part. With `keep` false its changes are rolled back
    // (and an outermost step leaves no entry); with `keep` true an outermost step joins the history.
    // Does nothing when no step is open.
    void CloseStep(bool keep);
    bool IsStepOpen() const noexcept { return !marks.empty(); }

    // Undoes the last `count` steps, newest first. Returns how many were undone: fewer when the
    // history is shorter, none while a step is open.
    std::size_t Undo(std::size_t count = 1);

    // Names of the steps in the history, oldest first.
    std::vector<std::string> StepNames() const;
    std::size_t StepCount() const noexcept { return steps.size(); }
    // Number of inverse actions of the step at `index` (oldest is 0); 0 for an index out of range.
    std::size_t ActionCount(std::size_t index) const noexcept;

    // Forgets every step (after the project has been replaced, say). Does nothing while a step is open.
    void Clear();

    // Keeps `inverse` in the open step; changes made outside any step are not undoable.
    void RecordInverse(InverseAction inverse) override;
    // Only while a step is open and no undo is being replayed.
    bool IsRecording() const noexcept override { return !replaying && IsStepOpen(); }

    Project& GetProject() noexcept { return project; }

private:
    struct Step {
        std::string name;
        std::vector<InverseAction> inverses;
    };

    void RollBack(std::vector<InverseAction>& inverses, std::size_t downTo);

    Project& project;
    std::vector<Step> steps;
    Step open;
    std::vector<std::size_t> marks;  // inverse count at the start of each open level
    bool replaying = false;
};

}  // namespace TestHost
