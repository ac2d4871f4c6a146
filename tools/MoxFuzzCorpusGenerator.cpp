// Writes the seed corpora of the fuzz targets from a real database:
//   MoxFuzzCorpusGenerator <directory>
// fills <directory>/MoxLogAnalysisFuzzer, /MoxTablePageFuzzer,
// /MoxRecordTupleFuzzer, /MoxTreePageFuzzer and /MoxDebugCommandFuzzer. A database is built in a temporary directory by
// the engine itself (tables of several pages, committed and open transactions, index entries whose page images hold
// newlines, a second log file) and its log files, segment files and rows become the seeds, in the input layouts of
// fuzz/MoxFuzzInput.h. The database lives in MOX_FUZZ_WORK (or a new temporary directory), which the caller removes.
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "MoxBuffer.h"
#include "MoxFuzzEnvironment.h"
#include "MoxIndexManager.h"
#include "MoxFuzzInput.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"
#include "MoxTuple.h"
#include "support/MoxScopedMemorySet.h"

namespace {

typedef MoxTupleFuzzInput::Column Column;

std::string outputDirectory;
std::mt19937 randomNumbers(20240601);

Uint32 pick(Uint32 bound) {
    return std::uniform_int_distribution<Uint32>(0, bound - 1)(randomNumbers);
}

std::string fileBytes(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeSeed(const std::string& target, const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(outputDirectory + "/" + target);
    std::ofstream(outputDirectory + "/" + target + "/" + name, std::ios::binary) << bytes;
}

void commit() {
    MoxRecordManager::getInstance()->commit();
    MoxBufferManager::getInstance()->commit();
    MoxLockManager::getInstance()->releaseAll();
    MoxTransactionManager::getInstance()->startNewTransaction();
}

std::string text(size_t length) {
    std::string bytes(length, ' ');
    for (char& c : bytes) c = static_cast<char>(pick(5) == 0 ? "\n;,N-"[pick(5)] : 'a' + pick(26));
    return bytes;
}

void insert(TableId table, const std::string& bytes) {
    MoxRecord record(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<Uint16>(bytes.size()));
    TupleId tid;
    MoxRecordManager::getInstance()->insert(record, table, tid);
}

// Index entries as the B-tree writes them: whole page images, here with
// newlines and separators inside.
void appendIndexEntries(int count) {
    for (int i = 0; i < count; ++i) {
        std::string before = text(MOX_PAGE_SIZE);
        std::string after = text(MOX_PAGE_SIZE);
        PageId page = static_cast<PageId>(1 + i);
        MoxIndexLogEntry entry(
            MoxTransactionManager::getInstance()->getCurrentTransactionID(), &page, 32769, before.data(), MOX_PAGE_SIZE,
            after.data(), MOX_PAGE_SIZE,
            i % 2 == 0 ? MoxAbstractLogEntry::INTEGER_OPERATION : MoxAbstractLogEntry::VARCHAR_OPERATION);
        MoxLogManager::getInstance()->createLogEntry(&entry);
    }
    MoxIndexLogEntry end(MoxTransactionManager::getInstance()->getCurrentTransactionID(), nullptr, 0, nullptr, 0,
                         nullptr, 0, MoxAbstractLogEntry::COMMIT);
    MoxLogManager::getInstance()->createLogEntry(&end);
}

// Makes the next appends go to the log file of the given number, as a full
// file would.
void switchLogFile(Uint16 number) {
    MoxScopedMemorySet connection(MoxMemoryManager::LogFileHandling);
    static_cast<MoxLogManager::LogFileHandling*>(connection.getData())->filenumber = number;
    connection.disconnect();
}

// Tables 1 to 3: small records that fill pages with many slots, large ones
// that take a page each, a mix. The log seeds are taken early, while the
// log is small: the first file after one committed transaction with index
// entries, the second after one more and one left open.
void buildDatabase(std::string& firstLog, std::string& secondLog) {
    const TableId tables[] = {1, 2, 3};
    for (TableId table : tables) MoxRecordManager::getInstance()->createTable(table);
    commit();
    for (int i = 0; i < 8; ++i) insert(1 + i % 3, text(1 + pick(60)));
    appendIndexEntries(2);
    commit();
    firstLog = fileBytes("1.log");
    switchLogFile(2);
    for (int i = 0; i < 4; ++i) insert(1, text(1 + pick(30)));
    commit();
    insert(3, text(100));
    secondLog = fileBytes("2.log");
    commit();
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 60; ++i) insert(1, text(1 + pick(40)));
        for (int i = 0; i < 4; ++i) insert(2, text(1500 + pick(2555)));
        for (int i = 0; i < 12; ++i) insert(3, text(1 + pick(900)));
        commit();
    }
    for (int i = 0; i < 5; ++i) insert(3, text(200));
    MoxBufferManager::getInstance()->flushAll();
}

