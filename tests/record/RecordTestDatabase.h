#ifndef MOX_RECORD_TEST_DATABASE_H
#define MOX_RECORD_TEST_DATABASE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MoxBuffer.h"
#include "MoxChecker.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"
#include "RecordWorkload.h"
#include "clp/MoxSystem.h"
#include "common/TestDatabase.h"

// A started system (lock list, buffer pool, log) on a private database and
// this process's record manager. Forked children use the managers they
// inherit, each with a transaction of its own.
class RecordTestDatabase : public TestDatabase {
  protected:
    typedef MoxRecordManager RM;
    typedef MoxLockManager LM;

    void SetUp() override {
        TestDatabase::SetUp();
        MoxLockManager::initializeLockList();
        MoxBufferManager::initializeBuffer();
        MoxLogManager::initializeLogFileHandling();
        manager = MoxRecordManager::getInstance();
    }

    void TearDown() override {
        MoxSystem::stopAllManagers();
        TestDatabase::TearDown();
    }

    // Ends the current transaction as a committing program does.
    static void commit() { RecordWorkload::commit(); }

    static TupleId tid(PageId page, SlotId slot) {
        TupleId result;
        result.page = page;
        result.slot = slot;
        return result;
    }

    // A table created and committed.
    void createTable(TableId table) {
        manager->createTable(table);
        commit();
    }

    static MoxRecord record(const std::string& bytes) {
        return MoxRecord(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<Uint16>(bytes.size()));
    }
    static std::string bytesOf(const MoxRecord& record) {
        return std::string(reinterpret_cast<const char*>(record.getRecordData()), record.getLength());
    }
    // Bytes that name their owner and number, padded to length.
    static std::string content(const std::string& owner, int number, size_t length) {
        std::string text = owner + ":" + std::to_string(number) + ";";
        std::string bytes;
        while (bytes.size() < length) bytes += text;
        bytes.resize(length);
        return bytes;
    }

    TupleId insert(TableId table, const std::string& bytes) {
        TupleId tid;
        manager->insert(record(bytes), table, tid);
        return tid;
    }
    std::string read(TableId table, const TupleId& tid) {
        std::unique_ptr<MoxRecord> result;
        MoxRecord* raw = nullptr;
        manager->get(table, tid, raw);
        result.reset(raw);
        return bytesOf(*result);
    }

    // The problems the checker finds in the table; empty when sound.
    static std::vector<std::string> problemsOf(TableId table) {
        std::vector<std::string> lines;
        for (const MoxCheckProblem& problem : MoxTableChecker(table, std::to_string(table)).check()) {
            lines.push_back(problem.line());
        }
        return lines;
    }

    Uint32 lockEntries() const { return MoxLockManager::getInstance()->TEST_lockList().header.countEntry; }

    // A page of the table, fixed for the test.
    static std::unique_ptr<MoxScopedPage> fix(TableId table, PageId pageId) {
        MoxPage::PageType type = RM::isFsiPage(pageId) ? MoxPage::FreeSpaceInventoryPage : MoxPage::DataPage;
        return std::make_unique<MoxScopedPage>(table, pageId, type, MoxScopedPage::GetExistingPage);
    }
    static RM::SlotPageHeader& headerOf(MoxScopedPage& page) {
        return *reinterpret_cast<RM::SlotPageHeader*>(page->getPageData());
    }
    static RM::Slot& slotOf(MoxScopedPage& page, SlotId slot) {
        return reinterpret_cast<RM::Slot*>(page->getPageData() + sizeof(RM::SlotPageHeader))[slot];
    }
    static RM::FsiPage& inventoryOf(MoxScopedPage& page) {
        return *reinterpret_cast<RM::FsiPage*>(page->getPageData());
    }

    MoxRecordManager* manager = nullptr;
};

#endif
