#include "ResultsText.hpp"

#include <algorithm>
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

// The cells of one row of the value table.
std::vector<std::string> ValueCells(const ValueRow& row, bool withUndo)
{
    // A value kept under other names shows them, and where it came from.
    std::vector<std::string> cells = {row.elementName, TestHost::GuidToText(row.element), row.group, row.property,
                                      ShowValue(row.before), ShowLaterValue(row.after)};
    if (withUndo)
        cells.push_back(row.afterUndo.has_value() ? ShowLaterValue(*row.afterUndo) : std::string());
    cells.push_back(std::string(StatusName(row.status)) +
                    (row.renamed ? " (renamed from " + ValueKeyText(row.savedGroup, row.savedProperty) + ")" : std::string()));
    return cells;
}

// Prints the header and the rows of the value table as columns two blanks apart; the last column
// is not padded. The rows are made twice, once for the widths and once to print them, so that a
// table of millions of values is never in memory as text.
void PrintValueTable(const ValueTable& table, bool withUndo, std::ostream& out)
{
    std::vector<std::string> header = {"ELEMENT", "GUID", "GROUP", "PROPERTY", "BEFORE", "AFTER"};
    if (withUndo)
        header.push_back("AFTER UNDO");
    header.push_back("STATUS");
    std::vector<std::size_t> widths(header.size(), 0);
    const auto measure = [&widths](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(cells[i]));
    };
    measure(header);
    for (std::size_t index = 0; index < table.Size(); ++index)
        measure(ValueCells(table.Row(index), withUndo));
    std::string line;
    const auto print = [&](const std::vector<std::string>& cells) {
        line.clear();
        for (std::size_t i = 0; i < cells.size(); ++i) {
            line += cells[i];
            if (i + 1 < cells.size())
                line.append(widths[i] - DisplayWidth(cells[i]) + 2, ' ');
        }
        line += '\n';
        out << line;
    };
    print(header);
    for (std::size_t index = 0; index < table.Size(); ++index)
        print(ValueCells(table.Row(index), withUndo));
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
    out << "\nOwned values, held before the command: " << results.values.Size() << "\n";
    if (results.values.Size() != 0)
        PrintValueTable(results.values, withUndo, out);
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
