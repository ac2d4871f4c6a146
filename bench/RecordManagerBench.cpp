// Costs of the record manager: inserting, reading back by TupleId and
// scanning 100,000 records of 100 bytes, each next to the work it cannot
// avoid (the log append of the same bytes, the page fixes) and, where the
// library is there, next to the same workload in SQLite; then the cost of one
// insert into tables of 1, 100 and 10,000 full pages, which should grow with
// the inventory pages an insert reads and no faster.

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "BenchSupport.h"
#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"

namespace {

const long recordCount = 100000;
const Uint16 recordLength = 100;

void printRate(const std::string& label, double measuredSeconds, double baselineSeconds) {
    printf("%-58s %10.0f rec/s %10.0f rec/s   ratio %6.2f\n", label.c_str(), recordCount / measuredSeconds,
           recordCount / baselineSeconds, measuredSeconds / baselineSeconds);
    fflush(stdout);
}

struct Workload {
    double insert = 0;
    double get = 0;
    double scan = 0;
};

Workload recordManagerWorkload(TableId table, const std::string& bytes, std::vector<TupleId>& tids) {
    MoxRecordManager* manager = MoxRecordManager::getInstance();
    manager->createTable(table);
    commitTransaction();
    MoxRecord record(reinterpret_cast<const unsigned char*>(bytes.data()), recordLength);
    Workload times;
    tids.resize(recordCount);
    times.insert = secondsOf([&] {
        for (long i = 0; i < recordCount; ++i) manager->insert(record, table, tids[i]);
        commitTransaction();
    });
    // One shared table lock covers the reads, as a bulk reader would take
    // it: 100,000 record locks would not fit the lock list.
    MoxLockManager::getInstance()->requestSegment(table, MoxLockManager::SharedLock);
    MoxRecord* read = nullptr;
    times.get = secondsOf([&] {
        for (long i = 0; i < recordCount; ++i) manager->get(table, tids[i], read);
    });
    long scanned = 0;
    times.scan = secondsOf([&] {
        MoxRecordIterator* iterator = nullptr;
        manager->getRecordIterator(table, iterator);
        while (iterator->getNext(read) == MOX_SUCCESS) ++scanned;
        delete iterator;
    });
    delete read;
    commitTransaction();
    if (scanned != recordCount) fprintf(stderr, "scan returned %ld records\n", scanned);
    return times;
}

// The log append of each insert's entry, alone.
double logAppends(const std::string& bytes, const std::vector<TupleId>& tids) {
    MoxLogManager* log = MoxLogManager::getInstance();
    MoxTransactionId transaction = MoxTransactionManager::getInstance()->getCurrentTransactionID();
    return secondsOf([&] {
        for (long i = 0; i < recordCount; ++i) {
            MoxRecordLogEntry entry(transaction, 1, nullptr, 0, bytes.data(), recordLength, MoxAbstractLogEntry::INSERT,
                                    &tids[i], nullptr, nullptr);
            log->createLogEntry(&entry);
        }
    });
}

// One fix and release of each record's page, alone.
double pageFixes(TableId table, const std::vector<TupleId>& tids) {
    MoxBufferManager* buffer = MoxBufferManager::getInstance();
    MoxPage* page = nullptr;
    return secondsOf([&] {
        for (long i = 0; i < recordCount; ++i) {
            buffer->getPage(table, tids[i].page, MoxPage::DataPage, page);
            buffer->releasePage(page);
        }
    });
}

void sqliteExec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        fprintf(stderr, "sqlite: %s: %s\n", sql, message);
        sqlite3_free(message);
    }
}

