#ifndef COMPARE_LMDB_ENGINE_H
#define COMPARE_LMDB_ENGINE_H

#include <lmdb.h>

#include <map>
#include <string>

#include "Engine.h"

// LMDB with MDB_NOSYNC: one environment, a named database per table (an
// integer keyed one with MDB_INTEGERKEY), the row bytes as value (a
// varchar keyed table: the name as key, the id as value). Writers of all
// processes take turns on the environment's writer lock; nothing is
// retried.
class LmdbEngine : public Engine {
  public:
    ~LmdbEngine() override;

    const char* name() const override { return "LMDB"; }

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
    // Opens (or, with create, creates) the table's database in txn.
    void openTable(int table, KeyKind kind, bool create);
    void put(int table, MDB_val key, MDB_val value);
    bool get(int table, MDB_val key);

    MDB_env* env = nullptr;
    MDB_txn* txn = nullptr;
    std::map<int, KeyKind> kinds;
    std::map<int, MDB_dbi> handles;
    std::string row;             // the row being inserted
    unsigned int keyBuffer = 0;  // MDB_INTEGERKEY keys are unsigned int
};

#endif
