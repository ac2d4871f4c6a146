#ifndef MOX_INDEX_TREE_PAGE_H
#define MOX_INDEX_TREE_PAGE_H

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "MoxIndexKey.h"
#include "../buffer/MoxPage.h"
#include "../lock/MoxLockManager.h"
#include "../log/MoxAbstractLogEntry.h"
#include "../record/TupleId.h"

// A transient object over one fixed B-tree page of the buffer pool: an inner
// node or a leaf of an index of one key type. It locks the page through the
// lock manager, brackets every change with beforeWrite and afterWrite, which
// log the whole page before and after as one index log entry, and releases
// its fix when destroyed (never freeing the frame).
//
// Objects come from get, from the index free space inventory and from
// split and extractRoot; whoever receives one owns it. An object lives for
// one tree operation and is used by one thread; the locks it takes stay
// with the transaction until the lock manager releases them all.
//
// Changes need the page's exclusive lock, which beforeWrite takes; readers
// of inner pages hold a shared lock, readers of leaves none.
class MoxIndexTreePage {
  public:
    // A descent from the root: the root first, the leaf last; owns its pages.
    typedef std::vector<std::unique_ptr<MoxIndexTreePage>> Path;
    enum Kind { Node = 0, Leaf = 1 };

    static constexpr PageId ROOT_PAGE_ID = 1;
    // A link field that names no page.
    static constexpr PageId NO_PAGE = 0;
    // A position search that found nothing.
    static constexpr Uint16 NO_POSITION = 65535;
    // Refused shared locks after which a descent waits for them.
    static constexpr int DESCENT_ATTEMPTS = 4;
    // Where the leaf flag of a tree page lies, whatever its key type.
    static constexpr Uint16 LEAF_FLAG_OFFSET = 16;
    // Where varchar pages carry VARCHAR_MARK; integer pages hold 0 there.
    static constexpr Uint16 KEY_TYPE_OFFSET = 17;
    static constexpr Uint8 VARCHAR_MARK = 1;

    // Bytes 0-23 of every tree page, whatever its key type and kind.
    struct MOX_PACKED Header {
        MoxPage::PageHeader page;  // 0-15
        Uint8 isLeaf;              // 16: 1 for a leaf, 0 for an inner node
        Uint8 keyType;             // 17: VARCHAR_MARK on varchar pages, 0 on integer pages
        Uint16 spaceLeft;          // 18-19: free entry slots (integer) or bytes (varchar)
        PageId prevId;             // 20-21: left neighbour on the level, 0 if none
        PageId nextId;             // 22-23: right neighbour on the level, 0 if none
    };

    MoxIndexTreePage(const MoxIndexTreePage&) = delete;
    MoxIndexTreePage& operator=(const MoxIndexTreePage&) = delete;

