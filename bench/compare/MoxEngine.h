#ifndef COMPARE_MOX_ENGINE_H
#define COMPARE_MOX_ENGINE_H

#include <map>
#include <memory>
#include <set>
#include <string>

#include "Engine.h"
#include "MoxBenchTable.h"

class MoxException;

// Mox as the comparison uses it: a system started on the database
// directory (lock list, buffer pool, log, catalog), the tables of
// MoxBenchTable, and transactions ended by MoxSystem::commit and rollback.
// The database directory is also the working directory, where the log
// files go.
//
// Reads in a read transaction take a shared lock on each table they touch.
// A deadlock or lock time-out is a retryable failure: abort() rolls the
// transaction back and the driver retries it.
class MoxEngine : public Engine {
  public:
    const char* name() const override { return "Mox"; }

    void create(const std::string& directory) override;
    // The managers are created on first use; the tables are the ones this
    // process or the one it was forked from created.
    void open(const std::string& directory) override;
    // Deletes this process's managers, which writes the pool's dirty pages;
    // the system keeps running for other processes.
    void close() override;
    // Stops the system with force.
    void releaseSystemResources(const std::string& directory) override;

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
    static void useDirectory(const std::string& directory);
    // Runs a Mox call, turning its MoxException into an EngineError.
    template <typename Call>
    auto guarded(Call call) -> decltype(call());
    EngineError errorOf(const MoxException& exception);
    // The table, share-locked first in a read transaction.
    MoxBenchTable& tableFor(int table);

    std::map<int, std::unique_ptr<MoxBenchTable>> tables;
    Access access = Access::Write;
    std::set<int> lockedForReading;
};

#endif
