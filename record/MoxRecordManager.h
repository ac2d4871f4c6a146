#ifndef MOX_RECORD_MANAGER_H
#define MOX_RECORD_MANAGER_H

#include <functional>
#include <memory>
#include <string>

#include "MoxRecord.h"
#include "MoxRecordLayout.h"
#include "TupleId.h"
#include "../buffer/MoxScopedPage.h"
#include "../lock/MoxLockManager.h"
#include "../log/MoxAbstractLogEntry.h"

class MoxBufferManager;
class MoxLogManager;
class MoxMemoryManager;
class MoxRecordIterator;
class MoxScopedLock;
class MoxTransactionManager;

// Stores the rows of every table as byte strings in the table's segment
// (segment number = table number) and addresses each by a TupleId that stays
// valid for the record's life. Owns the slotted data pages, the free space
// inventory of each table (every 255th page) and the sequential scan. Every
// change writes its log entry first; the page is then marked with its LSN.
//
// One per process (getInstance; the system must be started), used by one
// thread, on behalf of the process's current transaction, whose locks
// isolate it from other processes: record locks for reads, an exclusive page
// lock on every page that receives a record, shared page locks for scans,
// and the inventory locks. Locks stay until the transaction releases them.
// Every operation throws MoxException on failure. Records handed back through
// a MoxRecord*& are refilled when the pointer is not null and otherwise
// created for the caller, who owns them.
class MoxRecordManager : public MoxRecordLayout {
  public:
    static MoxRecordManager* getInstance();
    // Whether the process has one, so that the stop deletes only one that exists.
    static bool hasInstance() { return instance != nullptr; }
    ~MoxRecordManager();
    MoxRecordManager(const MoxRecordManager&) = delete;
    MoxRecordManager& operator=(const MoxRecordManager&) = delete;

    // --- Tables and records ---

    // Creates the table's empty segment under an exclusive segment lock;
    // MOX_RM_TABLE_ALREADY_EXISTS (table id) if its file exists.
    void createTable(TableId table);
    // Drops the segment under an exclusive segment lock (at commit for a
    // table older than the transaction).
    void dropTable(TableId table);
    // Stores a record of 1 to 4055 bytes on a page with room (or a new one)
    // and returns its TupleId. The page stays locked exclusively.
    void insert(const MoxRecord& record, TableId table, TupleId& tid);
    // The same; any type but PrimaryRecord is MOX_INTERNAL_FAIL.
    void insert(const MoxRecord& record, TableId table, RecordType type, TupleId& tid);
    // Reads the record that tid names with a shared (getForUpdate: an
    // exclusive) record lock, following a forwarding slot. The record carries
    // tid, also when its bytes live elsewhere. MOX_RM_REC_NOT_FOUND for a
    // free slot or one beyond the directory.
    void get(TableId table, const TupleId& tid, MoxRecord*& record);
    void getForUpdate(TableId table, const TupleId& tid, MoxRecord*& record);
    // primaryOnly refuses the TupleId of a moved record's own slot
    // (MOX_INTERNAL_FAIL); without it that slot is read directly.
    void get(TableId table, const TupleId& tid, bool primaryOnly, bool lockForUpdate, MoxRecord*& record);
    // The full read on the given segment (the table is not used).
    void get(TableId table, const TupleId& tid, bool primaryOnly, bool lockForUpdate, MoxRecord*& record,
             SegmentId segment);
    // A new scan over the table in TupleId order; the caller owns it.
    void getRecordIterator(TableId table, MoxRecordIterator*& iterator);
    // Writes the transaction's COMMIT entry; the caller then commits the
    // buffer manager and releases the locks.
    void commit();

    // Scan step: from the position tid (page 0: before the first record) to
    // the next primary or forwarding slot, share-locking each page visited.
    // The end of the table is MOX_RM_NO_MORE_PAGES, or MOX_BM_PAGE_NOT_FOUND
    // when an inventory page is missing.
    void findNextRecord(TableId table, TupleId& tid);
    // The next existing data page behind pageId, by the inventory.
    void findNextPage(const SegmentId& segment, PageId& pageId);
    // A fixed page, locked exclusively, with room for length bytes and a
    // slot entry, and the slot and offset for them: the first page from page
    // 1 on that the inventory offers and that proves usable, else a new one.
    void getFittingPage(const TableId& table, const Uint16& length, std::unique_ptr<MoxScopedPage>& page,
                        Uint16& offset, SlotId& slot);
    // Appends an empty data page to the table and registers it; it comes
    // back fixed, with the page and its inventory entry locked exclusively.
    // A page number that another process took meanwhile is passed over.
    void createNewPage(const TableId& table, PageId& pageId, std::unique_ptr<MoxScopedPage>& page);

