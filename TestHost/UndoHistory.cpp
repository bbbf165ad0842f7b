#include "UndoHistory.hpp"

#include <utility>

namespace TestHost {

UndoHistory::UndoHistory(Project& project) : project(project)
{
    project.SetChangeRecorder(this);
}

UndoHistory::~UndoHistory()
{
    project.SetChangeRecorder(nullptr);
}

void UndoHistory::OpenStep(const std::string& name)
{
    if (marks.empty())
        open = Step{name, {}};
    marks.push_back(open.inverses.size());
}

void UndoHistory::CloseStep(bool keep)
{
    if (marks.empty())
        return;
    const std::size_t mark = marks.back();
    marks.pop_back();
    if (!keep)
        RollBack(open.inverses, mark);
    if (marks.empty()) {
        if (keep)
            steps.push_back(std::move(open));
        open = Step{};
    }
}

std::size_t UndoHistory::Undo(std::size_t count)
{
    if (IsStepOpen())
        return 0;
    std::size_t undone = 0;
    while (undone < count && !steps.empty()) {
        RollBack(steps.back().inverses, 0);
        steps.pop_back();
        ++undone;
    }
    return undone;
}

std::vector<std::string> UndoHistory::StepNames() const
{
    std::vector<std::string> names;
    names.reserve(steps.size());
    for (const Step& step : steps)
        names.push_back(step.name);
    return names;
}

std::size_t UndoHistory::ActionCount(std::size_t index) const noexcept
{
    return index < steps.size() ? steps[index].inverses.size() : 0;
}

void UndoHistory::Clear()
{
    if (!IsStepOpen())
        steps.clear();
}

void UndoHistory::RecordInverse(InverseAction inverse)
{
    if (!replaying && IsStepOpen())
        open.inverses.push_back(std::move(inverse));
}

void UndoHistory::RollBack(std::vector<InverseAction>& inverses, std::size_t downTo)
{
    // Inverses change the project too; they must not be recorded as new changes.
    struct Replaying {
        bool& flag;
        explicit Replaying(bool& flag) : flag(flag) { flag = true; }
        ~Replaying() { flag = false; }
    } guard(replaying);
    while (inverses.size() > downTo) {
        InverseAction inverse = std::move(inverses.back());
        inverses.pop_back();
        inverse(project);
    }
}

}  // namespace TestHost
