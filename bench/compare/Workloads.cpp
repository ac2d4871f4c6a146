#include "Workloads.h"

#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <unordered_set>

#include "Clock.h"
#include "WorkerGroup.h"

namespace {

const int integerTable = 1;
const int nameTable = 2;
const int maxProcesses = 4;
// A worker that says nothing for this long is taken for stuck (a lock
// time-out of any engine is far shorter).
const int workerSilenceSeconds = 120;

const char* const bulkInsert = "W1 insert, one transaction";
const char* const pointRead = "W3 point read";
const char* const fullScan = "W4 scan";
const char* const smallInserts = "W2 insert, a transaction each";
const char* const nameInsert = "W5 varchar insert";
const char* const nameLookup = "W5 varchar lookup";

template <typename Value>
std::vector<Value> shuffled(long count, Value first, std::mt19937& random) {
    std::vector<Value> values(static_cast<size_t>(count));
    std::iota(values.begin(), values.end(), first);
    std::shuffle(values.begin(), values.end(), random);
    return values;
}

std::string randomLetters(size_t length, std::mt19937& random) {
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string text(length, ' ');
    for (char& c : text) c = static_cast<char>(letter(random));
    return text;
}

std::string processLabel(const char* prefix, int processes) {
    return std::string(prefix) + std::to_string(processes) + (processes == 1 ? " process" : " processes");
}

}  // namespace

Workloads::Workloads(const Sizes& sizes) : sizes(sizes) {
    std::mt19937 random(17);
    payload = randomLetters(payloadLength, random);
    bulkKeys = shuffled<int32_t>(sizes.bulkRows, 1, random);
    bulkReadOrder = shuffled<long>(sizes.bulkRows, 0, random);
    smallKeys = shuffled<int32_t>(sizes.smallTransactions, 1, random);
    std::uniform_int_distribution<size_t> nameLength(20, 40);
    std::unordered_set<std::string> taken;
    while (static_cast<long>(nameKeys.size()) < sizes.names) {
        std::string name = randomLetters(nameLength(random), random);
        if (taken.insert(name).second) nameKeys.push_back(name);
    }
    nameReadOrder = shuffled<long>(sizes.names, 0, random);
    processKeys = shuffled<int32_t>(maxProcesses * sizes.rowsPerProcess, 1, random);
}

std::vector<Workloads::Scenario> Workloads::scenarios() const {
    using namespace std::placeholders;
    std::vector<Scenario> all = {
        {{{bulkInsert, Workload::Insert}, {pointRead, Workload::KeyRead}, {fullScan, Workload::Scan}},
         std::bind(&Workloads::bulk, this, _1, _2)},
        {{{smallInserts, Workload::Insert}}, std::bind(&Workloads::smallTransactions, this, _1, _2)},
        {{{nameInsert, Workload::Insert}, {nameLookup, Workload::KeyRead}}, std::bind(&Workloads::names, this, _1, _2)},
    };
    for (bool ownTables : {false, true}) {
        for (int count : {1, 2, 4}) {
            std::string label = processLabel(ownTables ? "W7 own tables, " : "W6 one table, ", count);
            all.push_back({{{label, Workload::Insert}},
                           [this, count, ownTables, label](Engine& engine, const std::string& directory) {
                               return processes(engine, directory, count, ownTables, label);
                           }});
        }
    }
    return all;
}

long Workloads::insertInTransactions(Engine& engine, long count, long perTransaction,
                                     const std::function<void(long row)>& insertRow) {
    long retries = 0;
    std::minstd_rand pauses(static_cast<unsigned>(getpid()));
    for (long first = 0; first < count; first += perTransaction) {
        const long last = std::min(count, first + perTransaction);
        for (int failures = 0;; ++failures) {
            try {
                engine.begin(Engine::Access::Write);
                for (long row = first; row < last; ++row) insertRow(row);
                engine.commit();
                break;
            } catch (const EngineError& error) {
                if (!error.retryable()) throw;
                engine.abort();
                ++retries;
            }
            // Writers that ran into each other and start again at once meet
            // again: a random pause that doubles with each failure, up to
            // 256 ms, lets one of them pass first.
            const long longest = 1000L << std::min(failures, 8);
            usleep(static_cast<useconds_t>(pauses() % longest));
        }
    }
    return retries;
}

void Workloads::findAll(Engine& engine, const std::vector<long>& order, const std::function<bool(long row)>& find,
                        Measurement& measurement) {
    long found = 0;
    engine.begin(Engine::Access::Read);
    for (long row : order) found += find(row);
    engine.commit();
    if (found != static_cast<long>(order.size())) {
        measurement.failure = "found " + std::to_string(found) + " of " + std::to_string(order.size()) + " keys";
    }
}