Workload sqliteWorkload(const std::string& path, const std::string& bytes) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqliteExec(db, "PRAGMA synchronous=OFF");
    sqliteExec(db, "CREATE TABLE t(v BLOB)");
    Workload times;
    sqlite3_stmt* statement = nullptr;
    times.insert = secondsOf([&] {
        sqliteExec(db, "BEGIN");
        sqlite3_prepare_v2(db, "INSERT INTO t(v) VALUES(?)", -1, &statement, nullptr);
        for (long i = 0; i < recordCount; ++i) {
            sqlite3_bind_blob(statement, 1, bytes.data(), recordLength, SQLITE_STATIC);
            sqlite3_step(statement);
            sqlite3_reset(statement);
        }
        sqlite3_finalize(statement);
        sqliteExec(db, "COMMIT");
    });
    long bytesRead = 0;
    times.get = secondsOf([&] {
        sqliteExec(db, "BEGIN");
        sqlite3_prepare_v2(db, "SELECT v FROM t WHERE rowid=?", -1, &statement, nullptr);
        for (long i = 1; i <= recordCount; ++i) {
            sqlite3_bind_int64(statement, 1, i);
            if (sqlite3_step(statement) == SQLITE_ROW) bytesRead += sqlite3_column_bytes(statement, 0);
            sqlite3_reset(statement);
        }
        sqlite3_finalize(statement);
        sqliteExec(db, "COMMIT");
    });
    times.scan = secondsOf([&] {
        sqlite3_prepare_v2(db, "SELECT v FROM t", -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) bytesRead += sqlite3_column_bytes(statement, 0);
        sqlite3_finalize(statement);
    });
    sqlite3_close(db);
    if (bytesRead != 2 * recordCount * recordLength) fprintf(stderr, "sqlite read %ld bytes\n", bytesRead);
    return times;
}

// Microseconds of one 100-byte insert into a table whose first `full` data
// pages hold a 4055-byte record each and no room; inventoryPages receives
// how many inventory pages the table then has, all of which an insert reads.
double insertBehindFullPages(TableId table, long full, long& inventoryPages) {
    MoxRecordManager* manager = MoxRecordManager::getInstance();
    manager->createTable(table);
    commitTransaction();
    const std::string large(MoxRecordManager::MAX_RECORD_LENGTH, 'f');
    MoxRecord fill(reinterpret_cast<const unsigned char*>(large.data()), MoxRecordManager::MAX_RECORD_LENGTH);
    TupleId tid;
    for (long i = 0; i < full; ++i) {
        manager->insert(fill, table, tid);
        if (i % 500 == 499) commitTransaction();
    }
    commitTransaction();
    const std::string small(recordLength, 's');
    MoxRecord record(reinterpret_cast<const unsigned char*>(small.data()), recordLength);
    const long inserts = 2000;
    double elapsed = secondsOf([&] {
        for (long i = 0; i < inserts; ++i) manager->insert(record, table, tid);
    });
    commitTransaction();
    PageId next = 0;
    manager->getNewPageId(table, next);
    inventoryPages = next / MoxRecordManager::FSI_PAGE_DISTANCE + 1;
    return elapsed / inserts * 1e6;
}

}  // namespace

int main() {
    BenchDatabase database;
    int result = 0;
    try {
        startSets();
        const std::string bytes(recordLength, 'r');
        std::vector<TupleId> tids;
        Workload mox = recordManagerWorkload(1, bytes, tids);
        const double log = logAppends(bytes, tids);
        const double fixes = pageFixes(1, tids);
        printf("%ld records of %u bytes, one transaction each phase\n", recordCount, recordLength);
        printRate("insert vs log append of the same entry", mox.insert, log);
        printRate("insert vs log append and one page fix", mox.insert, log + fixes);
        printRate("get by TupleId vs one page fix", mox.get, fixes);
        printRate("scan vs one page fix per record", mox.scan, fixes);
        Workload lite = sqliteWorkload(database.directory() + "/bench.sqlite", bytes);
        printRate("insert vs SQLite (synchronous=OFF)", mox.insert, lite.insert);
        printRate("get by TupleId vs SQLite by rowid", mox.get, lite.get);
        printRate("scan vs SQLite scan", mox.scan, lite.scan);
        const long fullPages[] = {1, 100, 10000};
        double perInsert[3];
        long inventoryPages[3];
        for (int i = 0; i < 3; ++i) {
            perInsert[i] = insertBehindFullPages(static_cast<TableId>(2 + i), fullPages[i], inventoryPages[i]);
        }
        for (int i = 0; i < 3; ++i) {
            printf("insert behind %5ld full pages: %8.1f us, %6.2f times the first; %ld inventory pages\n",
                   fullPages[i], perInsert[i], perInsert[i] / perInsert[0], inventoryPages[i]);
        }
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
        result = 1;
    }
    return result;
}
