#ifndef MOX_RECORD_MANAGER_H
#define MOX_RECORD_MANAGER_H

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "MoxRecord.h"
#include "MoxRecordLayout.h"
#include "TupleId.h"
#include "../buffer/MoxScopedPage.h"
#include "../lock/MoxLockManager.h"
#include "../log/MoxAbstractLogEntry.h"
#include "../log/MoxRecordUndoHandler.h"
#include "../transaction/MoxTransactionId.h"

class MoxBufferManager;
class MoxLogManager;
class MoxMemoryManager;
class MoxRecordIterator;
class MoxRecovery;
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
class MoxRecordManager : public MoxRecordLayout, private MoxRecordUndoHandler {
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

    // --- Changing and removing records (MoxRecordManager_Update.cpp) ---
    // Each takes an exclusive lock on the record (its forwarding slot and
    // its secondary slot alike) and writes one log entry before it changes
    // a page. A TupleId keeps naming its record however often it moves;
    // there is never more than one forwarding hop.

    // Replaces the record that tupleId names (its own slot or its
    // forwarding slot) by record, of 1 to 4055 bytes: in place, grown into a
    // free neighbour, elsewhere on the page, after compacting the page,
    // moved out to another page, on its secondary page, home again, or to a
    // new secondary page. newTid receives where the bytes now are. Pages that
    // receive bytes at a new offset are locked exclusively.
    // MOX_RM_INSERT_RECORD_TOO_LONG, MOX_RM_NULL_LEN_REC, MOX_RM_REC_NOT_FOUND
    // (free slot, beyond the directory); MOX_INTERNAL_FAIL for the TupleId
    // of a moved record's own slot.
    void replace(TableId table, const TupleId& tupleId, const MoxRecord& record, TupleId& newTid);
    void replace(TableId table, const TupleId& tupleId, const MoxRecord& record);
    // Removes a record (both slots of a moved one). The inventory entries of
    // its pages stay locked exclusively until the transaction ends, so that
    // no other transaction takes the room an undo needs back.
    // MOX_RM_REC_NOT_FOUND; MOX_RM_RECORD_OUT_OF_PAGE_BOUNDS for a forwarding
    // slot behind its target's directory.
    void remove(const TableId& table, const TupleId& tid);
    // The same on a segment; compensate writes COMPENSATE_DELETE instead of DELETE.
    void remove(const SegmentId& segment, const TupleId& tid, bool compensate);

    // --- Undo and redo (MoxRecordManager_Undo.cpp, MoxRecordManager_Recovery.cpp) ---
    // The undo operations write a compensation entry on behalf of the
    // transaction whose change they undo, and lock exclusively the slots
    // they write and a page only where they compact it.

    // remove with compensate.
    void redoRemove(const SegmentId& segment, const TupleId& tid);
    // Puts a removed record back at primaryTid, its bytes at secTid when it
    // had moved (the page is created if it no longer exists).
    // MOX_PARAMETER_FAIL without primaryTid; MOX_INTERNAL_FAIL when a page
    // lacks the room, checked before anything is logged.
    void redoInsert(const SegmentId& segment, const TupleId* primaryTid, const TupleId* secTid,
                    const MoxRecord& record);
    // Turns the record at primaryTid, now newRecord with its bytes at
    // newSecTid (none: on the primary page), back into oldRecord with its
    // bytes at oldSecTid (none: on the primary page). Failures as redoInsert.
    void redoReplace(const SegmentId& segment, const TupleId* primaryTid, const TupleId* oldSecTid,
                     const TupleId* newSecTid, const MoxRecord& oldRecord, const MoxRecord& newRecord);
    // Undoes the current transaction's record changes newest first, then
    // writes its ROLLBACK entry; the caller then rolls back the buffer
    // manager and releases the locks. The plain form reads only the
    // transaction's own entries (its chain of previous LSNs) from the log.
    void rollback();
    // The same on a log analysed by the caller. MOX_INTERNAL_FAIL when the
    // rollback list cannot be built.
    void rollback(MoxRecovery& recovery);
    // Brings the tables to what the log says after a crash: redoes every
    // change that a page lost (a page that is missing, or zeros in its
    // file, is made anew), rebuilds the inventory of every table in the log
    // from its data pages, undoes the transactions without an end and
    // writes a ROLLBACK entry for each of them. Run by one process before
    // any other work; it takes an exclusive lock on every table in the log,
    // which its caller releases when it ends the transaction.
    void recover();
    // The same on a log analysed by the caller.
    void recover(MoxRecovery& recovery);

