#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "RecordTestDatabase.h"
#include "TestHelpers.h"
#include "record/MoxSlottedPage.h"

namespace {

const TableId table = 5;

class MoxRecordManagerTest : public RecordTestDatabase {
  protected:
    // Makes the record of primary a moved one: its bytes go to a new slot on
    // the page `to` as a secondary record and primary becomes a forwarding
    // slot, as a growing replace does.
    TupleId moveRecord(const TupleId& primary, PageId to) {
        const std::string bytes = read(table, primary);
        LM* locks = MoxLockManager::getInstance();
        locks->requestPage(table, to, LM::ExclusiveLock);
        locks->requestPage(table, primary.page, LM::ExclusiveLock);
        std::unique_ptr<MoxScopedPage> target = fix(table, to);
        SlotId slot = 0;
        Uint16 offset = 0;
        manager->getFreeSlotId(&headerOf(*target), slot);
        manager->calcOffset(target->getPage(), static_cast<Uint16>(bytes.size()), offset);
        manager->insertRecordOnPage(target->getPage(), slot, record(bytes), RM::SecondaryRecord, offset);
        manager->updateFreeSpace(target->getPage(), false);
        std::unique_ptr<MoxScopedPage> home = fix(table, primary.page);
        MoxSlottedPage view(home->getPage()->getPageData());
        view.freeSlot(primary.slot);
        RM::Slot& forwarding = view.slot(primary.slot);
        forwarding.offset = to;
        forwarding.recordLength = slot;
        forwarding.recordType = RM::PlaceHolderTid;
        if (primary.slot >= view.numberOfSlots()) view.header().numberOfSlots = static_cast<Uint8>(primary.slot + 1);
        manager->updateFreeSpace(home->getPage(), false);
        return tid(to, slot);
    }

