#include "MoxTortureTables.h"

#include <algorithm>

#include "MoxSupport.h"
#include "MoxTuple.h"

// The runs stand where a program stands, above the engine.
static const MoxComponent componentId = CommandLine;

namespace {

// Column numbers.
const Uint16 columnK = 0;
const Uint16 columnV = 1;
const Uint16 columnN = 2;
const Uint16 columnS = 3;

void check(MoxErrorCode rc) {
    if (rc != MOX_SUCCESS) {
        THROW(rc);
    }
}

}  // namespace

std::string MoxTortureTables::valueOf(Uint32 seed, Uint16 length) {
    std::string value(length, '\0');
    Uint32 state = seed * 2654435761u + 1;
    for (char& byte : value) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(' ' + (state >> 16) % 95);
    }
    return value;
}

void MoxTortureTables::create() {
    MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
    for (int number = 0; number < tableCount; ++number) {
        MoxTable table;
        check(table.setTableName(nameOf(number).c_str()));
        check(table.createColumns(4));
        check(table.setColumnDefinition(columnK, "K", INTEGER, 4, false));
        check(table.setColumnDefinition(columnV, "V", VARCHAR, maxValueLength, true));
        check(table.setColumnDefinition(columnN, "N", INTEGER, 4, false));
        check(table.setColumnDefinition(columnS, "S", INTEGER, 4, false));
        TableId tableId = 0;
        check(catalog->addTable(table, tableId));
        MoxRecordManager::getInstance()->createTable(tableId);
        for (Uint16 column : {columnK, columnN}) {
            MoxIndex index;
            const bool unique = column == columnK;
            check(index.setIndexName((nameOf(number) + (unique ? "_K" : "_N")).c_str()));
            check(index.setIndexType(BTree));
            check(index.setTableId(tableId));
            check(index.setColumnNumber(column));
            check(index.setUnique(unique));
            IndexId indexId = 0;
            check(catalog->addIndex(index, indexId));
            MoxIndexManager::getInstance()->createIndex(indexId, unique, BTree, INTEGER);
        }
    }
    MoxSystem::commit();
}

MoxTortureTables::MoxTortureTables() {
    MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
    for (int number = 0; number < tableCount; ++number) {
        Table& table = tables[number];
        check(catalog->getTableId(nameOf(number), table.id));
        check(catalog->getIndexId(nameOf(number) + "_K", table.byKey));
        check(catalog->getIndexId(nameOf(number) + "_N", table.byNumber));
        MoxTable* descriptor = nullptr;
        check(catalog->getTableDescriptor(table.id, descriptor));
        table.descriptor.reset(descriptor);
        MoxIndexManager::getInstance()->openIndex(table.byKey, true, BTree, INTEGER);
        MoxIndexManager::getInstance()->openIndex(table.byNumber, false, BTree, INTEGER);
    }
}

bool MoxTortureTables::find(int table, Sint32 key, TupleId& tid) {
    try {
        MoxIndexManager::getInstance()->find(tables[table].byKey, MoxIndexKey(key), tid);
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_NOT_FOUND_WARN) {
            throw;
        }
        return false;
    }
    return true;
}

void MoxTortureTables::put(int number, const Row& row) {
    Table& table = tables[number];
    MoxRecordTuple tuple(table.descriptor.get());
    const std::string value = valueOf(row.seed, row.length);
    const Sint32 numberValue = numberOf(row.seed);
    const Sint32 seed = static_cast<Sint32>(row.seed);
    check(tuple.setInt(columnK, &row.key));
    check(tuple.setVarchar(columnV, row.length == 0 ? nullptr : value.data(), row.length));
    check(tuple.setInt(columnN, &numberValue));
    check(tuple.setInt(columnS, &seed));
    MoxIndexManager* indexes = MoxIndexManager::getInstance();
    TupleId tid;
    if (!find(number, row.key, tid)) {
        MoxRecordManager::getInstance()->insert(*tuple.getRecord(), table.id, tid);
        indexes->insert(table.byKey, MoxIndexKey(row.key), tid);
        indexes->insert(table.byNumber, MoxIndexKey(numberValue), tid);
        return;
    }
    const Sint32 oldNumber = numberOf(rowOfKey(table, row.key, tid).seed);
    MoxRecordManager::getInstance()->replace(table.id, tid, *tuple.getRecord());
    if (oldNumber != numberValue) {
        indexes->update(table.byNumber, MoxIndexKey(oldNumber), MoxIndexKey(numberValue), &tid);
    }
}

