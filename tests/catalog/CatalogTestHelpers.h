#ifndef MOX_CATALOG_TEST_HELPERS_H
#define MOX_CATALOG_TEST_HELPERS_H

#include <memory>
#include <string>
#include <vector>

#include "MoxCatalog.h"
#include "MoxIndexManager.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "common/TestDatabase.h"

// The formatted message of the error object's current error.
inline std::string currentErrorMessage() {
    char message[MOX_ERROR_MESSAGE_LENGTH + 1] = {0};
    MoxError::getErrorObject()->getError(message, sizeof(message), nullptr);
    return message;
}

// Clears the error object, so that a test sees only what its call recorded.
inline void clearError() {
    MoxError::getErrorObject()->setError(Support, MOX_SUCCESS);
}

// A started system on a private database, with its catalog.
class CatalogTestDatabase : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        MoxSystem::start();
    }

    static MoxCatalogManager& catalog() { return *MoxCatalogManager::getInstance(); }

    // Every row of the three catalog tables (TupleId and bytes) and every
    // entry of the four catalog indexes (TupleId), in scan and key order.
    static std::vector<std::string> catalogContents() {
        std::vector<std::string> contents;
        for (TableId table = 1; table <= MoxCatalogManager::MAX_CATALOG_TABLEID; ++table) {
            MoxRecordIterator* created = nullptr;
            MoxRecordManager::getInstance()->getRecordIterator(table, created);
            std::unique_ptr<MoxRecordIterator> scan(created);
            MoxRecord record;
            MoxRecord* next = &record;
            while (scan->getNext(next) == MOX_SUCCESS) {
                contents.push_back(
                    std::to_string(table) + " " + place(*record.getTupleId()) + " " +
                    std::string(reinterpret_cast<const char*>(record.getRecordData()), record.getLength()));
            }
        }
        for (IndexId index = 1; index <= MoxCatalogManager::MAX_CATALOG_INDEXID; ++index) {
            MoxIndexIterator* created = nullptr;
            MoxIndexManager::getInstance()->findRange(index, nullptr, nullptr, created);
            std::unique_ptr<MoxIndexIterator> entries(created);
            TupleId tid;
            while (entries->hasNext() && entries->getNextTupleId(tid) == MOX_SUCCESS) {
                contents.push_back("index " + std::to_string(index) + " " + place(tid));
            }
        }
        return contents;
    }

    static std::string place(const TupleId& tid) { return std::to_string(tid.page) + "," + std::to_string(tid.slot); }
};

#endif