    // The operations of every page kind, in this order. Keys must have the
    // index's data type.
    virtual bool isLeaf() const = 0;
    virtual bool isFull() const = 0;
    virtual bool isRoot() const;
    virtual Uint16 spaceLeft() const = 0;
    virtual Uint16 numElements() const = 0;
    virtual bool empty() const = 0;
    // Node: stores the separator (key, bigger) right after the child
    // smaller, or by value when smaller is no child (an empty root). Leaf:
    // false. False and no change when the page is full.
    virtual bool insert(PageId smaller, const MoxIndexKey& key, PageId bigger) = 0;
    // Leaf: stores the entry in front of the entries with an equal key.
    // Node: false. False and no change when the page is full.
    virtual bool insert(const MoxIndexKey& key, TupleId tupleId) = 0;
    // Leaf: removes the entry with key and *tupleId, or with a null tupleId
    // every entry with key, here and in the leaves to the right while the
    // key can still occur there; returns how many. Node: removes every
    // separator equal to key in this page.
    virtual Uint32 deleteKey(const MoxIndexKey& key, const TupleId* tupleId) = 0;
    // Removes one entry without logging: callers bracket it.
    virtual bool deleteKeyAt(Uint16 position) = 0;
    // Node: the first separator entry equal to key, inside the page (valid
    // while this object lives); leaf: null.
    virtual const unsigned char* findKey(const MoxIndexKey& key) const = 0;
    // Leaf: the TupleId of the first entry equal to key in this page.
    virtual bool findTuple(const MoxIndexKey& key, TupleId& tupleId) const = 0;
    // The first position whose key equals key, or NO_POSITION.
    virtual Uint16 findKeyPosition(const MoxIndexKey& key) const = 0;
    // REQUIRES: path holds just this page. Appends the pages down to the
    // leftmost leaf in which key can occur, taking a shared lock on every
    // inner page before it is read and starting again from this page when
    // one is refused; after DESCENT_ATTEMPTS refusals it waits for the
    // locks instead, and the lock manager's deadlock or time-out is thrown.
    virtual void findLeaf(const MoxIndexKey& key, Path& path);
    // The leftmost (rightmost) leaf below, through shared-locked inner
    // pages; for a leaf a second object of the same page.
    virtual std::unique_ptr<MoxIndexTreePage> findFirstLeaf();
    virtual std::unique_ptr<MoxIndexTreePage> findLastLeaf();
    virtual MoxIndexKey getLastValue() const = 0;
    // MOX_PARAMETER_FAIL past the last entry.
    virtual MoxIndexKey getValueAt(Uint16 position) const = 0;
    // The default TupleId (0, 0) past the last entry and on nodes.
    virtual TupleId getTupleAt(Uint16 position) const = 0;
    // Page 1 only (null for any other): moves the content to a page from the
    // inventory, which this object then stands for, makes page 1 an empty
    // inner node and returns an object of it. Both changes are logged. The
    // page body moves as it is, whatever the kind.
    virtual std::unique_ptr<MoxIndexTreePage> extractRoot();
    // Moves the upper half of a full page to a new page from the inventory
    // and returns it; separator receives the value that divides the halves
    // in the parent (keys up to it stay here). Links are the tree's to set.
    virtual std::unique_ptr<MoxIndexTreePage> split(MoxIndexKey& separator) = 0;
    // The page on standard output: dump in the long form, dump2 in one line;
    // full adds the entries.
    virtual void dump(bool full) const = 0;
    virtual void dump2(bool full) const = 0;
    virtual SegmentId segmentId() const;
    virtual PageId pageId() const;
    virtual void setFirstChild(PageId child) = 0;
    virtual PageId getFirstChild() const = 0;
    // Node: the child right of the last separator (firstChild without
    // one); leaf: 0.
    virtual PageId getLastChild() const;
    virtual PageId nextId() const;
    virtual PageId prevId() const;
    // Logged link changes (nothing is written when the link stays).
    virtual void setNextId(PageId page);
    virtual void setPrevId(PageId page);
    // Node: the child right of the separator at position; 0 past the last
    // one and on leaves.
    virtual PageId getChildAt(Uint16 position) const = 0;

    // Releases the fix if it is still held; failures go to the error object.
    virtual ~MoxIndexTreePage();

    // Node: the position right of child among the separators (0 for
    // firstChild); NO_POSITION when child is none of the node's children.
    Uint16 positionAfter(PageId child) const;

    // Fixes a page of an index segment (opening the segment) and returns an
    // object of the kind its bytes name. Throws the buffer manager's errors.
    static std::unique_ptr<MoxIndexTreePage> get(SegmentId segment, PageId page, MoxDataType dataType);
    // An object of the given kind over a fixed frame, which it takes over;
    // newPage formats the page empty. With the frame released:
    // MOX_INTERNAL_FAIL for a data type without page kinds,
    // MOX_PARAMETER_FAIL for an existing page of the other key type.
    static std::unique_ptr<MoxIndexTreePage> adopt(MoxPage* frame, MoxDataType dataType, Kind kind, bool newPage);
    // Whether the bytes of a tree page say leaf.
    static bool holdsLeaf(const MoxPage& frame);
    // The key type of the index that the bytes of a tree page belong to.
    static MoxDataType dataTypeOf(const MoxPage& frame);

    // Undoes the fix now; later calls do nothing.
    void release();
    // Lock requests on the page for the current transaction, remembered so
    // that the object asks once. lock waits or throws as the lock manager
    // does; tryLock reports a refusal as false.
    void lock(MoxLockManager::LockType type);
    bool tryLock(MoxLockManager::LockType type);
    // The page bytes as they are now, for the next log entry's before image.
    void savePageDataBeforeWrite();
    // Exclusive lock, then savePageDataBeforeWrite.
    void beforeWrite();
    // Logs the change since beforeWrite and marks the page modified with the
    // entry's LSN. If logging fails, the page gets its saved bytes back.
    void afterWrite(MoxAbstractLogEntry::transType transType);
    // Appends the page's before and after images as one entry and returns
    // its LSN; forgets the saved image.
    MoxLsn writeLogEntry(MoxAbstractLogEntry::transType transType);
    // Rollback and recovery: writes length bytes of a logged image of this
    // page over it (as one logged change of the undo or redo type) and
    // keeps the inventory in step: an unlinked empty page other than the
    // root is free again, any other page is in use. MOX_PARAMETER_FAIL for
    // an image that is not one of this page; MOX_INTERNAL_FAIL for a data
    // type without page kinds.
    void undoOperation(const char* image, int length);
    void redoOperation(const char* image, int length);

