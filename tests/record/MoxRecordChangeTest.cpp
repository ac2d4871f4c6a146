#include <gtest/gtest.h>

#include <algorithm>
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
// exclusively, and the page rules.
TEST_F(MoxRecordChangeTest, ReplaceAndRemoveEdges) {
    struct Case {
        const char* name;
        std::vector<size_t> inserted;       // first fit from page 1
        std::vector<TupleId> removedFirst;  // committed removals before the change
        std::function<void(TableId, TupleId&)> change;
        TupleId expectedTid;
        std::vector<PageId> locked;
        std::function<void(TableId)> check;
    };
    RM& m = *manager;
    const std::string longer(2100, 'L');
    const std::vector<Case> cases = {
        {"shorter stays at its offset, tail zeroed",
         {100},
         {},
         [&](TableId t, TupleId& n) { m.replace(t, tid(1, 0), record(std::string(40, 's')), n); },
         tid(1, 0),
         {},
         [&](TableId t) {
             EXPECT_EQ(slotAt(t, tid(1, 0)).offset, 3996);
             EXPECT_EQ(pageBytes(t, 1).substr(3996 + 40), std::string(60, '\0'));
         }},
        {"grows into the block behind, keeps its offset",
         {3000, 100},
         {tid(1, 0)},
         [&](TableId t, TupleId& n) { m.replace(t, tid(1, 1), record(std::string(500, 'b')), n); },
         tid(1, 1),
         {1},
         [&](TableId t) { EXPECT_EQ(slotAt(t, tid(1, 1)).offset, 996); }},
        {"grows into the block in front, moves to its start",
         {100, 3000},
         {tid(1, 1)},
         [&](TableId t, TupleId& n) { m.replace(t, tid(1, 0), record(std::string(500, 'f')), n); },
         tid(1, 0),
         {1},
         [&](TableId t) { EXPECT_EQ(slotAt(t, tid(1, 0)).offset, 40); }},
        {"fits nowhere on its page, moves out",
         {2000, 2000},
         {},
         [&](TableId t, TupleId& n) { m.replace(t, tid(1, 0), record(longer), n); },
         tid(2, 0),
         {1, 2},
         [&](TableId t) {
             EXPECT_EQ(slotAt(t, tid(1, 0)).recordType, RM::PlaceHolderTid);
             EXPECT_EQ(slotAt(t, tid(2, 0)).recordType, RM::SecondaryRecord);
             EXPECT_EQ(read(t, tid(1, 0)), longer);
         }},
        {"a moved record grows on its secondary page",
         {2000, 2000},
         {},
         [&](TableId t, TupleId& n) {
             m.replace(t, tid(1, 0), record(longer), n);
             m.replace(t, tid(1, 0), record(std::string(3000, 'g')), n);
         },
         tid(2, 0),
         {1, 2},
         [&](TableId t) { EXPECT_EQ(read(t, tid(1, 0)), std::string(3000, 'g')); }},
        {"a moved record that outgrows its secondary page moves onward",
         {2000, 2000, 3000},
         {},
         [&](TableId t, TupleId& n) {
             m.replace(t, tid(1, 0), record(longer), n);
             insert(t, std::string(1990, 'q'));  // fills page 1 again
             insert(t, std::string(1900, 'p'));  // fits page 3 only
             m.replace(t, tid(1, 0), record(std::string(2200, 'o')), n);
         },
         tid(4, 0),
         {1, 3, 4},
         [&](TableId t) {
             EXPECT_TRUE(MoxSlottedPage::isFree(slotAt(t, tid(3, 0))));
             EXPECT_EQ(slotAt(t, tid(1, 0)).offset, 4);
             EXPECT_EQ(read(t, tid(1, 0)), std::string(2200, 'o'));
         }},
        {"a short replacement brings a moved record home",
         {2000, 2000},
         {},
         [&](TableId t, TupleId& n) {
             m.replace(t, tid(1, 0), record(longer), n);
             m.replace(t, tid(1, 0), record("home"), n);
         },
         tid(1, 0),
         {1, 2},
         [&](TableId t) {
             EXPECT_EQ(slotAt(t, tid(1, 0)).recordType, RM::PrimaryRecord);
             EXPECT_EQ(headerOf(*fix(t, 2)).numberOfSlots, 0) << "the secondary slot is freed";
         }},
        {"removing a moved record frees both slots",
         {2000, 2000},
         {},
         [&](TableId t, TupleId& n) {
             m.replace(t, tid(1, 0), record(longer), n);
             m.remove(t, tid(1, 0));
         },
         tid(2, 0),
         {1, 2},
         [&](TableId t) {
             EXPECT_TRUE(MoxSlottedPage::isFree(slotAt(t, tid(1, 0))));
             EXPECT_EQ(headerOf(*fix(t, 2)).numberOfSlots, 0);
             EXPECT_TRUE(throwsError([&] { read(t, tid(1, 0)); }, MOX_RM_REC_NOT_FOUND));
             EXPECT_TRUE(heldExclusively(t, 0, 0) && heldExclusively(t, 0, 1)) << "both inventory entries stay locked";
         }},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const TableId t = static_cast<TableId>(10 + i);
        createTable(t);
        for (size_t length : c.inserted) insert(t, std::string(length, 'i'));
        commit();
        for (const TupleId& removed : c.removedFirst) m.remove(t, removed);
        commit();
        TupleId newTid;
        c.change(t, newTid);
        EXPECT_TRUE(newTid == c.expectedTid) << newTid.page << "," << int(newTid.slot);
        for (PageId page = 1; page <= 4; ++page) {
            const bool expected = std::find(c.locked.begin(), c.locked.end(), page) != c.locked.end();
            EXPECT_EQ(heldExclusively(t, page), expected) << "page " << page;
        }
        c.check(t);
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
