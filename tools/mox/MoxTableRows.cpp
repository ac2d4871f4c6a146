#include "MoxTableRows.h"

#include <algorithm>
#include <cctype>

#include "MoxCommandLine.h"
#include "MoxIterator.h"
#include "MoxRecordedFailure.h"
#include "MoxTuple.h"

bool MoxRowSelection::matches(const MoxRow& row) const {
    const MoxColumnValue& value = row[column];
    switch (kind) {
        case All:
            return true;
        case Equal:
            return value == low;
        case Range:
            return !value.isNull() && (low.isNull() || !(value < low)) && (high.isNull() || !(high < value));
    }
    return false;
}

std::string MoxTableRows::canonical(const std::string& name) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

MoxTableRows::MoxTableRows(const std::string& givenName)
    : records(MoxRecordManager::getInstance()), indexManager(MoxIndexManager::getInstance()) {
    MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
    for (const std::string& candidate : {givenName, canonical(givenName)}) {
        if (candidate.empty()) break;
        const MoxErrorCode rc = catalog->getTableId(candidate, tableId);
        if (rc == MOX_SUCCESS) {
            name = candidate;
            break;
        }
        if (rc != MOX_NOT_FOUND_WARN) MoxRecordedFailure::check(rc);
    }
    if (name.empty()) {
        throw MoxRefusal("no table named " + givenName);
    }
    MoxTable* descriptor = nullptr;
    MoxRecordedFailure::check(catalog->getTableDescriptor(tableId, descriptor));
    table.reset(descriptor);
    Uint16 count = 0;
    MoxRecordedFailure::check(table->getNumColumns(count));
    for (Uint16 column = 0; column < count; ++column) {
        const char* columnName = nullptr;
        MoxRecordedFailure::check(table->getColumnName(column, columnName));
        columns.push_back(columnName);
    }
    MoxRecordedFailure::check(table->retrieveIndexInformation());
    const Uint16 indexCount = table->getNumIndexes();
    for (Uint16 position = 0; position < indexCount; ++position) {
        MoxIndex* descriptorOfIndex = nullptr;
        table->getIndex(position, descriptorOfIndex);
        Index index{};
        const char* indexName = nullptr;
        MoxIndexType type = UnknownIndexType;
        MoxRecordedFailure::check(descriptorOfIndex->getIndexId(index.id));
        MoxRecordedFailure::check(descriptorOfIndex->getIndexName(indexName));
        MoxRecordedFailure::check(descriptorOfIndex->getIndexType(type));
        MoxRecordedFailure::check(descriptorOfIndex->getColumnNumber(index.column));
        MoxRecordedFailure::check(descriptorOfIndex->getUnique(index.unique));
        if (type != BTree || index.column >= count) continue;
        index.name = indexName;
        indexManager->openIndex(index.id, index.unique, BTree, typeOf(index.column));
        indexes.push_back(index);
    }
}

void MoxTableRows::requireUserTable() const {
    if (tableId <= MoxCatalogManager::MAX_CATALOG_TABLEID) {
        throw MoxRefusal(name + " is a catalog table, which changes only with the definitions it holds");
    }
}

Uint16 MoxTableRows::columnNumber(const std::string& column) const {
    for (const std::string& candidate : {column, canonical(column)}) {
        const auto found = std::find(columns.begin(), columns.end(), candidate);
        if (found != columns.end()) return static_cast<Uint16>(found - columns.begin());
    }
    throw MoxRefusal("table " + name + " has no column " + column);
}

MoxDataType MoxTableRows::typeOf(Uint16 column) const {
    MoxDataType type = UnknownDataType;
    MoxRecordedFailure::check(table->getColumnDatatype(column, type));
    return type;
}

MoxRow MoxTableRows::parseRow(const std::vector<MoxCsvField>& fields) const {
    if (fields.size() != columns.size()) {
        throw MoxValueError(std::to_string(fields.size()) + (fields.size() == 1 ? " field" : " fields") + ", table " +
                            name + " has " + std::to_string(columns.size()) + " columns");
    }
    MoxRow row;
    for (Uint16 column = 0; column < columns.size(); ++column) {
        row.push_back(MoxColumnValue::parse(*table, column, fields[column]));
    }
    return row;
}

namespace {

// The record of a row, built column by column with the table's layout.
class RowRecord {
  public:
    RowRecord(const MoxTable& table, const MoxRow& row) : tuple(&table) {
        for (Uint16 column = 0; column < row.size(); ++column) {
            const MoxColumnValue& value = row[column];
            if (value.getType() == INTEGER) {
                const Sint32 number = value.getInteger();
                MoxRecordedFailure::check(tuple.setInt(column, &number));
            } else if (value.getType() == VARCHAR) {
                const std::string& text = value.getText();
                MoxRecordedFailure::check(tuple.setVarchar(column, text.data(), static_cast<Uint16>(text.size())));
            } else {
                MoxDataType type = UnknownDataType;
                MoxRecordedFailure::check(table.getColumnDatatype(column, type));
                MoxRecordedFailure::check(type == INTEGER ? tuple.setInt(column, nullptr)
                                                          : tuple.setVarchar(column, nullptr, 0));
            }
        }
    }
    const MoxRecord& record() const {
        const MoxRecord* built = tuple.getRecord();
        if (built == nullptr) MoxRecordedFailure::check(MoxError::getErrorObject()->getErrorCode());
        return *built;
    }

  private:
    MoxRecordTuple tuple;
};

}  // namespace

