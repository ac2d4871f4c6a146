#ifndef MOX_INDEX_BTREE_H
#define MOX_INDEX_BTREE_H

#include "MoxIndexKey.h"
#include "MoxIndexTreePage.h"
#include "MoxErrorCodes.h"

class MoxIndexFreeSpaceInventory;
class MoxIndexIterator;

// One B+-tree index in a segment of its own: page 0 starts the index free
// space inventory, page 1 is always the root. Leaves hold (key, TupleId)
// entries in key order, equal keys newest first, and are chained both ways;
// inner nodes route a key to the leftmost leaf in which it can occur and
// are chained both ways on their level too. Pages never merge: deletes may
// leave leaves empty, and runs of equal keys may then begin further right,
// which every search follows.
//
// The index manager keeps one object per open index; it holds no page
// between operations and is used by one thread. Every operation works for
// the current transaction: changes take exclusive page locks (kept until
// the transaction ends) and are logged page by page; descents take shared
// locks on inner pages with single tries, giving up after four refusals.
// Keys must have the index's data type, strings at most
// MOX_INDEX_VARCHAR_LENGTH characters (MOX_PARAMETER_FAIL otherwise).
// Errors of the buffer, lock and log managers are thrown as MoxException,
// with all pages of the operation released; a transaction whose change
// failed halfway must be rolled back.
class MoxIndexBTree {
  public:
    MoxIndexBTree();
    virtual ~MoxIndexBTree();
    MoxIndexBTree(const MoxIndexBTree&) = delete;
    MoxIndexBTree& operator=(const MoxIndexBTree&) = delete;

    // Formats the inventory and an empty root leaf in the index's segment,
    // which the caller has created and opened.
    MoxErrorCode initialTree(IndexId indexId, MoxDataType dataType, bool unique);
    // Takes over an existing index; reads no page.
    void openTree(IndexId indexId, MoxDataType dataType, bool unique);

    // Splits full pages up the path (the root staying page 1).
    // MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX without a change for a key that
    // a unique index holds; MOX_INTERNAL_FAIL when the descent gave up.
    MoxErrorCode insertKey(const MoxIndexKey& key, TupleId tupleId);
    // The TupleId of the newest entry with key, or MOX_NOT_FOUND_WARN.
    MoxErrorCode find(IndexId indexId, const MoxIndexKey& key, TupleId& tupleId);
    // The smallest (largest) key and its TupleId, copied into key;
    // MOX_NOT_FOUND_WARN for an index without entries.
    MoxErrorCode findFirstKey(IndexId indexId, MoxIndexKey& key, TupleId& tupleId);
    MoxErrorCode findLastKey(IndexId indexId, MoxIndexKey& key, TupleId& tupleId);
    // A new iterator over the entries from start to stop (both included,
    // either may be null for no bound), owned by the caller, who keeps the
    // bounds alive while using it. The result is that of positioning it.
    MoxErrorCode findRange(IndexId indexId, MoxIndexKey* start, MoxIndexKey* stop, MoxIndexIterator*& iterator);
    // Removes every entry with key; nothing when the descent gave up.
    void deleteKey(const MoxIndexKey& key);
    // With a null tupleId every entry with key, else the one with key and
    // *tupleId; MOX_NOT_FOUND_WARN when none was removed.
    MoxErrorCode deleteKey(IndexId indexId, const MoxIndexKey& key, const TupleId* tupleId);
    // Whether the index holds key; false also when the descent gave up.
    bool checkUnique(const MoxIndexKey& key);

    IndexId getIndexId() const { return indexId; }
    SegmentId getSegmentId() const { return segmentId; }
    MoxDataType getDataType() const { return dataType; }
    bool isUnique() const { return unique; }

    // The tree's fields on standard output.
    void dump() const;
    // One page, full or in one line; an inventory page as such. recursive
    // adds the pages below a node, or the inventory pages chained behind
    // page 0.
    void dump(int page, bool full, bool recursive);
    // Every leaf from left to right.
    void dumpLeafs(bool full);

  private:
    typedef MoxIndexTreePage::Path Path;

    // Whether the key fits this tree; records MOX_PARAMETER_FAIL if not.
    bool accepts(IndexId index, const MoxIndexKey& key) const;
    // The path from page 1 to the leaf for key; for a change the leaf is
    // locked exclusively. False when the descent gave up.
    bool descend(const MoxIndexKey& key, bool forChange, Path& path);
    // Searches the run of key from leaf on; tupleId gets the first match.
    bool searchFrom(MoxIndexTreePage& leaf, const MoxIndexKey& key, TupleId& tupleId);
    bool removeKey(const MoxIndexKey& key, const TupleId* tupleId, Uint32& removed);
    // findFirstKey (smallest) and findLastKey.
    MoxErrorCode findEdgeKey(IndexId index, bool smallest, MoxIndexKey& key, TupleId& tupleId);
    // Splits the full leaf on top of path, inserts the entry and carries
    // the separators up.
    void splitUpwards(Path& path, const MoxIndexKey& key, TupleId tupleId);
    // When left is page 1 (just split into left and right): moves it out and
    // returns the new root holding the separator; null otherwise.
    static std::unique_ptr<MoxIndexTreePage> growRoot(MoxIndexTreePage& left, const MoxIndexKey& separator,
                                                      MoxIndexTreePage& right);
    // Links right into the level right of left.
    void link(MoxIndexTreePage& left, MoxIndexTreePage& right);
    void dumpPage(int page, bool full, bool recursive, int depth);

    IndexId indexId;
    SegmentId segmentId;
    bool unique;
    MoxDataType dataType;
    MoxIndexFreeSpaceInventory* fsi;
};

#endif