    // Keeps the inventory of segment in step with a page as it is now (for
    // undo, redo and recovery): lastId is raised to cover the page; an
    // unlinked empty page other than the root, or one that does not exist,
    // is free again; any other tree page is in use. An inventory page is
    // left alone.
    static void syncInventory(SegmentId segment, PageId page, MoxDataType dataType);
    // Logs the page as it is, so that recovery can create it from the log.
    void logCurrentImage();

    // Calls step with this page and then with each leaf to the right (or
    // left) while it returns true and a neighbour exists. Throws
    // MOX_IM_NO_LEAF_PAGE when a link leads to a page that is no leaf.
    void walkLeaves(bool rightwards, const std::function<bool(MoxIndexTreePage&)>& step);
    // False once the page's bytes have become another kind than this object
    // (only page 1 changes its kind, when the root splits or that is undone).
    bool matchesPage() const;
    MoxDataType getDataType() const { return dataType; }

  protected:
    MoxIndexTreePage(MoxPage* frame, MoxDataType dataType);

    // Node: the child on the way to the leftmost leaf that may hold key.
    PageId childFor(const MoxIndexKey& key) const;
    // The first position whose key is not below key; the number of entries
    // when there is none.
    virtual Uint16 lowerBound(const MoxIndexKey& key) const = 0;
    // Writes the page as an empty page of this object's kind, unlogged.
    virtual void formatEmpty() = 0;

    // deleteKey of the leaf kinds.
    Uint32 deleteFromLeaves(const MoxIndexKey& key, const TupleId* tupleId);
    // deleteKey of the node kinds.
    Uint32 deleteSeparators(const MoxIndexKey& key);
    // Removes the entries equal to key from position on, unlogged.
    Uint32 removeRun(Uint16 position, const MoxIndexKey& key);
    // The first line of dump2 without its newline, and the heading of dump.
    void printShortHeading() const;
    void printLeafHeading() const;
    void printNodeHeading() const;
    // findTuple of the leaf kinds.
    bool findFirstTuple(const MoxIndexKey& key, TupleId& tupleId) const;
    // findFirstLeaf and findLastLeaf.
    std::unique_ptr<MoxIndexTreePage> edgeLeaf(bool leftmost);
    // One logged change.
    template <typename Change>
    void loggedChange(Change change) {
        beforeWrite();
        change();
        afterWrite(operationType());
    }
    // The type of a page change of this index: INTEGER_OPERATION or VARCHAR_OPERATION.
    MoxAbstractLogEntry::transType operationType() const;
    unsigned char* bytes() const { return page->getPageData(); }
    Header* header() const { return reinterpret_cast<Header*>(bytes()); }
    // A leaf of this index; MOX_IM_NO_LEAF_PAGE for any other page.
    std::unique_ptr<MoxIndexTreePage> getLeaf(PageId leaf) const;

    MoxDataType dataType;
    bool readLocked;
    bool writeLocked;
    std::unique_ptr<unsigned char[]> savedPageData;
    MoxPage* page;
    SegmentId sId;
    PageId pId;

  private:
    // deleteKey within this leaf, under its exclusive lock; goOn tells
    // whether the key can still occur in the next leaf.
    Uint32 deleteHere(const MoxIndexKey& key, const TupleId* tupleId, bool& goOn);
    void restore(const char* image, int length, MoxAbstractLogEntry::transType integerType,
                 MoxAbstractLogEntry::transType varcharType);
};

static_assert(sizeof(MoxIndexTreePage::Header) == 24);
static_assert(offsetof(MoxIndexTreePage::Header, isLeaf) == MoxIndexTreePage::LEAF_FLAG_OFFSET);
static_assert(offsetof(MoxIndexTreePage::Header, keyType) == MoxIndexTreePage::KEY_TYPE_OFFSET);
static_assert(offsetof(MoxIndexTreePage::Header, spaceLeft) == 18);
static_assert(offsetof(MoxIndexTreePage::Header, prevId) == 20);
static_assert(offsetof(MoxIndexTreePage::Header, nextId) == 22);

#endif
