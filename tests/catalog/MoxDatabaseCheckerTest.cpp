#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CatalogTestHelpers.h"
#include "MoxBuffer.h"
#include "MoxChecker.h"
#include "MoxTuple.h"
#include "TestHelpers.h"

namespace {

typedef MoxRecordLayout L;
typedef MoxIndexTreePage::Header TreeHeader;

const TableId people = 4;
const IndexId byId = 5;    // PEOPLE_ID on ID, unique
const IndexId byName = 6;  // PEOPLE_NAME on NAME
const Sint32 rowCount = 600;

std::string nameOf(Sint32 id) {
    return "person-" + std::string(13, static_cast<char>('a' + id % 26));
}

// PEOPLE (ID INTEGER, NAME VARCHAR(40) nullable) with a unique index on ID
// and one on NAME: enough rows for an inner node in each tree, a removed row
// (a free slot) and a moved record (a forwarding slot); then every
// corruption is made in the buffer pool, checked, and undone.
class MoxDatabaseCheckerTest : public CatalogTestDatabase {
  protected:
    void SetUp() override {
        CatalogTestDatabase::SetUp();
        MoxTable table;
        table.setTableName("PEOPLE");
        table.createColumns(2);
        table.setColumnDefinition(0, "ID", INTEGER, 4, false);
        table.setColumnDefinition(1, "NAME", VARCHAR, 40, true);
        TableId tableId = 0;
        ASSERT_EQ(catalog().addTable(table, tableId), MOX_SUCCESS);
        ASSERT_EQ(tableId, people);
        MoxRecordManager::getInstance()->createTable(people);
        addIndex("PEOPLE_ID", 0, true, byId, INTEGER);
        addIndex("PEOPLE_NAME", 1, false, byName, VARCHAR);
        MoxTable* described = nullptr;
        ASSERT_EQ(catalog().getTableDescriptor(people, described), MOX_SUCCESS);
        descriptor.reset(described);
        for (Sint32 id = 0; id < rowCount; ++id) {
            const std::string name = nameOf(id);
            tids[id] = store(id, id % 50 == 7 ? nullptr : &name, nullptr);
        }
        remove(3);
        // Longer names until a record of page 1 no longer fits there.
        for (Sint32 id = 10; movedId < 0; ++id) {
            ASSERT_LT(id, 100);
            const std::string longer(40, 'z');
            store(id, &longer, &tids[id]);
            if (slot(people, tids[id]).recordType == L::PlaceHolderTid) movedId = id;
        }
        MoxSystem::commit();
        ASSERT_TRUE(sound(MoxDatabaseChecker().checkDatabase()));
    }

    void addIndex(const char* name, Uint16 column, bool unique, IndexId expected, MoxDataType type) {
        MoxIndex index;
        index.setIndexName(name);
        index.setIndexType(BTree);
        index.setTableId(people);
        index.setColumnNumber(column);
        index.setUnique(unique);
        IndexId id = 0;
        ASSERT_EQ(catalog().addIndex(index, id), MOX_SUCCESS);
        ASSERT_EQ(id, expected);
        MoxIndexManager::getInstance()->createIndex(id, unique, BTree, type);
    }

    // Inserts the row (or replaces the one at *at) and keeps both indexes.
    TupleId store(Sint32 id, const std::string* name, const TupleId* at) {
        MoxRecordTuple row(descriptor.get());
        row.setInt(0, &id);
        row.setVarchar(1, name ? name->data() : nullptr, name ? static_cast<Uint16>(name->size()) : 0);
        MoxIndexManager* indexes = MoxIndexManager::getInstance();
        if (at != nullptr) {
            MoxRecordManager::getInstance()->replace(people, *at, *row.getRecord());
            const std::string old = nameOf(id);
            if (id % 50 != 7) indexes->remove(byName, MoxIndexKey(old.c_str()), at);
            indexes->insert(byName, MoxIndexKey(name->c_str()), *at);
            return *at;
        }
        TupleId tid;
        MoxRecordManager::getInstance()->insert(*row.getRecord(), people, tid);
        indexes->insert(byId, MoxIndexKey(id), tid);
        if (name) indexes->insert(byName, MoxIndexKey(name->c_str()), tid);
        return tid;
    }
    void remove(Sint32 id) {
        MoxRecordManager::getInstance()->remove(people, tids[id]);
        MoxIndexManager::getInstance()->remove(byId, MoxIndexKey(id), &tids[id]);
        const std::string name = nameOf(id);
        MoxIndexManager::getInstance()->remove(byName, MoxIndexKey(name.c_str()), &tids[id]);
        tids.erase(id);
    }

