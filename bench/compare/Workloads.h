#ifndef COMPARE_WORKLOADS_H
#define COMPARE_WORKLOADS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Engine.h"
#include "IsolatedRun.h"
#include "Measurement.h"

// The workloads of the comparison and their data, made once from fixed
// seeds, so that every engine gets the same keys in the same order.
// Workloads that share a database form a scenario, which runs on a new
// database from start to end.
class Workloads {
  public:
    struct Sizes {
        long bulkRows = 100000;          // W1, W3, W4
        long smallTransactions = 20000;  // W2
        long names = 100000;             // W5
        long rowsPerProcess = 20000;     // W6, W7
        long rowsPerTransaction = 100;   // W6, W7
    };
    struct Workload {
        enum Kind { Insert, KeyRead, Scan };
        std::string label;
        Kind kind;
    };
    struct Scenario {
        std::vector<Workload> workloads;  // those it measures, in order
        IsolatedRun::Scenario run;
    };

    // Rows of 100 bytes in Mox's row layout: the key and a text of this length.
    static constexpr size_t payloadLength = 94;

    explicit Workloads(const Sizes& sizes);

    // W1 to W7; W6 and W7 with 1, 2 and 4 processes.
    std::vector<Scenario> scenarios() const;

  private:
    // W1 (all rows in one transaction), W3 (every key read once, in another
    // random order), W4 (a full scan), on one table.
    std::vector<Measurement> bulk(Engine& engine, const std::string& directory) const;
    // W2: a transaction for each row.
    std::vector<Measurement> smallTransactions(Engine& engine, const std::string& directory) const;
    // W5: varchar keys into a table in one transaction, then every key
    // looked up once in random order.
    std::vector<Measurement> names(Engine& engine, const std::string& directory) const;
    // W6 (one table for all) and W7 (a table for each process): processes
    // insert their rows at once, rowsPerTransaction in a transaction.
    std::vector<Measurement> processes(Engine& engine, const std::string& directory, int count, bool ownTables,
                                       const std::string& label) const;

    // Runs rows [0, count) through insertRow in transactions of perTransaction
    // rows; one that fails retryably is aborted and run again. Returns the
    // number of retries.
    static long insertInTransactions(Engine& engine, long count, long perTransaction,
                                     const std::function<void(long row)>& insertRow);
    // Looks every row of order up once through find, in one read
    // transaction; a row not found fails the measurement.
    static void findAll(Engine& engine, const std::vector<long>& order, const std::function<bool(long row)>& find,
                        Measurement& measurement);
    // Times body as the workload label of operations operations and appends
    // the measurement; an engine's failure ends only this measurement, and a
    // failed one leaves those after it in the scenario unrun.
    static void measure(std::vector<Measurement>& results, const std::string& label, long operations,
                        const std::function<void(Measurement&)>& body);

    Sizes sizes;
    std::string payload;
    std::vector<int32_t> bulkKeys;
    std::vector<long> bulkReadOrder;  // indices into bulkKeys
    std::vector<int32_t> smallKeys;
    std::vector<std::string> nameKeys;
    std::vector<long> nameReadOrder;   // indices into nameKeys
    std::vector<int32_t> processKeys;  // rowsPerProcess for each of up to four processes
};

#endif
