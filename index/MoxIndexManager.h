#ifndef MOX_INDEX_MANAGER_H
#define MOX_INDEX_MANAGER_H

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "MoxIndexBTree.h"
#include "MoxIndexIterator.h"
#include "MoxIndexKey.h"
#include "../log/MoxIndexUndoHandler.h"
#include "../log/MoxRecovery.h"
#include "../record/TupleId.h"

class MoxBufferManager;

// The index component's entry: creates, drops and opens the B-tree indexes
// of the database, routes key operations to them, writes the component's
// commit and rollback entries, rolls the current transaction's index
// changes back and recovers the indexes after a crash.
//
// One per process (getInstance; the system must be started), used by one
// thread, on behalf of the process's current transaction. An index is open
// in the process from createIndex or openIndex until dropIndex; the index
// used last is kept as the current one. Every operation throws MoxException:
// a tree's result code other than MOX_SUCCESS, warnings included, is raised
// with the text of the call that returned it. Iterators handed out are owned
// by the caller.
class MoxIndexManager : public MoxIndexUndoHandler {
  public:
    static MoxIndexManager* getInstance();
    // Whether the process has one, so that the stop deletes only one that exists.
    static bool hasInstance() { return instance != nullptr; }
    // Closes every open index.
    ~MoxIndexManager() override;
    MoxIndexManager(const MoxIndexManager&) = delete;
    MoxIndexManager& operator=(const MoxIndexManager&) = delete;

    // --- Indexes ---

    // Creates the index's segment under an exclusive segment lock, with an
    // empty tree of keys of dataType (INTEGER or VARCHAR, else
    // MOX_PARAMETER_FAIL before anything is created), and makes it the
    // current index. MOX_IM_INDEX_ALREADY_EXISTS, chained to the file
    // manager's error, when the segment exists; MOX_IM_NOT_IMPL_HASH (after
    // a line on standard output) and MOX_IM_INDEXTYPE_NOT_VALID for index
    // types other than BTree, leaving the segment in place.
    void createIndex(IndexId index, bool unique, MoxIndexType type, MoxDataType dataType);
    // Drops the segment under an exclusive segment lock and forgets the index.
    void dropIndex(IndexId index);
    // Makes an existing index open and current: under a shared segment lock
    // the first time in this process. The index type is not consulted.
    void openIndex(IndexId index, bool unique, MoxIndexType type, MoxDataType dataType);
    // The open index, made current; MOX_IM_INDEX_NOT_OPENED if it is not open.
    void getIndex(IndexId index, MoxIndexBTree*& tree);

    // --- Keys of an open index ---

    // The TupleId of the newest entry with key; MOX_NOT_FOUND_WARN without.
    void find(IndexId index, const MoxIndexKey& key, TupleId& tid);
    // The smallest (largest) key with its TupleId; MOX_NOT_FOUND_WARN for
    // an index without entries.
    void findFirstKey(IndexId index, MoxIndexKey& key, TupleId& tid);
    void findLastKey(IndexId index, MoxIndexKey& key, TupleId& tid);
    // MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX, without a change, for a key
    // that a unique index holds.
    void insert(IndexId index, const MoxIndexKey& key, const TupleId& tid);
    // A null tid removes every entry with key, else the one with key and
    // *tid; removing nothing is no error.
    void remove(IndexId index, const MoxIndexKey& key, const TupleId* tid);
    // Moves the entry (oldKey, *tid) to newKey. A newKey that a unique index
    // holds already is MOX_IM_DUPLICATE_KEY_IN_UNIQUE_INDEX and changes
    // nothing; so does any failed insert. A null tid is MOX_PARAMETER_FAIL.
    void update(IndexId index, const MoxIndexKey& oldKey, const MoxIndexKey& newKey, const TupleId* tid);
    // A new iterator over the entries from start to stop (both included,
    // either may be null), for INTEGER and VARCHAR indexes; the index need
    // not be open. The caller owns it and keeps the bounds alive while
    // using it. A bound of another type is MOX_PARAMETER_FAIL.
    void findRange(IndexId index, const MoxIndexKey* start, const MoxIndexKey* stop, MoxIndexIterator*& iterator);

    // --- Transactions ---

