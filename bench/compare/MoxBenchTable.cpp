#include "MoxBenchTable.h"

#include <unistd.h>

#include <memory>
#include <string>

#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxSupport.h"

namespace {

// The longest payload or name the workloads write.
const Uint16 longestText = 128;

void check(MoxErrorCode rc) {
    if (rc != MOX_SUCCESS) THROW(rc);
}

}  // namespace

void MoxBenchTable::create(int number) {
    const bool integerKey = key == Key::Integer;
    const std::string name = "BENCH" + std::to_string(number);
    check(table.setTableName(name.c_str()));
    check(table.createColumns(2));
    // The key column comes first in both kinds, so that column 0 is indexed.
    check(table.setColumnDefinition(0, integerKey ? "KEY" : "NAME", integerKey ? INTEGER : VARCHAR, integerKey ? 4 : 40,
                                    false));
    check(table.setColumnDefinition(1, integerKey ? "PAYLOAD" : "ID", integerKey ? VARCHAR : INTEGER,
                                    integerKey ? longestText : 4, false));
    MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
    check(catalog->addTable(table, tableId));
    check(table.setTableId(tableId));
    MoxRecordManager::getInstance()->createTable(tableId);

    MoxIndex index;
    check(index.setIndexName((name + "_KEY").c_str()));
    check(index.setIndexType(BTree));
    check(index.setTableId(tableId));
    check(index.setColumnNumber(0));
    check(index.setUnique(true));
    check(catalog->addIndex(index, indexId));
    MoxIndexManager::getInstance()->createIndex(indexId, true, BTree, integerKey ? INTEGER : VARCHAR);
    indexOpenIn = getpid();
}

void MoxBenchTable::openIndexInThisProcess() {
    if (indexOpenIn == getpid()) return;
    MoxIndexManager::getInstance()->openIndex(indexId, true, BTree, key == Key::Integer ? INTEGER : VARCHAR);
    indexOpenIn = getpid();
}

void MoxBenchTable::store(MoxRecordTuple& row, const MoxIndexKey& indexKey) {
    openIndexInThisProcess();
    TupleId tid;
    MoxRecordManager::getInstance()->insert(*row.getRecord(), tableId, tid);
    MoxIndexManager::getInstance()->insert(indexId, indexKey, tid);
}

void MoxBenchTable::insert(int32_t rowKey, std::string_view payload) {
    MoxRecordTuple row(&table);
    check(row.setInt(0, &rowKey));
    check(row.setVarchar(1, payload.data(), static_cast<Uint16>(payload.size())));
    store(row, MoxIndexKey(rowKey));
}

void MoxBenchTable::insert(std::string_view name, int32_t id) {
    const std::string text(name);
    MoxRecordTuple row(&table);
    check(row.setVarchar(0, text.data(), static_cast<Uint16>(text.size())));
    check(row.setInt(1, &id));
    store(row, MoxIndexKey(text.c_str()));
}

MoxRecord* MoxBenchTable::read(const MoxIndexKey& indexKey) {
    openIndexInThisProcess();
    TupleId tid;
    try {
        MoxIndexManager::getInstance()->find(indexId, indexKey, tid);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() == MOX_NOT_FOUND_WARN) return nullptr;
        throw;
    }
    MoxRecord* record = nullptr;
    MoxRecordManager::getInstance()->get(tableId, tid, record);
    return record;
}

bool MoxBenchTable::find(int32_t rowKey) {
    MoxRecord* record = read(MoxIndexKey(rowKey));
    if (record == nullptr) return false;
    MoxRecordTuple row(record, &table);
    Sint32 stored = 0;
    bool isNull = false;
    check(row.getIntValue(0, stored, isNull));
    return !isNull && stored == rowKey;
}

bool MoxBenchTable::find(std::string_view name) {
    const std::string text(name);
    MoxRecord* record = read(MoxIndexKey(text.c_str()));
    if (record == nullptr) return false;
    MoxRecordTuple row(record, &table);
    const char* stored = nullptr;
    Uint16 length = 0;
    check(row.getVarchar(0, stored, length));
    return stored != nullptr && std::string_view(stored, length) == name;
}

long MoxBenchTable::scan() {
    MoxRecordIterator* raw = nullptr;
    MoxRecordManager::getInstance()->getRecordIterator(tableId, raw);
    std::unique_ptr<MoxRecordIterator> iterator(raw);
    long rows = 0;
    MoxRecord* record = nullptr;
    MoxErrorCode rc;
    while ((rc = iterator->getNext(record)) == MOX_SUCCESS) ++rows;
    delete record;
    if (rc != MOX_NOT_FOUND_WARN) THROW(rc);
    return rows;
}

void MoxBenchTable::lockShared() {
    MoxLockManager::getInstance()->requestSegment(MoxBufferManager::convertTableIdToSegmentId(tableId),
                                                  MoxLockManager::SharedLock);
}
