#include "Store.hpp"

#include <algorithm>
#include <stdexcept>

#include <sqlite3.h>

#include "Folders.hpp"

namespace Support {

std::vector<std::string> StoreRows(const std::filesystem::path& path, const std::string& sql)
{
    std::vector<std::string> rows;
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return rows;
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(Utf8Path(path).c_str(), &database, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(database);
        throw std::runtime_error("cannot open the store " + Utf8Path(path));
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        const std::string why = sqlite3_errmsg(database);
        sqlite3_close(database);
        throw std::runtime_error("cannot query the store: " + why);
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        std::string row;
        for (int column = 0; column < sqlite3_column_count(statement); ++column) {
            // The column's bytes, NUL included.
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            row += column == 0 ? "" : "|";
            row += text != nullptr ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                                   : std::string("NULL");
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return rows;
}

std::string PackedValue(const std::string& property, int valueType, const std::string& reason, const std::string& text)
{
    std::string packed;
    for (const std::string& field : {property, std::to_string(valueType), reason, text})
        packed += std::to_string(field.size()) + ":" + field;
    return packed;
}

namespace {

std::string TakeField(std::string& packed)
{
    const std::size_t colon = packed.find(':');
    if (colon == std::string::npos || colon == 0)
        throw std::runtime_error("a packed row without a field's length: " + packed);
    const std::size_t length = std::stoul(packed.substr(0, colon));
    if (colon + 1 + length > packed.size())
        throw std::runtime_error("a packed row cut short: " + packed);
    const std::string field = packed.substr(colon + 1, length);
    packed.erase(0, colon + 1 + length);
    return field;
}

}  // namespace

std::vector<std::string> KeptValues(const std::filesystem::path& path)
{
    // The packed text goes last, so that a "|" in it does not split it.
    const std::vector<std::string> rows = StoreRows(
        path, "SELECT p.identity, v.element, v.grp, v.run, v.count, v.packed FROM kept_value v "
              "LEFT JOIN project p ON p.id = v.project");
    std::vector<std::string> values;
    for (const std::string& row : rows) {
        std::vector<std::string> columns;
        std::size_t from = 0;
        for (int column = 0; column < 5; ++column) {
            const std::size_t bar = row.find('|', from);
            columns.push_back(row.substr(from, bar - from));
            from = bar + 1;
        }
        std::string packed = row.substr(from);
        const std::string prefix = columns[0] + "|" + columns[1] + "|" + columns[2] + "|";
        std::size_t count = 0;
        for (; !packed.empty(); ++count) {
            const std::string property = TakeField(packed), type = TakeField(packed), reason = TakeField(packed);
            values.push_back(prefix + property + "|" + columns[3] + "|" + reason + "|" + type + "|" + TakeField(packed));
        }
        if (count == 0 || std::to_string(count) != columns[4])
            throw std::runtime_error("a row of kept values whose count is not its values': " + row);
    }
    std::sort(values.begin(), values.end(), [](const std::string& a, const std::string& b) {
        return KeptValueColumns(a) < KeptValueColumns(b);
    });
    return values;
}

std::vector<std::string> KeptValueColumns(const std::string& value)
{
    std::vector<std::string> columns;
    std::size_t from = 0;
    for (; columns.size() < 7; from = value.find('|', from) + 1)
        columns.push_back(value.substr(from, value.find('|', from) - from));
    columns.push_back(value.substr(from));
    return columns;
}

std::size_t KeptValueCount(const std::filesystem::path& path)
{
    return KeptValues(path).size();
}

std::size_t KeptListCount(const std::filesystem::path& path)
{
    const std::vector<std::string> rows = StoreRows(path, "SELECT count(*) FROM kept_list");
    return rows.empty() ? 0 : std::stoul(rows[0]);
}

}  // namespace Support