void Workloads::measure(std::vector<Measurement>& results, const std::string& label, long operations,
                        const std::function<void(Measurement&)>& body) {
    Measurement measurement;
    measurement.workload = label;
    measurement.operations = operations;
    if (!results.empty() && !results.back().failure.empty()) {
        measurement.failure = "not run: " + results.back().workload + " failed";
    } else {
        try {
            const double start = monotonicSeconds();
            body(measurement);
            measurement.seconds = monotonicSeconds() - start;
        } catch (const EngineError& error) {
            measurement.failure = error.what();
        }
    }
    results.push_back(measurement);
}

std::vector<Measurement> Workloads::bulk(Engine& engine, const std::string& directory) const {
    std::vector<Measurement> results;
    const long rows = sizes.bulkRows;
    engine.create(directory);
    engine.createTable(integerTable, Engine::KeyKind::IntegerKey);
    measure(results, bulkInsert, rows, [&](Measurement& measurement) {
        measurement.retries = insertInTransactions(
            engine, rows, rows, [&](long row) { engine.insert(integerTable, bulkKeys[row], payload); });
    });
    measure(results, pointRead, rows, [&](Measurement& measurement) {
        findAll(
            engine, bulkReadOrder, [&](long row) { return engine.find(integerTable, bulkKeys[row]); }, measurement);
    });
    measure(results, fullScan, rows, [&](Measurement& measurement) {
        engine.begin(Engine::Access::Read);
        long scanned = engine.scan(integerTable);
        engine.commit();
        if (scanned != rows) measurement.failure = "scanned " + std::to_string(scanned) + " rows";
    });
    engine.close();
    return results;
}

std::vector<Measurement> Workloads::smallTransactions(Engine& engine, const std::string& directory) const {
    std::vector<Measurement> results;
    engine.create(directory);
    engine.createTable(integerTable, Engine::KeyKind::IntegerKey);
    measure(results, smallInserts, sizes.smallTransactions, [&](Measurement& measurement) {
        measurement.retries = insertInTransactions(engine, sizes.smallTransactions, 1, [&](long row) {
            engine.insert(integerTable, smallKeys[row], payload);
        });
    });
    engine.close();
    return results;
}

std::vector<Measurement> Workloads::names(Engine& engine, const std::string& directory) const {
    std::vector<Measurement> results;
    const long count = sizes.names;
    engine.create(directory);
    engine.createTable(nameTable, Engine::KeyKind::VarcharKey);
    measure(results, nameInsert, count, [&](Measurement& measurement) {
        measurement.retries = insertInTransactions(engine, count, count, [&](long row) {
            engine.insert(nameTable, nameKeys[row], static_cast<int32_t>(row));
        });
    });
    measure(results, nameLookup, count, [&](Measurement& measurement) {
        findAll(
            engine, nameReadOrder, [&](long row) { return engine.find(nameTable, nameKeys[row]); }, measurement);
    });
    engine.close();
    return results;
}

std::vector<Measurement> Workloads::processes(Engine& engine, const std::string& directory, int count, bool ownTables,
                                              const std::string& label) const {
    const int tables = ownTables ? count : 1;
    const long perProcess = sizes.rowsPerProcess;
    engine.create(directory);
    for (int table = 1; table <= tables; ++table) engine.createTable(table, Engine::KeyKind::IntegerKey);
    engine.close();

    WorkerGroup::Worker worker;
    worker.setUp = [&](int) { engine.open(directory); };
    worker.work = [&](int index) {
        const int table = ownTables ? 1 + index : 1;
        const int32_t* keys = processKeys.data() + index * perProcess;
        return insertInTransactions(engine, perProcess, sizes.rowsPerTransaction,
                                    [&](long row) { engine.insert(table, keys[row], payload); });
    };
    worker.tearDown = [&] { engine.close(); };
    Measurement measurement = WorkerGroup::run(count, worker, workerSilenceSeconds);
    measurement.workload = label;
    measurement.operations = count * perProcess;
    if (measurement.failure.empty()) {
        // Every row once: a retry neither lost nor doubled one.
        try {
            engine.open(directory);
            engine.begin(Engine::Access::Read);
            long rows = 0;
            for (int table = 1; table <= tables; ++table) rows += engine.scan(table);
            engine.commit();
            engine.close();
            if (rows != measurement.operations) measurement.failure = "found " + std::to_string(rows) + " rows after";
        } catch (const EngineError& error) {
            measurement.failure = std::string("counting the rows after: ") + error.what();
        }
    }
    return {measurement};
}
