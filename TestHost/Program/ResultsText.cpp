#include "ResultsText.hpp"

#include <vector>

#include "Project.hpp"

namespace HostProgram {

namespace {

// Characters, not bytes, so that UTF-8 names keep the columns straight.
std::size_t DisplayWidth(const std::string& text)
{
    std::size_t width = 0;
    for (const char c : text)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return width;
}

// Prints rows as columns two blanks apart; the last column is not padded.
void PrintColumns(const std::vector<std::vector<std::string>>& rows, std::ostream& out)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line.append(widths[i] - DisplayWidth(row[i]) + 2, ' ');
        }
        out << line << "\n";
    }
}

std::string Counted(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string JoinExpressions(const std::vector<std::string>& expressions)
{
    if (expressions.empty())
        return "(empty list)";
    std::string joined;
    for (const std::string& expression : expressions)
        joined += (joined.empty() ? "" : " | ") + expression;
    return joined;
}

void PrintExpressionLists(const char* title, const std::vector<ExpressionList>& lists, std::ostream& out)
{
    out << title << ": " << lists.size() << "\n";
    for (const ExpressionList& list : lists)
        out << "  " << list.group << " / " << list.definition << ": " << JoinExpressions(list.expressions)
            << (list.renamedFrom.empty() ? "" : " (renamed from " + list.renamedFrom + ")") << "\n";
}

std::string JoinNames(const std::vector<std::string>& names)
{
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : ", ") + name;
    return joined.empty() ? "none" : joined;
}

}  // namespace

std::string SummaryLine(const RunResults& results)
{
    const std::size_t renamed = results.CountRenamed();
    return Counted(results.Count(ValueStatus::Kept), "value kept", "values kept") +
           (renamed == 0 ? "" : " (" + std::to_string(renamed) + " renamed)") + ", " +
           std::to_string(results.Count(ValueStatus::Changed)) + " changed, " +
           std::to_string(results.Count(ValueStatus::Lost)) + " lost; " +
           Counted(results.reapplied.size(), "expression list re-applied", "expression lists re-applied") + "; " +
           Counted(results.reportLines.size(), "report line", "report lines");
}

void PrintResults(const RunResults& results, std::ostream& out)
{
    const bool withUndo = results.undo.has_value();
    out << "\nOwned groups (whose removal the module asked for or whose values it read): "
        << (results.ownedGroups.empty() ? "none" : std::to_string(results.ownedGroups.size())) << " of "
        << results.groupCount;
    if (!results.ownedGroups.empty())
        out << ": " << JoinNames(results.ownedGroups);
    out << "\nOwned values, held before the command: " << results.values.size() << "\n";
    if (!results.values.empty()) {
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> header = {"ELEMENT", "GUID", "GROUP", "PROPERTY", "BEFORE", "AFTER"};
        if (withUndo)
            header.push_back("AFTER UNDO");
        header.push_back("STATUS");
        rows.push_back(header);
        for (const ValueRow& row : results.values) {
            // A value kept under other names shows them, and where it came from.
            const std::string& group = row.renamedTo ? row.renamedTo->first : row.before.group;
            const std::string& property = row.renamedTo ? row.renamedTo->second : row.before.property;
            std::vector<std::string> cells = {row.before.elementName, TestHost::GuidToText(row.before.element),
                                              group,                  property,
                                              ShowValue(row.before.value), ShowLaterValue(row.after)};
            if (withUndo)
                cells.push_back(row.afterUndo.has_value() ? ShowLaterValue(*row.afterUndo) : std::string());
            cells.push_back(std::string(StatusName(row.status)) +
                            (row.renamedTo ? " (renamed from " + ValueKeyText(row.before.group, row.before.property) + ")"
                                           : std::string()));
            rows.push_back(std::move(cells));
        }
        PrintColumns(rows, out);
    }
    out << "Values of other groups: " << results.otherValuesBefore << " before the command, "
        << results.otherValuesUnchanged << " unchanged after it\n";

    PrintExpressionLists("Expression lists re-applied", results.reapplied, out);
    PrintExpressionLists("Expression lists saved but not re-applied", results.notReapplied, out);

    if (withUndo) {
        const UndoOutcome& undo = *results.undo;
        out << "Undo: " << undo.steps.size() << " of " << undo.requested << " steps undone, newest first: "
            << JoinNames(undo.steps) << "\n"
            << "  groups back: " << JoinNames(undo.groupsBack) << "\n"
            << "  groups gone: " << JoinNames(undo.groupsGone) << "\n";
    }

    out << "Backup file " << (results.backupFilePresent ? "present: " : "absent: ") << results.backupFile << "\n";
    std::string calls;
    for (const auto& [name, count] : results.serviceCalls)
        calls += (calls.empty() ? "" : ", ") + name + " " + std::to_string(count);
    out << "Service calls: " << (calls.empty() ? "none" : calls) << "\n";
    if (!results.savedTo.empty())
        out << "Project saved: " << results.savedTo << "\n";
    if (!results.jsonTo.empty())
        out << "JSON written: " << results.jsonTo << "\n";
    out << SummaryLine(results) << std::endl;
}

}  // namespace HostProgram
