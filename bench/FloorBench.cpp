// The floor of each hot path: every operation next to the bare cost of the
// system calls its mechanisms require, measured in the same run.
//
// The units, timed here on their own:
//   X  an exclusive hold of a latch: MoxLatch get(Exclusive) and release(),
//      four semop calls (close the gate, wait for the readers and mark;
//      the shared release that fails, the exclusive release);
//   L  the log append's file work: open for appending, seek to the end,
//      write the line, close, on a file beside the log;
//   E  the test whether a segment's file exists, which every opening of a
//      segment asks first: one access() of its name.
// The floors, in those units (steady state: the transaction already holds
// the page lock and the inventory entry lock an insert needs):
//   buffer hit          2X       fix and release
//   lock request        4X       segment and page intentions, the slot, its release
//   log append          X + L    the log latch around the file work
//   insert              E + 7X + L  inventory page fixed to choose the page and
//                                 again to update its entry, the data page, the log
//   point read          E + 5X   slot lock (two intentions and the attempt, covered
//                                 by the table lock), the data page
//   index point read    2E + 6X  root and leaf opened and fixed, the root's
//                                 shared lock (intention and attempt)
//   scan step           E + 9X   the page's shared lock (intention, attempt), its
//                                 fix, then the read of the record as above
// Each operation's ratio to its floor is the median over several rounds, the
// units measured again in every round, so that a busy machine moves both.
// With an argument n (0 to 6) only operation n runs, once, for profilers
// and system call counters.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "MoxBuffer.h"
#include "MoxIndexManager.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"