void writeLogSeeds(const std::string& first, const std::string& second) {
    writeSeed("MoxLogAnalysisFuzzer", "two-files", first + MoxLogFuzzInput::logFileSeparator + second);
    writeSeed("MoxLogAnalysisFuzzer", "first-file", first);
    // A crash in the middle of an append leaves a torn entry.
    writeSeed("MoxLogAnalysisFuzzer", "torn-end", first.substr(0, first.size() * 2 / 3));
    // Record entries alone, up to the first index entry.
    writeSeed("MoxLogAnalysisFuzzer", "record-entries", first.substr(0, first.find("\nI;") + 1));
}

// Each table whole (up to 8 pages) with every operation, with the insert of
// a large record alone, and cut to its first two pages. An insert into any
// of them reads the inventory's count of entries, which was once bound
// to a reference in the packed page: misaligned in the pool.
void writePageSeeds() {
    const size_t maxPages = 8;
    for (TableId table = 1; table <= 3; ++table) {
        std::string segment = fileBytes("Seg" + std::to_string(table) + ".mox");
        segment.resize(std::min(segment.size(), maxPages * MOX_PAGE_SIZE));
        const std::string name = "table" + std::to_string(table);
        writeSeed("MoxTablePageFuzzer", name, MoxPageFuzzInput::encode(MoxPageFuzzInput::All, 100, 0, segment));
        writeSeed("MoxTablePageFuzzer", name + "-insert-large",
                  MoxPageFuzzInput::encode(MoxPageFuzzInput::Insert, 3000, 1, segment));
        // One inventory page and one data page alone.
        writeSeed("MoxTablePageFuzzer", name + "-two-pages",
                  MoxPageFuzzInput::encode(MoxPageFuzzInput::All, 20, 2, segment.substr(0, 2 * MOX_PAGE_SIZE)));
    }
    // The first slot of page 1 points beyond the page: the error that says
    // so once bound a reference to the packed slot, which is misaligned.
    std::string damaged = fileBytes("Seg1.mox").substr(0, 2 * MOX_PAGE_SIZE);
    const Uint16 beyond = 0xfff0;
    memcpy(&damaged[MOX_PAGE_SIZE + sizeof(MoxRecordLayout::SlotPageHeader) + offsetof(MoxRecordLayout::Slot, offset)],
           &beyond, sizeof(beyond));
    writeSeed("MoxTablePageFuzzer", "slot-beyond-the-page",
              MoxPageFuzzInput::encode(MoxPageFuzzInput::Reads, 1, 0, damaged));
}

// Index 2 over integer keys and index 3 over texts, each a tree of two
// levels, committed and written.
void buildIndexes() {
    MoxIndexManager* indexes = MoxIndexManager::getInstance();
    indexes->createIndex(2, false, BTree, INTEGER);
    indexes->createIndex(3, false, BTree, VARCHAR);
    for (Sint32 key = 0; key < 3000; ++key) {
        indexes->insert(2, MoxIndexKey(key * 7 % 3001), TupleId{static_cast<PageId>(1 + key / 200), 1});
    }
    for (Sint32 key = 0; key < 700; ++key) {
        const std::string textKey = "key" + std::to_string(key * 13 % 701) + text(pick(40));
        indexes->insert(3, MoxIndexKey(textKey.c_str()), TupleId{static_cast<PageId>(1 + key / 100), 2});
    }
    indexes->commit();
    commit();
    MoxBufferManager::getInstance()->flushAll();
}

// Each index's file whole (up to 12 pages) with every operation, and its
// inventory and root alone.
void writeTreeSeeds() {
    const size_t maxPages = 12;
    for (IndexId index : {2, 3}) {
        const bool varchar = index == 3;
        std::string segment =
            fileBytes("Seg" + std::to_string(MoxBufferManager::convertIndexIdToSegmentId(index)) + ".mox");
        segment.resize(std::min(segment.size(), maxPages * MOX_PAGE_SIZE));
        const std::string name = varchar ? "varchar-tree" : "integer-tree";
        writeSeed("MoxTreePageFuzzer", name, MoxTreeFuzzInput::encode(MoxTreeFuzzInput::All, varchar, 77, 2, segment));
        writeSeed("MoxTreePageFuzzer", name + "-root",
                  MoxTreeFuzzInput::encode(MoxTreeFuzzInput::All, varchar, 5, 1, segment.substr(0, 2 * MOX_PAGE_SIZE)));
    }
}

