#ifndef MOX_INDEX_TEST_DATABASE_H
#define MOX_INDEX_TEST_DATABASE_H

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "MoxBuffer.h"
#include "MoxChecker.h"
#include "MoxIndexManager.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"
#include "TestHelpers.h"
#include "common/TestDatabase.h"

// The long tests run in full in optimised builds and at a smaller scale in
// the sanitizer build, which is slower by far.
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
constexpr bool optimisedBuild = false;
#else
constexpr bool optimisedBuild = true;
#endif

// One entry of an index as the leaf chain holds it.
typedef MoxIndexTreeChecker::Entry IndexEntry;
// An integer entry as a sortable row: key, TupleId page and slot.
typedef std::tuple<Sint32, PageId, SlotId> IndexRow;
// The entries of an integer index as rows in ascending order.
std::vector<IndexRow> sortedRows(const std::vector<IndexEntry>& entries);
// The same for a varchar index.
typedef std::tuple<std::string, PageId, SlotId> VarcharRow;
std::vector<VarcharRow> sortedVarcharRows(const std::vector<IndexEntry>& entries);

// The checker of a tree; its problems name the index "I".
inline MoxIndexTreeChecker treeChecker(SegmentId segment, MoxDataType dataType) {
    return MoxIndexTreeChecker(segment, dataType, "I");
}
inline MoxIndexTreeChecker treeChecker(const MoxIndexBTree& tree) {
    return treeChecker(tree.getSegmentId(), tree.getDataType());
}

// A started system (lock list, buffer pool, log file handling) on a private
// database, with transaction ends through the index manager.
class IndexTestDatabase : public TestDatabase {
  protected:
    static constexpr IndexId index = 1;

    void SetUp() override {
        TestDatabase::SetUp();
        startSystem();
    }

    // What a system start creates.
    static void startSystem();
    static SegmentId segmentOf(IndexId id) { return MoxBufferManager::convertIndexIdToSegmentId(id); }

    // A new index in a new segment, committed.
    static std::unique_ptr<MoxIndexBTree> createIndex(IndexId id, bool unique = false);
    // A committed two-level index written page by page without logging, as
    // a prepared starting state: page 1 an inner node over one leaf per key
    // list (ascending, at most 509 lists of at most 509 keys), each
    // separator the last key of the leaf left of it. Flushed by the buffer
    // manager like any page.
    static std::unique_ptr<MoxIndexBTree> buildTree(IndexId id, const std::vector<std::vector<Sint32>>& leaves);
    // The TupleId that buildTree gives to entry position of leaf.
    static TupleId builtTupleId(size_t leaf, size_t position) {
        return TupleId{static_cast<PageId>(1000 + 2 * leaf + position / 256), static_cast<SlotId>(position % 256)};
    }
    // The index manager's COMMIT entry, the buffer manager's commit, the
    // locks released and a new transaction.
    static void commit();
    // The buffer manager's and the index manager's rollback, then the
    // transaction ends like commit.
    static void rollback();
    // The index manager's restart recovery; what it printed.
    static std::string recover();
    // The forced stop after a crash (the pool's dirty pages are lost) and a
    // new start. REQUIRES: this process has no managers, whose deletion
    // would write the pool's pages.
    static void restartAfterCrash();

  private:
    static void endTransaction();
};

#endif
