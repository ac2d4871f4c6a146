#ifndef MOX_INDEX_FREE_SPACE_INVENTORY_H
#define MOX_INDEX_FREE_SPACE_INVENTORY_H

#include <functional>
#include <memory>

#include "MoxIndexTreePage.h"
#include "../buffer/MoxPage.h"

// The page bookkeeping of each index segment: the highest page id handed out
// so far (on page 0) and a stack of page ids free for reuse, kept on page 0
// and the inventory pages chained behind it. Tree pages come from here;
// rollback and recovery give pages back or take them into use again.
//
// A stateless singleton: every operation names its segment, which the
// caller has opened. Inventory pages are not logged: a change marks the page
// modified with the dummy LSN. Each operation holds a scoped lock on page 0
// (shared to read, exclusive to change) and on every chained page it visits
// for its own duration only, so page 0 serialises the segment's allocations
// between processes; no operation waits for any other lock while it holds
// them. Failures are thrown as MoxException.
class MoxIndexFreeSpaceInventory {
  public:
    static constexpr Uint16 maxElements = 2037;

    struct MOX_PACKED PageFormat {
        MoxPage::PageHeader header;   // 0-15: type FreeSpaceInventoryPage
        PageId nextId;                // 16-17: next inventory page, 0 if none
        PageId lastId;                // 18-19: page 0 only: highest page id handed out
        Uint16 numElements;           // 20-21: entries in use
        PageId pageIds[maxElements];  // 22-4095: free page ids; 0 is a hole
    };

    static MoxIndexFreeSpaceInventory* getInstance();
    MoxIndexFreeSpaceInventory(const MoxIndexFreeSpaceInventory&) = delete;
    MoxIndexFreeSpaceInventory& operator=(const MoxIndexFreeSpaceInventory&) = delete;

    // Creates page 0 of a new segment: no page handed out, nothing free.
    void initialize(SegmentId segment);
    // The next page id never handed out; MOX_IM_NO_MORE_PAGES when the
    // segment has used every id up to MOX_MAX_PAGE_ID.
    PageId generateNewPageId(SegmentId segment);
    PageId getLastPageId(SegmentId segment);
    // Takes the free page id added last; 0 when that entry was a hole or
    // none is free.
    PageId getExistingPageId(SegmentId segment);
    // Where the chain lists page (0 finds a hole): the inventory page and
    // the entry's position. False when it does not, or when a chained page
    // is missing.
    bool findFreePageId(SegmentId segment, PageId page, PageId& fsiPageId, Uint32& offset);
    // Records page as free: in the first hole, else appended, chaining a
    // new inventory page when the last one is full. REQUIRES: page is not
    // listed yet.
    void setFreePageId(SegmentId segment, PageId page);
    // Turns page's entry, if any, into a hole.
    void removeFreePageId(SegmentId segment, PageId page);
    // Makes lastId cover page, listing the ids skipped on the way as free.
    void reservePageId(SegmentId segment, PageId page);
    // An empty page of the kind, fixed and locked exclusively for the
    // current transaction, formatted and owned by the caller; a reused id
    // whose page is still in the buffer pool is fixed and formatted there.
    std::unique_ptr<MoxIndexTreePage> getFreeLeafPage(SegmentId segment, MoxDataType dataType);
    std::unique_ptr<MoxIndexTreePage> getFreeNodePage(SegmentId segment, MoxDataType dataType);
    // The same unformatted; the caller releases the fixed frame.
    MoxPage* getFreePage(SegmentId segment);
    // A copy of an inventory page, read under a shared lock.
    void getPageData(SegmentId segment, PageId page, PageFormat& copy);

    // The page on standard output; full adds its entries.
    void dump(SegmentId segment, PageId page, bool full);
    // Every page of the chain.
    void dump(SegmentId segment, bool full);

  private:
    class LockedPage;

    MoxIndexFreeSpaceInventory() = default;

    // The following work on the chain under the caller's lock on page 0.
    // Calls visit with page 0 and each chained page, locked like page 0,
    // while it returns true.
    void walkChain(SegmentId segment, LockedPage& first, const std::function<bool(LockedPage&)>& visit);
    PageId nextNewId(SegmentId segment, LockedPage& first);
    PageId takeExisting(SegmentId segment, LockedPage& first);
    bool findEntry(SegmentId segment, LockedPage& first, PageId page, PageId& fsiPageId, Uint32& offset);
    void addFree(SegmentId segment, LockedPage& first, PageId page);
    // Writes value into entry offset of inventory page fsiPage.
    void writeEntry(SegmentId segment, LockedPage& first, PageId fsiPage, Uint32 offset, PageId value);

    // A page id for a new tree page, locked exclusively and fixed in the pool.
    MoxPage* claimPage(SegmentId segment);
    std::unique_ptr<MoxIndexTreePage> claimTreePage(SegmentId segment, MoxDataType dataType,
                                                    MoxIndexTreePage::Kind kind);
    void printPage(const PageFormat& page, SegmentId segment, bool full) const;
};

static_assert(sizeof(MoxIndexFreeSpaceInventory::PageFormat) == MOX_PAGE_SIZE);
static_assert(offsetof(MoxIndexFreeSpaceInventory::PageFormat, nextId) == 16);
static_assert(offsetof(MoxIndexFreeSpaceInventory::PageFormat, lastId) == 18);
static_assert(offsetof(MoxIndexFreeSpaceInventory::PageFormat, numElements) == 20);
static_assert(offsetof(MoxIndexFreeSpaceInventory::PageFormat, pageIds) == 22);

#endif
