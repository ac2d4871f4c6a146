#ifndef COMPARE_BERKELEY_DB_ENGINE_H
#define COMPARE_BERKELEY_DB_ENGINE_H

#include <db.h>

#include <map>
#include <string>

#include "Engine.h"

// Berkeley DB in a transactional environment (locking, logging, a 4 MB
// cache like Mox's buffer pool) with DB_TXN_NOSYNC, shared by the processes
// through its region files; a B-tree file per table. An integer key is
// stored big-endian, so that the tree keeps numeric order; the value is the
// row bytes (a varchar keyed table: the name as key, the id as value). The
// deadlock detector runs whenever a lock request blocks; its victim's
// transaction is retried.
class BerkeleyDbEngine : public Engine {
  public:
    ~BerkeleyDbEngine() override;

    const char* name() const override { return "Berkeley DB"; }

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
    void openTable(int table, bool create);
    void put(int table, DBT& key, DBT& value);
    bool get(int table, DBT& key);
    DBT integerKey(int32_t key);

    DB_ENV* env = nullptr;
    DB_TXN* txn = nullptr;
    std::map<int, DB*> handles;
    std::string row;         // the row being inserted
    uint32_t keyBuffer = 0;  // the big-endian key
};

#endif
