#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "RecordTestDatabase.h"
#include "TestHelpers.h"
#include "common/ChildProcess.h"
#include "record/MoxSlottedPage.h"

namespace {

class MoxRecordChangeTest : public RecordTestDatabase {
  public:
    RM::Slot slotAt(TableId table, const TupleId& where) { return slotOf(*fix(table, where.page), where.slot); }
    std::string pageBytes(TableId table, PageId page) {
        std::unique_ptr<MoxScopedPage> fixed = fix(table, page);
        return std::string(reinterpret_cast<const char*>((*fixed)->getPageData()), MOX_PAGE_SIZE);
    }
    static bool heldExclusively(TableId table, PageId page, SlotId slot = LM::NO_SLOT) {
        bool exists = false;
        LM::LockType type = LM::SharedLock;
        MoxLockManager::getInstance()->getLockTypeIfLockExists(exists, type, table, page, slot);
        return exists && type == LM::ExclusiveLock;
    }
    // The record entries of a transaction in the analysed log, newest first, by type.
    static std::vector<int> typesOf(MoxRecovery& recovery, const MoxTransactionId& transaction) {
        recovery.makeRollbackLists(MoxRecovery::RECORD, transaction);
        std::vector<int> types;
        for (int i = 0; i < recovery.getRecordRollbackListLength(); ++i) {
            types.push_back(recovery.getRecordRollbackList()[i]->getTransactionType());
        }
        return types;
    }
};

// The kinds of replacement and removal, each on a table of its own built
// for it: where the bytes end up, the slot types, the pages locked
// exclusively; the checker sees to zeroed tails and freed slots.
TEST_F(MoxRecordChangeTest, ReplaceAndRemoveEdges) {
    struct Case {
        const char* name;
        std::vector<int> inserted;  // lengths, first fit from page 1
        int removedFirst;           // a slot of page 1 removed and committed first, or -1
        TupleId target;
        std::vector<int> steps;  // > 0: replace target to that length; < 0: insert; 0: remove target
        TupleId newTid;          // of the last replace
        int offset;              // where the bytes end up, or -1
        std::vector<PageId> locked;
    };
    const std::vector<Case> cases = {
        {"shorter stays at its offset", {100}, -1, tid(1, 0), {40}, tid(1, 0), 3996, {1}},
        {"grows into the block behind, keeps its offset", {3000, 100}, 0, tid(1, 1), {500}, tid(1, 1), 996, {1}},
        {"grows into the block in front, moves to its start", {100, 3000}, 1, tid(1, 0), {500}, tid(1, 0), 40, {1}},
        {"fits nowhere on its page, moves out", {2000, 2000}, -1, tid(1, 0), {2100}, tid(2, 0), 1996, {1, 2}},
        {"a moved record grows on its secondary page",
         {2000, 2000},
         -1,
         tid(1, 0),
         {2100, 3000},
         tid(2, 0),
         -1,
         {1, 2}},
        {"a moved record that outgrows its secondary page moves onward",
         {2000, 2000, 3000},
         -1,
         tid(1, 0),
         {2100, -1990, -1900, 2200},
         tid(4, 0),
         -1,
         {1, 3, 4}},  // the inserts fill pages 1 and 3
        {"a short replacement brings a moved record home",
         {2000, 2000},
         -1,
         tid(1, 0),
         {2100, 4},
         tid(1, 0),
         -1,
         {1, 2}},
        {"removing a moved record frees both slots", {2000, 2000}, -1, tid(1, 0), {2100, 0}, tid(2, 0), -1, {1, 2}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const TableId t = static_cast<TableId>(10 + i);
        createTable(t);
        for (int length : c.inserted) insert(t, std::string(length, 'i'));
        commit();
        if (c.removedFirst >= 0) manager->remove(t, tid(1, static_cast<SlotId>(c.removedFirst)));
        commit();
        TupleId newTid;
        std::string bytes;
        for (int step : c.steps) {
            bytes = content("step", step, std::abs(step));
            if (step > 0) manager->replace(t, c.target, record(bytes), newTid);
            if (step < 0) insert(t, bytes);
            if (step == 0) manager->remove(t, c.target);
        }
        EXPECT_TRUE(newTid == c.newTid) << newTid.page << "," << int(newTid.slot);
        for (PageId page = 1; page <= 4; ++page) {
            const bool expected = std::find(c.locked.begin(), c.locked.end(), page) != c.locked.end();
            EXPECT_EQ(heldExclusively(t, page), expected) << "page " << page;
        }
        if (c.steps.back() == 0) {
            EXPECT_TRUE(throwsError([&] { read(t, c.target); }, MOX_RM_REC_NOT_FOUND));
            EXPECT_TRUE(heldExclusively(t, 0, 0) && heldExclusively(t, 0, 1)) << "both inventory entries stay locked";
        } else {
            EXPECT_EQ(read(t, c.target), bytes);
            const bool moved = !(newTid == c.target);
            EXPECT_EQ(slotAt(t, c.target).recordType, moved ? RM::PlaceHolderTid : RM::PrimaryRecord);
            EXPECT_EQ(slotAt(t, newTid).recordType, moved ? RM::SecondaryRecord : RM::PrimaryRecord);
            EXPECT_TRUE(c.offset < 0 || slotAt(t, newTid).offset == c.offset) << slotAt(t, newTid).offset;
        }
        commit();
        EXPECT_EQ(problemsOf(t), std::vector<std::string>());
    }
}

// An insert, a replace that moves the record out and a remove, with another
// process's transaction writing in between, rolled back: records, slot
// types and TupleIds are as before, and the log says what the rollback did.
TEST_F(MoxRecordChangeTest, ARollbackRestoresWhatTheTransactionChangedAndSaysSo) {
    const TableId t = 5;
    const TableId other = 6;
    createTable(t);
    createTable(other);
    const TupleId kept = insert(t, std::string(2000, 'k'));
    const TupleId moved = insert(t, std::string(2000, 'm'));
    const TupleId gone = insert(t, std::string(3000, 'g'));
    commit();
    const MoxTransactionId self = MoxTransactionManager::getInstance()->getCurrentTransactionID();
    const TupleId added = insert(t, "added");
    EXPECT_EQ(ChildProcess([&] {
                  insert(other, "another transaction");
                  commit();
                  return 0;
              }).wait(),
              0);
    manager->replace(t, moved, record(std::string(2100, 'M')));
    ASSERT_EQ(slotAt(t, moved).recordType, RM::PlaceHolderTid);
    manager->remove(t, gone);

    // The transaction's own chain gives the list a reading of the whole log gives.
    MoxRecovery chain;
    chain.AnalyseTransaction(MoxRecovery::RECORD, self, MoxLogManager::getInstance()->lastLsnOf(self));
    MoxRecovery whole;
    whole.AnalyseLog(MoxRecovery::RECORD);
    chain.makeRollbackLists(MoxRecovery::RECORD, self);
    whole.makeRollbackLists(MoxRecovery::RECORD, self);
    ASSERT_EQ(chain.getRecordRollbackListLength(), 3);
    ASSERT_EQ(whole.getRecordRollbackListLength(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(chain.getRecordRollbackList()[i]->getLsn() == whole.getRecordRollbackList()[i]->getLsn());
    }

    manager->rollback();
    MoxBufferManager::getInstance()->rollback();
    MoxLockManager::getInstance()->releaseAll();
    MoxTransactionManager::getInstance()->startNewTransaction();
    EXPECT_EQ(read(t, kept), std::string(2000, 'k'));
    EXPECT_EQ(read(t, moved), std::string(2000, 'm'));
    EXPECT_EQ(slotAt(t, moved).recordType, RM::PrimaryRecord);
    EXPECT_EQ(read(t, gone), std::string(3000, 'g'));
    EXPECT_EQ(slotAt(t, gone).recordType, RM::PrimaryRecord);
    EXPECT_TRUE(throwsError([&] { read(t, added); }, MOX_RM_REC_NOT_FOUND));
    EXPECT_EQ(read(other, tid(1, 0)), "another transaction");
    commit();
    EXPECT_EQ(problemsOf(t), std::vector<std::string>());

    typedef MoxAbstractLogEntry E;
    MoxRecovery log;
    log.AnalyseLog(MoxRecovery::RECORD);
    EXPECT_EQ(typesOf(log, self), std::vector<int>({E::ROLLBACK, E::COMPENSATE_DELETE, E::COMPENSATE_UPDATE,
                                                    E::COMPENSATE_INSERT, E::DELETE, E::UPDATE, E::INSERT}));
}

// Redo leaves a page alone that has the change: by its LSN, and by its
// records where its LSN says it lacks the update but holds its after image.
TEST_F(MoxRecordChangeTest, RedoLeavesAPageThatHasTheChangeAsItIs) {
    const TableId t = 5;
    createTable(t);
    const TupleId r = insert(t, "before");
    commit();
    const MoxLsn inserted = (*fix(t, 1))->getLsn();
    manager->replace(t, r, record("after, and longer"));
    commit();
    for (bool olderLsn : {false, true}) {
        if (olderLsn) {
            std::unique_ptr<MoxScopedPage> page = fix(t, 1);
            reinterpret_cast<MoxPage::PageHeader*>((*page)->getPageData())->lsn = inserted;
            (*page)->lsn = inserted;
        }
        const std::string before = pageBytes(t, 1);
        testing::internal::CaptureStdout();
        manager->recover();
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(printed.find("Calculated starting point for REDO"), olderLsn ? 1 : std::string::npos) << printed;
        commit();
        EXPECT_TRUE(pageBytes(t, 1) == before) << (olderLsn ? "older LSN" : "current LSN");
    }
}

// The slot an undo writes may lie behind the directory, which another
// transaction's removal shrank meanwhile: the directory grows to it.
TEST_F(MoxRecordChangeTest, AnUndoWritesIntoASlotBehindTheDirectory) {
    const TableId t = 5;
    createTable(t);
    insert(t, "first");
    insert(t, "second");
    commit();
    const TupleId behind = tid(1, 5);
    manager->redoInsert(t, &behind, nullptr, record("put back"));
    EXPECT_EQ(headerOf(*fix(t, 1)).numberOfSlots, 6);
    EXPECT_EQ(read(t, behind), "put back");
    commit();
    EXPECT_EQ(problemsOf(t), std::vector<std::string>());
}

// Every refusal comes before the log entry: the log stays as it was.
TEST_F(MoxRecordChangeTest, RefusalsComeBeforeAnythingIsLogged) {
    const TableId t = 5;
    createTable(t);
    insert(t, std::string(2000, 'a'));
    insert(t, std::string(2000, 'b'));
    manager->replace(t, tid(1, 0), record(std::string(2100, 'A')));  // moves to (2, 0)
    commit();
    const MoxRecord big = record(std::string(3000, 'x'));
    const TupleId primary = tid(1, 5);
    struct Case {
        const char* name;
        std::function<void()> call;
        MoxErrorCode code;
    };
    const std::vector<Case> cases = {
        {"replace of a free slot", [&] { manager->replace(t, tid(1, 7), big); }, MOX_RM_REC_NOT_FOUND},
        {"replace on an inventory page", [&] { manager->replace(t, tid(0, 0), big); }, MOX_RM_REC_NOT_FOUND},
        {"replace of a moved record's own slot", [&] { manager->replace(t, tid(2, 0), big); }, MOX_INTERNAL_FAIL},
        {"replace too long", [&] { manager->replace(t, tid(1, 1), record(std::string(4056, 'x'))); },
         MOX_RM_INSERT_RECORD_TOO_LONG},
        {"replace empty", [&] { manager->replace(t, tid(1, 1), MoxRecord()); }, MOX_RM_NULL_LEN_REC},
        {"remove of a free slot", [&] { manager->remove(t, tid(1, 7)); }, MOX_RM_REC_NOT_FOUND},
        {"remove of a moved record's own slot", [&] { manager->remove(t, tid(2, 0)); }, MOX_INTERNAL_FAIL},
        {"redoInsert without a TupleId", [&] { manager->redoInsert(t, nullptr, nullptr, big); }, MOX_PARAMETER_FAIL},
        {"redoReplace without a TupleId", [&] { manager->redoReplace(t, nullptr, nullptr, nullptr, big, big); },
         MOX_PARAMETER_FAIL},
        {"redoInsert onto a full page", [&] { manager->redoInsert(t, &primary, nullptr, big); }, MOX_INTERNAL_FAIL},
        {"remove through a forwarding slot behind its target's directory",
         [&] {
             slotOf(*fix(t, 1), 0).recordLength = 9;
             manager->remove(t, tid(1, 0));
         },
         MOX_RM_RECORD_OUT_OF_PAGE_BOUNDS},
    };
    for (const Case& c : cases) {
        const auto logSize = std::filesystem::file_size("1.log");
        EXPECT_TRUE(throwsError(c.call, c.code)) << c.name;
        EXPECT_EQ(std::filesystem::file_size("1.log"), logSize) << c.name;
    }
}

}  // namespace
