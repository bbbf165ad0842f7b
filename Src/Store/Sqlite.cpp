#include "Sqlite.hpp"

#include <new>

#include <sqlite3.h>

#include "Common/SizedBlocks.hpp"

namespace Quillmere {

namespace {

// Makes SQLite take its memory from the platform allocator, as everything of the module does.
// Called before each connection: it fails, and SQLite keeps what it has, once SQLite is in use
// (after its first connection, until ShutDownSqlite).
void ConfigureSqlite()
{
    static const sqlite3_mem_methods methods = {
        [](int bytes) { return bytes < 0 ? nullptr : SizedBlocks::Allocate(static_cast<std::size_t>(bytes)); },
        SizedBlocks::Free,
        [](void* block, int bytes) {
            return bytes < 0 ? nullptr : SizedBlocks::Reallocate(block, static_cast<std::size_t>(bytes));
        },
        [](void* block) { return static_cast<int>(SizedBlocks::Size(block)); }, [](int bytes) { return (bytes + 7) & ~7; },
        [](void*) { return SQLITE_OK; }, [](void*) {}, nullptr};
    sqlite3_config(SQLITE_CONFIG_MALLOC, &methods);
}

[[noreturn]] void Throw(sqlite3* database, int code)
{
    if ((code & 0xFF) == SQLITE_NOMEM)
        throw std::bad_alloc();
    throw SqliteFailure(code, database != nullptr ? sqlite3_errmsg(database) : sqlite3_errstr(code));
}

void Check(sqlite3* database, int code)
{
    if (code != SQLITE_OK)
        Throw(database, code);
}

}  // namespace

bool SqliteFailure::Damaged() const noexcept
{
    return (code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB;
}

void ShutDownSqlite() noexcept
{
    sqlite3_shutdown();
}

SqliteStatement::SqliteStatement(sqlite3* database, std::string_view sql) : database(database)
{
    Check(database, sqlite3_prepare_v2(database, sql.data(), static_cast<int>(sql.size()), &statement, nullptr));
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(statement);
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text)
{
    // A null pointer would bind NULL, not the empty text.
    const char* bytes = text.data() != nullptr ? text.data() : "";
    Check(database, sqlite3_bind_text(statement, index, bytes, static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t number)
{
    Check(database, sqlite3_bind_int64(statement, index, number));
    return *this;
}

SqliteStatement& SqliteStatement::BindOptional(int index, const std::optional<std::string>& text)
{
    if (text)
        return Bind(index, *text);
    Check(database, sqlite3_bind_null(statement, index));
    return *this;
}

bool SqliteStatement::Step()
{
    const int code = sqlite3_step(statement);
    if (code == SQLITE_ROW)
        return true;
    sqlite3_reset(statement);
    if (code != SQLITE_DONE)
        Throw(database, code);
    return false;
}

int SqliteStatement::Run()
{
    while (Step()) {
    }
    return sqlite3_changes(database);
}

std::optional<std::int64_t> SqliteStatement::FirstNumber()
{
    std::optional<std::int64_t> number;
    if (Step())
        number = Number(0);
    Run();
    return number;
}

std::string_view SqliteStatement::Text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (text == nullptr)
        return {};
    return std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

std::int64_t SqliteStatement::Number(int column) const
{
    return sqlite3_column_int64(statement, column);
}

std::optional<std::string> SqliteStatement::OptionalText(int column) const
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL)
        return std::nullopt;
    return std::string(Text(column));
}

void SqliteDatabase::Open(const SystemPath& path, int busyMilliseconds)
{
    ConfigureSqlite();
    // SQLite gives a connection even when it cannot open the file, which Close then releases.
    Check(database, sqlite3_open_v2(PathText(path).c_str(), &database,
                                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr));
    sqlite3_extended_result_codes(database, 1);
    sqlite3_busy_timeout(database, busyMilliseconds);
    // A rollback journal with a sync at every step of a commit: what is committed survives a
    // power loss, and an interrupted commit is rolled back by the next reader. A page cache of
    // up to 16 MB holds a run's whole transaction, which would otherwise spill and sync the
    // journal midway; deleted rows are not overwritten with zeros (as the Windows build does).
    Execute("PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL; PRAGMA foreign_keys = OFF;"
            "PRAGMA cache_size = -16384; PRAGMA secure_delete = OFF; SELECT count(*) FROM sqlite_master;");
}

void SqliteDatabase::Close() noexcept
{
    sqlite3_close_v2(database);  // nothing for none
    database = nullptr;
}

void SqliteDatabase::Execute(std::string_view sql)
{
    // sqlite3_exec leaves its message as the connection's (sqlite3_errmsg).
    if (sqlite3_exec(database, std::string(sql).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        Throw(database, sqlite3_extended_errcode(database));
}

}  // namespace Quillmere