namespace {

const int rounds = 5;
const long unitCalls = 20000;
const Uint16 recordLength = 100;
// Rows of each round's insert, and of the table that the reads use.
const long rowCount = 20000;
const IndexId indexId = 1;
const TableId readTable = 1;
// A segment that nothing else locks.
const SegmentId lockSegment = 900;

struct Units {
    double exclusive = 0;
    double logFile = 0;
    double exists = 0;
};

struct Floor {
    const char* name;
    double exists;
    double exclusive;
    double logFiles;
    double of(const Units& units) const {
        return exists * units.exists + exclusive * units.exclusive + logFiles * units.logFile;
    }
};

const Floor floors[] = {
    {"buffer hit (getPage + releasePage)", 0, 2, 0},
    {"lock request (requestSlot + releaseSlot)", 0, 4, 0},
    {"log append (createLogEntry, 100-byte insert)", 0, 1, 1},
    {"insert (100 bytes, one transaction)", 1, 7, 1},
    {"point read by TupleId (get)", 1, 5, 0},
    {"index point read (find)", 2, 6, 0},
    {"scan step (getNext)", 1, 9, 0},
};
const int operationCount = sizeof(floors) / sizeof(floors[0]);

void check(bool holds, const char* what) {
    if (!holds) {
        fprintf(stderr, "floor benchmark failed: %s\n", what);
        exit(1);
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Units measureUnits(MoxLatch& latch, size_t lineLength) {
    Units units;
    units.exclusive = nanosecondsPerCall(unitCalls, [&] {
        latch.get(MoxLatch::Exclusive);
        latch.release();
    });
    std::string line(lineLength, 'x');
    line.back() = '\n';
    units.logFile = nanosecondsPerCall(unitCalls / 4, [&] {
        int descriptor = open("floor.log", O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0660);
        check(descriptor >= 0 && lseek(descriptor, 0, SEEK_END) >= 0, "open floor.log");
        check(write(descriptor, line.data(), line.size()) == static_cast<ssize_t>(line.size()), "write floor.log");
        close(descriptor);
    });
    units.exists = nanosecondsPerCall(unitCalls, [] { check(access("Seg1.mox", R_OK) == 0, "access Seg1.mox"); });
    return units;
}

std::string rowBytes(long row) {
    std::string bytes(recordLength, 'r');
    snprintf(bytes.data(), bytes.size(), "%08ld", row);
    return bytes;
}

// The table and the index that the reads use, committed.
void loadReadData(std::vector<TupleId>& tids) {
    MoxRecordManager* records = MoxRecordManager::getInstance();
    MoxIndexManager* indexes = MoxIndexManager::getInstance();
    records->createTable(readTable);
    indexes->createIndex(indexId, true, BTree, INTEGER);
    tids.resize(rowCount);
    for (long row = 0; row < rowCount; ++row) {
        std::string bytes = rowBytes(row);
        MoxRecord record(reinterpret_cast<const unsigned char*>(bytes.data()), recordLength);
        records->insert(record, readTable, tids[row]);
        indexes->insert(indexId, MoxIndexKey(static_cast<Sint32>(row)), tids[row]);
    }
    indexes->commit();
    commitTransaction();
}

struct Workbench {
    std::vector<TupleId> tids;
    std::vector<Sint32> keys;
    TableId nextInsertTable = 100;
    PageId lockPage = 0;
    size_t logLine = 0;
};

double bufferHit(Workbench&) {
    MoxBufferManager* buffer = MoxBufferManager::getInstance();
    buffer->openSegment(readTable);
    MoxPage* page = nullptr;
    return nanosecondsPerCall(unitCalls, [&] {
        buffer->getPage(readTable, 1, MoxPage::DataPage, page);
        buffer->releasePage(page);
    });
}

double lockRequest(Workbench& bench) {
    MoxLockManager* locks = MoxLockManager::getInstance();
    return nanosecondsPerCall(unitCalls, [&] {
        locks->requestSlot(lockSegment, bench.lockPage, 1, MoxLockManager::SharedLock);
        locks->releaseSlot(lockSegment, bench.lockPage, 1);
        bench.lockPage = static_cast<PageId>((bench.lockPage + 1) % 1000);
    });
}

double logAppend(Workbench& bench) {
    MoxLogManager* log = MoxLogManager::getInstance();
    MoxTransactionId transaction = MoxTransactionManager::getInstance()->getCurrentTransactionID();
    std::string bytes = rowBytes(0);
    TupleId tid{1, 0};
    return nanosecondsPerCall(unitCalls / 4, [&] {
        MoxRecordLogEntry entry(transaction, readTable, nullptr, 0, bytes.data(), recordLength,
                                MoxAbstractLogEntry::INSERT, &tid, nullptr, nullptr);
        log->createLogEntry(&entry);
        bench.logLine = static_cast<size_t>(entry.getLength()) + 1;
    });
}

double insertRows(Workbench& bench) {
    MoxRecordManager* records = MoxRecordManager::getInstance();
    TableId table = bench.nextInsertTable++;
    records->createTable(table);
    commitTransaction();
    std::string bytes = rowBytes(0);
    MoxRecord record(reinterpret_cast<const unsigned char*>(bytes.data()), recordLength);
    TupleId tid;
    double seconds = secondsOf([&] {
        for (long row = 0; row < rowCount; ++row) records->insert(record, table, tid);
    });
    commitTransaction();
    return seconds * 1e9 / rowCount;
}

double pointReads(Workbench& bench) {
    MoxRecordManager* records = MoxRecordManager::getInstance();
    // One shared table lock covers the reads, as a bulk reader takes it:
    // a slot lock per row would fill the lock list.
    MoxLockManager::getInstance()->requestSegment(readTable, MoxLockManager::SharedLock);
    MoxRecord* read = nullptr;
    double seconds = secondsOf([&] {
        for (long row = 0; row < rowCount; ++row) records->get(readTable, bench.tids[bench.keys[row]], read);
    });
    check(read != nullptr && read->getLength() == recordLength, "point read");
    delete read;
    commitTransaction();
    return seconds * 1e9 / rowCount;
}

double indexReads(Workbench& bench) {
    MoxIndexManager* indexes = MoxIndexManager::getInstance();
    TupleId tid;
    double seconds = secondsOf([&] {
        for (long row = 0; row < rowCount; ++row) indexes->find(indexId, MoxIndexKey(bench.keys[row]), tid);
    });
    check(tid == bench.tids[bench.keys[rowCount - 1]], "index point read");
    commitTransaction();
    return seconds * 1e9 / rowCount;
}

double scanSteps(Workbench&) {
    MoxRecordManager* records = MoxRecordManager::getInstance();
    MoxLockManager::getInstance()->requestSegment(readTable, MoxLockManager::SharedLock);
    MoxRecord* read = nullptr;
    long scanned = 0;
    double seconds = secondsOf([&] {
        MoxRecordIterator* iterator = nullptr;
        records->getRecordIterator(readTable, iterator);
        while (iterator->getNext(read) == MOX_SUCCESS) ++scanned;
        delete iterator;
    });
    check(scanned == rowCount, "scan");
    delete read;
    commitTransaction();
    return seconds * 1e9 / rowCount;
}

void run(int only) {
    startSets();
    MoxLatch latch;
    THROW_RC(latch.initialize());
    Workbench bench;
    loadReadData(bench.tids);
    bench.keys.resize(rowCount);
    for (long row = 0; row < rowCount; ++row) bench.keys[row] = static_cast<Sint32>(row);
    std::shuffle(bench.keys.begin(), bench.keys.end(), std::mt19937(17));

    const std::function<double(Workbench&)> operations[operationCount] = {
        bufferHit, lockRequest, logAppend, insertRows, pointReads, indexReads, scanSteps};
    std::vector<double> measured[operationCount];
    std::vector<double> floorOf[operationCount];
    std::vector<double> ratios[operationCount];
    logAppend(bench);  // the length of the line the units write
    if (only >= 0 && only < operationCount) {
        latch.destroy(true);
        printf("%s: %.0f ns\n", floors[only].name, operations[only](bench));
        return;
    }
    for (int round = 0; round < rounds; ++round) {
        for (int op = 0; op < operationCount; ++op) {
            double ns = operations[op](bench);
            double floor = floors[op].of(measureUnits(latch, bench.logLine));
            measured[op].push_back(ns);
            floorOf[op].push_back(floor);
            ratios[op].push_back(ns / floor);
        }
    }
    Units units = measureUnits(latch, bench.logLine);
    latch.destroy(true);
    printf("units (last): X %.0f ns, L %.0f ns (%zu bytes), E %.0f ns\n", units.exclusive, units.logFile, bench.logLine,
           units.exists);
    printf("%-46s %12s %12s %8s\n", "operation", "ns", "floor ns", "ratio");
    for (int op = 0; op < operationCount; ++op) {
        printf("%-46s %12.0f %12.0f %8.2f\n", floors[op].name, median(measured[op]), median(floorOf[op]),
               median(ratios[op]));
    }
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    MoxError errorObject;
    BenchDatabase database;
    try {
        run(argc > 1 ? atoi(argv[1]) : -1);
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
        return 1;
    }
    return 0;
}