bool MoxTortureTables::remove(int number, Sint32 key) {
    Table& table = tables[number];
    TupleId tid;
    if (!find(number, key, tid)) {
        return false;
    }
    const Sint32 oldNumber = numberOf(rowOfKey(table, key, tid).seed);
    MoxRecordManager::getInstance()->remove(table.id, tid);
    MoxIndexManager::getInstance()->remove(table.byKey, MoxIndexKey(key), &tid);
    MoxIndexManager::getInstance()->remove(table.byNumber, MoxIndexKey(oldNumber), &tid);
    return true;
}

MoxTortureTables::Row MoxTortureTables::rowOf(Table& table, MoxRecord* record, std::string& problem) {
    MoxRecordTuple tuple(record, table.descriptor.get());
    Row row;
    bool isNull = false;
    const char* text = nullptr;
    Sint32 numberValue = 0;
    Sint32 seed = 0;
    check(tuple.getIntValue(columnK, row.key, isNull));
    check(tuple.getVarchar(columnV, text, row.length));
    check(tuple.getIntValue(columnN, numberValue, isNull));
    check(tuple.getIntValue(columnS, seed, isNull));
    row.seed = static_cast<Uint32>(seed);
    const std::string value = text == nullptr ? std::string() : std::string(text, row.length);
    if (value != valueOf(row.seed, row.length) || numberValue != numberOf(row.seed)) {
        problem = "the columns of key " + std::to_string(row.key) + " do not belong together";
    }
    return row;
}

MoxTortureTables::Row MoxTortureTables::rowOfKey(Table& table, Sint32 key, const TupleId& tid) {
    MoxRecord* stored = nullptr;
    MoxRecordManager::getInstance()->get(table.id, tid, stored);
    std::string problem;
    const Row row = rowOf(table, stored, problem);
    // Removed and its slot taken by another row since the index led here;
    // the read's lock keeps it as it is from now on.
    if (row.key != key) {
        THROW(MOX_RM_REC_NOT_FOUND);
    }
    return row;
}

std::vector<TupleId> MoxTortureTables::entriesOf(IndexId index, const MoxIndexKey* start, const MoxIndexKey* stop) {
    MoxIndexIterator* created = nullptr;
    MoxIndexManager::getInstance()->findRange(index, start, stop, created);
    std::unique_ptr<MoxIndexIterator> iterator(created);
    std::vector<TupleId> entries;
    for (TupleId tid; iterator->hasNext() && iterator->getNextTupleId(tid) == MOX_SUCCESS;) {
        entries.push_back(tid);
    }
    return entries;
}

std::vector<std::string> MoxTortureTables::differences(int number, const Contents& contents) {
    Table& table = tables[number];
    const std::string name = nameOf(number) + ": ";
    std::vector<std::string> found;
    MoxRecordIterator* created = nullptr;
    MoxRecordManager::getInstance()->getRecordIterator(table.id, created);
    std::unique_ptr<MoxRecordIterator> scan(created);
    size_t rows = 0;
    MoxRecord* record = nullptr;
    while (scan->getNext(record) == MOX_SUCCESS) {
        ++rows;
        const TupleId tid = *record->getTupleId();
        std::string problem;
        const Row row = rowOf(table, record, problem);
        record = nullptr;
        if (!problem.empty()) {
            found.push_back(name + problem);
        }
        const auto expected = contents.find(row.key);
        if (expected == contents.end()) {
            found.push_back(name + "key " + std::to_string(row.key) + " is there but was not committed");
            continue;
        }
        if (!(expected->second == row)) {
            found.push_back(name + "key " + std::to_string(row.key) + " holds another value than committed");
        }
        TupleId indexed;
        if (!find(number, row.key, indexed) || !(indexed == tid)) {
            found.push_back(name + "the index on K does not lead to key " + std::to_string(row.key));
        }
        const MoxIndexKey numberKey(numberOf(row.seed));
        const std::vector<TupleId> sameNumber = entriesOf(table.byNumber, &numberKey, &numberKey);
        if (std::find(sameNumber.begin(), sameNumber.end(), tid) == sameNumber.end()) {
            found.push_back(name + "the index on N does not lead to key " + std::to_string(row.key));
        }
    }
    delete record;
    const size_t byKey = entriesOf(table.byKey, nullptr, nullptr).size();
    const size_t byNumber = entriesOf(table.byNumber, nullptr, nullptr).size();
    if (rows != contents.size() || byKey != rows || byNumber != rows) {
        found.push_back(name + std::to_string(rows) + " rows, " + std::to_string(byKey) + " and " +
                        std::to_string(byNumber) + " index entries; " + std::to_string(contents.size()) + " committed");
    }
    return found;
}