    // --- The slotted data page (page-local; the page is fixed) ---
    // A null page is MOX_PARAMETER_FAIL. Operations that read or write
    // record bytes require a lock of the transaction on the page, its
    // segment or the database (insertRecordOnPage and getRecordFromPage also
    // accept one on the record); MOX_INTERNAL_FAIL without.

    void getFreeSlotId(const SlotPageHeader* header, SlotId& slot);
    // These two hold a shared lock on the page's inventory entry while they
    // run (none needed where the transaction holds it exclusively).
    void findFreeSpaceInPage(const MoxPage* page, Uint16& freeSpace);
    void findLargestFreeSpaceInPage(const MoxPage* page, Uint16& maxBlockOffset, Uint16& maxBlockSize);
    void calcOffset(const MoxPage* page, const Uint16& length, Uint16& offset);
    // Writes the bytes and the slot; the caller refreshes the free space.
    void insertRecordOnPage(MoxPage* page, SlotId slot, const MoxRecord& record, RecordType type, const Uint16& offset);
    // Copies the slot's bytes out (no forwarding, no type check) and stamps
    // tid on the record. On failure a record created here is deleted and the
    // pointer cleared; a caller's record stays the caller's.
    void getRecordFromPage(MoxPage* page, const TupleId& tid, MoxRecord*& record);
    void reorganizePage(MoxPage* page, Uint16& freeSpace, Uint16& freeSpaceOffset);

    // --- The free space inventory (MoxRecordManager_FSV.cpp) ---

    static PageId getFsiPageId(PageId pageId) {
        return static_cast<PageId>(pageId / FSI_PAGE_DISTANCE * FSI_PAGE_DISTANCE);
    }
    // The entry number of a data page; 255 for an inventory page.
    static SlotId getFsiSlot(PageId pageId) { return static_cast<SlotId>(pageId - getFsiPageId(pageId) - 1); }
    static bool isFsiPage(PageId pageId) { return getFsiPageId(pageId) == pageId; }
    static void markEmptyPage(FsiEntry& entry) { entry = FsiEntry{254, 254}; }
    static void markNotExists(FsiEntry& entry) { entry = FsiEntry{0, 254}; }
    static bool pageAlreadyExists(const FsiEntry& entry) { return entry.freeSpace >= entry.freeSpaceBlock; }

    // Creates and initialises an inventory page, or fixes it if another
    // transaction created it first; it comes back fixed.
    void createFsiPage(SegmentId segment, PageId fsiPageId, std::unique_ptr<MoxScopedPage>& page);
    // Registers a data page (its first entry) or overwrites its entry,
    // creating the inventory page of its range when needed.
    void addFsiEntry(TableId table, PageId pageId, const FsiEntry& entry);
    void addFsiEntry_seg(SegmentId segment, PageId pageId, const FsiEntry& entry);
    // Recomputes the free-space fields of a fixed data page and, where they
    // changed, its inventory entry, under an exclusive lock on the entry:
    // kept until the transaction ends with holdLock, else only for the call.
    void updateFreeSpace(MoxPage* page, bool holdLock);
    // Overwrites an entry; takes no lock (holdLock is not used).
    // MOX_RM_FSI_ENTRY_NOT_ALLOWED (page, segment) for an inventory page.
    void updateFsiEntry(SegmentId segment, PageId pageToEdit, const FsiEntry& newPageInfo, bool holdLock);
    // Reads the entry of an existing page without a lock:
    // MOX_RM_FSI_ENTRY_NOT_ALLOWED for an inventory page,
    // MOX_RM_NO_FSI_ENTRY_FOR_PAGE (page, segment) for one that does not exist.
    void findFsiEntry(SegmentId segment, PageId pageToFind, FsiEntry& pageInfo);
    // The first page from firstSearchPageId on whose largest block holds
    // numBytes and whose entry this transaction could lock exclusively; the
    // lock stays until the transaction ends, keeping other inserting
    // transactions off the page. MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN if none.
    PageId findFreeMemoryBlock(TableId table, Uint16 numBytes, PageId firstSearchPageId);
    // The number the table's next new page gets; MOX_RM_NO_MORE_PAGES when
    // none is left.
    void getNewPageId(TableId table, PageId& pageId);

