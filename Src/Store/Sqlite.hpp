// A thin layer over SQLite for the store: a connection and prepared statements,
// each failure thrown as SqliteFailure (memory running out as std::bad_alloc) and caught by the
// store's own functions, which turn it into a FileProblem.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Common/SystemFiles.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace Quillmere {

// A call of SQLite failed: its result code and message.
class SqliteFailure : public std::runtime_error {
public:
    SqliteFailure(int code, const std::string& message) : std::runtime_error(message), code(code) {}
    // The file is not a database, or one whose content SQLite finds damaged.
    bool Damaged() const noexcept;
    const int code;
};

class SqliteStatement {
public:
    SqliteStatement(sqlite3* database, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters count from 1. Texts are copied.
    SqliteStatement& Bind(int index, std::string_view text);
    SqliteStatement& Bind(int index, std::int64_t number);
    SqliteStatement& BindOptional(int index, const std::optional<std::string>& text);  // NULL for nothing
    // Runs the statement to its next row: true when there is one. After the last row (false) the
    // statement is reset and may be bound and run again.
    bool Step();
    // Runs a statement that gives no rows; answers how many rows it inserted, changed or deleted.
    int Run();
    // Runs a query for one number: the first column of its first row; nothing when it gives none.
    std::optional<std::int64_t> FirstNumber();

    std::string_view Text(int column) const;  // empty for NULL
    std::int64_t Number(int column) const;
    std::optional<std::string> OptionalText(int column) const;  // nothing for NULL

private:
    sqlite3* database;
    sqlite3_stmt* statement = nullptr;
};

class SqliteDatabase {
public:
    SqliteDatabase() = default;
    ~SqliteDatabase() { Close(); }
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Opens (creating it when missing) the database file at `path` with a rollback journal, full
    // sync and a wait of `busyMilliseconds` for another connection's lock; reads its first page,
    // so that a file that is no database fails here. After a failure the connection is to be closed.
    void Open(const SystemPath& path, int busyMilliseconds);
    void Close() noexcept;
    bool IsOpen() const noexcept { return database != nullptr; }

    void Execute(std::string_view sql);
    SqliteStatement Prepare(std::string_view sql) { return SqliteStatement(database, sql); }

private:
    sqlite3* database = nullptr;
};

// Releases what SQLite holds for the module once no connection is open (at unload).
void ShutDownSqlite() noexcept;

}  // namespace Quillmere