// Every debug command with arguments it takes, and one that it refuses.
void writeDebugSeeds() {
    const std::pair<const char*, const char*> calls[] = {{"BM_STATS", "LRU"},
                                                         {"BM_STATS", "HITRATIO"},
                                                         {"LM_STATS", "ALL"},
                                                         {"LOG_PRINT", "LISTLSN 1"},
                                                         {"LOG_PRINT", "SHOWLOG 1,0 1,4000"},
                                                         {"LOG_PRINT", "SHOWLOG 4711,2"},
                                                         {"index_all", "info 5"},
                                                         {"index_fsi", "dump 5"},
                                                         {"index_leafs", "dump 1"},
                                                         {"index_page", "dump 5 1"},
                                                         {"index_pages", "info 5 1 3"},
                                                         {"index_pages", "info 5 3 1"},
                                                         {"table_all", "dump SYSTABLES"},
                                                         {"table_page", "info SYSCOLUMNS 1"},
                                                         {"table_pages", "dump SYSINDEXES 0 2"},
                                                         {"table_page", "dump SYSTABLES x"},
                                                         {"transactionId", ""}};
    int number = 0;
    for (const auto& [command, arguments] : calls) {
        writeSeed("MoxDebugCommandFuzzer", "call" + std::to_string(number++),
                  MoxDebugFuzzInput::encode(command, arguments));
    }
}

// Rows built by the tuples of random tables, each with a few operations.
void writeTupleSeeds() {
    for (int seed = 0; seed < 24; ++seed) {
        std::vector<Column> columns(1 + pick(6));
        MoxTable table;
        table.createColumns(static_cast<Uint16>(columns.size()));
        for (Uint16 i = 0; i < columns.size(); ++i) {
            Column& column = columns[i];
            column.isInteger = pick(2) == 0;
            column.nullable = pick(2) == 0;
            column.maxLength = column.isInteger ? 4 : static_cast<Uint16>(1 + pick(seed % 3 == 0 ? 300 : 20));
            const std::string name = "C" + std::to_string(i);
            table.setColumnDefinition(i, name.c_str(), column.isInteger ? INTEGER : VARCHAR, column.maxLength,
                                      column.nullable);
        }
        MoxRecordTuple tuple(&table);
        for (Uint16 i = 0; i < columns.size(); ++i) {
            if (columns[i].nullable && pick(3) == 0) {
                columns[i].isInteger ? tuple.setInt(i, nullptr) : tuple.setVarchar(i, nullptr, 0);
            } else if (columns[i].isInteger) {
                Sint32 value = static_cast<Sint32>(randomNumbers());
                tuple.setInt(i, &value);
            } else {
                std::string value = text(pick(columns[i].maxLength + 1u));
                tuple.setVarchar(i, value.data(), static_cast<Uint16>(value.size()));
            }
        }
        const MoxRecord* row = tuple.getRecord();
        if (row == nullptr) continue;
        std::vector<MoxTupleFuzzInput::Operation> operations(pick(MoxTupleFuzzInput::maxOperations + 1));
        for (auto& operation : operations) {
            operation.kind = static_cast<Uint8>(pick(256));
            operation.column = static_cast<Uint8>(pick(static_cast<Uint32>(columns.size())));
            operation.value = static_cast<Sint32>(randomNumbers());
        }
        writeSeed("MoxRecordTupleFuzzer", "row" + std::to_string(seed),
                  MoxTupleFuzzInput::encode(
                      columns, operations,
                      std::string(reinterpret_cast<const char*>(row->getRecordData()), row->getLength())));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: MoxFuzzCorpusGenerator <directory>" << std::endl;
        return 2;
    }
    outputDirectory = std::filesystem::absolute(argv[1]).string();
    MoxFuzzEnvironment::enter();
    try {
        MoxFuzzEnvironment::startSystem();
        std::string firstLog;
        std::string secondLog;
        buildDatabase(firstLog, secondLog);
        writeLogSeeds(firstLog, secondLog);
        writePageSeeds();
        writeTupleSeeds();
        buildIndexes();
        writeTreeSeeds();
        writeDebugSeeds();
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
        return 1;
    }
    return 0;
}
