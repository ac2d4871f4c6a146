// 200,000 random keys inserted into an index in one transaction, looked up
// and scanned through the leaf chain, next to a std::multimap of the same
// keys and to SQLite (an index on a column of the same type, one
// transaction, synchronous=OFF); and the log that the inserts wrote. Once
// with integer keys, once with varchar keys of 20 to 40 characters.

#include <sqlite3.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "MoxBuffer.h"
#include "MoxIndexManager.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"

namespace {

const int keyCount = 200000;

// Where scans leave what they read, so that the compiler keeps the reads.
volatile long scanSink = 0;

double now() {
    timespec clock;
    clock_gettime(CLOCK_MONOTONIC, &clock);
    return static_cast<double>(clock.tv_sec) * 1e9 + static_cast<double>(clock.tv_nsec);
}

// Nanoseconds per key of one pass over all keys.
struct Pass {
    double insert = 0;
    double lookup = 0;
    double scan = 0;
};

template <typename Body>
double perKey(Body body) {
    double start = now();
    body();
    return (now() - start) / keyCount;
}

// What each key type needs: its index key, its SQLite column and binding.
MoxIndexKey indexKey(Sint32 key) {
    return MoxIndexKey(key);
}
MoxIndexKey indexKey(const std::string& key) {
    return MoxIndexKey(key.c_str());
}
MoxDataType dataTypeOf(Sint32) {
    return INTEGER;
}
MoxDataType dataTypeOf(const std::string&) {
    return VARCHAR;
}
const char* sqlTypeOf(Sint32) {
    return "INTEGER";
}
const char* sqlTypeOf(const std::string&) {
    return "TEXT";
}
void bind(sqlite3_stmt* statement, Sint32 key) {
    sqlite3_bind_int(statement, 1, key);
}
void bind(sqlite3_stmt* statement, const std::string& key) {
    sqlite3_bind_text(statement, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
}

TupleId tupleOf(int i) {
    return TupleId{static_cast<PageId>(i / 200 + 1), static_cast<SlotId>(i % 200)};
}

void check(bool holds, const char* what) {
    if (!holds) {
        fprintf(stderr, "benchmark failed: %s\n", what);
        exit(1);
    }
}

long logBytes() {
    long bytes = 0;
    for (int number = 1; std::filesystem::exists(std::to_string(number) + ".log"); ++number) {
        bytes += static_cast<long>(std::filesystem::file_size(std::to_string(number) + ".log"));
    }
    return bytes;
}

// Ends the current transaction as the index manager does.
void commit() {
    MoxTransactionManager* transactions = MoxTransactionManager::getInstance();
    MoxIndexLogEntry end(transactions->getCurrentTransactionID(), nullptr, 0, nullptr, 0, nullptr, 0,
                         MoxAbstractLogEntry::COMMIT);
    MoxLogManager::getInstance()->createLogEntry(&end);
    MoxBufferManager::getInstance()->commit();
    MoxLockManager::getInstance()->releaseAll();
    transactions->startNewTransaction();
}

// The highest page id handed out, read straight from page 0.
PageId lastPageId(SegmentId segment) {
    MoxScopedPage first(segment, 0, MoxPage::FreeSpaceInventoryPage, MoxScopedPage::GetExistingPage);
    return reinterpret_cast<const MoxIndexFreeSpaceInventory::PageFormat*>(first->getPageData())->lastId;
}

// The size of one logged page change in the log file.
double oneEntryBytes() {
    PageId page = 1;
    std::string image(MOX_PAGE_SIZE, '\0');
    MoxIndexLogEntry entry(MoxTransactionId(), &page, 32769, image.data(), MOX_PAGE_SIZE, image.data(), MOX_PAGE_SIZE,
                           MoxAbstractLogEntry::INTEGER_OPERATION);
    delete[] entry.serialize();
    return entry.getLength() + 1;
}

template <typename Key>
Pass measureIndex(const std::vector<Key>& keys, IndexId benchIndex) {
    SegmentId segment = MoxBufferManager::convertIndexIdToSegmentId(benchIndex);
    MoxBufferManager::getInstance()->createSegment(segment);
    MoxBufferManager::getInstance()->openSegment(segment);
    MoxIndexBTree tree;
    check(tree.initialTree(benchIndex, dataTypeOf(keys[0]), false) == MOX_SUCCESS, "initialTree");

    Pass pass;
    long logBefore = logBytes();
    // Inserts that split a page, told apart by the page count (read
    // outside the timed calls), and the time they took.
    double splitting = 0;
    int splits = 0;
    for (int i = 0; i < keyCount; ++i) {
        PageId pagesBefore = lastPageId(segment);
        double start = now();
        check(tree.insertKey(indexKey(keys[i]), tupleOf(i)) == MOX_SUCCESS, "insertKey");
        double took = now() - start;
        pass.insert += took;
        if (lastPageId(segment) != pagesBefore) {
            splitting += took;
            ++splits;
        }
    }
    pass.insert /= keyCount;
    long logged = logBytes() - logBefore;
    auto lookUpAll = [&] {
        TupleId tupleId;
        for (int i = 0; i < keyCount; ++i) {
            check(tree.find(benchIndex, indexKey(keys[i]), tupleId) == MOX_SUCCESS, "find");
        }
    };
    // Each lock request searches the entries of the segment, which the
    // inserting transaction has filled with one intention lock per page.
    double lookupInInsertingTransaction = perKey(lookUpAll);
    commit();
    pass.lookup = perKey(lookUpAll);
    printf("index lookup: %.0f ns inside the inserting transaction, %.0f ns in a new one\n",
           lookupInInsertingTransaction, pass.lookup);
    pass.scan = perKey([&] {
        MoxIndexIterator* iterator = nullptr;
        check(tree.findRange(benchIndex, nullptr, nullptr, iterator) == MOX_SUCCESS, "findRange");
        TupleId tupleId;
        int seen = 0;
        long sum = 0;
        while (iterator->getNextTupleId(tupleId) == MOX_SUCCESS) {
            ++seen;
            sum += tupleId.slot;
        }
        scanSink = sum;
        delete iterator;
        check(seen == keyCount, "scan count");
    });

    // Every change logs the page twice; a split also logs each moved entry
    // as an insert into the new page.
    double entry = static_cast<double>(logged) / keyCount;
    double splitShare = 1.0 - static_cast<double>(keyCount) / (static_cast<double>(logged) / oneEntryBytes());
    printf("index log: %.0f bytes per inserted key, %.2f GB in all, %.0f%% of it written by %d splits\n", entry,
           static_cast<double>(logged) / 1e9, 100 * splitShare, splits);
    printf("index insert: %.1f%% of the insert time in the %d inserts that split (%.2f ms each)\n",
           100 * splitting / (pass.insert * keyCount), splits, splitting / splits / 1e6);
    return pass;
}

template <typename Key>
Pass measureMultimap(const std::vector<Key>& keys) {
    std::multimap<Key, TupleId> map;
    Pass pass;
    pass.insert = perKey([&] {
        for (int i = 0; i < keyCount; ++i) map.emplace(keys[i], tupleOf(i));
    });
    pass.lookup = perKey([&] {
        for (int i = 0; i < keyCount; ++i) check(map.find(keys[i]) != map.end(), "multimap find");
    });
    pass.scan = perKey([&] {
        long sum = 0;
        for (const auto& entry : map) sum += entry.second.slot;
        scanSink = sum;
    });
    return pass;
}

void execute(sqlite3* db, const char* sql) {
    check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK, sql);
}

template <typename Key>
Pass measureSqlite(const std::vector<Key>& keys) {
    sqlite3* db = nullptr;
    std::string file = std::string("bench-") + sqlTypeOf(keys[0]) + ".sqlite";
    check(sqlite3_open(file.c_str(), &db) == SQLITE_OK, "sqlite3_open");
    execute(db, "PRAGMA synchronous=OFF");
    execute(db, (std::string("CREATE TABLE rows (k ") + sqlTypeOf(keys[0]) + ", tid INTEGER)").c_str());
    execute(db, "CREATE INDEX rows_k ON rows (k)");
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* lookup = nullptr;
    sqlite3_stmt* scan = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO rows VALUES (?, ?)", -1, &insert, nullptr) == SQLITE_OK, "prepare");
    check(sqlite3_prepare_v2(db, "SELECT tid FROM rows WHERE k = ?", -1, &lookup, nullptr) == SQLITE_OK, "prepare");
    check(sqlite3_prepare_v2(db, "SELECT k FROM rows ORDER BY k", -1, &scan, nullptr) == SQLITE_OK, "prepare");
    Pass pass;
    pass.insert = perKey([&] {
        execute(db, "BEGIN");
        for (int i = 0; i < keyCount; ++i) {
            bind(insert, keys[i]);
            sqlite3_bind_int(insert, 2, i);
            check(sqlite3_step(insert) == SQLITE_DONE, "insert");
            sqlite3_reset(insert);
        }
        execute(db, "COMMIT");
    });
    pass.lookup = perKey([&] {
        for (int i = 0; i < keyCount; ++i) {
            bind(lookup, keys[i]);
            check(sqlite3_step(lookup) == SQLITE_ROW, "lookup");
            sqlite3_reset(lookup);
        }
    });
    pass.scan = perKey([&] {
        int seen = 0;
        long sum = 0;
        while (sqlite3_step(scan) == SQLITE_ROW) {
            ++seen;
            sum += sqlite3_column_bytes(scan, 0);
        }
        scanSink = sum;
        sqlite3_reset(scan);
        check(seen == keyCount, "sqlite scan count");
    });
    sqlite3_finalize(insert);
    sqlite3_finalize(lookup);
    sqlite3_finalize(scan);
    sqlite3_close(db);
    return pass;
}

void compare(const char* what, double index, double multimap, double sqlite) {
    printRatio(std::string(what) + ", index / std::multimap", index, multimap);
    printRatio(std::string(what) + ", index / SQLite", index, sqlite);
    printf("%s: index %.0f, std::multimap %.0f, SQLite %.0f operations per second\n", what, 1e9 / index, 1e9 / multimap,
           1e9 / sqlite);
}

template <typename Key>
void compareAll(const char* keyType, const std::vector<Key>& keys, IndexId index) {
    printf("== %s keys\n", keyType);
    Pass indexPass = measureIndex(keys, index);
    Pass multimap = measureMultimap(keys);
    Pass sqlite = measureSqlite(keys);
    compare("insert, one transaction", indexPass.insert, multimap.insert, sqlite.insert);
    compare("lookup", indexPass.lookup, multimap.lookup, sqlite.lookup);
    compare("scan in key order", indexPass.scan, multimap.scan, sqlite.scan);
}

}  // namespace

int main() {
    BenchDatabase database;
    MoxLockManager::initializeLockList();
    MoxBufferManager::initializeBuffer();
    MoxLogManager::initializeLogFileHandling();
    std::mt19937 random(13);
    std::vector<Sint32> integers(keyCount);
    for (Sint32& key : integers) key = std::uniform_int_distribution<Sint32>(MOX_MIN_SINT32, MOX_MAX_SINT32)(random);
    compareAll("integer", integers, 1);
    std::vector<std::string> texts(keyCount);
    for (std::string& key : texts) {
        key.resize(std::uniform_int_distribution<size_t>(20, 40)(random));
        for (char& character : key) character = static_cast<char>(std::uniform_int_distribution<int>('a', 'z')(random));
    }
    compareAll("varchar", texts, 2);
    return 0;
}
