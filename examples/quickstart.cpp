// A first program on the engine, built against the installed package: it
// starts the system in its database directory (MOX_DATABASE_PATH), defines a
// table with an index through the catalog, inserts rows, looks one up
// through the index, commits and stops the system again.

#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "MoxCatalog.h"
#include "MoxIndexManager.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "MoxTuple.h"

namespace {

// Throws the error that the error object holds when rc is not success.
void check(MoxErrorCode rc, const char* what) {
    if (rc != MOX_SUCCESS) {
        char message[MOX_ERROR_MESSAGE_LENGTH + 1] = {};
        MoxError::getErrorObject()->getError(message, sizeof(message), nullptr);
        throw std::runtime_error(std::string(what) + ": " + message);
    }
}

int run() {
    MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
    MoxRecordManager* records = MoxRecordManager::getInstance();
    MoxIndexManager* indexes = MoxIndexManager::getInstance();

    // PEOPLE (ID INTEGER, NAME VARCHAR(40) nullable), unique index on ID.
    MoxTable people;
    check(people.setTableName("PEOPLE"), "table name");
    check(people.createColumns(2), "columns");
    check(people.setColumnDefinition(0, "ID", INTEGER, 4, false), "column ID");
    check(people.setColumnDefinition(1, "NAME", VARCHAR, 40, true), "column NAME");
    TableId tableId = 0;
    check(catalog->addTable(people, tableId), "addTable");
    records->createTable(tableId);
    MoxIndex byId;
    check(byId.setIndexName("PEOPLE_ID"), "index name");
    check(byId.setIndexType(BTree), "index type");
    check(byId.setTableId(tableId), "index table");
    check(byId.setColumnNumber(0), "index column");
    check(byId.setUnique(true), "index uniqueness");
    IndexId indexId = 0;
    check(catalog->addIndex(byId, indexId), "addIndex");
    indexes->createIndex(indexId, true, BTree, INTEGER);

    const std::pair<Sint32, std::optional<std::string>> rows[] = {{5, "Grace"}, {7, "Ada"}, {9, std::nullopt}};
    for (const auto& [id, name] : rows) {
        MoxRecordTuple row(&people);
        check(row.setInt(0, &id), "ID");
        check(row.setVarchar(1, name ? name->data() : nullptr, name ? static_cast<Uint16>(name->size()) : 0), "NAME");
        TupleId tid;
        records->insert(*row.getRecord(), tableId, tid);
        indexes->insert(indexId, MoxIndexKey(id), tid);
    }
    MoxSystem::commit();

    // The row with ID 7, found through the index and read column by column
    // with the table's definition as the catalog keeps it.
    TupleId tid;
    indexes->find(indexId, MoxIndexKey(7), tid);
    MoxRecord* record = nullptr;
    records->get(tableId, tid, record);
    MoxTable* stored = nullptr;
    check(catalog->getTableDescriptor(tableId, stored), "getTableDescriptor");
    const std::unique_ptr<MoxTable> definition(stored);
    MoxRecordTuple reader(record, definition.get());
    Sint32 readId = 0;
    bool isNull = false;
    const char* name = nullptr;
    Uint16 nameLength = 0;
    check(reader.getIntValue(0, readId, isNull), "read ID");
    check(reader.getVarchar(1, name, nameLength), "read NAME");
    std::cout << "row of " << record->getLength() << " bytes: ID " << readId << ", NAME "
              << std::string(name, nameLength) << std::endl;
    MoxSystem::commit();
    return 0;
}

}  // namespace

int main() {
    MoxError error;
    int result = 1;
    try {
        MoxSystem::start();
        result = run();
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
    } catch (const std::exception& failure) {
        std::cerr << failure.what() << std::endl;
    }
    // The managers first: they write the pool's dirty pages and detach.
    // Forced after a failure, so that no set is left behind.
    for (bool managers : {true, false}) {
        try {
            if (managers) {
                MoxSystem::stopAllManagers();
            } else {
                MoxSystem::stop(result != 0);
            }
        } catch (const MoxException& exception) {
            exception.print(std::cerr);
            result = 1;
        }
    }
    return result;
}