    bool holds(SegmentId segment, PageId page, SlotId slot, LM::LockType type) {
        bool exists = false;
        LM::LockType held = LM::SharedLock;
        MoxLockManager::getInstance()->getLockTypeIfLockExists(exists, held, segment, page, slot);
        return exists && held == type;
    }
};

TEST_F(MoxRecordManagerTest, FirstInsertCreatesTheInventoryAndTheFirstDataPage) {
    createTable(table);
    EXPECT_EQ(lockEntries(), 0u);
    TupleId first = insert(table, "abc");
    EXPECT_TRUE(first == tid(1, 0));
    EXPECT_EQ(read(table, first), "abc");
    {
        std::unique_ptr<MoxScopedPage> inventory = fix(table, 0);
        EXPECT_EQ(inventoryOf(*inventory).countEntries, 1);
        EXPECT_EQ(inventoryOf(*inventory).pageInfo[0].freeSpace, (4096 - 40 - 3) / 16);
        EXPECT_EQ(inventoryOf(*inventory).pageInfo[1].freeSpaceBlock, 254) << "the missing-page marker";
        std::unique_ptr<MoxScopedPage> page = fix(table, 1);
        EXPECT_EQ(headerOf(*page).freeSpace, 4096 - 40 - 3);
        EXPECT_EQ(slotOf(*page, 0).offset, 4093);
        EXPECT_TRUE((*page)->getLsn() > MoxLsn(1, 0)) << "marked with its INSERT entry, behind the COMMIT";
        EXPECT_TRUE((*inventory)->getLsn() == MoxLsn::dummyLSN()) << "the inventory is not logged";
        EXPECT_TRUE((*inventory)->isDirty());
    }
    // The page and its inventory entry stay locked exclusively until commit.
    EXPECT_TRUE(holds(table, 1, LM::NO_SLOT, LM::ExclusiveLock));
    EXPECT_TRUE(holds(table, 0, 0, LM::ExclusiveLock));
    commit();
    EXPECT_EQ(lockEntries(), 0u);
    EXPECT_EQ(problemsOf(table), std::vector<std::string>());
}

TEST_F(MoxRecordManagerTest, LengthsAndTypesAreCheckedBeforeAnythingIsLocked) {
    createTable(table);
    TupleId largest = insert(table, std::string(4055, 'L'));
    EXPECT_TRUE(largest == tid(1, 0));
    EXPECT_EQ(slotOf(*fix(table, 1), 0).offset, 41);
    EXPECT_EQ(read(table, largest), std::string(4055, 'L'));
    commit();

    TupleId unused;
    EXPECT_TRUE(throwsError([&] { manager->insert(record(std::string(4056, 'x')), table, unused); },
                            MOX_RM_INSERT_RECORD_TOO_LONG));
    EXPECT_TRUE(throwsError([&] { manager->insert(MoxRecord(), table, unused); }, MOX_RM_NULL_LEN_REC));
    EXPECT_TRUE(
        throwsError([&] { manager->insert(record("x"), table, RM::SecondaryRecord, unused); }, MOX_INTERNAL_FAIL));
    EXPECT_EQ(lockEntries(), 0u);
    EXPECT_TRUE(throwsError([&] { manager->createTable(table); }, MOX_RM_TABLE_ALREADY_EXISTS, {"5"}));
    // A table older than the transaction goes at its commit.
    manager->dropTable(table);
    EXPECT_TRUE(holds(table, LM::NO_PAGE, LM::NO_SLOT, LM::ExclusiveLock));
    EXPECT_TRUE(throwsError([&] { manager->createTable(table); }, MOX_RM_TABLE_ALREADY_EXISTS, {"5"}));
    commit();
    createTable(table);
    EXPECT_TRUE(insert(table, "new") == tid(1, 0));
    EXPECT_TRUE(throwsError([&] { manager->insert(record("x"), 0, unused); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { manager->createTable(40000); }, MOX_PARAMETER_FAIL));
}

TEST_F(MoxRecordManagerTest, GetRefusesFreeSlotsAndSlotsBeyondTheDirectory) {
    createTable(table);
    for (int i = 0; i < 3; ++i) insert(table, content("r", i, 10));
    {
        std::unique_ptr<MoxScopedPage> page = fix(table, 1);
        MoxSlottedPage(page->getPage()->getPageData()).freeSlot(1);
    }
    commit();
    MoxRecord* result = nullptr;
    for (TupleId missing : {tid(1, 1), tid(1, 3), tid(1, 254), tid(0, 0), tid(255, 0)}) {
        EXPECT_TRUE(throwsError([&] { manager->get(table, missing, result); }, MOX_RM_REC_NOT_FOUND))
            << missing.page << "," << int(missing.slot);
        EXPECT_EQ(result, nullptr);
    }
    EXPECT_TRUE(throwsError([&] { manager->get(table, tid(9, 0), result); }, MOX_BM_PAGE_NOT_FOUND));
    // A caller's record is refilled, a null pointer gets a new one.
    MoxRecord mine = record("old");
    MoxRecord* refill = &mine;
    manager->get(table, tid(1, 2), refill);
    EXPECT_EQ(refill, &mine);
    EXPECT_EQ(bytesOf(mine), content("r", 2, 10));
    EXPECT_TRUE(*mine.getTupleId() == tid(1, 2));
    EXPECT_TRUE(throwsError([&] { manager->getRecordFromPage(fix(table, 1)->getPage(), tid(1, 1), refill); },
                            MOX_RM_REC_NOT_FOUND));
    EXPECT_EQ(refill, &mine) << "a failed read leaves the caller's record with the caller";
}

TEST_F(MoxRecordManagerTest, PageOperationsRequireALockOfTheTransaction) {
    createTable(table);
    insert(table, "guarded");
    commit();

    std::unique_ptr<MoxScopedPage> page = fix(table, 1);
    MoxPage* frame = page->getPage();
    MoxRecord* result = nullptr;
    Uint16 a = 0;
    Uint16 b = 0;
    auto attempts = [&](bool expectRefusal) {
        auto check = [&](const std::function<void()>& operation, const char* name) {
            std::optional<MoxException> failure = caught(operation);
            if (expectRefusal) {
                EXPECT_TRUE(failure && failure->getErrorCode() == MOX_INTERNAL_FAIL) << name;
            } else {
                EXPECT_FALSE(failure) << name << " " << (failure ? failure->getErrorCode() : 0);
            }
        };
        check([&] { manager->getRecordFromPage(frame, tid(1, 0), result); }, "getRecordFromPage");
        check([&] { manager->calcOffset(frame, 10, a); }, "calcOffset");
        check([&] { manager->reorganizePage(frame, a, b); }, "reorganizePage");
        delete result;
        result = nullptr;
    };
    attempts(true);
    // Any record lock on the page brings an intention lock on it.
    MoxLockManager::getInstance()->requestSlot(table, 1, 9, LM::SharedLock);
    attempts(false);
    commit();
    MoxLockManager::getInstance()->requestSegment(table, LM::SharedLock);
    attempts(false);
    commit();
    MoxLockManager::getInstance()->requestDB(LM::SharedLock);
    attempts(false);
    commit();

    EXPECT_TRUE(throwsError([&] { manager->getRecordFromPage(nullptr, tid(1, 0), result); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { manager->findFreeSpaceInPage(nullptr, a); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { manager->getFreeSlotId(nullptr, *std::make_unique<SlotId>()); }, MOX_PARAMETER_FAIL));
    EXPECT_TRUE(throwsError([&] { manager->updateFreeSpace(nullptr, false); }, MOX_PARAMETER_FAIL));
}

TEST_F(MoxRecordManagerTest, AMovedRecordIsReadAndScannedThroughItsForwardingSlot) {
    createTable(table);
    TupleId primary = insert(table, "moved record");
    TupleId staying = insert(table, "stays");
    insert(table, std::string(3900, 'f'));
    ASSERT_TRUE(insert(table, std::string(3000, 'g')) == tid(2, 0));
    TupleId secondary = moveRecord(primary, 2);
    commit();
    EXPECT_EQ(problemsOf(table), std::vector<std::string>());

    MoxRecord* result = nullptr;
    manager->get(table, primary, result);
    EXPECT_EQ(bytesOf(*result), "moved record");
    EXPECT_TRUE(*result->getTupleId() == primary) << "stamped with the TupleId that was asked for";
    EXPECT_TRUE(holds(table, primary.page, primary.slot, LM::SharedLock));
    EXPECT_TRUE(holds(table, secondary.page, secondary.slot, LM::SharedLock));
    commit();
    manager->getForUpdate(table, primary, result);
    EXPECT_TRUE(holds(table, primary.page, primary.slot, LM::ExclusiveLock));
    EXPECT_TRUE(holds(table, secondary.page, secondary.slot, LM::ExclusiveLock));
    commit();

    EXPECT_TRUE(throwsError([&] { manager->get(table, secondary, result); }, MOX_INTERNAL_FAIL));
    manager->get(table, secondary, false, false, result);
    EXPECT_EQ(bytesOf(*result), "moved record");
    EXPECT_TRUE(*result->getTupleId() == secondary);

    // The scan meets the record once, at its forwarding slot.
    std::vector<std::pair<TupleId, std::string>> seen;
    MoxRecordIterator* raw = nullptr;
    manager->getRecordIterator(table, raw);
    std::unique_ptr<MoxRecordIterator> scan(raw);
    while (scan->getNext(result) == MOX_SUCCESS) seen.push_back({*result->getTupleId(), bytesOf(*result)});
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_TRUE(seen[0].first == primary && seen[0].second == "moved record");
    EXPECT_TRUE(seen[1].first == staying);
    EXPECT_TRUE(seen[2].first == tid(1, 2));
    EXPECT_TRUE(seen[3].first == tid(2, 0));
    commit();

    // A forwarding slot that leads to a record of its own is damage.
    {
        std::unique_ptr<MoxScopedPage> page = fix(table, 1);
        slotOf(*page, primary.slot).offset = 1;
        slotOf(*page, primary.slot).recordLength = staying.slot;
    }
    EXPECT_TRUE(throwsError([&] { manager->get(table, primary, result); }, MOX_INTERNAL_FAIL));
    delete result;
}

TEST_F(MoxRecordManagerTest, ScanPositionsFollowTheirRules) {
    createTable(table);
    TupleId position;
    EXPECT_TRUE(throwsError([&] { manager->findNextRecord(table, position); }, MOX_BM_PAGE_NOT_FOUND))
        << "a table without pages";
    TupleId first = insert(table, "one");
    ASSERT_TRUE(insert(table, std::string(4045, 'x')) == tid(2, 0));
    ASSERT_TRUE(insert(table, "two") == tid(1, 1));
    commit();

    position = tid(0, 0);
    manager->findNextRecord(table, position);
    EXPECT_TRUE(position == first);
    manager->findNextRecord(table, position);
    EXPECT_TRUE(position == tid(1, 1));
    position = tid(1, 254);
    manager->findNextRecord(table, position);
    EXPECT_TRUE(position == tid(2, 0)) << "slot 254 continues on the next page";
    EXPECT_TRUE(throwsError([&] { manager->findNextRecord(table, position); }, MOX_RM_NO_MORE_PAGES));
    // Each page visited stays share-locked.
    EXPECT_TRUE(holds(table, 1, LM::NO_SLOT, LM::SharedLock));
    EXPECT_TRUE(holds(table, 2, LM::NO_SLOT, LM::SharedLock));
}

TEST_F(MoxRecordManagerTest, IteratorEdgesAndAWarningLeftByAnEarlierScan) {
    createTable(table);
    MoxRecordIterator* raw = nullptr;
    manager->getRecordIterator(table, raw);
    std::unique_ptr<MoxRecordIterator> empty(raw);
    MoxRecord* result = nullptr;
    EXPECT_FALSE(empty->hasNext());
    EXPECT_EQ(empty->getNext(result), MOX_NOT_FOUND_WARN);
    EXPECT_EQ(empty->reset(), MOX_SUCCESS);
    EXPECT_EQ(empty->getNext(result), MOX_NOT_FOUND_WARN);
    EXPECT_EQ(MoxGetErrorCode(), MOX_NOT_FOUND_WARN);
    commit();

    TupleId only = insert(table, "only");
    commit();
    // A scan run to its end leaves its warning in the error object; the next
    // scan's first record must come back as a success all the same.
    manager->getRecordIterator(table, raw);
    std::unique_ptr<MoxRecordIterator> earlier(raw);
    while (earlier->getNext(result) == MOX_SUCCESS) {
    }
    manager->getRecordIterator(table, raw);
    std::unique_ptr<MoxRecordIterator> single(raw);
    EXPECT_EQ(MoxGetErrorCode(), MOX_NOT_FOUND_WARN);
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(single->hasNext());
        EXPECT_TRUE(single->hasNext()) << "hasNext does not move";
        ASSERT_EQ(single->getNext(result), MOX_SUCCESS) << "round " << round;
        EXPECT_EQ(bytesOf(*result), "only");
        EXPECT_TRUE(*result->getTupleId() == only);
        EXPECT_FALSE(single->hasNext());
        EXPECT_EQ(single->getNext(result), MOX_NOT_FOUND_WARN);
        EXPECT_EQ(single->getNext(result), MOX_NOT_FOUND_WARN);
        EXPECT_EQ(single->reset(), MOX_SUCCESS);
    }
    delete result;
    result = nullptr;
    commit();

    // A scan of a table that does not exist reports instead of throwing.
    manager->getRecordIterator(77, raw);
    std::unique_ptr<MoxRecordIterator> missing(raw);
    EXPECT_EQ(MoxGetErrorCode(), MOX_FM_FILE_NOT_FOUND);
    EXPECT_FALSE(missing->hasNext());
    EXPECT_EQ(missing->getNext(result), MOX_FM_FILE_NOT_FOUND);
    EXPECT_EQ(result, nullptr);
}

// Thousands of records of mixed sizes over more than 254 data pages, in
// several transactions: each reads back byte for byte, a scan returns each
// once in TupleId order, and the pages and their inventory keep their rules.
TEST_F(MoxRecordManagerTest, ThousandsOfRecordsAcrossTwoInventoryRanges) {
    createTable(table);
    std::mt19937 random(7);
    std::map<std::pair<PageId, SlotId>, std::string> model;
    int number = 0;
    while (model.empty() || model.rbegin()->first.first < 300) {
        for (int i = 0; i < 500; ++i, ++number) {
            int kind = std::uniform_int_distribution<int>(0, 19)(random);
            size_t length = kind < 14   ? std::uniform_int_distribution<size_t>(1, 200)(random)
                            : kind < 19 ? std::uniform_int_distribution<size_t>(200, 1500)(random)
                                        : std::uniform_int_distribution<size_t>(1500, 4055)(random);
            const std::string bytes = content("t", number, length);
            TupleId placed = insert(table, bytes);
            ASSERT_TRUE(model.emplace(std::make_pair(placed.page, placed.slot), bytes).second)
                << "TupleId given twice: " << placed.page << "," << int(placed.slot);
            ASSERT_FALSE(RM::isFsiPage(placed.page));
        }
        commit();
    }
    EXPECT_EQ(model.count({255, 0}), 0u);
    EXPECT_EQ(model.count({256, 0}), 1u) << "the first page behind inventory page 255";
    EXPECT_EQ(inventoryOf(*fix(table, 0)).countEntries, 254);
    TupleId position = tid(254, 254);
    manager->findNextRecord(table, position);
    EXPECT_TRUE(position == tid(256, 0)) << "the step behind page 254 passes over inventory page 255";

    for (const auto& [where, bytes] : model) {
        ASSERT_EQ(read(table, tid(where.first, where.second)), bytes);
    }
    commit();

    MoxRecordIterator* raw = nullptr;
    manager->getRecordIterator(table, raw);
    std::unique_ptr<MoxRecordIterator> scan(raw);
    MoxRecord* result = nullptr;
    auto expected = model.begin();
    while (scan->getNext(result) == MOX_SUCCESS) {
        ASSERT_NE(expected, model.end());
        const TupleId* at = result->getTupleId();
        ASSERT_TRUE(at->page == expected->first.first && at->slot == expected->first.second);
        ASSERT_EQ(bytesOf(*result), expected->second);
        ++expected;
    }
    EXPECT_EQ(expected, model.end());
    delete result;
    commit();
    EXPECT_EQ(problemsOf(table), std::vector<std::string>());
}

TEST_F(MoxRecordManagerTest, AnUnusablePageIsRefreshedAndTheSearchGoesOnBehindIt) {
    createTable(table);
    // Page 1: slots fill with one-byte records until the directory cannot grow.
    for (int i = 0; i < 30; ++i) insert(table, "x");
    insert(table, std::string(2000, 'b'));
    commit();
    {
        // The entry promises room that the page cannot give: all 255 slots in use.
        std::unique_ptr<MoxScopedPage> page = fix(table, 1);
        RM::SlotPageHeader& header = headerOf(*page);
        for (int id = header.numberOfSlots; id < 255; ++id) {
            RM::Slot& slot = slotOf(*page, static_cast<SlotId>(id));
            slot.offset = 1;
            slot.recordLength = 1;
            slot.recordType = RM::PlaceHolderTid;
        }
        header.numberOfSlots = 255;
        RM::FsiEntry promise = {200, 200};
        manager->updateFsiEntry(table, 1, promise, false);
        commit();
    }
    TupleId placed = insert(table, "goes elsewhere");
    EXPECT_TRUE(placed == tid(2, 0)) << placed.page << "," << int(placed.slot);
    RM::FsiEntry refreshed;
    manager->findFsiEntry(table, 1, refreshed);
    EXPECT_EQ(refreshed.freeSpace, 0);
    EXPECT_EQ(refreshed.freeSpaceBlock, 0);
    EXPECT_TRUE(holds(table, 1, LM::NO_SLOT, LM::ExclusiveLock)) << "the refreshed page's lock stays";
    commit();
}

TEST_F(MoxRecordManagerTest, AnExistingPageWithoutItsEntryIsRegisteredAsItIs) {
    createTable(table);
    insert(table, std::string(4000, 'a'));
    commit();
    // Page 2 as a failure between an append's creation and registration leaves it.
    MoxBufferManager* buffer = MoxBufferManager::getInstance();
    MoxPage* page = nullptr;
    buffer->getNewPage(table, 2, MoxPage::DataPage, page);
    const std::string left = "left behind";
    MoxSlottedPage(page->getPageData(), table)
        .writeRecord(0, reinterpret_cast<const unsigned char*>(left.data()), static_cast<Uint16>(left.size()),
                     RM::PrimaryRecord, static_cast<Uint16>(MOX_PAGE_SIZE - left.size()));
    buffer->releasePage(page);

    EXPECT_TRUE(insert(table, std::string(1000, 'b')) == tid(2, 1)) << "the page is taken over, not passed by";
    EXPECT_EQ(read(table, tid(2, 0)), left);
    commit();
    EXPECT_EQ(problemsOf(table), std::vector<std::string>());
}

TEST_F(MoxRecordManagerTest, InventoryNumberingAndEntryRules) {
    struct Case {
        PageId page;
        PageId fsiPage;
        SlotId slot;
    };
    for (Case c : {Case{0, 0, 255}, Case{1, 0, 0}, Case{254, 0, 253}, Case{255, 255, 255}, Case{256, 255, 0},
                   Case{509, 255, 253}, Case{510, 510, 255}, Case{65280, 65280, 255}, Case{65534, 65280, 253}}) {
        EXPECT_EQ(RM::getFsiPageId(c.page), c.fsiPage) << c.page;
        EXPECT_EQ(RM::getFsiSlot(c.page), c.slot) << c.page;
    }
    RM::FsiEntry entry = {};
    EXPECT_TRUE(RM::pageAlreadyExists(entry));
    RM::markNotExists(entry);
    EXPECT_FALSE(RM::pageAlreadyExists(entry));
    RM::markEmptyPage(entry);
    EXPECT_TRUE(RM::pageAlreadyExists(entry));

    createTable(table);
    insert(table, std::string(3000, 'a'));
    insert(table, std::string(3000, 'b'));
    insert(table, std::string(3000, 'c'));
    EXPECT_TRUE(throwsError([&] { manager->findFsiEntry(table, 0, entry); }, MOX_RM_FSI_ENTRY_NOT_ALLOWED, {"0", "5"}));
    EXPECT_TRUE(throwsError([&] { manager->findFsiEntry(table, 9, entry); }, MOX_RM_NO_FSI_ENTRY_FOR_PAGE, {"9", "5"}));
    EXPECT_TRUE(throwsError([&] { manager->findFsiEntry(table, 300, entry); }, MOX_BM_PAGE_NOT_FOUND));
    EXPECT_TRUE(throwsError([&] { manager->updateFsiEntry(table, 255, entry, false); }, MOX_RM_FSI_ENTRY_NOT_ALLOWED,
                            {"255", "5"}));
    EXPECT_TRUE(throwsError([&] { manager->addFsiEntry(table, 510, entry); }, MOX_RM_FSI_ENTRY_NOT_ALLOWED));
    PageId next = 0;
    manager->getNewPageId(table, next);
    EXPECT_EQ(next, 4);
    std::unique_ptr<MoxScopedPage> existing;
    manager->createFsiPage(table, 0, existing);
    EXPECT_EQ(inventoryOf(*existing).countEntries, 3) << "an existing inventory page is fixed, not made again";
    existing.reset();

    // A request for 15 bytes needs entries of one block, for 16 bytes two.
    RM::FsiEntry one = {1, 1};
    RM::FsiEntry two = {2, 2};
    manager->updateFsiEntry(table, 1, one, false);
    manager->updateFsiEntry(table, 2, two, false);
    manager->updateFsiEntry(table, 3, two, false);
    EXPECT_EQ(manager->findFreeMemoryBlock(table, 15, 1), 1);
    EXPECT_EQ(manager->findFreeMemoryBlock(table, 16, 1), 2);
    EXPECT_EQ(manager->findFreeMemoryBlock(table, 15, 2), 2) << "first fit from the caller's start page";
    EXPECT_TRUE(throwsError([&] { manager->findFreeMemoryBlock(table, 32, 1); }, MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN));
}

TEST_F(MoxRecordManagerTest, EntryLocksOfUpdateFreeSpace) {
    createTable(table);
    insert(table, "r");
    commit();
    MoxLockManager* locks = MoxLockManager::getInstance();
    std::unique_ptr<MoxScopedPage> page = fix(table, 1);
    locks->requestPage(table, 1, LM::ExclusiveLock);

    // Without a lock of its own, the entry is locked only for the call.
    manager->updateFreeSpace(page->getPage(), false);
    EXPECT_FALSE(locks->existsLock(table, 0, 0));
    // holdLock keeps it until the transaction ends.
    manager->updateFreeSpace(page->getPage(), true);
    EXPECT_TRUE(holds(table, 0, 0, LM::ExclusiveLock));
    // A held exclusive lock is neither released nor doubled by a later call.
    const Uint32 entries = lockEntries();
    manager->updateFreeSpace(page->getPage(), false);
    EXPECT_TRUE(holds(table, 0, 0, LM::ExclusiveLock));
    EXPECT_EQ(lockEntries(), entries);
    page.reset();
    commit();
    EXPECT_EQ(lockEntries(), 0u);
}

TEST_F(MoxRecordManagerTest, TheStopDeletesTheRecordManager) {
    ASSERT_TRUE(MoxRecordManager::hasInstance());
    MoxSystem::stopAllManagers();
    EXPECT_FALSE(MoxRecordManager::hasInstance());
    EXPECT_FALSE(MoxLockManager::hasInstance());
    manager = MoxRecordManager::getInstance();
    createTable(table);
    EXPECT_TRUE(insert(table, "again") == tid(1, 0));
}

}  // namespace
