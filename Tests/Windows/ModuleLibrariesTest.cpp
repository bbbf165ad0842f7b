// The libraries the module links in, as the Windows build compiles them (cmake/ModuleLibraries.cmake):
// SQLite keeps a store in a folder with a non-Latin name, as the user's local application data
// folder may have, committing with a rollback journal and full sync, and rolling back; expat reads
// names in any script, in UTF-8, UTF-16 and Latin-1, and refuses what is not well-formed XML or
// would expand without bound.
#include <filesystem>
#include <string>
#include <vector>

#include <expat.h>
#include <sqlite3.h>

#include "WindowsTestSupport.hpp"

namespace {

using WinTests::Utf8;

// A connection to the database at `path`, closed at the end.
class Database {
public:
    explicit Database(const std::filesystem::path& path)
    {
        opened = sqlite3_open_v2(Utf8(path.wstring()).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                 nullptr);
    }
    ~Database() { sqlite3_close(db); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    int Opened() const { return opened; }
    // Runs `sql`; answers SQLite's result code, and keeps its message for Message().
    int Run(const std::string& sql)
    {
        char* error = nullptr;
        const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
        message = error != nullptr ? error : "";
        sqlite3_free(error);
        return result;
    }
    // The rows of `sql`, each its columns' text joined with '=', then "error: <message>" if it failed.
    std::vector<std::string> Rows(const std::string& sql)
    {
        std::vector<std::string> rows;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            return {"error: " + std::string(sqlite3_errmsg(db))};
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            std::string row;
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
                row += (column > 0 ? "=" : "") + std::string(text != nullptr ? text : "");
            }
            rows.push_back(row);
        }
        if (step != SQLITE_DONE)
            rows.push_back("error: " + std::string(sqlite3_errmsg(db)));
        sqlite3_finalize(statement);
        return rows;
    }
    const std::string& Message() const { return message; }

private:
    sqlite3* db = nullptr;
    int opened = SQLITE_ERROR;
    std::string message;
};

TEST(ModuleLibraries, SQLiteKeepsAStoreInANonLatinFolderThroughCommitRollbackAndReopening)
{
    // "Local app data" in Chinese and "data" in Greek, as a user's profile folder may be named.
    const Support::ScratchFolder localAppData(
        L"-\u672c\u5730\u8d44\u6599-\u03b4\u03b5\u03b4\u03bf\u03bc\u03ad\u03bd\u03b1");
    const std::filesystem::path folder = localAppData.Path() / L"Quillmere";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::filesystem::path store = folder / L"\u4fdd\u7559-\u03c4\u03b9\u03bc\u03ad\u03c2.sqlite";
    const std::filesystem::path journal = folder / L"\u4fdd\u7559-\u03c4\u03b9\u03bc\u03ad\u03c2.sqlite-journal";
    const std::string greek = Utf8(L"\u0398\u03b5\u03c1\u03bc\u03b9\u03ba\u03ae");  // "thermal"
    const std::string chinese = Utf8(L"\u9632\u706b\u7b49\u7ea7");                // "fire rating"
    {
        Database db(store);
        ASSERT_EQ(db.Opened(), SQLITE_OK);
        EXPECT_EQ(db.Rows("PRAGMA journal_mode = DELETE"), std::vector<std::string>{"delete"});
        ASSERT_EQ(db.Run("PRAGMA synchronous = FULL"), SQLITE_OK);
        EXPECT_EQ(db.Rows("PRAGMA synchronous"), std::vector<std::string>{"2"});
        ASSERT_EQ(db.Run("CREATE TABLE kept (property TEXT PRIMARY KEY, value TEXT NOT NULL)"), SQLITE_OK)
            << db.Message();

        ASSERT_EQ(db.Run("BEGIN IMMEDIATE"), SQLITE_OK);
        ASSERT_EQ(db.Run("INSERT INTO kept VALUES ('" + greek + "', '0.25'), ('" + chinese + "', 'REI 60')"), SQLITE_OK)
            << db.Message();
        // The rollback journal sits beside the store, under the store's own (non-Latin) name.
        EXPECT_TRUE(std::filesystem::exists(journal));
        ASSERT_EQ(db.Run("COMMIT"), SQLITE_OK) << db.Message();
        EXPECT_FALSE(std::filesystem::exists(journal));

        ASSERT_EQ(db.Run("BEGIN IMMEDIATE"), SQLITE_OK);
        ASSERT_EQ(db.Run("DELETE FROM kept; INSERT INTO kept VALUES ('lost', 'x')"), SQLITE_OK) << db.Message();
        ASSERT_EQ(db.Run("ROLLBACK"), SQLITE_OK) << db.Message();

        // A double-quoted word is a column name, never text; no SQL loads a DLL into the host's process.
        EXPECT_EQ(db.Rows("SELECT \"no such column\""),
                  std::vector<std::string>{"error: no such column: no such column"});
        EXPECT_EQ(db.Rows("SELECT load_extension('other.dll')"),
                  std::vector<std::string>{"error: no such function: load_extension"});
    }
    ASSERT_TRUE(std::filesystem::is_regular_file(store));
    Database reopened(store);
    ASSERT_EQ(reopened.Opened(), SQLITE_OK);
    EXPECT_EQ(reopened.Rows("SELECT property, value FROM kept ORDER BY value"),
              (std::vector<std::string>{greek + "=0.25", chinese + "=REI 60"}));
    EXPECT_EQ(reopened.Rows("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
}

// What expat reported of one document: each start tag as "name" or "name attribute=value ...", or
// the error it stopped at.
struct ParseResult {
    std::vector<std::string> elements;
    XML_Error error = XML_ERROR_NONE;
};

ParseResult Parse(const std::string& bytes)
{
    ParseResult result;
    const XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &result);
    XML_SetStartElementHandler(parser, [](void* data, const XML_Char* name, const XML_Char** attributes) {
        std::string element = name;
        for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2)
            element += std::string(" ") + attribute[0] + "=" + attribute[1];
        static_cast<ParseResult*>(data)->elements.push_back(element);
    });
    if (XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), XML_TRUE) != XML_STATUS_OK)
        result.error = XML_GetErrorCode(parser);
    XML_ParserFree(parser);
    return result;
}