    // Writes the current transaction's index COMMIT entry.
    void commit();
    // Restores every page that the current transaction changed from the
    // log, newest change first, then writes its index ROLLBACK entry. The
    // caller rolls the buffer manager back first (so that dropped segments
    // are back and created ones gone: changes of segments without a file
    // are passed over, and their indexes are no longer open) and releases
    // the locks afterwards.
    void rollback();
    void rollback(MoxRecovery& recovery);
    // Restart recovery of the indexes, before any other work: redoes the
    // logged changes from the first one that a page lacks, undoes the
    // transactions without an end and records their ROLLBACK, and makes the
    // inventory of every index in the log cover its pages. Recovery's own
    // changes are committed, and the current transaction ends (its locks
    // released, a new one started). MOX_INTERNAL_FAIL when the log cannot
    // be analysed.
    void recover();
    void recover(MoxRecovery& recovery);

    // --- Dumps on standard output ---

    void dump_current();
    // Every open index, each made current in turn.
    void dump_all();
    // The index's tree header, then: with to MOX_MAX_PAGE_ID its inventory
    // and page from with the pages below it; else the pages from to to, up
    // to the first that does not exist. MOX_NOT_FOUND_WARN when to is below
    // from; MOX_IM_INDEX_NOT_OPENED for an index that is not open.
    void show(IndexId index, PageId from, PageId to, bool full);

    // The "index_all", "index_leafs", "index_page", "index_pages" and
    // "index_fsi" debug commands.
    static void debugIndexAll(const char* args);
    static void debugIndexLeafs(const char* args);
    static void debugIndexPage(const char* args);
    static void debugIndexPages(const char* args);
    static void debugIndexFsi(const char* args);

    // Undo of one logged page change, for MoxRecovery::undoIndexEntries.
    void restoreIntegerPage(const MoxIndexLogEntry& entry) override;
    void restoreVarcharPage(const MoxIndexLogEntry& entry) override;

  private:
    MoxIndexManager();

    // The index's segment; MOX_PARAMETER_FAIL for an invalid index id.
    static SegmentId segmentOf(IndexId index);
    // The open index for a key operation: the current one if it matches
    // (viaCurrent), else the one getIndex finds.
    MoxIndexBTree& route(IndexId index, bool& viaCurrent);
    // The key type of an index, open or not.
    MoxDataType dataTypeOf(IndexId index);
    // Writes an index COMMIT or ROLLBACK entry of a transaction.
    void endEntry(const MoxTransactionId& transaction, MoxAbstractLogEntry::transType type);
    // Ends the current transaction as recovery does: COMMIT, locks released,
    // a new transaction.
    void endRecoveryTransaction();
    // The first entry of the redo list whose change its page lacks (length
    // when none); entries of segments without a file are marked in skip.
    int findRedoStart(MoxRecovery& recovery, std::vector<bool>& skip);
    // Undoes a logged change unless it is a redo of recovery.
    void undo(const MoxIndexLogEntry& entry);
    // Redoes (or undoes) one logged change; false when the entry's segment
    // has no file.
    bool reapply(const MoxIndexLogEntry& entry, bool redo);
    // Makes sure an index segment has its first inventory page.
    void ensureInventory(SegmentId segment);
    // Every page that a logged change names, once, with its key type, by
    // segment; only segments whose file exists, each with its inventory.
    // The inventory is not logged: after a crash it may lag behind the
    // pages that reached the disk or that redo creates, so recovery brings
    // it in step with each of them.
    typedef std::map<SegmentId, std::map<PageId, MoxDataType>> PagesBySegment;
    PagesBySegment pagesInLog(MoxRecovery& recovery);

    // Splits the argument text of a debug command and runs action with the
    // chosen form (dump: full), the index id and the page numbers.
    static void runIndexCommand(const char* args, size_t wordCount, const char* usage,
                                const std::function<void(MoxIndexManager&, bool, IndexId, const PageId*)>& action);

    static MoxIndexManager* instance;

    MoxBufferManager* bufferMgr;
    // The open indexes of this process, one per index id.
    std::map<IndexId, std::unique_ptr<MoxIndexBTree>> indexList;
    IndexId currentIndexId;
    MoxIndexBTree* currentIndex;
};

#endif