TupleId MoxTableRows::insert(const MoxRow& row) {
    const RowRecord built(*table, row);
    TupleId tid;
    records->insert(built.record(), tableId, tid);
    for (const Index& index : indexes) {
        if (!row[index.column].isNull()) indexManager->insert(index.id, row[index.column].toKey(), tid);
    }
    return tid;
}

MoxRow MoxTableRows::decode(MoxRecord* record) const {
    MoxRecordTuple tuple(table.get());
    MoxRecordedFailure::check(tuple.initialize(record, table.get()));
    MoxRow row;
    for (Uint16 column = 0; column < columns.size(); ++column) {
        if (typeOf(column) == INTEGER) {
            Sint32 number = 0;
            bool isNull = false;
            MoxRecordedFailure::check(tuple.getIntValue(column, number, isNull));
            row.push_back(isNull ? MoxColumnValue() : MoxColumnValue(number));
        } else {
            const char* text = nullptr;
            Uint16 length = 0;
            MoxRecordedFailure::check(tuple.getVarchar(column, text, length));
            row.push_back(text == nullptr ? MoxColumnValue() : MoxColumnValue(std::string(text, length)));
        }
    }
    return row;
}

MoxRow MoxTableRows::read(const TupleId& tid, bool forUpdate) const {
    MoxRecord* record = nullptr;
    if (forUpdate) {
        records->getForUpdate(tableId, tid, record);
    } else {
        records->get(tableId, tid, record);
    }
    return decode(record);
}

void MoxTableRows::remove(const TupleId& tid, const MoxRow& current) {
    for (const Index& index : indexes) {
        if (!current[index.column].isNull()) indexManager->remove(index.id, current[index.column].toKey(), &tid);
    }
    records->remove(tableId, tid);
}

void MoxTableRows::update(const TupleId& tid, const MoxRow& current, const MoxRow& changed) {
    const RowRecord built(*table, changed);
    records->replace(tableId, tid, built.record());
    for (const Index& index : indexes) {
        const MoxColumnValue& before = current[index.column];
        const MoxColumnValue& after = changed[index.column];
        if (before == after) continue;
        if (!before.isNull()) indexManager->remove(index.id, before.toKey(), &tid);
        if (!after.isNull()) indexManager->insert(index.id, after.toKey(), tid);
    }
}

const MoxTableRows::Index* MoxTableRows::indexFor(const MoxRowSelection& selection) const {
    if (selection.kind == MoxRowSelection::All ||
        (selection.kind == MoxRowSelection::Equal && selection.low.isNull())) {
        return nullptr;
    }
    const auto found = std::find_if(indexes.begin(), indexes.end(),
                                    [&selection](const Index& index) { return index.column == selection.column; });
    return found == indexes.end() ? nullptr : &*found;
}

std::string MoxTableRows::describePath(const MoxRowSelection& selection) const {
    const Index* index = indexFor(selection);
    if (index != nullptr) {
        return "index " + index->name + " (id " + std::to_string(index->id) + ") on " + columns[selection.column] +
               (selection.kind == MoxRowSelection::Equal ? ", one key" : ", key range");
    }
    return "full scan of " + name +
           (selection.kind == MoxRowSelection::All ? "" : ", filter on " + columns[selection.column]);
}

std::vector<std::pair<TupleId, MoxRow>> MoxTableRows::select(const MoxRowSelection& selection, bool forUpdate) const {
    std::vector<std::pair<TupleId, MoxRow>> chosen;
    const Index* index = indexFor(selection);
    if (index != nullptr) {
        // Keys before records: the iterator reads leaves without locks, so
        // each row is read under its record lock and checked once more.
        const MoxColumnValue& last = selection.kind == MoxRowSelection::Equal ? selection.low : selection.high;
        const MoxIndexKey lowKey = selection.low.isNull() ? MoxIndexKey() : selection.low.toKey();
        const MoxIndexKey highKey = last.isNull() ? MoxIndexKey() : last.toKey();
        MoxIndexIterator* iterator = nullptr;
        indexManager->findRange(index->id, selection.low.isNull() ? nullptr : &lowKey,
                                last.isNull() ? nullptr : &highKey, iterator);
        const std::unique_ptr<MoxIndexIterator> owned(iterator);
        MoxRecordedFailure::check(iterator->getResetResult());
        std::vector<TupleId> tids;
        while (iterator->hasNext()) {
            TupleId tid;
            MoxRecordedFailure::check(iterator->getNextTupleId(tid));
            tids.push_back(tid);
        }
        for (const TupleId& tid : tids) {
            MoxRow row = read(tid, forUpdate);
            if (selection.matches(row)) chosen.emplace_back(tid, std::move(row));
        }
        return chosen;
    }
    MoxRecordIterator* iterator = nullptr;
    records->getRecordIterator(tableId, iterator);
    const std::unique_ptr<MoxRecordIterator> owned(iterator);
    while (true) {
        MoxRecord* record = nullptr;
        const MoxErrorCode rc = iterator->getNext(record);
        if (rc == MOX_NOT_FOUND_WARN) break;
        MoxRecordedFailure::check(rc);
        const TupleId tid = *record->getTupleId();
        MoxRow row = decode(record);
        if (!selection.matches(row)) continue;
        chosen.emplace_back(tid, forUpdate ? read(tid, true) : std::move(row));
    }
    return chosen;
}

void MoxTableRows::addToTupleCount(TableId table, long long delta) {
    MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
    Uint32 count = 0;
    MoxRecordedFailure::check(catalog->getTupleCount(table, count));
    const long long updated =
        std::clamp(static_cast<long long>(count) + delta, 0LL, static_cast<long long>(MOX_MAX_SINT32));
    MoxRecordedFailure::check(catalog->updateTupleCount(table, static_cast<Sint32>(updated)));
}
