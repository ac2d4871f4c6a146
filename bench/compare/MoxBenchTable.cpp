#include "MoxBenchTable.h"

#include <cstring>
#include <memory>

#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxSupport.h"
#include "RowBytes.h"

namespace {

// Where the name of a (id INTEGER, name VARCHAR) row begins.
const size_t nameOffset = sizeof(int32_t) + sizeof(uint16_t);

}  // namespace

void MoxBenchTable::create() {
    MoxRecordManager::getInstance()->createTable(table);
}

TupleId MoxBenchTable::store(const std::string& bytes) {
    MoxRecord record(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<Uint16>(bytes.size()));
    TupleId tid;
    MoxRecordManager::getInstance()->insert(record, table, tid);
    return tid;
}

void MoxBenchTable::insert(int32_t key, std::string_view payload) {
    RowBytes::keyed(key, payload, row);
    tupleOfKey[key] = store(row);
}

void MoxBenchTable::insert(std::string_view name, int32_t id) {
    RowBytes::named(id, name, row);
    tupleOfName[std::string(name)] = store(row);
}

void MoxBenchTable::read(const TupleId& tid) {
    MoxRecordManager::getInstance()->get(table, tid, readBuffer);
}

bool MoxBenchTable::find(int32_t key) {
    auto found = tupleOfKey.find(key);
    if (found == tupleOfKey.end()) return false;
    read(found->second);
    return readBuffer->getLength() >= sizeof(int32_t) && RowBytes::firstInteger(readBuffer->getRecordData()) == key;
}

bool MoxBenchTable::find(std::string_view name) {
    auto found = tupleOfName.find(std::string(name));
    if (found == tupleOfName.end()) return false;
    read(found->second);
    return readBuffer->getLength() == nameOffset + name.size() &&
           memcmp(readBuffer->getRecordData() + nameOffset, name.data(), name.size()) == 0;
}

long MoxBenchTable::scan() {
    MoxRecordIterator* raw = nullptr;
    MoxRecordManager::getInstance()->getRecordIterator(table, raw);
    std::unique_ptr<MoxRecordIterator> iterator(raw);
    long rows = 0;
    MoxErrorCode rc;
    while ((rc = iterator->getNext(readBuffer)) == MOX_SUCCESS) ++rows;
    if (rc != MOX_NOT_FOUND_WARN) THROW(rc);
    return rows;
}

void MoxBenchTable::lockShared() {
    MoxLockManager::getInstance()->requestSegment(MoxBufferManager::convertTableIdToSegmentId(table),
                                                  MoxLockManager::SharedLock);
}
