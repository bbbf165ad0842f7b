#include "Store.hpp"

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
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            row += (column == 0 ? "" : "|") + std::string(text != nullptr ? text : "NULL");
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return rows;
}

std::size_t KeptValueCount(const std::filesystem::path& path)
{
    const std::vector<std::string> rows = StoreRows(path, "SELECT count(*) FROM kept_value");
    return rows.empty() ? 0 : std::stoul(rows[0]);
}

std::size_t KeptListCount(const std::filesystem::path& path)
{
    const std::vector<std::string> rows = StoreRows(path, "SELECT count(*) FROM kept_list");
    return rows.empty() ? 0 : std::stoul(rows[0]);
}

}  // namespace Support