    // Scan step: from the position tid (page 0: before the first record) to
    // the next primary or forwarding slot, share-locking each page visited.
    // The end of the table is MOX_RM_NO_MORE_PAGES, or MOX_BM_PAGE_NOT_FOUND
    // when an inventory page is missing. Opens the table from page 0 only:
    // a scan that goes on from another position has opened it before.
    void findNextRecord(TableId table, TupleId& tid);
    // The next existing data page behind pageId, by the inventory.
    void findNextPage(const SegmentId& segment, PageId& pageId);
    // A fixed page, locked exclusively, with room for length bytes and a
    // slot entry, and the slot and offset for them: the first page from page
    // 1 on that the inventory offers and that proves usable, else a new one.
    // This and createNewPage work on a table that the calling operation
    // opened.
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
    // MOX_RM_INSERT_RECORD_TOO_LONG above 4055 bytes, MOX_RM_NULL_LEN_REC for none.
    static void checkRecordLength(const MoxRecord& record);
    // The secondary slot that a forwarding slot names.
    static TupleId forwardingTarget(const Slot& forwarding);
    // The moved record that a forwarding slot leads to, on its fixed page:
    // MOX_RM_RECORD_OUT_OF_PAGE_BOUNDS behind the directory, MOX_INTERNAL_FAIL
    // for anything but a secondary record.
    static void checkMovedRecord(const MoxPage* page, SlotId slot);
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
    // A scoped fix in place of the fix that the creation of `created` took.
    std::unique_ptr<MoxScopedPage> holdCreatedPage(SegmentId segment, PageId pageId, MoxPage::PageType type,
                                                   MoxPage*& created);
    // The existing data page, fixed; one that no longer exists is created
    // and registered as empty.
    std::unique_ptr<MoxScopedPage> fixOrAppendDataPage(SegmentId segment, PageId pageId);
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
    // findFreeMemoryBlock on a segment that the operation opened already;
    // MOX_INVALID_PAGE_ID when no page qualifies, notFound then holding the
    // code the public form throws. An insert meets that answer whenever its
    // table's last page fills: it must cost no exception. newlyClaimed tells
    // whether the found page's entry was locked by this search.
    PageId searchFreeMemoryBlock(SegmentId segment, Uint16 numBytes, PageId firstSearchPageId, MoxErrorCode& notFound,
                                 bool& newlyClaimed);
    // getNewPageId on a segment that the operation opened already.
    PageId nextNewPageId(SegmentId segment);

    // --- Replacing (MoxRecordManager_Update.cpp) ---
    // The page of a record, fixed, with an exclusive lock on the record;
    // MOX_RM_REC_NOT_FOUND for a free slot or one beyond the directory.
    std::unique_ptr<MoxScopedPage> lockRecord(SegmentId segment, const TupleId& tid);
    // The record at tupleId is a primary record on the fixed page primary.
    void replacePrimary(TableId table, const TupleId& tupleId, const MoxRecord& record, MoxScopedPage& primary,
                        TupleId& newTid);
    // The record's slot on the fixed page primary forwards to its bytes.
    void replaceMoved(TableId table, const TupleId& tupleId, const MoxRecord& record, MoxScopedPage& primary,
                      TupleId& newTid);
    // Writes the record to a new secondary place on another page.
    void moveOut(TableId table, const TupleId& tupleId, const MoxRecord& before, const MoxRecord& record,
                 MoxScopedPage& primary, MoxScopedPage* oldSecondary, const TupleId* oldPlace, TupleId& newTid);
    // Writes the record anew into its slot after its log entry: at offset,
    // or where a compaction of the page makes room; refreshes the free
    // space and marks the page with lsn.
    void rewriteRecord(MoxPage* page, SlotId slot, const MoxRecord& record, RecordType type, Uint16 offset,
                       bool compact, const MoxLsn& lsn);
    // Compacts the page, whose record being rewritten was cleared from its
    // slot, and returns where length bytes go; MOX_RM_INSERT_RECORD_TOO_LONG
    // when compaction frees too little.
    Uint16 compactFor(MoxPage* page, Uint16 length);

