#ifndef COMPARE_ENGINE_H
#define COMPARE_ENGINE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "EngineError.h"

// What the comparison asks of an embedded engine: tables of rows found by a
// unique key, transactions, point reads and full scans. A table is named by
// the driver's small number; each adapter maps it to its own kind of table.
//
// Two kinds of table:
//   IntegerKey  rows (key, payload): a 4-byte integer key and a text that
//               make a row of 100 bytes
//   VarcharKey  rows (name, id): a text key of up to 40 characters and an
//               integer
//
// Rows are inserted, found and scanned inside a transaction (begin, then
// commit or abort). Failures throw EngineError; after a retryable one the
// caller aborts the transaction.
//
// Processes: create() makes a new database in an empty directory and opens
// it; close() ends this process's use of it. A process forked after close()
// calls open() before its first transaction; it knows the tables that the
// process it was forked from created. releaseSystemResources() runs
// in the driver after the last process that used the directory has ended,
// however it ended, and removes what outlives processes outside the
// directory.
class Engine {
  public:
    enum class KeyKind { IntegerKey, VarcharKey };
    enum class Access { Read, Write };

    virtual ~Engine() = default;

    virtual const char* name() const = 0;
    virtual void create(const std::string& directory) = 0;
    virtual void open(const std::string& directory) = 0;
    virtual void close() = 0;
    virtual void releaseSystemResources(const std::string& directory) { (void)directory; }

    // Creates an empty table in a transaction of its own.
    virtual void createTable(int table, KeyKind kind) = 0;

    virtual void begin(Access access) = 0;
    virtual void commit() = 0;
    virtual void abort() = 0;

    virtual void insert(int table, int32_t key, std::string_view payload) = 0;
    virtual void insert(int table, std::string_view name, int32_t id) = 0;
    // Whether the row with that key is there (its bytes are read).
    virtual bool find(int table, int32_t key) = 0;
    virtual bool find(int table, std::string_view name) = 0;
    // Reads every row once; returns how many.
    virtual long scan(int table) = 0;

  protected:
    // "t<table>", for engines that name their tables.
    static std::string tableName(int table) {
        char name[16];
        snprintf(name, sizeof(name), "t%d", table);
        return name;
    }
};

#endif
