#include "SqliteEngine.h"

#include <sqlite3.h>

namespace {

// How long a writer waits for another's lock before its transaction fails.
const int busyTimeoutMilliseconds = 10000;
// Page cache of about Mox's buffer pool (4 MB); negative means kibibytes.
const char* const cacheSize = "PRAGMA cache_size=-4000";

}  // namespace

SqliteEngine::~SqliteEngine() {
    close();
}

void SqliteEngine::check(int rc) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
    const int primary = rc & 0xff;
    throw EngineError(std::string("SQLite: ") + sqlite3_errstr(rc) + ": " + (db ? sqlite3_errmsg(db) : ""),
                      primary == SQLITE_BUSY || primary == SQLITE_LOCKED);
}

void SqliteEngine::execute(const std::string& sql) {
    check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr));
}

void SqliteEngine::open(const std::string& directory) {
    check(sqlite3_open_v2((directory + "/compare.sqlite").c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                          nullptr));
    check(sqlite3_busy_timeout(db, busyTimeoutMilliseconds));
    execute("PRAGMA synchronous=OFF");
    execute(cacheSize);
}

void SqliteEngine::create(const std::string& directory) {
    open(directory);
    execute("PRAGMA journal_mode=WAL");
}

void SqliteEngine::close() {
    for (auto& entry : statements) sqlite3_finalize(entry.second);
    statements.clear();
    if (db != nullptr) sqlite3_close(db);
    db = nullptr;
}

void SqliteEngine::createTable(int table, KeyKind kind) {
    const std::string name = tableName(table);
    execute(kind == KeyKind::IntegerKey ? "CREATE TABLE " + name + "(k INTEGER PRIMARY KEY, v TEXT NOT NULL)"
                                        : "CREATE TABLE " + name + "(id INTEGER NOT NULL, name TEXT NOT NULL UNIQUE)");
}

void SqliteEngine::begin(Access access) {
    execute(access == Access::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

void SqliteEngine::commit() {
    execute("COMMIT");
}

void SqliteEngine::abort() {
    if (!sqlite3_get_autocommit(db)) execute("ROLLBACK");
}

sqlite3_stmt* SqliteEngine::statement(int table, Statement which) {
    sqlite3_stmt*& prepared = statements[{table, which}];
    if (prepared == nullptr) {
        const std::string name = tableName(table);
        std::string sql;
        switch (which) {
            case InsertKeyed:
                sql = "INSERT INTO " + name + "(k, v) VALUES(?1, ?2)";
                break;
            case FindKeyed:
                sql = "SELECT v FROM " + name + " WHERE k = ?1";
                break;
            case InsertNamed:
                sql = "INSERT INTO " + name + "(name, id) VALUES(?1, ?2)";
                break;
            case FindNamed:
                sql = "SELECT id FROM " + name + " WHERE name = ?1";
                break;
            case ScanAll:
                sql = "SELECT * FROM " + name;
                break;
        }
        check(sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr));
    }
    return prepared;
}

bool SqliteEngine::stepOnce(sqlite3_stmt* prepared) {
    int rc = sqlite3_step(prepared);
    bool row = rc == SQLITE_ROW;
    // Touch the value, as a caller that reads the row would.
    if (row) sqlite3_column_bytes(prepared, 0);
    sqlite3_reset(prepared);
    check(rc);
    return row;
}

void SqliteEngine::insert(int table, int32_t key, std::string_view payload) {
    sqlite3_stmt* prepared = statement(table, InsertKeyed);
    sqlite3_bind_int(prepared, 1, key);
    sqlite3_bind_text(prepared, 2, payload.data(), static_cast<int>(payload.size()), SQLITE_STATIC);
    stepOnce(prepared);
}

void SqliteEngine::insert(int table, std::string_view name, int32_t id) {
    sqlite3_stmt* prepared = statement(table, InsertNamed);
    sqlite3_bind_text(prepared, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_int(prepared, 2, id);
    stepOnce(prepared);
}

bool SqliteEngine::find(int table, int32_t key) {
    sqlite3_stmt* prepared = statement(table, FindKeyed);
    sqlite3_bind_int(prepared, 1, key);
    return stepOnce(prepared);
}

bool SqliteEngine::find(int table, std::string_view name) {
    sqlite3_stmt* prepared = statement(table, FindNamed);
    sqlite3_bind_text(prepared, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    return stepOnce(prepared);
}

long SqliteEngine::scan(int table) {
    sqlite3_stmt* prepared = statement(table, ScanAll);
    long rows = 0;
    int rc;
    while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
        sqlite3_column_bytes(prepared, 1);
        ++rows;
    }
    sqlite3_reset(prepared);
    check(rc);
    return rows;
}