    // --- Dumps on standard output; each takes shared locks ---

    void dumpTableInfo(TableId table);
    void dumpTableContent(TableId table);
    void dumpPagesInfo(TableId table, PageId first, PageId last);
    void dumpPagesContent(TableId table, PageId first, PageId last);
    // The pages first to last, up to the first that does not exist, as one
    // row each (full false) or in full.
    void dumpPages(TableId table, PageId first, PageId last, bool full);
    // One summary row; single prints the column heading first.
    void dumpPageInfo(TableId table, PageId pageId, bool single);
    void dumpPageContent(TableId table, PageId pageId);

    // The "table_all", "table_page" and "table_pages" debug commands.
    static void debugTableAll(const char* args);
    static void debugTablePage(const char* args);
    static void debugTablePages(const char* args);

  private:
    MoxRecordManager();

    // The table's segment; MOX_PARAMETER_FAIL for an invalid table number.
    static SegmentId segmentOf(TableId table);
    // The same, opened in this process.
    SegmentId openTable(TableId table);
    // Appends one record log entry of the current transaction and returns
    // its LSN.
    MoxLsn logChange(SegmentId segment, const MoxRecord* before, const MoxRecord* after,
                     MoxAbstractLogEntry::transType type, const TupleId* primary, const TupleId* oldSecondary,
                     const TupleId* newSecondary);
    // Creates a page that neither the pool nor the file holds and hands its
    // fix back; MOX_BM_PAGE_ALREADY_EXISTS_IN_BUFFER or _IN_FILE otherwise.
    std::unique_ptr<MoxScopedPage> createPageFixed(SegmentId segment, PageId pageId, MoxPage::PageType type);
    // The inventory page, fixed; null if it does not exist.
    std::unique_ptr<MoxScopedPage> fixFsiPageIfExists(SegmentId segment, PageId fsiPageId);
    // The inventory page, fixed; created first if it does not exist.
    std::unique_ptr<MoxScopedPage> fixFsiPage(SegmentId segment, PageId fsiPageId);
    // Creates and registers the next data page of the range of candidate
    // (which receives its number) under the range's metadata lock, its
    // entry locked exclusively for the transaction. Null when the range
    // filled up meanwhile.
    std::unique_ptr<MoxScopedPage> appendPage(SegmentId segment, PageId& candidate);
    // The inventory entry that describes the page as it is.
    FsiEntry entryOf(const MoxPage* page);

    // Throws MOX_INTERNAL_FAIL unless the transaction holds a lock on the
    // page, its segment or the database (or, with withSlot, on the slot).
    void checkLockOnPage(SegmentId segment, PageId pageId, bool withSlot, SlotId slot);
    bool holdsExclusively(SegmentId segment, PageId pageId, SlotId slot);
    // A transaction-long exclusive page lock, unless the transaction has one.
    void lockPageExclusively(SegmentId segment, PageId pageId);
    // A scoped lock on a data page's inventory entry; none (null) where the
    // transaction holds the entry exclusively already, which covers both
    // kinds and must not be released by the scope.
    std::unique_ptr<MoxScopedLock> lockFsiEntry(SegmentId segment, PageId dataPage, MoxLockManager::LockType type);
    // Exclusive lock on an inventory entry for an insert, without waiting;
    // false when another transaction holds it.
    bool tryLockFsiEntryForInsert(SegmentId segment, PageId fsiPage, SlotId entry, bool& newlyLocked);
    // Locks (shared) and fixes a page of the table for a dump.
    std::unique_ptr<MoxScopedPage> fixForDump(TableId table, PageId pageId);
    // The one place where a debug command's table name becomes a table id.
    static TableId tableIdOfName(const std::string& name);
    // The common part of the "table_*" commands: checks the word count,
    // the first word and the page numbers, then runs dump with the table,
    // whether to dump in full, and the page numbers.
    static void runTableCommand(const char* args, size_t wordCount, const char* usage,
                                const std::function<void(MoxRecordManager&, bool, TableId, const PageId*)>& dump);

    static MoxRecordManager* instance;

    MoxBufferManager* bufferMgr;
    MoxLockManager* lockMgr;
    MoxMemoryManager* memMgr;
    MoxLogManager* logMgr;
    MoxTransactionManager* transMgr;
};

#endif
