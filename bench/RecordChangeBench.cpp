// Costs of changing records and of undoing and redoing them: replace in
// place, replace with a move and remove, each per operation next to an
// insert of the same record; the rollback of a transaction of 1,000 changes
// when the log already holds 10 MB and then 100 MB of other transactions'
// entries, which should cost the same (the rollback reads the
// transaction's own entries), next to a rollback that reads the whole log;
// and the recovery of the 100 MB log next to reading its files.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"

namespace {

const long operations = 20000;
// Records per transaction: the locks of a transaction must fit the lock list.
const long perTransaction = 1000;

void endRollback() {
    MoxBufferManager::getInstance()->rollback();
    MoxLockManager::getInstance()->releaseAll();
    MoxTransactionManager::getInstance()->startNewTransaction();
}

MoxRecord recordOf(size_t length, char fill) {
    const std::string bytes(length, fill);
    return MoxRecord(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<Uint16>(length));
}

// Nanoseconds per call of change(i) for i below count, committed in
// transactions of perTransaction calls.
double perOperation(long count, const std::function<void(long)>& change) {
    return secondsOf([&] {
               for (long i = 0; i < count; ++i) {
                   change(i);
                   if (i % perTransaction == perTransaction - 1) commitTransaction();
               }
               commitTransaction();
           }) /
           static_cast<double>(count) * 1e9;
}

// Inserts count records of length bytes into a new table and returns
// their TupleIds and the nanoseconds per insert.
double insertInto(TableId table, long count, size_t length, std::vector<TupleId>& tids) {
    MoxRecordManager* manager = MoxRecordManager::getInstance();
    manager->createTable(table);
    commitTransaction();
    const MoxRecord record = recordOf(length, 'i');
    tids.resize(static_cast<size_t>(count));
    return perOperation(count, [&](long i) { manager->insert(record, table, tids[static_cast<size_t>(i)]); });
}

Uint64 logBytes() {
    Uint64 total = 0;
    for (int number = 1; std::filesystem::exists(std::to_string(number) + ".log"); ++number) {
        total += std::filesystem::file_size(std::to_string(number) + ".log");
    }
    return total;
}

// Other transactions' committed inserts of 4,000-byte records until the
// log holds `bytes`.
void growLogTo(TableId table, Uint64 bytes) {
    MoxRecordManager* manager = MoxRecordManager::getInstance();
    const MoxRecord record = recordOf(4000, 'o');
    TupleId tid;
    while (logBytes() < bytes) {
        for (int i = 0; i < 500; ++i) manager->insert(record, table, tid);
        commitTransaction();
    }
}

struct Rollback {
    double list = 0;   // building the rollback list
    double total = 0;  // the whole rollback
};

// The rollback of a transaction of 1,000 inserts; wholeLog reads the whole
// log for its list instead of the transaction's chain.
Rollback rollbackOfThousandChanges(TableId table, bool wholeLog) {
    MoxRecordManager* manager = MoxRecordManager::getInstance();
    const MoxRecord record = recordOf(100, 'r');
    TupleId tid;
    for (int i = 0; i < 1000; ++i) manager->insert(record, table, tid);
    const MoxTransactionId self = MoxTransactionManager::getInstance()->getCurrentTransactionID();
    Rollback times;
    times.list = secondsOf([&] {
        MoxRecovery recovery;
        if (wholeLog) {
            recovery.AnalyseLog(MoxRecovery::RECORD);
        } else {
            recovery.AnalyseTransaction(MoxRecovery::RECORD, self, MoxLogManager::getInstance()->lastLsnOf(self));
        }
        recovery.makeRollbackLists(MoxRecovery::RECORD, self);
    });
    times.total = secondsOf([&] {
        if (wholeLog) {
            MoxRecovery recovery;
            recovery.AnalyseLog(MoxRecovery::RECORD);
            manager->rollback(recovery);
        } else {
            manager->rollback();
        }
    });
    endRollback();
    return times;
}

double readLogFiles() {
    return secondsOf([] {
        std::vector<char> buffer(1 << 20);
        for (int number = 1;; ++number) {
            std::ifstream file(std::to_string(number) + ".log", std::ios::binary);
            if (!file) break;
            while (file.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || file.gcount() > 0) {
            }
        }
    });
}

}  // namespace

int main() {
    BenchDatabase database;
    int result = 0;
    try {
        startSets();
        MoxRecordManager* manager = MoxRecordManager::getInstance();

        const TableId others = 3;
        const TableId own = 4;
        manager->createTable(others);
        manager->createTable(own);
        commitTransaction();
        growLogTo(others, 10 * 1024 * 1024);
        const Uint64 smallLog = logBytes();
        const Rollback small = rollbackOfThousandChanges(own, false);
        growLogTo(others, 100 * 1024 * 1024);
        const Uint64 largeLog = logBytes();
        const Rollback large = rollbackOfThousandChanges(own, false);
        const Rollback whole = rollbackOfThousandChanges(own, true);
        printf(
            "rollback of 1,000 changes, its list from the transaction's chain:\n"
            "  %llu MB of log: %7.1f ms (list %6.1f ms)\n"
            "  %llu MB of log: %7.1f ms (list %6.1f ms), ratio %.2f (list %.2f)\n"
            "  %llu MB, list from the whole log: %7.1f ms (list %6.1f ms), ratio to the chain %.2f\n",
            static_cast<unsigned long long>(smallLog >> 20), small.total * 1e3, small.list * 1e3,
            static_cast<unsigned long long>(largeLog >> 20), large.total * 1e3, large.list * 1e3,
            large.total / small.total, large.list / small.list, static_cast<unsigned long long>(largeLog >> 20),
            whole.total * 1e3, whole.list * 1e3, whole.total / large.total);

        MoxBufferManager::getInstance()->flushAll();
        const double read = readLogFiles();
        const double analyse = secondsOf([] {
            MoxRecovery recovery;
            recovery.AnalyseLog(MoxRecovery::RECORD);
        });
        std::streambuf* quiet = std::cout.rdbuf(nullptr);
        const double recover = secondsOf([&] { manager->recover(); });
        std::cout.rdbuf(quiet);
        commitTransaction();
        printf(
            "recover of %llu MB of log: %.2f s; reading its files %.2f s (ratio %.1f), analysing it %.2f s "
            "(ratio %.1f)\n",
            static_cast<unsigned long long>(logBytes() >> 20), recover, read, recover / read, analyse,
            recover / analyse);

        std::vector<TupleId> tids;
        printf("%ld records of 100 bytes, committed every %ld operations\n", operations, perTransaction);
        const double insert = insertInto(1, operations, 100, tids);
        const MoxRecord same = recordOf(100, 's');
        printRatio("replace in place vs insert of the same record",
                   perOperation(operations, [&](long i) { manager->replace(1, tids[static_cast<size_t>(i)], same); }),
                   insert);
        // Pages full of 100-byte records: a 3,000-byte record moves out.
        const long moves = 2000;
        const MoxRecord large3000 = recordOf(3000, 'm');
        std::vector<TupleId> largeTids;
        const double insertLarge = insertInto(2, moves, 3000, largeTids);
        printRatio(
            "replace with a move (100 to 3,000 bytes) vs insert of it",
            perOperation(moves, [&](long i) { manager->replace(1, tids[static_cast<size_t>(i * 9)], large3000); }),
            insertLarge);
        printRatio("remove vs insert of the same record",
                   perOperation(operations, [&](long i) { manager->remove(1, tids[static_cast<size_t>(i)]); }), insert);
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
        result = 1;
    }
    return result;
}