    // --- Reading and damaging pages in the pool; every change is undone
    // by undoDamage. ---

    static MoxPage::PageType typeOf(SegmentId segment, PageId page) {
        if (segment > MOX_MAX_TABLE_ID) return page == 0 ? MoxPage::FreeSpaceInventoryPage : MoxPage::BTreeIndexPage;
        return MoxRecordManager::isFsiPage(page) ? MoxPage::FreeSpaceInventoryPage : MoxPage::DataPage;
    }
    static std::vector<unsigned char> pageBytes(SegmentId segment, PageId page) {
        MoxScopedPage fixed(segment, page, typeOf(segment, page), MoxScopedPage::GetExistingPage);
        return std::vector<unsigned char>(fixed->getPageData(), fixed->getPageData() + MOX_PAGE_SIZE);
    }
    template <typename T>
    static T valueAt(SegmentId segment, PageId page, size_t offset) {
        T value;
        memcpy(&value, pageBytes(segment, page).data() + offset, sizeof(T));
        return value;
    }
    template <typename T>
    void write(SegmentId segment, PageId page, size_t offset, T value) {
        MoxScopedPage fixed(segment, page, typeOf(segment, page), MoxScopedPage::GetExistingPage);
        unsigned char* bytes = fixed->getPageData() + offset;
        undo.push_back({segment, page, offset, std::vector<unsigned char>(bytes, bytes + sizeof(T))});
        memcpy(bytes, &value, sizeof(T));
    }
    void undoDamage() {
        for (auto change = undo.rbegin(); change != undo.rend(); ++change) {
            MoxScopedPage fixed(change->segment, change->page, typeOf(change->segment, change->page),
                                MoxScopedPage::GetExistingPage);
            memcpy(fixed->getPageData() + change->offset, change->bytes.data(), change->bytes.size());
        }
        undo.clear();
    }

    static L::Slot slot(SegmentId segment, const TupleId& tid) {
        return valueAt<L::Slot>(segment, tid.page, sizeof(L::SlotPageHeader) + 8 * tid.slot);
    }
    static size_t slotAt(SlotId slotId) { return sizeof(L::SlotPageHeader) + 8 * slotId; }
    static std::string recordPlace(const std::string& table, const TupleId& tid) {
        return "table " + table + " page " + std::to_string(tid.page) + " slot " + std::to_string(tid.slot);
    }
    // Where a catalog table holds the row whose bytes contain text.
    static TupleId catalogRow(TableId table, const std::string& text) {
        TupleId found;
        MoxTableChecker(table, "").check([&](const TupleId& tid, const unsigned char* bytes, Uint16 length) {
            if (std::string(reinterpret_cast<const char*>(bytes), length).find(text) != std::string::npos) found = tid;
        });
        return found;
    }
    static size_t recordOffset(TableId table, const TupleId& tid) { return slot(table, tid).offset; }
    // The leaves of an index from left to right.
    static std::vector<PageId> leaves(IndexId index, MoxDataType type) {
        MoxIndexTreeChecker tree(MoxBufferManager::convertIndexIdToSegmentId(index), type, "");
        EXPECT_TRUE(sound(tree.check()));
        return tree.levels().back();
    }