// `text` in UTF-16 little-endian with its byte order mark.
std::string Utf16LittleEndian(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (const wchar_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST(ModuleLibraries, ExpatReadsNamesInAnyScriptAndRefusesWhatIsNotWellFormed)
{
    // A group and a property named in Chinese and Greek, with German text.
    const std::wstring document = L"<\u5c5e\u6027\u7ec4 \u540d\u79f0=\"\u0394\u03bf\u03ba\u03cc\u03c2\">"
                                  L"<Eigenschaft Wert=\"W\u00e4rme\"/></\u5c5e\u6027\u7ec4>";
    const std::vector<std::string> elements = {
        Utf8(L"\u5c5e\u6027\u7ec4 \u540d\u79f0=\u0394\u03bf\u03ba\u03cc\u03c2"), Utf8(L"Eigenschaft Wert=W\u00e4rme")};
    // Each level of entities holds ten of the level below: 10^9 "lol"s in the end.
    std::string laughs = "<!DOCTYPE l [<!ENTITY l0 \"lol\">";
    for (int level = 1; level <= 9; ++level) {
        laughs += "<!ENTITY l" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += "&l" + std::to_string(level - 1) + ";";
        laughs += "\">";
    }
    laughs += "]><l>&l9;</l>";
    const struct {
        const char* what;
        std::string bytes;
        std::vector<std::string> elements;
        XML_Error error;
    } cases[] = {
        {"UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + Utf8(document), elements, XML_ERROR_NONE},
        {"UTF-16 with a byte order mark", Utf16LittleEndian(L"<?xml version=\"1.0\"?>" + document), elements,
         XML_ERROR_NONE},
        {"Latin-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Eigenschaft Wert=\"W\xE4rme\"/>", {elements[1]},
         XML_ERROR_NONE},
        {"a name starting with a digit", "<group><1property/></group>", {"group"}, XML_ERROR_INVALID_TOKEN},
        {"an undeclared entity", "<group>&nbsp;</group>", {"group"}, XML_ERROR_UNDEFINED_ENTITY},
        {"bytes that are not UTF-8", "<group name=\"W\xE4rme\"/>", {}, XML_ERROR_INVALID_TOKEN},
        {"entities expanding a billion times", laughs, {"l"}, XML_ERROR_AMPLIFICATION_LIMIT_BREACH},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ParseResult result = Parse(c.bytes);
        EXPECT_EQ(result.elements, c.elements);
        EXPECT_EQ(result.error, c.error) << XML_ErrorString(result.error);
    }
}

}  // namespace