    // --- Undo (MoxRecordManager_Undo.cpp) ---
    // MoxRecordUndoHandler: the undo of one entry of a rollback or undo
    // list, logged on behalf of the entry's transaction. A table whose
    // segment is gone has nothing left to undo.
    void removeRecord(const MoxRecordLogEntry& entry) override;
    void restoreRecord(const MoxRecordLogEntry& entry) override;
    void reinsertRecord(const MoxRecordLogEntry& entry) override;
    void undoOnBehalfOf(const MoxRecordLogEntry& entry, const std::function<void()>& undo);
    // Logs the compensation entry and brings the slots it names to what it
    // says, after checking the room on every page.
    void restore(SegmentId segment, MoxRecordLogEntry& compensation);
    // The transaction that log entries are written for: the one whose
    // change is being undone, else the current one.
    MoxTransactionId loggedTransaction() const;
    // Writes the COMMIT or ROLLBACK entry of a transaction.
    void logEnd(const MoxTransactionId& transaction, MoxAbstractLogEntry::transType type);

    // --- Recovery (MoxRecordManager_Recovery.cpp) ---
    // The pages a recovery has found or made, which exist from then on.
    typedef std::set<std::pair<SegmentId, PageId>> PageSet;
    // A page of a table as a crash may have left it: fixed if it is known
    // or its file holds it, else (missing, or zeros in the file because a
    // later page was written and this one never) made anew, empty. Either
    // way it is known afterwards.
    std::unique_ptr<MoxScopedPage> fixOrCreatePage(SegmentId segment, PageId pageId, MoxPage::PageType type,
                                                   PageSet& known);
    // The index of the first entry that a page it changes has lost; the
    // count when none has. Prints it when its LSN is not (0,0).
    int redoStart(MoxRecordLogEntry* entries, int count, const std::map<SegmentId, PageId>& tables, PageSet& known);
    // Applies the entry to each page it changes that has not seen it.
    void redo(const MoxRecordLogEntry& entry, const std::map<SegmentId, PageId>& tables, PageSet& known);
    // Rebuilds the inventory of pages 0 to lastPage from the data pages,
    // making every missing page (or zeros in the file) an empty page
    // (MoxRecordManager_FSV.cpp). The caller holds the segment exclusively.
    void rebuildInventory(SegmentId segment, PageId lastPage, PageSet& known);

    // Throws MOX_INTERNAL_FAIL unless the transaction holds a lock on the
    // page, its segment or the database (or, with withSlot, on the slot).
    void checkLockOnPage(SegmentId segment, PageId pageId, bool withSlot, SlotId slot);
    bool holdsExclusively(SegmentId segment, PageId pageId, SlotId slot);
    // A transaction-long exclusive page lock, unless the transaction has one.
    // lockPageExclusively for a page whose inventory entry the caller
    // claimed; a failure gives a newly claimed entry back before it passes on.
    void lockClaimedPage(SegmentId segment, PageId pageId, bool newlyClaimed);
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
    // While an undo runs: the transaction whose change it undoes.
    std::optional<MoxTransactionId> undoneTransaction;
};

#endif