    struct Change {
        SegmentId segment;
        PageId page;
        size_t offset;
        std::vector<unsigned char> bytes;
    };
    std::unique_ptr<MoxTable> descriptor;
    std::map<Sint32, TupleId> tids;
    Sint32 movedId = -1;
    std::vector<Change> undo;
};

struct Corruption {
    const char* invariant;
    // Makes the damage and returns the problem it must cause.
    std::function<MoxCheckProblem()> damage;
};

TEST_F(MoxDatabaseCheckerTest, EachCorruptionIsReportedWithItsPlaceAndSoundnessReturnsWhenUndone) {
    const SegmentId idSegment = MoxBufferManager::convertIndexIdToSegmentId(byId);
    const SegmentId nameSegment = MoxBufferManager::convertIndexIdToSegmentId(byName);
    const TupleId first = tids[0];
    const TupleId second = tids[1];
    const TupleId freed{tids[2].page, static_cast<SlotId>(tids[2].slot + 1), 0};
    const TupleId forwarding = tids[movedId];
    const L::Slot forward = slot(people, forwarding);
    const TupleId moved{forward.offset, static_cast<SlotId>(forward.recordLength), 0};
    const std::string pageOne = "table PEOPLE page " + std::to_string(first.page);
    const std::vector<PageId> idLeaves = leaves(byId, INTEGER);
    const PageId leftLeaf = idLeaves[0];
    const PageId rightLeaf = idLeaves[1];
    const size_t leafKeys = offsetof(MoxIndexTreeLeafPage::pageFormat, keys);
    auto idPage = [](PageId page) { return "index PEOPLE_ID page " + std::to_string(page); };
    const size_t fieldsAt = offsetof(L::SlotPageHeader, freeSpace);

    const std::vector<Corruption> corruptions = {
        {"record inside the page",
         [&] {
             write<Uint16>(people, first.page, slotAt(first.slot), 4090);
             return MoxCheckProblem{recordPlace("PEOPLE", first), "record outside the data area"};
         }},
        {"records do not overlap",
         [&] {
             const Uint16 offset = slot(people, first).offset;
             write<Uint16>(people, second.page, slotAt(second.slot), offset);
             return MoxCheckProblem{recordPlace("PEOPLE", second),
                                    "record overlaps another at byte " + std::to_string(offset)};
         }},
        {"known record types",
         [&] {
             write<Uint8>(people, second.page, slotAt(second.slot) + 4, 7);
             return MoxCheckProblem{recordPlace("PEOPLE", second), "unknown record type 7"};
         }},
        {"free slots untyped",
         [&] {
             write<Uint8>(people, freed.page, slotAt(freed.slot) + 4, L::SecondaryRecord);
             return MoxCheckProblem{recordPlace("PEOPLE", freed), "free slot with a record type"};
         }},
        {"no stray bytes",
         [&] {
             // Inside the directory entry that stays reserved.
             const Uint8 slots = valueAt<Uint8>(people, first.page, offsetof(L::SlotPageHeader, numberOfSlots));
             write<Uint8>(people, first.page, slotAt(slots) + 3, 0xA5);
             return MoxCheckProblem{pageOne, "stray byte at offset " + std::to_string(slotAt(slots) + 3)};
         }},
        {"free-space fields",
         [&] {
             auto fields = valueAt<std::array<Uint16, 3>>(people, first.page, fieldsAt);
             const std::string right =
                 std::to_string(fields[0]) + "/" + std::to_string(fields[1]) + "@" + std::to_string(fields[2]);
             write<Uint16>(people, first.page, fieldsAt, static_cast<Uint16>(fields[0] + 16));
             return MoxCheckProblem{pageOne, "free-space fields " + std::to_string(fields[0] + 16) + "/" +
                                                 std::to_string(fields[1]) + "@" + std::to_string(fields[2]) +
                                                 " but the page has " + right};
         }},
        {"inventory entry against its page",
         [&] {
             const auto entry = valueAt<L::FsiEntry>(people, 0, offsetof(L::FsiPage, pageInfo));
             write<Uint8>(people, 0, offsetof(L::FsiPage, pageInfo), static_cast<Uint8>(entry.freeSpace + 1));
             const std::string block = "/" + std::to_string(entry.freeSpaceBlock);
             return MoxCheckProblem{"table PEOPLE page 1", "inventory entry " + std::to_string(entry.freeSpace + 1) +
                                                               block + " but the page has " +
                                                               std::to_string(entry.freeSpace) + block};
         }},
        {"inventory count within bounds",
         [&] {
             write<Uint16>(people, 0, offsetof(L::FsiPage, countEntries), 300);
             return MoxCheckProblem{"table PEOPLE page 0", "inventory count 300 exceeds 254"};
         }},
        {"no dangling forwarding",
         [&] {
             write<Uint16>(people, forwarding.page, slotAt(forwarding.slot), 9000);
             return MoxCheckProblem{
                 recordPlace("PEOPLE", forwarding),
                 "forwarding to page 9000 slot " + std::to_string(moved.slot) + ", which is no data page"};
         }},
        {"no orphan moved record",
         [&] {
             write<L::Slot>(people, forwarding.page, slotAt(forwarding.slot), L::Slot{});
             return MoxCheckProblem{recordPlace("PEOPLE", moved), "moved record without a forwarding slot"};
         }},
        {"one forwarding slot per moved record",
         [&] {
             write<L::Slot>(people, freed.page, slotAt(freed.slot), forward);
             return MoxCheckProblem{recordPlace("PEOPLE", moved), "moved record reached by 2 forwarding slots"};
         }},
        {"at most one hop",
         [&] {
             write<Uint8>(people, moved.page, slotAt(moved.slot) + 4, L::PlaceHolderTid);
             return MoxCheckProblem{
                 recordPlace("PEOPLE", forwarding),
                 "forwarding to " + recordPlace("PEOPLE", moved).substr(13) + ", which forwards again"};
         }},
        {"sorted leaves",
         [&] {
             write<Sint32>(idSegment, leftLeaf, leafKeys + 8 * 5, -100);
             return MoxCheckProblem{idPage(leftLeaf), "key at position 5 out of order"};
         }},
        {"routing invariant",
         [&] {
             write<Sint32>(idSegment, rightLeaf, leafKeys, -5);
             return MoxCheckProblem{idPage(rightLeaf), "key at position 0 below the separator left of the page"};
         }},
        {"leaf chain forwards",
         [&] {
             write<PageId>(idSegment, leftLeaf, offsetof(TreeHeader, nextId), 0);
             return MoxCheckProblem{idPage(leftLeaf),
                                    "nextId 0 but the page right of it is " + std::to_string(rightLeaf)};
         }},
        {"leaf chain backwards",
         [&] {
             write<PageId>(idSegment, rightLeaf, offsetof(TreeHeader, prevId), 77);
             return MoxCheckProblem{idPage(rightLeaf),
                                    "prevId 77 but the page left of it is " + std::to_string(leftLeaf)};
         }},
        {"counts within bounds",
         [&] {
             write<Uint16>(idSegment, leftLeaf, offsetof(TreeHeader, spaceLeft), 600);
             return MoxCheckProblem{idPage(leftLeaf), "spaceLeft 600 exceeds 509"};
         }},
        {"page kinds",
         [&] {
             write<Uint8>(idSegment, rightLeaf, offsetof(TreeHeader, keyType), MoxIndexTreePage::VARCHAR_MARK);
             return MoxCheckProblem{idPage(rightLeaf), "page of the other key type"};
         }},
        {"varchar entries fill the count",
         [&] {
             const PageId leaf = leaves(byName, VARCHAR)[0];
             const size_t countAt = offsetof(MoxIndexVarcharTreeLeafPage::pageFormat, numElements);
             const Uint16 count = valueAt<Uint16>(nameSegment, leaf, countAt);
             write<Uint16>(nameSegment, leaf, countAt, static_cast<Uint16>(count + 1));
             return MoxCheckProblem{
                 "index PEOPLE_NAME page " + std::to_string(leaf),
                 "numElements " + std::to_string(count + 1) + " but " + std::to_string(count) + " entries"};
         }},
        {"inventory against the tree's pages",
         [&] {
             const PageId lastId =
                 valueAt<PageId>(idSegment, 0, offsetof(MoxIndexFreeSpaceInventory::PageFormat, lastId));
             write<PageId>(idSegment, 0, offsetof(MoxIndexFreeSpaceInventory::PageFormat, lastId), lastId + 2);
             return MoxCheckProblem{idPage(static_cast<PageId>(lastId + 1)),
                                    "handed out but neither tree, inventory nor free page"};
         }},
        {"every entry leads to its record's key",
         [&] {
             const TupleId other = tids[1];
             write<TupleId>(idSegment, leftLeaf, leafKeys + 4, other);
             return MoxCheckProblem{idPage(leftLeaf),
                                    "entry 0 leads to " + recordPlace("PEOPLE", other).substr(13) + ", whose key is 1"};
         }},
        {"every record has its entries",
         [&] {
             write<Sint32>(people, first.page, recordOffset(people, first), 12345);
             return MoxCheckProblem{recordPlace("PEOPLE", first), "no entry in index PEOPLE_ID"};
         }},
        {"unique keys",
         [&] {
             write<Sint32>(idSegment, leftLeaf, leafKeys + 8, 0);
             return MoxCheckProblem{idPage(leftLeaf), "key 0 repeated in a unique index"};
         }},
        {"records fit their columns",
         [&] {
             write<Uint16>(people, second.page, recordOffset(people, second) + 5, 2000);
             return MoxCheckProblem{recordPlace("PEOPLE", second), "record does not fit the table's columns"};
         }},
        {"catalog rows against the catalog's own descriptors",
         [&] {
             // SYSCOLUMNS row of SYSTABLES.COLUMN_COUNT: its MAX_LENGTH 4 becomes 5.
             const TupleId row = catalogRow(MoxCatalogManager::SYSCOLUMNS_ID, "COLUMN_COUNT");
             const size_t maxLength = 4 + 2 + 12 + 4 + 2 + 7;
             write<Sint32>(MoxCatalogManager::SYSCOLUMNS_ID, row.page,
                           recordOffset(MoxCatalogManager::SYSCOLUMNS_ID, row) + maxLength, 5);
             return MoxCheckProblem{recordPlace("SYSCOLUMNS", row), "row differs from the table's descriptor"};
         }},
        {"COLUMN_COUNT against the column rows",
         [&] {
             const TupleId row = catalogRow(MoxCatalogManager::SYSTABLES_ID, "PEOPLE");
             write<Sint32>(MoxCatalogManager::SYSTABLES_ID, row.page,
                           recordOffset(MoxCatalogManager::SYSTABLES_ID, row) + 2 + 6 + 4, 3);
             return MoxCheckProblem{"table PEOPLE", "COLUMN_COUNT 3 but 2 column rows"};
         }},
        {"indexes on columns of their table",
         [&] {
             const TupleId row = catalogRow(MoxCatalogManager::SYSINDEXES_ID, "PEOPLE_NAME");
             write<Sint32>(MoxCatalogManager::SYSINDEXES_ID, row.page,
                           recordOffset(MoxCatalogManager::SYSINDEXES_ID, row) + 4 + 2 + 11 + 4 + 2 + 5, 9);
             return MoxCheckProblem{recordPlace("SYSINDEXES", row),
                                    "index on column 9, which table PEOPLE does not have"};
         }},
        {"catalog rows fit the catalog",
         [&] {
             const TupleId row = catalogRow(MoxCatalogManager::SYSTABLES_ID, "PEOPLE");
             write<Sint32>(MoxCatalogManager::SYSTABLES_ID, row.page,
                           recordOffset(MoxCatalogManager::SYSTABLES_ID, row) + 2 + 6, 0);
             return MoxCheckProblem{recordPlace("SYSTABLES", row), "row does not fit the catalog"};
         }},
    };
    for (const Corruption& corruption : corruptions) {
        SCOPED_TRACE(corruption.invariant);
        const MoxCheckProblem expected = corruption.damage();
        const MoxCheckProblems found = MoxDatabaseChecker().checkDatabase();
        EXPECT_NE(std::find(found.begin(), found.end(), expected), found.end())
            << "expected " << expected.line() << "\n"
            << sound(found).message();
        undoDamage();
        ASSERT_TRUE(sound(MoxDatabaseChecker().checkDatabase()));
    }
}

TEST_F(MoxDatabaseCheckerTest, OneTableIsCheckedByNameAndAnUnknownNameIsTheCatalogsError) {
    write<Uint8>(people, tids[0].page, slotAt(tids[0].slot) + 4, 9);
    const MoxCheckProblems found = MoxDatabaseChecker().checkTable("PEOPLE");
    EXPECT_NE(
        std::find(found.begin(), found.end(), MoxCheckProblem{recordPlace("PEOPLE", tids[0]), "unknown record type 9"}),
        found.end());
    EXPECT_TRUE(sound(MoxDatabaseChecker().checkTable("SYSINDEXES")));
    EXPECT_TRUE(throwsError([] { MoxDatabaseChecker().checkTable("NOBODY"); }, MOX_NOT_FOUND_WARN));
    undoDamage();
}

}  // namespace
