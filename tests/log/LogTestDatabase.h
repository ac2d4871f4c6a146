#ifndef MOX_LOG_TEST_DATABASE_H
#define MOX_LOG_TEST_DATABASE_H

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "MoxLog.h"
#include "common/TestDatabase.h"

// A private database with the log file handling set created, as after a
// system start. The teardown deletes the process's log manager before the
// system stop removes the set.
class LogTestDatabase : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        MoxLogManager::initializeLogFileHandling();
    }

    void TearDown() override {
        if (MoxLogManager::hasInstance()) delete MoxLogManager::getInstance();
        TestDatabase::TearDown();
    }

    static std::string fileBytes(const std::string& name) {
        std::ifstream file(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    static void writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
    }

    static std::string serialized(MoxAbstractLogEntry& entry) {
        std::unique_ptr<char[]> form(entry.serialize());
        return std::string(form.get(), entry.getLength());
    }

    static MoxRecordLogEntry recordEntry(MoxTransactionId transactionId, const std::string& after,
                                         MoxAbstractLogEntry::transType type = MoxAbstractLogEntry::INSERT) {
        TupleId primary{1, 0};
        return MoxRecordLogEntry(transactionId, 1, nullptr, 0, after.data(), static_cast<int>(after.size()), type,
                                 &primary, nullptr, nullptr);
    }

    static MoxIndexLogEntry indexEntry(MoxTransactionId transactionId, const std::string& page,
                                       MoxAbstractLogEntry::transType type = MoxAbstractLogEntry::INTEGER_OPERATION) {
        PageId pageId = 1;
        return MoxIndexLogEntry(transactionId, &pageId, 32769, page.data(), static_cast<int>(page.size()), page.data(),
                                static_cast<int>(page.size()), type);
    }
};

#endif
