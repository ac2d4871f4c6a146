#ifndef COMPARE_SQLITE_ENGINE_H
#define COMPARE_SQLITE_ENGINE_H

#include <map>
#include <string>
#include <utility>

#include "Engine.h"

struct sqlite3;
struct sqlite3_stmt;

// SQLite in WAL mode with synchronous=OFF, one database file. An integer
// keyed table is t<n>(k INTEGER PRIMARY KEY, v TEXT), a varchar keyed one
// t<n>(id INTEGER, name TEXT UNIQUE). Writers begin IMMEDIATE and wait up to
// the busy time-out; a busy or locked database is a retryable failure.
// Statements are prepared once per table.
class SqliteEngine : public Engine {
  public:
    ~SqliteEngine() override;

    const char* name() const override { return "SQLite"; }

    void create(const std::string& directory) override;
    void open(const std::string& directory) override;
    void close() override;

    void createTable(int table, KeyKind kind) override;
    void begin(Access access) override;
    void commit() override;
    void abort() override;

    void insert(int table, int32_t key, std::string_view payload) override;
    void insert(int table, std::string_view name, int32_t id) override;
    bool find(int table, int32_t key) override;
    bool find(int table, std::string_view name) override;
    long scan(int table) override;

  private:
    enum Statement { InsertKeyed, FindKeyed, InsertNamed, FindNamed, ScanAll };

    void execute(const std::string& sql);
    // The table's statement of that kind, prepared on first use.
    sqlite3_stmt* statement(int table, Statement which);
    // Steps a statement to its end; true when it returned a row first.
    bool stepOnce(sqlite3_stmt* prepared);
    // Throws the connection's error unless rc is one of the good ones.
    void check(int rc);

    sqlite3* db = nullptr;
    std::map<std::pair<int, Statement>, sqlite3_stmt*> statements;
};

#endif
